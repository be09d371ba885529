// SPDX-License-Identifier: GPL-3.0-or-later
// RIFF WAVE parsing: chunk orders, fmt sizes, the data chunk's bounds, pad
// bytes, and files cut short or lying about their sizes.
#include "audio/wave_parser.h"
#include "common/memory_source.h"
#include "common/test_audio.h"

#include <gtest/gtest.h>

using namespace testaudio;

namespace {

const std::string kFmt = Chunk("fmt ", FmtBody(2, 44100, 16));
const std::string kSamples = CountingBytes(1000);
const std::string kData = Chunk("data", kSamples);

bool Parse(const std::string& bytes, WaveLayout& out) {
    MemorySource src(bytes);
    return ParseWave(src, out);
}

struct LayoutCase {
    const char* name;
    std::string file;
    bool ok;
    uint64_t dataOffset;
    uint64_t dataEnd;
};

TEST(WaveParser, ChunkOrdersAndSizes) {
    const std::string list = Chunk("LIST", std::string(26, 'x'));
    const std::string fact = Chunk("fact", U32(250));
    const std::string odd = Chunk("LIST", std::string(7, 'y'));             // padded to 8
    const std::string oddUnpadded = Chunk("LIST", std::string(7, 'y'), false);
    const LayoutCase cases[] = {
        {"fmt, data", Riff(kFmt + kData), true, 44, 1044},
        {"fmt 18 bytes", Riff(Chunk("fmt ", FmtBody(2, 44100, 16, 18)) + kData), true, 46, 1046},
        {"fmt 20 bytes", Riff(Chunk("fmt ", FmtBody(2, 44100, 16, 20)) + kData), true, 48, 1048},
        {"LIST before fmt", Riff(list + kFmt + kData), true, 78, 1078},
        {"LIST and fact between", Riff(kFmt + list + fact + kData), true, 90, 1090},
        {"odd chunk, padded", Riff(kFmt + odd + kData), true, 60, 1060},
        {"odd chunk, not padded", Riff(kFmt + oddUnpadded + kData), true, 59, 1059},
        {"chunk after data", Riff(kFmt + kData + list), true, 44, 1044},
        {"data size 0: to the end", Riff(kFmt + ChunkWithSize("data", 0, kSamples) + list), true,
         44, 1078},
        {"data size past the end", Riff(kFmt + ChunkWithSize("data", 5000, kSamples)), true, 44,
         1044},
        {"data size 0xFFFFFFFF", Riff(kFmt + ChunkWithSize("data", 0xFFFFFFFF, kSamples)), true, 44,
         1044},
        {"data before fmt", Riff(kData + kFmt), false, 0, 0},
        {"no data chunk", Riff(kFmt + list), false, 0, 0},
        {"fmt 14 bytes", Riff(Chunk("fmt ", FmtBody(2, 44100, 16, 14)) + kData), false, 0, 0},
        {"fmt 40 bytes (extensible)", Riff(Chunk("fmt ", FmtBody(2, 44100, 16, 40)) + kData), false,
         0, 0},
        {"fmt size 0xFFFFFFFF", Riff(ChunkWithSize("fmt ", 0xFFFFFFFF, FmtBody(2, 44100, 16)) + kData),
         false, 0, 0},
        {"format tag 3 (float)", Riff(Chunk("fmt ", FmtBody(2, 44100, 32, 16, 3)) + kData), false, 0,
         0},
        {"chunk size past the end", Riff(kFmt + ChunkWithSize("LIST", 0x7FFFFFF0, "") + kData), false,
         0, 0},
        {"chunk size 0xFFFFFFFF", Riff(kFmt + ChunkWithSize("LIST", 0xFFFFFFFF, "") + kData), false,
         0, 0},
        {"not WAVE", "RIFF" + U32(100) + "AVI " + kFmt + kData, false, 0, 0},
    };
    for (const auto& c : cases) {
        WaveLayout layout;
        EXPECT_EQ(Parse(c.file, layout), c.ok) << c.name;
        if (!c.ok) continue;
        EXPECT_EQ(layout.dataOffset, c.dataOffset) << c.name;
        EXPECT_EQ(layout.dataEnd, c.dataEnd) << c.name;
    }
}

TEST(WaveParser, FormatFieldsAreTakenAsStored) {
    // Inconsistent fields are not mended here: the device accepts or refuses them.
    std::string fmt = U16(1) + U16(3) + U32(12345) + U32(777) + U16(5) + U16(24);
    WaveLayout layout;
    ASSERT_TRUE(Parse(Riff(Chunk("fmt ", fmt) + kData), layout));
    EXPECT_EQ(layout.format.formatTag, 1);
    EXPECT_EQ(layout.format.channels, 3);
    EXPECT_EQ(layout.format.samplesPerSec, 12345u);
    EXPECT_EQ(layout.format.avgBytesPerSec, 777u);
    EXPECT_EQ(layout.format.blockAlign, 5);
    EXPECT_EQ(layout.format.bitsPerSample, 24);
    EXPECT_EQ(layout.format.cbSize, 0);
}

TEST(WaveParser, EveryTruncatedHeaderIsRefused) {
    const std::string file = Riff(kFmt + Chunk("LIST", "abcd") + kData);
    const size_t headerEnd = file.size() - kSamples.size();
    for (size_t n = 0; n < headerEnd; ++n) {
        WaveLayout layout;
        EXPECT_FALSE(Parse(file.substr(0, n), layout)) << n << " bytes";
    }
    WaveLayout layout;
    EXPECT_TRUE(Parse(file.substr(0, headerEnd), layout));  // data chunk of size past the end
    EXPECT_EQ(layout.dataEnd, headerEnd);
}

}  // namespace
