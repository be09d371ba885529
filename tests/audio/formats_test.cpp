// SPDX-License-Identifier: GPL-3.0-or-later
// What the file player reads with: where a WAV file's samples are, and
// which MPEG frame streams are read and how far.
#include "audio/mpeg_frame.h"
#include "audio/wave_parser.h"
#include "common/memory_source.h"
#include "common/test_audio.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace testaudio;

namespace {

TEST(WaveParser, FindsTheSamplesOrRefusesTheFile) {
    const std::string fmt = Chunk("fmt ", FmtBody(2, 44100, 16)), pcm(400, 'x');
    struct Case {
        const char* name;
        std::string file;
        uint64_t offset, end;  // 0, 0: refused
    } cases[] = {
        {"plain", Riff(fmt + Chunk("data", pcm)), 44, 444},
        {"padded odd chunks around", Riff(Chunk("LIST", "abc") + fmt + Chunk("junk", "12345") + Chunk("data", pcm) + Chunk("LIST", "tail")), 70, 470},
        {"unpadded odd chunk", Riff(fmt + Chunk("junk", "12345", false) + Chunk("data", pcm)), 57, 457},
        {"fmt of 18 bytes", Riff(Chunk("fmt ", FmtBody(2, 44100, 16, 18)) + Chunk("data", pcm)), 46, 446},
        {"fmt of 20 bytes", Riff(Chunk("fmt ", FmtBody(2, 44100, 16, 20)) + Chunk("data", pcm)), 48, 448},
        {"data size 0: to the end", Riff(fmt + ChunkWithSize("data", 0, pcm)), 44, 444},
        {"data size past the end", Riff(fmt + ChunkWithSize("data", 401, pcm)), 44, 444},
        {"data shorter than the file", Riff(fmt + ChunkWithSize("data", 100, pcm)), 44, 144},
        {"fmt of 14 bytes", Riff(Chunk("fmt ", FmtBody(2, 44100, 16, 14)) + Chunk("data", pcm)), 0, 0},
        {"fmt of 22 bytes", Riff(Chunk("fmt ", FmtBody(2, 44100, 16, 22)) + Chunk("data", pcm)), 0, 0},
        {"float samples", Riff(Chunk("fmt ", FmtBody(2, 44100, 32, 16, 3)) + Chunk("data", pcm)), 0, 0},
        {"data before fmt", Riff(Chunk("data", pcm) + fmt), 0, 0},
        {"no data", Riff(fmt), 0, 0},
        {"not WAVE", "RIFF" + U32(100) + "AVI " + fmt + Chunk("data", pcm), 0, 0},
    };
    for (const auto& c : cases) {
        MemorySource src(c.file);
        WaveLayout layout;
        const bool ok = ParseWave(src, layout);
        EXPECT_EQ(ok, c.end != 0) << c.name;
        if (!ok || c.end == 0) continue;
        EXPECT_EQ(layout.dataOffset, c.offset) << c.name;
        EXPECT_EQ(layout.dataEnd, c.end) << c.name;
    }
    // Every file cut inside its headers is refused; the format is taken as stored.
    const std::string mono8 = WaveFile(1, 8000, 8, pcm);
    for (size_t n = 0; n < 44; ++n) {
        MemorySource cut(mono8.substr(0, n));
        WaveLayout layout;
        EXPECT_FALSE(ParseWave(cut, layout)) << n;
    }
    MemorySource src(mono8);
    WaveLayout layout;
    ASSERT_TRUE(ParseWave(src, layout));
    const platform::WaveFormat& f = layout.format;
    EXPECT_EQ(std::tuple(f.channels, f.samplesPerSec, f.blockAlign, f.bitsPerSample), std::tuple(1, 8000u, 1, 8));
}

// Frames read one after the other as playback reads them, until the stream ends.
struct Walked {
    int frames = 0;
    uint64_t bytes = 0;
};
Walked ReadStream(const std::string& bytes) {
    MemorySource src(bytes);
    uint8_t buf[kMaxFrameBytes];
    MpegFrameHeader h;
    Walked w;
    for (uint32_t n; ReadFrameHeader(src, buf, h) && (n = ReadFrame(src, buf, h)) > 0; w.bytes += n) ++w.frames;
    return w;
}

std::string Repeat(const std::string& s, int n) {
    std::string out;
    while (n-- > 0) out += s;
    return out;
}

TEST(MpegFrames, StreamsAreReadFrameByFrameOrRefused) {
    const std::string l3 = MpegFrame(0xFB, 0x90, 0, 417) + MpegFrame(0xFB, 0x92, 0, 418);  // 128 kbit/s, padded
    struct Case {
        const char* name;
        std::string stream;
        int frames;
        uint64_t bytes;
    } cases[] = {
        {"MPEG-1 Layer III", Repeat(l3, 3), 6, 3 * 835},
        {"MPEG-2 Layer III, 64 kbit/s at 22050 Hz", Repeat(MpegFrame(0xF3, 0x80, 0, 208), 4), 4, 4 * 208},
        {"MPEG-1 Layer II, 128 kbit/s at 48 kHz", Repeat(MpegFrame(0xFD, 0x84, 0, 384), 3), 3, 3 * 384},
        {"Layer I with CRC, 288 kbit/s", Repeat(MpegFrame(0xFE, 0x90, 0, 312), 3), 3, 3 * 312},
        {"junk before the first frame", "ab\xFF\x01" + l3, 2, 835},
        {"a region without frames between", l3 + std::string(5000, '\0') + l3, 4, 2 * 835},
        {"a run of 0xFF bytes", std::string(8, '\xFF') + l3, 0, 0},
        {"bit rate index 15", MpegFrame(0xFB, 0xF0, 0, 417) + l3, 0, 0},
        {"sampling rate index 3", MpegFrame(0xFB, 0x9C, 0, 417) + l3, 0, 0},
        {"layer 0", MpegFrame(0xF9, 0x90, 0, 417) + l3, 0, 0},
        {"free format ends the stream", l3 + MpegFrame(0xFB, 0x00, 0, 417) + l3, 2, 835},
        {"a bad header ends the stream", l3 + MpegFrame(0xFB, 0xF0, 0, 417) + l3, 2, 835},
        {"a cut frame ends the stream", l3 + l3.substr(0, 300), 2, 835},
    };
    for (const auto& c : cases) {
        const Walked w = ReadStream(c.stream);
        EXPECT_EQ(w.frames, c.frames) << c.name;
        EXPECT_EQ(w.bytes, c.bytes) << c.name;
    }
}

}  // namespace
