// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/test_audio.h"

#include <QFile>
#include <QProcess>
#include <cmath>

namespace testaudio {

static std::string U16(uint16_t v) { return {char(v & 0xFF), char(v >> 8)}; }

std::string U32(uint32_t v) { return U16(uint16_t(v & 0xFFFF)) + U16(uint16_t(v >> 16)); }

std::string chunk(const std::string& id, const std::string& body, bool pad) {
    return id + U32(uint32_t(body.size())) + body + std::string(pad && body.size() % 2, '\0');
}

std::string riff(const std::string& chunks) {
    return "RIFF" + U32(uint32_t(4 + chunks.size())) + "WAVE" + chunks;
}

std::string fmtBody(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t size,
                    uint16_t formatTag) {
    const uint16_t align = uint16_t(channels * bits / 8);
    std::string body = U16(formatTag) + U16(channels) + U32(rate) + U32(rate * align) +
                       U16(align) + U16(bits) + U16(0) + U16(0);
    body.resize(size, '\0');
    return body;
}

std::string waveFile(uint16_t channels, uint32_t rate, uint16_t bits, const std::string& samples) {
    return riff(chunk("fmt ", fmtBody(channels, rate, bits)) + chunk("data", samples));
}

std::string pcmBytes(const std::vector<int16_t>& samples) {
    std::string bytes;
    for (int16_t s : samples) bytes += U16(uint16_t(s));
    return bytes;
}

std::vector<int16_t> sweep(uint32_t rate, int channels, double seconds) {
    const size_t frames = size_t(seconds * rate);
    std::vector<int16_t> out;
    double phase = 0.0;
    for (size_t i = 0; i < frames; ++i) {
        phase += 2 * M_PI * (300.0 + 150.0 * (double(i) / rate)) / rate;  // rises 150 Hz a second
        const auto s = int16_t(12000 * std::sin(phase));
        for (int c = 0; c < channels; ++c) out.push_back(s);
    }
    return out;
}

std::string mpegFrame(uint8_t b1, uint8_t b2, int length) {
    return std::string{char(0xFF), char(b1), char(b2)} + std::string(size_t(length) - 3, '\0');
}

std::string id3v2Tag(uint32_t bodySize) {
    return std::string("ID3\x04\0\0\0\0", 8) + char(bodySize >> 7) + char(bodySize & 0x7F) +
           std::string(bodySize, '\0');
}

bool writeFile(const QString& path, const std::string& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           f.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
}

std::string readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll().toStdString();
}

bool encodeMp3(const QString& wav, const QString& mp3, const QStringList& args) {
    QProcess lame;
    lame.start(QStringLiteral("lame"), QStringList{"--quiet"} + args + QStringList{wav, mp3});
    return lame.waitForFinished(120000) && lame.exitStatus() == QProcess::NormalExit &&
           lame.exitCode() == 0;
}

}  // namespace testaudio
