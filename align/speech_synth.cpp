// SPDX-License-Identifier: GPL-3.0-or-later
#include "align/speech_synth.h"

#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// What one espeak_Synth call fills in, passed as its user data.
struct Collector {
    std::vector<float>* samples;
    std::vector<SpokenWord>* words;
    const std::atomic<bool>* stop;
};

int collectSamples(short* wav, int count, espeak_EVENT* events) {
    auto* into = static_cast<Collector*>(events->user_data);
    for (int i = 0; i < count && wav; ++i) into->samples->push_back(wav[i] / 32768.0f);
    for (const espeak_EVENT* e = events; e->type != espeakEVENT_LIST_TERMINATED; ++e)
        if (e->type == espeakEVENT_WORD && into->words) into->words->push_back({e->text_position - 1, long(e->sample)});
    return into->stop && *into->stop ? 1 : 0;  // 1 stops the synthesis
}

int startEspeak() {
    static const int rate = [] {
        const int r = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
        if (r > 0) espeak_SetSynthCallback(collectSamples);
        return r;
    }();
    return rate;
}

// espeak-ng falls back to some voice for any language; only an exact match
// (or a regional variant of the code, "en" for "en-us") counts here.
bool isKnownLanguage(espeak_VOICE& wanted) {
    const QByteArray code = QByteArray(wanted.languages).toLower();
    const espeak_VOICE** voices = espeak_ListVoices(&wanted);
    for (int v = 0; voices && voices[v]; ++v) {
        // Each entry: a priority byte, then the language; an empty one ends the list.
        for (const char* lang = voices[v]->languages; lang && *lang; lang += std::strlen(lang + 1) + 2) {
            const QByteArray name = QByteArray(lang + 1).toLower();
            if (name == code || name.startsWith(code + '-')) return true;
        }
    }
    return false;
}

// True when a sentence or clause ends just before `at`: its mark, then
// perhaps closing quotes or brackets.
bool endsSentence(const QString& text, qsizetype at) {
    qsizetype k = at - 1;
    while (k > 0 && QStringView(u"\"')]\u201D\u2019\u00BB").contains(text[k])) --k;
    return k >= 0 && QStringView(u".!?;:\u2026\u3002\uFF01\uFF1F\uFF1B\uFF1A").contains(text[k]);
}

}  // namespace

QStringList speechPieces(const QString& text, int maxChars) {
    QStringList pieces;
    QString rest = text.simplified();
    while (rest.size() > maxChars) {
        qsizetype cut = -1;
        // A space after the end, or none after a wide (CJK) mark.
        for (qsizetype k = maxChars; k > maxChars / 2 && cut < 0; --k)
            if ((rest[k] == u' ' || rest[k - 1].unicode() >= 0x3000) && endsSentence(rest, k)) cut = k;
        if (cut < 0) cut = rest.lastIndexOf(u' ', maxChars);
        if (cut <= 0) cut = maxChars - (rest[maxChars - 1].isHighSurrogate() ? 1 : 0);
        pieces << rest.left(cut).trimmed();
        rest = rest.mid(cut).trimmed();
    }
    if (!rest.isEmpty()) pieces << rest;
    return pieces;
}

SpeechSynth::Result SpeechSynth::open(const QString& language, int wordsPerMinute) {
    m_rate = startEspeak();
    if (m_rate <= 0) return Result::NoVoiceData;
    espeak_VOICE voice = {};
    const QByteArray name = language.toUtf8();
    voice.languages = name.constData();
    if (name.isEmpty() || !isKnownLanguage(voice) || espeak_SetVoiceByProperties(&voice) != EE_OK)
        return Result::UnknownLanguage;
    espeak_SetParameter(espeakRATE, wordsPerMinute, 0);
    return Result::Ok;
}

void SpeechSynth::setWordsPerMinute(int wordsPerMinute) { espeak_SetParameter(espeakRATE, wordsPerMinute, 0); }

bool SpeechSynth::openVoice(const QString& name, int wordsPerMinute) {
    m_rate = startEspeak();
    if (m_rate <= 0) return false;
    // A name, else a language ("en-gb" is a language, not a name).
    const QByteArray utf8 = name.toUtf8();
    espeak_VOICE voice = {};
    voice.languages = utf8.constData();
    if (espeak_SetVoiceByName(utf8.constData()) != EE_OK && espeak_SetVoiceByProperties(&voice) != EE_OK) return false;
    espeak_SetParameter(espeakRATE, wordsPerMinute, 0);
    return true;
}

bool SpeechSynth::speak(const QString& text, std::vector<float>& out, std::vector<SpokenWord>* words) {
    const QByteArray utf8 = text.toUtf8();
    Collector into{&out, words, m_stop};
    return espeak_Synth(utf8.constData(), size_t(utf8.size()) + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr,
                        &into) == EE_OK &&
           !(m_stop && *m_stop);
}

std::vector<std::pair<long, long>> wordSounds(const std::vector<float>& speech, const std::vector<long>& starts, int rate) {
    float peak = 0;
    for (float v : speech) peak = std::max(peak, std::abs(v));
    const double limit = double(peak) * peak * std::pow(10.0, -3.5);
    const long step = std::max(1, rate / 200), size = long(speech.size());
    auto loud = [&](long from) {
        double sum = 0;
        const long to = std::min(size, from + step);
        for (long n = from; n < to; ++n) sum += double(speech[size_t(n)]) * speech[size_t(n)];
        return to > from && sum / double(to - from) > limit;
    };
    // Quieter than this between two words is a pause (espeak-ng's at a comma is about 0.2 s).
    const long pause = std::lround(0.12 * rate);
    std::vector<std::pair<long, long>> out;
    bool lastSounds = false;
    for (size_t k = 0; k < starts.size(); ++k) {
        const long from = std::clamp(starts[k], 0L, size), to = k + 1 < starts.size() ? std::clamp(starts[k + 1], from, size) : size;
        long a = from, b = to;
        while (a < b && !loud(a)) a += step;
        while (b > a && !loud(std::max(a, b - step))) b -= step;
        const bool sounds = a < b;
        out.emplace_back(sounds ? std::min(a, to) : from, sounds ? std::min(b, to) : to);
        if (sounds && lastSounds && out[k].first - out[k - 1].second < pause) out[k - 1].second = out[k].first = from;
        lastSounds = sounds;
    }
    return out;
}
