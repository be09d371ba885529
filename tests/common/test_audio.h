// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Test audio the tests make themselves: RIFF WAVE files chunk by chunk, PCM
// signals, MP3 files through the `lame` encoder, hand-built MPEG frames.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>

namespace testaudio {

std::string U32(uint32_t v);  // little-endian file bytes
// One RIFF chunk: ID, the body's size, body; a zero pad byte after an odd body if `pad`.
std::string chunk(const std::string& id, const std::string& body, bool pad = true);
std::string riff(const std::string& chunks);  // "RIFF", size, "WAVE", chunks
// A PCM "fmt " body cut or zero-filled to `size` bytes.
std::string fmtBody(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t size = 16,
                    uint16_t formatTag = 1);
std::string waveFile(uint16_t channels, uint32_t rate, uint16_t bits, const std::string& samples);
std::string pcmBytes(const std::vector<int16_t>& samples);  // interleaved 16-bit
// A tone rising 150 Hz a second from 300 Hz in every channel: no two stretches alike.
std::vector<int16_t> sweep(uint32_t rate, int channels, double seconds);

// An MPEG frame: header bytes 0xFF, b1, b2, 0, then zeros up to `length` bytes.
std::string mpegFrame(uint8_t b1, uint8_t b2, int length);
std::string id3v2Tag(uint32_t bodySize);  // a tag with `bodySize` (< 16384) zero bytes

bool writeFile(const QString& path, const std::string& bytes);  // false on failure
std::string readFile(const QString& path);
// Encodes WAV to MP3 with `lame` and extra arguments ({"-b", "128"}); false on failure.
bool encodeMp3(const QString& wav, const QString& mp3, const QStringList& args);

}  // namespace testaudio
