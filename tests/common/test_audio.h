// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Test audio made by the tests themselves: RIFF WAVE files chunk by chunk,
// PCM signals, MP3 files through the `lame` encoder, and hand-built MPEG
// frames for header edge cases.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>

namespace testaudio {

// A little-endian number as file bytes.
std::string U32(uint32_t v);

// One RIFF chunk: ID, declared size (by default the body's length) and body.
// `pad` appends a zero byte after an odd-sized body, as RIFF asks.
std::string Chunk(const std::string& id, const std::string& body, bool pad = true);
std::string ChunkWithSize(const std::string& id, uint32_t declaredSize, const std::string& body);
// "RIFF", size, "WAVE", then the chunks as given.
std::string Riff(const std::string& chunks);
// A PCM "fmt " body of `size` bytes (16, 18, 20; fewer cuts it short).
std::string FmtBody(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t size = 16,
                    uint16_t formatTag = 1);
// A whole PCM WAV file: fmt, data.
std::string WaveFile(uint16_t channels, uint32_t rate, uint16_t bits, const std::string& samples);

// Interleaved 16-bit samples as bytes.
std::string PcmBytes(const std::vector<int16_t>& samples);
// A rising tone, different at every moment, so a stretch of it can be found
// again by correlation: `seconds` of it at `rate` Hz, same in every channel.
std::vector<int16_t> Sweep(uint32_t rate, int channels, double seconds);

// An MPEG frame: the four header bytes, then zeros up to `length` bytes.
std::string MpegFrame(uint8_t b1, uint8_t b2, uint8_t b3, int length);
// An ID3v2.4 tag with a body of `bodySize` zero bytes, and a footer if asked.
std::string Id3v2Tag(uint32_t bodySize, bool footer = false);

// Writes bytes to a file; false on failure.
bool WriteFile(const QString& path, const std::string& bytes);
std::string ReadFile(const QString& path);
// Encodes a WAV file to MP3 with the `lame` command; extra arguments such as
// {"-b", "128"} or {"-V", "4"}. False when lame fails or is missing.
bool EncodeMp3(const QString& wav, const QString& mp3, const QStringList& args);

}  // namespace testaudio
