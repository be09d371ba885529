// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/spoken_recording.h"

#include "common/test_audio.h"

#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <random>

namespace testaudio {

namespace {

// 16-bit mono WAV samples of a file written by a synthesizer, as floats, at
// kSpokenRate (flite's 8 kHz voices are doubled up by linear interpolation).
std::vector<float> ReadWav16(const QString& path) {
    const std::string bytes = ReadFile(path);
    std::vector<float> out;
    if (bytes.size() < 44) return out;
    const size_t data = bytes.find("data");
    if (data == std::string::npos) return out;
    const uint32_t rate = uint8_t(bytes[24]) | uint8_t(bytes[25]) << 8 | uint8_t(bytes[26]) << 16;
    std::vector<float> raw;
    for (size_t at = data + 8; at + 1 < bytes.size(); at += 2)
        raw.push_back(int16_t(uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8) / 32768.0f);
    const double step = double(rate) / kSpokenRate;
    for (double x = 0; x + 1 < double(raw.size()); x += step) {
        const size_t i = size_t(x);
        out.push_back(raw[i] + float(x - double(i)) * (raw[i + 1] - raw[i]));
    }
    return out;
}

// Cuts the silence at both ends: the first and last 5 ms louder than -40 dB re the peak.
std::vector<float> Trim(const std::vector<float>& s) {
    float peak = 0;
    for (float v : s) peak = std::max(peak, std::abs(v));
    const size_t step = kSpokenRate / 200;
    auto loud = [&](size_t b) {
        double sum = 0;
        for (size_t n = b * step; n < (b + 1) * step; ++n) sum += double(s[n]) * s[n];
        return sum / double(step) > double(peak) * peak * 1e-4;
    };
    size_t first = 0, last = s.size() / step;
    while (first < last && !loud(first)) ++first;
    while (last > first && !loud(last - 1)) --last;
    return std::vector<float>(s.begin() + long(first * step), s.begin() + long(last * step));
}

}  // namespace

bool SpokenRecording::speak(const QString& text, const QString& voice, std::vector<float>& out) const {
    // The same sentence in the same voice is spoken once per process.
    static QHash<QString, std::vector<float>> spoken;
    const QString key = voice + QLatin1Char('|') + text;
    if (const auto it = spoken.constFind(key); it != spoken.constEnd()) return out = *it, true;
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("s.wav"));
    const QStringList parts = voice.split(QLatin1Char(':'));
    QProcess p;
    if (parts[0] == QLatin1String("flite"))
        p.start(QStringLiteral("flite"), {"-voice", parts.value(1), "-t", text, "-o", wav});
    else
        p.start(QStringLiteral("espeak-ng"), {"-v", parts.value(1), "-s", parts.value(2, "160"), "-w", wav, text});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) return false;
    out = Trim(ReadWav16(wav));
    spoken.insert(key, out);
    return !out.empty();
}

bool SpokenRecording::addSentence(const QString& text, const QString& voice, double pause) {
    std::vector<float> speech;
    if (!speak(text, voice, speech)) return false;
    addSilence(pause);
    m_starts.push_back(double(m_samples.size()) / kSpokenRate);
    m_samples.insert(m_samples.end(), speech.begin(), speech.end());
    m_ends.push_back(double(m_samples.size()) / kSpokenRate);
    return true;
}

void SpokenRecording::addSilence(double seconds) { m_samples.resize(m_samples.size() + size_t(seconds * kSpokenRate), 0.0f); }

bool SpokenRecording::addUntracked(const QString& text, const QString& voice) {
    std::vector<float> speech;
    if (!speak(text, voice, speech)) return false;
    m_samples.insert(m_samples.end(), speech.begin(), speech.end());
    return true;
}

void SpokenRecording::append(const SpokenRecording& other) {
    const double shift = double(m_samples.size()) / kSpokenRate;
    m_samples.insert(m_samples.end(), other.m_samples.begin(), other.m_samples.end());
    for (int i = 0; i < other.count(); ++i) m_starts.push_back(other.start(i) + shift), m_ends.push_back(other.end(i) + shift);
}

void SpokenRecording::addNoise(double snrDb, unsigned seed) {
    double power = 0;
    size_t count = 0;
    for (size_t i = 0; i < m_starts.size(); ++i)
        for (size_t n = size_t(m_starts[i] * kSpokenRate); n < size_t(m_ends[i] * kSpokenRate); ++n)
            power += double(m_samples[n]) * m_samples[n], ++count;
    const double sigma = std::sqrt(power / double(std::max<size_t>(count, 1)) * std::pow(10.0, -snrDb / 10));
    std::mt19937 gen(seed);
    std::normal_distribution<float> noise(0.0f, float(sigma));
    for (float& v : m_samples) v += noise(gen);
}

bool SpokenRecording::writeWave(const QString& path) const {
    std::vector<int16_t> pcm(m_samples.size());
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = int16_t(std::clamp(m_samples[i] * 32767.0f, -32768.0f, 32767.0f));
    return WriteFile(path, WaveFile(1, kSpokenRate, 16, PcmBytes(pcm)));
}

std::vector<PageItem> ReadPageItems(const QString& pagePath) {
    QFile file(pagePath);
    std::vector<PageItem> items;
    if (!file.open(QIODevice::ReadOnly)) return items;
    static const QRegularExpression link(QStringLiteral(R"re(<a name="s\d+"( class="unsure")? href="[^"#]+#([\d.]+)#([\d.]+)")re"));
    for (auto it = link.globalMatch(QString::fromUtf8(file.readAll())); it.hasNext();) {
        const auto m = it.next();
        items.push_back({m.captured(2).toDouble(), m.captured(3).toDouble(), m.capturedLength(1) > 0});
    }
    return items;
}

}  // namespace testaudio
