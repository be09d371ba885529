// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/spoken_recording.h"

#include "common/test_audio.h"

#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <random>

namespace testaudio {

namespace {

// The synthesizer's 16-bit mono WAV as samples at kSpokenRate; other rates
// (flite's 8 kHz voices, espeak-ng's 22 kHz) by linear interpolation.
std::vector<float> ReadWav16(const QString& path) {
    const std::string bytes = ReadFile(path);
    const size_t data = bytes.find("data");
    if (bytes.size() < 44 || data == std::string::npos) return {};
    std::vector<float> raw, out;
    for (size_t at = data + 8; at + 1 < bytes.size(); at += 2)
        raw.push_back(int16_t(uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8) / 32768.0f);
    const double step = (uint8_t(bytes[24]) | uint8_t(bytes[25]) << 8 | uint8_t(bytes[26]) << 16) / double(kSpokenRate);
    for (double x = 0; x + 1 < double(raw.size()); x += step)
        out.push_back(raw[size_t(x)] + float(x - std::floor(x)) * (raw[size_t(x) + 1] - raw[size_t(x)]));
    return out;
}

// Cuts the silence at both ends: the first and last 5 ms louder than -40 dB re the peak.
std::vector<float> Trim(const std::vector<float>& s) {
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
    return std::vector<float>(s.begin() + first * step, s.begin() + last * step);
}

// The sentence as samples at kSpokenRate, trimmed; each sentence and voice is
// spoken once per process.
std::vector<float> Speak(const QString& text, const QString& voice) {
    static QHash<QString, std::vector<float>> spoken;
    std::vector<float>& out = spoken[voice + QLatin1Char('|') + text];
    if (!out.empty()) return out;
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("s.wav"));
    const QStringList v = voice.split(QLatin1Char(':'));
    const int spoke = v[0] == QLatin1String("flite")
                          ? QProcess::execute("flite", {"-voice", v.value(1), "-t", text, "-o", wav})
                          : QProcess::execute("espeak-ng", {"-v", v.value(1), "-s", v.value(2, "160"), "-w", wav, text});
    return out = spoke == 0 ? Trim(ReadWav16(wav)) : std::vector<float>();
}

}  // namespace

bool SpokenRecording::addSentence(const QString& text, const QString& voice, double pause, bool tracked) {
    const std::vector<float> speech = Speak(text, voice);
    addSilence(pause);
    if (tracked) m_starts.push_back(seconds());
    m_samples.insert(m_samples.end(), speech.begin(), speech.end());
    if (tracked) m_ends.push_back(seconds());
    return !speech.empty();
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
    return WriteFile(path, WaveFile(1, kSpokenRate, 16, PcmBytes(pcm)));
}

std::vector<PageItem> ReadPageItems(const QString& pagePath) {
    static const QRegularExpression link(QStringLiteral(R"re(<a name="s\d+"( class="unsure")? href="[^"#]+#([\d.]+)#([\d.]+)")re"));
    std::vector<PageItem> items;
    for (const auto& m : link.globalMatch(QString::fromStdString(ReadFile(pagePath))))
        items.push_back({m.captured(2).toDouble(), m.captured(3).toDouble(), m.capturedLength(1) > 0});
    return items;
}

}  // namespace testaudio
