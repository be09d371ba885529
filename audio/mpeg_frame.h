// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// MPEG audio frames (ISO/IEC 11172-3 and 13818-3): header fields, tables,
// frame length, and reading frames from a byte source.

#include "platform/audio_file.h"
#include "platform/wave_device.h"

#include <algorithm>
#include <cstdint>

// The decoded four header bytes, read as one big-endian word.
struct MpegFrameHeader {
    bool mpeg1 = false;        // bit 19 (ID): MPEG-1, else MPEG-2
    int layer = 0;             // bits 18-17: 3 = I, 2 = II, 1 = III, 0 = reserved
    bool hasCrc = false;       // bit 16 clear: a 16-bit CRC follows the header
    int bitrateIndex = 0;      // bits 15-12; 0 = free format, 15 invalid
    int sampleRateIndex = 0;   // bits 11-10; 3 reserved
    bool padding = false;      // bit 9: one slot more
    bool privateBit = false;   // bit 8
    int mode = 0;              // bits 7-6: 3 = single channel
    int modeExtension = 0;     // bits 5-4
    bool copyright = false;    // bit 3
    bool original = false;     // bit 2
    int emphasis = 0;          // bits 1-0
};

// The largest frame the length rule gives, and so the frame buffer's size.
constexpr uint32_t kMaxFrameBytes = 4096;

// A frame sync: 0xFF, then a byte with its upper four bits set.
inline bool isFrameSync(uint8_t b0, uint8_t b1) { return b0 == 0xFF && (b1 & 0xF0) == 0xF0; }

// Decodes the fields; false for a header that cannot start a frame: layer 0,
// bitrate index 15, sampling-frequency index 3, or MPEG-1 Layer I without CRC
// (a second byte of 0xFF, as in a run of 0xFF bytes).
bool decodeFrameHeader(const uint8_t bytes[4], MpegFrameHeader& h);

namespace mpeg_tables {
// Bit rates in kbit/s by row 3 + 3 x ID - layer and bitrate index 0-14.
inline constexpr int16_t kBitrates[6][15] = {
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},     // MPEG-2 Layer I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},          // MPEG-2 Layer II
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},          // MPEG-2 Layer III
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // MPEG-1 Layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // MPEG-1 Layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // MPEG-1 Layer III
};
// Sample rates in Hz by 3 x ID + sampling-frequency index.
inline constexpr int kSampleRates[6] = {22050, 24000, 16000, 44100, 48000, 32000};
inline constexpr int kLayerI = 3, kLayerII = 2, kLayerIII = 1;
}  // namespace mpeg_tables

// 0 for free format.
inline int bitrateKbps(const MpegFrameHeader& h) {
    return mpeg_tables::kBitrates[3 + 3 * int(h.mpeg1) - h.layer][h.bitrateIndex];
}
// Hz.
inline int sampleRate(const MpegFrameHeader& h) { return mpeg_tables::kSampleRates[3 * int(h.mpeg1) + h.sampleRateIndex]; }
inline int channelCount(const MpegFrameHeader& h) { return h.mode == 3 ? 1 : 2; }
// 384 for Layer I, 1152 for Layer II and MPEG-1 Layer III, 576 for MPEG-2 Layer III.
inline int samplesPerFrame(const MpegFrameHeader& h) {
    if (h.layer == mpeg_tables::kLayerI) return 384;
    return h.layer == mpeg_tables::kLayerII || h.mpeg1 ? 1152 : 576;
}
// 4, or 6 with a CRC.
inline int headerBytes(const MpegFrameHeader& h) { return h.hasCrc ? 6 : 4; }
// The whole frame in bytes, header included; less than headerBytes for a
// free-format frame, whose length the header does not give. Layer I counts
// in 4-byte slots; Layer II frames are as long in MPEG-2 as in MPEG-1,
// Layer III frames of MPEG-2 half as long.
inline int frameLength(const MpegFrameHeader& h) {
    const int bitrate = bitrateKbps(h), rate = sampleRate(h);
    if (h.layer == mpeg_tables::kLayerI) return (12000 * bitrate / rate + int(h.padding)) * 4;
    const int k = h.layer == mpeg_tables::kLayerII || h.mpeg1 ? 144000 : 72000;
    return k * bitrate / rate + int(h.padding);
}
// Layer III: how far back before its own frame a frame's main data may
// begin (the bit reservoir), in bytes of main data; 0 for layers I and II.
inline int reservoirBytes(const MpegFrameHeader& h) {
    if (h.layer != mpeg_tables::kLayerIII) return 0;
    return h.mpeg1 ? 511 : 255;
}
// Layer III: the main data a frame carries, after its header, CRC and side
// information; 0 for other layers and free format.
inline int mainDataBytes(const MpegFrameHeader& h) {
    if (h.layer != mpeg_tables::kLayerIII || bitrateKbps(h) == 0) return 0;
    const int sideInfo = h.mpeg1 ? (channelCount(h) == 1 ? 17 : 32) : (channelCount(h) == 1 ? 9 : 17);
    return std::max(frameLength(h) - headerBytes(h) - sideInfo, 0);
}
// Seconds a frame lasts: its samples at its rate, as playback yields them
// (a length in bytes would say less for the unpadded frames of a VBR file, and
// the difference would add up over the file); 0 for free format.
inline double frameDuration(const MpegFrameHeader& h) {
    return bitrateKbps(h) ? double(samplesPerFrame(h)) / sampleRate(h) : 0.0;
}

// Reads from the position up to and including the next valid frame header
// (and its CRC) into buffer[0..5], skipping any bytes before a sync (the
// buffer, kMaxFrameBytes, serves the search). False at the end of the data
// or when the first sync found is not a valid header.
bool readFrameHeader(platform::ByteSource& src, uint8_t* buffer, MpegFrameHeader& h);
// Reads the rest of the frame whose header readFrameHeader left in `buffer`
// (kMaxFrameBytes). Returns the frame length, or 0 when the frame is cut short
// by the end of the data or is free-format: either ends the stream.
uint32_t readFrame(platform::ByteSource& src, uint8_t* buffer, const MpegFrameHeader& h);

// Total size of an ID3v2 tag starting with these 10 bytes (header, body and
// footer), or 0 when they are not an ID3v2 tag header.
uint32_t id3v2TagSize(const uint8_t bytes[10]);

// The PCM format the frames are converted to: 16-bit, with the rate and
// channel count of `first`.
platform::WaveFormat pcmFormatFor(const MpegFrameHeader& first);
// PCM bytes that `srcBytes` of frames like `first` convert to, at most
// `blockBytes` (the destination block).
uint32_t destinationBytes(const MpegFrameHeader& first, uint32_t srcBytes, uint32_t blockBytes);
