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
    const std::string pcm(400, 'x'), data = Chunk("data", pcm);
    const auto fmt = [](uint32_t size = 16, uint16_t tag = 1) { return Chunk("fmt ", FmtBody(1, 8000, 8, size, tag)); };
    const auto dataSized = [&](uint32_t size) { return "data" + U32(size) + pcm; };
    struct Case { const char* name; std::string file; uint64_t offset, end; } cases[] = {  // 0, 0: refused
        {"plain", Riff(fmt() + data), 44, 444},
        {"padded odd chunks around",
         Riff(Chunk("LIST", "abc") + fmt() + Chunk("junk", "12345") + data + Chunk("LIST", "tail")), 70, 470},
        {"unpadded odd chunk", Riff(fmt() + Chunk("junk", "12345", false) + data), 57, 457},
        {"fmt of 20 bytes", Riff(fmt(20) + data), 48, 448},
        {"data size 0: to the end", Riff(fmt() + dataSized(0)), 44, 444},
        {"data size past the end", Riff(fmt() + dataSized(401)), 44, 444},
        {"data shorter than the file", Riff(fmt() + dataSized(100)), 44, 144},
        {"fmt of 14 bytes", Riff(fmt(14) + data), 0, 0},
        {"fmt of 22 bytes", Riff(fmt(22) + data), 0, 0},
        {"float samples", Riff(fmt(16, 3) + data), 0, 0},
        {"data before fmt", Riff(data + fmt()), 0, 0},
        {"no data", Riff(fmt()), 0, 0},
        {"not WAVE", "RIFF" + U32(100) + "AVI " + fmt() + data, 0, 0},
    };
    for (const auto& c : cases) {
        MemorySource src(c.file);
        WaveLayout layout;
        ASSERT_EQ(ParseWave(src, layout), c.end != 0) << c.name;
        if (c.end == 0) continue;
        EXPECT_EQ(std::tuple(layout.dataOffset, layout.dataEnd), std::tuple(c.offset, c.end)) << c.name;
        const platform::WaveFormat& f = layout.format;  // as stored
        EXPECT_EQ(std::tuple(f.channels, f.samplesPerSec, f.blockAlign, f.bitsPerSample), std::tuple(1, 8000u, 1, 8));
    }
    for (size_t n = 0; n < 44; ++n) {  // cut inside its headers
        MemorySource cut(cases[0].file.substr(0, n));
        WaveLayout layout;
        EXPECT_FALSE(ParseWave(cut, layout)) << n;
    }
}

// How many frames and bytes playback reads one after the other until the stream ends.
std::tuple<int, uint64_t> ReadStream(const std::string& bytes) {
    MemorySource src(bytes);
    uint8_t buf[kMaxFrameBytes];
    MpegFrameHeader h;
    int frames = 0;
    uint64_t total = 0;
    for (uint32_t n; ReadFrameHeader(src, buf, h) && (n = ReadFrame(src, buf, h)) > 0; total += n) ++frames;
    return {frames, total};
}

TEST(MpegFrames, StreamsAreReadFrameByFrameOrRefused) {
    const std::string l3 = MpegFrame(0xFB, 0x90, 417) + MpegFrame(0xFB, 0x92, 418);  // 128 kbit/s, padded
    const auto thrice = [](const std::string& s) { return s + s + s; };
    struct Case { const char* name; std::string stream; int frames; uint64_t bytes; } cases[] = {
        {"MPEG-1 Layer III", thrice(l3), 6, 3 * 835},
        {"MPEG-2 Layer III, 64 kbit/s at 22050 Hz", thrice(MpegFrame(0xF3, 0x80, 208)), 3, 3 * 208},
        {"MPEG-1 Layer II, 128 kbit/s at 48 kHz", thrice(MpegFrame(0xFD, 0x84, 384)), 3, 3 * 384},
        {"Layer I with CRC, 288 kbit/s", thrice(MpegFrame(0xFE, 0x90, 312)), 3, 3 * 312},
        {"junk before the first frame", "ab\xFF\x01" + l3, 2, 835},
        {"a region without frames between", l3 + std::string(5000, '\0') + l3, 4, 2 * 835},
        {"a run of 0xFF bytes", std::string(8, '\xFF') + l3, 0, 0},
        {"bit rate index 15", MpegFrame(0xFB, 0xF0, 417) + l3, 0, 0},
        {"sampling rate index 3", MpegFrame(0xFB, 0x9C, 417) + l3, 0, 0},
        {"layer 0", MpegFrame(0xF9, 0x90, 417) + l3, 0, 0},
        {"free format ends the stream", l3 + MpegFrame(0xFB, 0x00, 417) + l3, 2, 835},
        {"a bad header ends the stream", l3 + MpegFrame(0xFB, 0xF0, 417) + l3, 2, 835},
        {"a cut frame ends the stream", l3 + l3.substr(0, 300), 2, 835},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadStream(c.stream), std::tuple(c.frames, c.bytes)) << c.name;
}

}  // namespace
