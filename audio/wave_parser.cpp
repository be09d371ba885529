// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/wave_parser.h"

#include <cstring>

namespace {

bool readU32(platform::ByteSource& src, uint32_t& value) {
    uint8_t b[4];
    if (src.read(b, 4) != 4) return false;
    value = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return true;
}

bool readTag(platform::ByteSource& src, const char* tag) {
    char b[4];
    return src.read(b, 4) == 4 && std::memcmp(b, tag, 4) == 0;
}

uint16_t u16At(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t u32At(const uint8_t* p) { return uint32_t(u16At(p)) | uint32_t(u16At(p + 2)) << 16; }

// RIFF pads a chunk of odd size with one byte. Writers that do not pad put
// the next chunk ID there, whose first byte is never 0, so a 0 is a pad byte.
void skipPadByte(platform::ByteSource& src, uint32_t chunkSize) {
    if (chunkSize % 2 == 0) return;
    const uint64_t at = src.position();
    uint8_t pad = 1;
    if (src.read(&pad, 1) != 1 || pad != 0) src.seek(at);
}

// Skips chunks until one with the ID `wanted` and returns its size, with the
// position at its body.
bool findChunk(platform::ByteSource& src, const char* wanted, uint32_t& size) {
    for (;;) {
        char id[4];
        if (src.read(id, 4) != 4 || !readU32(src, size)) return false;
        if (std::memcmp(id, wanted, 4) == 0) return true;
        src.seek(src.position() + size);
        skipPadByte(src, size);
    }
}

}  // namespace

bool parseWave(platform::ByteSource& src, WaveLayout& out) {
    src.seek(0);
    uint32_t riffSize = 0, fmtSize = 0, dataSize = 0;
    if (!readTag(src, "RIFF") || !readU32(src, riffSize) || !readTag(src, "WAVE")) return false;
    // A PCM format body is 16 bytes (18 or 20 with extra fields); a shorter
    // one would leave the format undefined. Writers use the extensible form
    // (40 bytes, PCM named by its subformat) for more than 16 bits or 2 channels.
    uint8_t fmt[40] = {};
    if (!findChunk(src, "fmt ", fmtSize) || fmtSize < 16 || fmtSize > sizeof fmt) return false;
    if (src.read(fmt, fmtSize) != fmtSize) return false;
    static const uint8_t kPcmSubformat[16] = {1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    const bool pcm = u16At(fmt) == 1 && fmtSize <= 20;
    const bool extensiblePcm = u16At(fmt) == 0xFFFE && fmtSize == 40 && std::memcmp(fmt + 24, kPcmSubformat, 16) == 0;
    if (!pcm && !extensiblePcm) return false;
    if (u32At(fmt + 4) < kMinWaveRate || u32At(fmt + 4) > kMaxWaveRate) return false;
    skipPadByte(src, fmtSize);
    if (!findChunk(src, "data", dataSize)) return false;

    out.dataOffset = src.position();
    const bool plausible = dataSize > 0 && out.dataOffset + dataSize <= src.size();
    out.dataEnd = plausible ? out.dataOffset + dataSize : src.size();
    out.format = platform::WaveFormat{};
    out.format.formatTag = 1;
    out.format.channels = u16At(fmt + 2);
    out.format.samplesPerSec = u32At(fmt + 4);
    out.format.avgBytesPerSec = u32At(fmt + 8);
    out.format.blockAlign = u16At(fmt + 12);
    out.format.bitsPerSample = u16At(fmt + 14);
    out.format.cbSize = 0;
    return true;
}
