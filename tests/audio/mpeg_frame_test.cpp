// SPDX-License-Identifier: GPL-3.0-or-later
// MPEG audio frame headers: fields, tables, lengths, sync search, CRC,
// reading whole frames, ID3v2 tag sizes, and the formats the frames give.
#include "audio/mpeg_frame.h"
#include "common/memory_source.h"
#include "common/test_audio.h"

#include <gtest/gtest.h>

using testaudio::Id3v2Tag;
using testaudio::MpegFrame;

namespace {

MpegFrameHeader Decode(uint8_t b1, uint8_t b2, uint8_t b3, bool* valid = nullptr) {
    const uint8_t bytes[4] = {0xFF, b1, b2, b3};
    MpegFrameHeader h;
    const bool ok = DecodeFrameHeader(bytes, h);
    if (valid) *valid = ok;
    return h;
}

TEST(MpegFrame, HeaderFields) {
    bool valid = false;
    // MPEG-1 Layer III, no CRC, 128 kbit/s, 44100 Hz, joint stereo, mode ext 2, original.
    MpegFrameHeader h = Decode(0xFB, 0x90, 0x64, &valid);
    EXPECT_TRUE(valid);
    EXPECT_EQ(h.id, 1);
    EXPECT_EQ(h.layer, 1);
    EXPECT_EQ(h.protection, 1);
    EXPECT_EQ(h.bitrateIndex, 9);
    EXPECT_EQ(h.sampleRateIndex, 0);
    EXPECT_EQ(h.padding, 0);
    EXPECT_EQ(h.privateBit, 0);
    EXPECT_EQ(h.mode, 1);
    EXPECT_EQ(h.modeExtension, 2);
    EXPECT_EQ(h.copyright, 0);
    EXPECT_EQ(h.original, 1);
    EXPECT_EQ(h.emphasis, 0);
    // MPEG-2 Layer III with CRC, 64 kbit/s, 16000 Hz, padded, private, mono, copyright, emphasis 3.
    h = Decode(0xF2, 0x8B, 0xCB, &valid);
    EXPECT_TRUE(valid);
    EXPECT_EQ(h.id, 0);
    EXPECT_EQ(h.layer, 1);
    EXPECT_EQ(h.protection, 0);
    EXPECT_EQ(h.bitrateIndex, 8);
    EXPECT_EQ(h.sampleRateIndex, 2);
    EXPECT_EQ(h.padding, 1);
    EXPECT_EQ(h.privateBit, 1);
    EXPECT_EQ(h.mode, 3);
    EXPECT_EQ(h.modeExtension, 0);
    EXPECT_EQ(h.copyright, 1);
    EXPECT_EQ(h.original, 0);
    EXPECT_EQ(h.emphasis, 3);
}

TEST(MpegFrame, RefusedHeaders) {
    struct Case {
        const char* name;
        uint8_t b1, b2;
        bool valid;
    } cases[] = {
        {"layer 0", 0xF9, 0x90, false},
        {"bitrate index 15", 0xFB, 0xF0, false},
        {"sample rate index 3", 0xFB, 0x9C, false},
        {"MPEG-1 Layer I without CRC (run of FF)", 0xFF, 0x90, false},
        {"MPEG-1 Layer I with CRC", 0xFE, 0x90, true},
        {"MPEG-1 Layer II", 0xFD, 0x90, true},
        {"MPEG-2 Layer I without CRC", 0xF7, 0x90, true},
        {"free format", 0xFB, 0x00, true},
    };
    for (const auto& c : cases) {
        bool valid = !c.valid;
        Decode(c.b1, c.b2, 0x00, &valid);
        EXPECT_EQ(valid, c.valid) << c.name;
    }
}

TEST(MpegFrame, TableRowsAndRates) {
    struct Case {
        uint8_t b1, b2;
        int kbps, rate, samples;
    } cases[] = {
        {0xFB, 0x90, 128, 44100, 1152},  // MPEG-1 III, index 9
        {0xFB, 0xE4, 320, 48000, 1152},  // MPEG-1 III, index 14
        {0xFD, 0x98, 160, 32000, 1152},  // MPEG-1 II, index 9
        {0xFD, 0xE0, 384, 44100, 1152},  // MPEG-1 II, index 14
        {0xFE, 0x90, 288, 44100, 384},   // MPEG-1 I, index 9
        {0xFE, 0xE0, 448, 44100, 384},   // MPEG-1 I, index 14
        {0xF3, 0x90, 80, 22050, 576},    // MPEG-2 III, index 9
        {0xF5, 0xE4, 160, 24000, 1152},  // MPEG-2 II, index 14
        {0xF7, 0x98, 144, 16000, 384},   // MPEG-2 I, index 9
        {0xF7, 0xE0, 256, 22050, 384},   // MPEG-2 I, index 14
        {0xF3, 0x10, 8, 22050, 576},     // MPEG-2 III, index 1
        {0xFB, 0x00, 0, 44100, 1152},    // free format
    };
    for (const auto& c : cases) {
        const MpegFrameHeader h = Decode(c.b1, c.b2, 0x00);
        EXPECT_EQ(BitrateKbps(h), c.kbps) << std::hex << int(c.b1) << " " << int(c.b2);
        EXPECT_EQ(SampleRate(h), c.rate) << std::hex << int(c.b1) << " " << int(c.b2);
        EXPECT_EQ(SamplesPerFrame(h), c.samples) << std::hex << int(c.b1) << " " << int(c.b2);
    }
}

TEST(MpegFrame, FrameLengths) {
    struct Case {
        const char* name;
        uint8_t b1, b2;
        int length;
    } cases[] = {
        {"MPEG-1 III 128k 44100", 0xFB, 0x90, 417},
        {"MPEG-1 III 128k 44100 padded", 0xFB, 0x92, 418},
        {"MPEG-2 III 64k 24000", 0xF3, 0x84, 192},
        {"MPEG-1 III 320k 32000 padded", 0xFB, 0xEA, 1441},
        {"MPEG-1 II 384k 32000 padded (largest)", 0xFD, 0xEA, 1729},
        {"MPEG-2 II 160k 16000 padded", 0xF5, 0xEA, 1441},
        {"MPEG-1 I 448k 32000 padded", 0xFE, 0xEA, 676},
        {"MPEG-1 I 32k 48000", 0xFE, 0x14, 32},
        {"MPEG-2 III 8k 24000", 0xF3, 0x14, 24},
        {"free format", 0xFB, 0x02, 1},
    };
    for (const auto& c : cases) {
        const MpegFrameHeader h = Decode(c.b1, c.b2, 0x00);
        EXPECT_EQ(FrameLength(h), c.length) << c.name;
        EXPECT_LE(FrameLength(h), int(kMaxFrameBytes)) << c.name;
    }
    // A frame lasts its length in bits at its bit rate; one of 417 bytes at 128k is 26.0625 ms.
    EXPECT_DOUBLE_EQ(FrameDuration(Decode(0xFB, 0x90, 0)), 1152 / 44100.0);
    EXPECT_DOUBLE_EQ(FrameDuration(Decode(0xFB, 0x00, 0)), 0.0);
}

TEST(MpegFrame, SyncSearch) {
    uint8_t buf[kMaxFrameBytes];
    MpegFrameHeader h;
    {
        MemorySource src(std::string("\x00\x12\xFF\xFB\x90\x00", 6));
        ASSERT_TRUE(ReadFrameHeader(src, buf, h));
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 4), std::string("\xFF\xFB\x90\x00", 4));
        EXPECT_EQ(src.position(), 6u);
    }
    {   // A run of FF bytes: the first candidate is refused, with no search beyond it.
        MemorySource src(std::string(8, '\xFF') + std::string("\xFF\xFB\x90\x00", 4));
        EXPECT_FALSE(ReadFrameHeader(src, buf, h));
    }
    {   // An FF at the end, then nothing.
        MemorySource src(std::string("\x01\x02\x03\xFF", 4));
        EXPECT_FALSE(ReadFrameHeader(src, buf, h));
    }
    {   // Fewer than 4 bytes.
        MemorySource src(std::string("\xFF\xFB\x90", 3));
        EXPECT_FALSE(ReadFrameHeader(src, buf, h));
    }
    {   // With CRC: header and both CRC bytes, then the position after them.
        MemorySource src(std::string("\xFF\xFA\x90\x00\xAB\xCD\x11", 7));
        ASSERT_TRUE(ReadFrameHeader(src, buf, h));
        EXPECT_EQ(buf[4], 0xAB);
        EXPECT_EQ(buf[5], 0xCD);
        EXPECT_EQ(src.position(), 6u);
    }
    {   // CRC cut short.
        MemorySource src(std::string("\xFF\xFA\x90\x00\xAB", 5));
        EXPECT_FALSE(ReadFrameHeader(src, buf, h));
    }
}

