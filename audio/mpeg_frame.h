#pragma once
// MPEG audio frames (ISO/IEC 11172-3 and 13818-3): header fields, tables,
// frame length, and reading frames from a byte source.

#include "platform/audio_file.h"
#include "platform/wave_device.h"

#include <cstdint>

// The decoded four header bytes, read as one big-endian word.
struct MpegFrameHeader {
    int id = 0;                // bit 19: 1 = MPEG-1, 0 = MPEG-2
    int layer = 0;             // bits 18-17: 3 = I, 2 = II, 1 = III, 0 = reserved
    int protection = 0;        // bit 16: 0 = a 16-bit CRC follows the header
    int bitrateIndex = 0;      // bits 15-12; 0 = free format, 15 invalid
    int sampleRateIndex = 0;   // bits 11-10; 3 reserved
    int padding = 0;           // bit 9
    int privateBit = 0;        // bit 8
    int mode = 0;              // bits 7-6: 3 = single channel
    int modeExtension = 0;     // bits 5-4
    int copyright = 0;         // bit 3
    int original = 0;          // bit 2
    int emphasis = 0;          // bits 1-0
};

// The largest frame the length rule gives, and so the frame buffer's size.
constexpr uint32_t kMaxFrameBytes = 4096;

// A frame sync: 0xFF, then a byte with its upper four bits set.
inline bool IsFrameSync(uint8_t b0, uint8_t b1) { return b0 == 0xFF && (b1 & 0xF0) == 0xF0; }

// Decodes the fields; false for a header that cannot start a frame: layer 0,
// bitrate index 15, sampling-frequency index 3, or MPEG-1 Layer I without CRC
// (a second byte of 0xFF, as in a run of 0xFF bytes).
bool DecodeFrameHeader(const uint8_t bytes[4], MpegFrameHeader& h);

int BitrateKbps(const MpegFrameHeader& h);      // 0 for free format
int SampleRate(const MpegFrameHeader& h);       // Hz
int Channels(const MpegFrameHeader& h);         // 1 for mode 3, else 2
int SamplesPerFrame(const MpegFrameHeader& h);  // 384, 1152 or 576
int HeaderBytes(const MpegFrameHeader& h);      // 4, or 6 with a CRC
// The whole frame in bytes, header included; less than HeaderBytes for a
// free-format frame, whose length the header does not give.
int FrameLength(const MpegFrameHeader& h);
// Seconds a frame lasts, from its length and bit rate; 0 for free format.
double FrameDuration(const MpegFrameHeader& h);

// Reads from the position up to and including the next valid frame header
// (and its CRC) into buffer[0..5], skipping any bytes before a sync. False at
// the end of the data or when the first sync found is not a valid header.
bool ReadFrameHeader(platform::ByteSource& src, uint8_t* buffer, MpegFrameHeader& h);
// Reads the rest of the frame whose header ReadFrameHeader left in `buffer`
// (kMaxFrameBytes). Returns the frame length, or 0 when the frame is cut short
// by the end of the data or is free-format: either ends the stream.
uint32_t ReadFrame(platform::ByteSource& src, uint8_t* buffer, const MpegFrameHeader& h);

// Total size of an ID3v2 tag starting with these 10 bytes (header, body and
// footer), or 0 when they are not an ID3v2 tag header.
uint32_t Id3v2TagSize(const uint8_t bytes[10]);

// The PCM format the frames are converted to: 16-bit, with the rate and
// channel count of `first`.
platform::WaveFormat PcmFormatFor(const MpegFrameHeader& first);
// PCM bytes that `srcBytes` of frames like `first` convert to, at most
// `blockBytes` (the destination block).
uint32_t DestinationBytes(const MpegFrameHeader& first, uint32_t srcBytes, uint32_t blockBytes);
