// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/mpeg_frame.h"

#include <algorithm>

using mpeg_tables::kLayerI;

bool decodeFrameHeader(const uint8_t b[4], MpegFrameHeader& h) {
    const uint32_t w = uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
    h.mpeg1 = w >> 19 & 1;
    h.layer = w >> 17 & 3;
    h.hasCrc = !(w >> 16 & 1);
    h.bitrateIndex = w >> 12 & 15;
    h.sampleRateIndex = w >> 10 & 3;
    h.padding = w >> 9 & 1;
    h.privateBit = w >> 8 & 1;
    h.mode = w >> 6 & 3;
    h.modeExtension = w >> 4 & 3;
    h.copyright = w >> 3 & 1;
    h.original = w >> 2 & 1;
    h.emphasis = w & 3;
    return h.layer != 0 && h.bitrateIndex != 15 && h.sampleRateIndex != 3 &&
           !(h.mpeg1 && h.layer == kLayerI && !h.hasCrc);
}

namespace {
// Moves `src` to the next frame sync at or after its position, searching a
// buffer's worth of bytes at a time: a region without frames may be
// megabytes long. False at the end of the data.
bool skipToSync(platform::ByteSource& src, uint8_t* buffer) {
    for (;;) {
        const uint64_t at = src.position();
        const uint32_t got = src.read(buffer, kMaxFrameBytes);
        for (uint32_t i = 0; i + 1 < got; ++i) {
            if (isFrameSync(buffer[i], buffer[i + 1])) {
                src.seek(at + i);
                return true;
            }
        }
        if (got < kMaxFrameBytes) return false;
        src.seek(at + got - 1);  // the last byte may begin a sync
    }
}
}  // namespace

bool readFrameHeader(platform::ByteSource& src, uint8_t* buffer, MpegFrameHeader& h) {
    const uint64_t at = src.position();
    if (src.read(buffer, 4) != 4) return false;
    if (!isFrameSync(buffer[0], buffer[1])) {
        src.seek(at + 1);
        if (!skipToSync(src, buffer) || src.read(buffer, 4) != 4) return false;
    }
    if (!decodeFrameHeader(buffer, h)) return false;
    return !h.hasCrc || src.read(buffer + 4, 2) == 2;
}

uint32_t readFrame(platform::ByteSource& src, uint8_t* buffer, const MpegFrameHeader& h) {
    const int length = frameLength(h), head = headerBytes(h);
    if (bitrateKbps(h) == 0 || length <= head) return 0;
    const uint32_t rest = uint32_t(length - head);
    return src.read(buffer + head, rest) == rest ? uint32_t(length) : 0;
}

uint32_t id3v2TagSize(const uint8_t b[10]) {
    if (b[0] != 'I' || b[1] != 'D' || b[2] != '3' || b[3] == 0xFF || b[4] == 0xFF) return 0;
    uint32_t size = 0;
    for (int i = 6; i < 10; ++i) {
        if (b[i] & 0x80) return 0;
        size = size << 7 | b[i];
    }
    const bool footer = b[5] & 0x10;
    return 10 + size + (footer ? 10 : 0);
}

platform::WaveFormat pcmFormatFor(const MpegFrameHeader& first) {
    platform::WaveFormat f;
    f.formatTag = 1;
    f.channels = uint16_t(channelCount(first));
    f.samplesPerSec = uint32_t(sampleRate(first));
    f.bitsPerSample = 16;
    f.blockAlign = uint16_t(f.channels * 16 / 8);
    f.avgBytesPerSec = f.blockAlign * f.samplesPerSec;
    f.cbSize = 0;
    return f;
}

uint32_t destinationBytes(const MpegFrameHeader& first, uint32_t srcBytes, uint32_t blockBytes) {
    const uint64_t length = uint64_t(std::max(frameLength(first), 1));
    const uint64_t frames = (srcBytes + length - 1) / length;
    const uint64_t bytes = frames * uint64_t(samplesPerFrame(first)) * uint64_t(channelCount(first) * 2);
    return uint32_t(std::min<uint64_t>(bytes, blockBytes));
}