TEST(MpegFrame, ReadFrame) {
    uint8_t buf[kMaxFrameBytes];
    MpegFrameHeader h;
    {   // With CRC: FrameLength - 6 bytes follow the six already read.
        std::string frame = MpegFrame(0xFA, 0x90, 0x00, 417);
        for (int i = 4; i < 417; ++i) frame[size_t(i)] = char(i % 200);
        MemorySource src(frame + "tail");
        ASSERT_TRUE(ReadFrameHeader(src, buf, h));
        EXPECT_EQ(ReadFrame(src, buf, h), 417u);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 417), frame);
        EXPECT_EQ(src.position(), 417u);
    }
    {   // Cut short by the end of the data.
        MemorySource src(MpegFrame(0xFB, 0x90, 0x00, 417).substr(0, 300));
        ASSERT_TRUE(ReadFrameHeader(src, buf, h));
        EXPECT_EQ(ReadFrame(src, buf, h), 0u);
    }
    {   // Free format ends the stream without reading.
        MemorySource src(MpegFrame(0xFB, 0x02, 0x00, 417));
        ASSERT_TRUE(ReadFrameHeader(src, buf, h));
        EXPECT_EQ(ReadFrame(src, buf, h), 0u);
        EXPECT_EQ(src.position(), 4u);
    }
}

