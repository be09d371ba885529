// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/spoken_recording.h"

#include "align/resample.h"
#include "align/speech_synth.h"
#include "common/test_audio.h"

#include <QHash>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>

#include <flite/flite.h>

extern "C" {
cst_voice* register_cmu_us_slt(const char* voxdir);
cst_voice* register_cmu_us_rms(const char* voxdir);
cst_voice* register_cmu_us_awb(const char* voxdir);
cst_voice* register_cmu_us_kal(const char* voxdir);
cst_voice* register_cmu_us_kal16(const char* voxdir);
}

namespace testaudio {

namespace {

// Cuts the silence at both ends: the first and last 5 ms louder than -40 dB
// re the peak; `cut` gets the samples cut at the start.
std::vector<float> trim(const std::vector<float>& s, long* cut = nullptr) {
    double peak = 0;
    for (float v : s) peak = std::max(peak, double(v) * v);
    const long step = kSpokenRate / 200;
    auto loud = [&](long b) {
        double sum = 0;
        for (long n = b * step; n < (b + 1) * step; ++n) sum += double(s[size_t(n)]) * s[size_t(n)];
        return sum / double(step) > peak * 1e-4;
    };
    long first = 0, last = long(s.size()) / step;
    while (first < last && !loud(first)) ++first;
    while (last > first && !loud(last - 1)) --last;
    if (cut) *cut = first * step;
    return std::vector<float>(s.begin() + first * step, s.begin() + last * step);
}

struct Spoken {
    std::vector<float> samples;
    std::vector<std::pair<double, double>> words;  // seconds from the first sample
};

// espeak-ng in this process: the speech and where each word sounds.
Spoken speakWithEspeak(const QString& text, const QString& name, int wordsPerMinute) {
    SpeechSynth synth;
    std::vector<float> raw;
    std::vector<SpokenWord> events;
    if (!synth.openVoice(name, wordsPerMinute) || !synth.speak(text, raw, &events)) return {};
    const int rate = synth.sampleRate();
    std::vector<int> tokenOf;
    for (qsizetype c = 0, t = 0; c < text.size(); ++c) tokenOf.push_back(int(t += text[c] == u' ' ? 1 : 0));
    std::vector<long> starts;
    std::vector<int> tokens;
    for (const SpokenWord& w : events) {
        const int t = tokenOf[size_t(std::clamp(w.position, 0, int(text.size()) - 1))];
        if (tokens.empty() || t > tokens.back()) tokens.push_back(t), starts.push_back(w.sample);
    }
    long cut = 0;
    Spoken out{trim(resample(raw, rate, kSpokenRate), &cut), {}};
    const double nan = std::nan(""), shift = double(cut) / kSpokenRate;
    const auto sounds = wordSounds(raw, starts, rate);
    // A word espeak-ng began none in (spoken with the one before) has no edge
    // of its own between the two: those are unknown (NaN).
    out.words.assign(size_t(tokenOf.empty() ? 0 : tokenOf.back() + 1), {nan, nan});
    for (size_t k = 0; k < tokens.size(); ++k) {
        const int last = k + 1 < tokens.size() ? tokens[k + 1] - 1 : int(out.words.size()) - 1;
        out.words[size_t(tokens[k])].first = double(sounds[k].first) / rate - shift;
        out.words[size_t(last)].second = double(sounds[k].second) / rate - shift;
    }
    return out;
}

// flite in this process: the speech and where each word sounds, from the
// ends of its segments as flite timed them (what `flite -psdur` prints). A
// space-separated token's words are one word; pauses belong to none.
Spoken speakWithFlite(const QString& text, const QString& name) {
    // A voice is registered when first asked for: registering one changes how
    // another speaks (as the flite program, which registers only its own, does not).
    static const bool ready = flite_init() == 0;
    static const QHash<QString, cst_voice* (*)(const char*)> registers{
        {"slt", register_cmu_us_slt}, {"rms", register_cmu_us_rms}, {"awb", register_cmu_us_awb},
        {"kal", register_cmu_us_kal}, {"kal16", register_cmu_us_kal16}};
    static QHash<QString, cst_voice*> voices;
    if (!ready || !registers.contains(name)) return {};
    cst_voice* voice = voices.contains(name) ? voices[name] : voices[name] = registers[name](nullptr);
    if (!voice) return {};
    std::srand(1);  // flite's noise comes from rand(): seeded as in a fresh process, each sentence sounds the same every time
    cst_utterance* u = flite_synth_text(text.toUtf8().constData(), voice);
    if (!u) return {};
    const cst_wave* wave = utt_wave(u);
    std::vector<float> raw(wave ? size_t(wave->num_samples) : 0), speech;
    if (raw.empty()) return delete_utterance(u), Spoken{};
    for (size_t n = 0; n < raw.size(); ++n) raw[n] = float(wave->samples[n * size_t(wave->num_channels)]) / 32768.0f;
    // 8 kHz voices to kSpokenRate by linear interpolation; 16 kHz ones as they are.
    for (double x = 0, step = double(wave->sample_rate) / kSpokenRate; x + 1 < double(raw.size()); x += step)
        speech.push_back(raw[size_t(x)] + float(x - std::floor(x)) * (raw[size_t(x) + 1] - raw[size_t(x)]));
    long cut = 0;
    Spoken out{trim(speech, &cut), {}};
    const double shift = double(cut) / kSpokenRate;
    for (cst_item* token = utt_rel_head(u, "Token"); token; token = item_next(token)) {
        double start = std::nan(""), end = start;
        for (cst_item* word = item_daughter(token); word; word = item_next(word))
            for (cst_item* syl = item_daughter(item_as(word, "SylStructure")); syl; syl = item_next(syl))
                for (cst_item* seg = item_daughter(syl); seg; seg = item_next(seg)) {
                    const cst_item* before = item_prev(item_as(seg, "Segment"));
                    if (std::isnan(start)) start = before ? item_feat_float(before, "end") : 0.0;
                    end = item_feat_float(seg, "end");
                }
        out.words.emplace_back(start - shift, end - shift);
    }
    delete_utterance(u);
    return out;
}

// The sentence as samples at kSpokenRate, trimmed; each sentence and voice is
// spoken once per process. A word's sound cut off with the silence (a weak
// first sound under the trimming level) is not in the recording: its edges
// are kept within what is.
const Spoken& speak(const QString& text, const QString& voice) {
    static QHash<QString, Spoken> spoken;
    Spoken& out = spoken[voice + QLatin1Char('|') + text];
    if (!out.samples.empty()) return out;
    const QStringList v = voice.split(QLatin1Char(':'));
    out = v[0] != QLatin1String("flite") ? speakWithEspeak(text, v.value(1), v.value(2, "160").toInt()) : speakWithFlite(text, v.value(1));
    const double length = double(out.samples.size()) / kSpokenRate;
    for (auto& [start, end] : out.words)  // NaN (no edge of its own) stays NaN
        start = std::clamp(start, 0.0, length), end = std::clamp(end, 0.0, length);
    return out;
}

}  // namespace

bool SpokenRecording::addSentence(const QString& text, const QString& voice, double pause, bool tracked) {
    const Spoken& speech = speak(text, voice);
    addSilence(pause);
    if (tracked) {
        m_starts.push_back(seconds());
        m_words.emplace_back();
        for (const auto& [from, to] : speech.words) m_words.back().emplace_back(seconds() + from, seconds() + to);
    }
    m_samples.insert(m_samples.end(), speech.samples.begin(), speech.samples.end());
    if (tracked) m_ends.push_back(seconds());
    return !speech.samples.empty();
}

void SpokenRecording::addSilence(double seconds) { m_samples.resize(m_samples.size() + size_t(seconds * kSpokenRate), 0.0f); }

void SpokenRecording::addNoise(double snrDb) {
    double power = 0;
    size_t count = 0;
    for (size_t i = 0; i < m_starts.size(); ++i)
        for (size_t n = size_t(m_starts[i] * kSpokenRate); n < size_t(m_ends[i] * kSpokenRate); ++n)
            power += double(m_samples[n]) * m_samples[n], ++count;
    const double sigma = std::sqrt(power / double(std::max<size_t>(count, 1)) * std::pow(10.0, -snrDb / 10));
    std::mt19937 gen(7);
    std::normal_distribution<float> noise(0.0f, float(sigma));
    for (float& v : m_samples) v += noise(gen);
}

bool SpokenRecording::writeWave(const QString& path) const {
    std::vector<int16_t> pcm(m_samples.size());
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = int16_t(std::clamp(m_samples[i] * 32767.0f, -32768.0f, 32767.0f));
    return writeFile(path, waveFile(1, kSpokenRate, 16, pcmBytes(pcm)));
}

std::vector<PageItem> readPageItems(const QString& pagePath) {
    static const QRegularExpression link(
        QStringLiteral(R"re(<a name="s\d+"( class="unsure")? href="[^"#]+#([\d.]+)#([\d.]+)"|<span class="missing")re"));
    std::vector<PageItem> items;
    for (const auto& m : link.globalMatch(QString::fromStdString(readFile(pagePath))))
        items.push_back({m.captured(2).toDouble(), m.captured(3).toDouble(), m.capturedLength(1) > 0, m.capturedLength(2) > 0});
    return items;
}

}  // namespace testaudio
