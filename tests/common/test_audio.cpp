// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/test_audio.h"

#include <QFile>
#include <QProcess>
#include <QStringList>
#include <cmath>

namespace testaudio {

namespace {
std::string U16(uint16_t v) { return {char(v & 0xFF), char(v >> 8)}; }
}  // namespace

std::string U32(uint32_t v) { return U16(uint16_t(v & 0xFFFF)) + U16(uint16_t(v >> 16)); }

std::string ChunkWithSize(const std::string& id, uint32_t declaredSize, const std::string& body) {
    return id + U32(declaredSize) + body;
}

std::string Chunk(const std::string& id, const std::string& body, bool pad) {
    std::string c = ChunkWithSize(id, uint32_t(body.size()), body);
    if (pad && body.size() % 2) c += '\0';
    return c;
}

std::string Riff(const std::string& chunks) {
    return "RIFF" + U32(uint32_t(4 + chunks.size())) + "WAVE" + chunks;
}

std::string FmtBody(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t size,
                    uint16_t formatTag) {
    const uint16_t align = uint16_t(channels * bits / 8);
    std::string body = U16(formatTag) + U16(channels) + U32(rate) + U32(rate * align) +
                       U16(align) + U16(bits) + U16(0) + U16(0);
    body.resize(size, '\0');
    return body;
}

std::string WaveFile(uint16_t channels, uint32_t rate, uint16_t bits, const std::string& samples) {
    return Riff(Chunk("fmt ", FmtBody(channels, rate, bits)) + Chunk("data", samples));
}

std::string PcmBytes(const std::vector<int16_t>& samples) {
    std::string bytes;
    bytes.reserve(samples.size() * 2);
    for (int16_t s : samples) bytes += U16(uint16_t(s));
    return bytes;
}

std::vector<int16_t> Sweep(uint32_t rate, int channels, double seconds) {
    const size_t frames = size_t(seconds * rate);
    std::vector<int16_t> out;
    out.reserve(frames * channels);
    double phase = 0.0;
    for (size_t i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        const double freq = 300.0 + 150.0 * t;  // rises 150 Hz a second
        phase += 2 * M_PI * freq / rate;
        const auto s = int16_t(12000 * std::sin(phase));
        for (int c = 0; c < channels; ++c) out.push_back(s);
    }
    return out;
}

std::string MpegFrame(uint8_t b1, uint8_t b2, uint8_t b3, int length) {
    std::string frame(size_t(length), '\0');
    frame[0] = char(0xFF);
    frame[1] = char(b1);
    frame[2] = char(b2);
    frame[3] = char(b3);
    return frame;
}

std::string Id3v2Tag(uint32_t bodySize, bool footer) {
    std::string size;
    for (int shift = 21; shift >= 0; shift -= 7) size += char(bodySize >> shift & 0x7F);
    const std::string head = std::string("ID3\x04\x00", 5) + char(footer ? 0x10 : 0) + size;
    std::string tag = head + std::string(bodySize, '\0');
    if (footer) tag += "3DI" + head.substr(3);
    return tag;
}

bool WriteFile(const QString& path, const std::string& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           f.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
}

std::string ReadFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll().toStdString();
}

bool EncodeMp3(const QString& wav, const QString& mp3, const QStringList& args) {
    QProcess lame;
    lame.start(QStringLiteral("lame"), QStringList{"--quiet"} + args + QStringList{wav, mp3});
    return lame.waitForFinished(120000) && lame.exitStatus() == QProcess::NormalExit &&
           lame.exitCode() == 0;
}

}  // namespace testaudio