TEST(MpegFrame, Id3v2TagSize) {
    const auto size = [](const std::string& bytes) {
        return Id3v2TagSize(reinterpret_cast<const uint8_t*>(bytes.data()));
    };
    EXPECT_EQ(size(Id3v2Tag(0)), 10u);
    EXPECT_EQ(size(Id3v2Tag(300)), 310u);  // 300 = 2 x 128 + 44: syncsafe
    EXPECT_EQ(size(Id3v2Tag(300, true)), 320u);
    EXPECT_EQ(size(std::string("ID3\x04\x00\x00\x7F\x7F\x7F\x7F", 10)), 10u + (1u << 28) - 1);
    EXPECT_EQ(size(std::string("ID3\x03\x00\x00\x00\x00\x02\x80", 10)), 0u);  // not syncsafe
    EXPECT_EQ(size(std::string("ID3\xFF\x00\x00\x00\x00\x00\x01", 10)), 0u);
    EXPECT_EQ(size(std::string("TAG\x03\x00\x00\x00\x00\x00\x01", 10)), 0u);
}

TEST(MpegFrame, OutputFormats) {
    platform::WaveFormat f = PcmFormatFor(Decode(0xFB, 0x90, 0x64));
    EXPECT_EQ(f.formatTag, 1);
    EXPECT_EQ(f.channels, 2);
    EXPECT_EQ(f.samplesPerSec, 44100u);
    EXPECT_EQ(f.bitsPerSample, 16);
    EXPECT_EQ(f.blockAlign, 4);
    EXPECT_EQ(f.avgBytesPerSec, 4u * 44100);
    f = PcmFormatFor(Decode(0xF3, 0x80, 0xC0));  // MPEG-2, 22050 Hz, single channel
    EXPECT_EQ(f.channels, 1);
    EXPECT_EQ(f.samplesPerSec, 22050u);
    EXPECT_EQ(f.blockAlign, 2);
    EXPECT_EQ(f.avgBytesPerSec, 2u * 22050);
    // Destination room for 4096 source bytes: ten 417-byte frames of 1152 stereo samples ...
    EXPECT_EQ(DestinationBytes(Decode(0xFB, 0x90, 0), 4096, 65536), 10u * 1152 * 4);
    // ... but never more than the block, even for 24-byte frames at 8 kbit/s.
    EXPECT_EQ(DestinationBytes(Decode(0xF3, 0x14, 0), 4096, 65536), 65536u);
}

}  // namespace
