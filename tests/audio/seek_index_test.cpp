// SPDX-License-Identifier: GPL-3.0-or-later
// The MPEG seek index answers every seek with the frame continuous playback
// from the first frame reaches at that time, whatever the order of the seeks,
// and walks each frame only once.
#include "audio/mpeg_frame.h"
#include "audio/mpeg_seek_index.h"
#include "common/memory_source.h"
#include "common/test_audio.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <random>

using testaudio::MpegFrame;

namespace {

// A counting source: how many bytes the walk has read.
class CountingSource : public platform::ByteSource {
public:
    explicit CountingSource(std::string bytes) : inner_(std::move(bytes)) {}
    uint32_t read(void* dst, uint32_t n) override {
        const uint32_t got = inner_.read(dst, n);
        bytesRead += got;
        return got;
    }
    void seek(uint64_t offset) override { inner_.seek(offset); }
    uint64_t position() const override { return inner_.position(); }
    uint64_t size() const override { return inner_.size(); }
    uint64_t bytesRead = 0;

private:
    MemorySource inner_;
};

// Frames of several bit rates, padded and not, as a VBR file has them.
std::string VbrStream(int frames, uint32_t seed) {
    static const uint8_t kByte2[] = {0x90, 0x92, 0x50, 0xB0, 0xB2, 0xE0};  // 128, 128p, 64, 192, 192p, 320
    std::mt19937 rng(seed);
    std::string out;
    for (int i = 0; i < frames; ++i) {
        const uint8_t b2 = kByte2[rng() % 6];
        const uint8_t bytes[4] = {0xFF, 0xFB, b2, 0x00};
        MpegFrameHeader h;
        DecodeFrameHeader(bytes, h);
        out += MpegFrame(0xFB, b2, 0x00, FrameLength(h));
    }
    return out;
}

TEST(MpegSeekIndex, FrameBoundaries) {
    // Three frames: 417 bytes (26.0625 ms), 418 (26.125 ms), 417.
    const std::string stream = MpegFrame(0xFB, 0x90, 0, 417) + MpegFrame(0xFB, 0x92, 0, 418) +
                               MpegFrame(0xFB, 0x90, 0, 417);
    MemorySource src(stream);
    MpegSeekIndex index;
    index.Reset(0);
    uint8_t buf[kMaxFrameBytes];
    const double d0 = 1152 / 44100.0, d1 = d0;  // every frame: its samples at its rate
    struct Case {
        double t;
        uint64_t offset;
        double start;
    } cases[] = {
        {0.0, 0, 0.0},
        {d0 / 2, 0, 0.0},
        {d0, 417, d0},  // a time equal to a frame's end starts the next frame
        {d0 + d1 - 1e-9, 417, d0},
        {d0 + d1, 835, d0 + d1},
        {10.0, 1252, d0 + d1 + d0},  // past the end: the whole duration
        {0.001, 0, 0.0},
    };
    for (const auto& c : cases) {
        const auto place = index.Find(src, buf, c.t);
        EXPECT_EQ(place.offset, c.offset) << c.t;
        EXPECT_DOUBLE_EQ(place.startTime, c.start) << c.t;
    }
}

TEST(MpegSeekIndex, SameAnswersAsContinuousPlaybackInAnyOrder) {
    // Regions without frames between frames (a run of zeros, a tag with cover
    // art in joined files) are skipped once and count no time.
    const std::string zeros(300000, '\0');
    const std::string art = testaudio::Id3v2Tag(0) + testaudio::CountingBytes(70000);  // no 0xFF: no sync
    struct Case {
        const char* name;
        std::string stream;
        uint64_t gapBytes;
    } cases[] = {
        {"frames only", VbrStream(3000, 7) + "trailing junk", 0},
        {"zeros and a tag", VbrStream(1000, 7) + zeros + VbrStream(1000, 8) + art + VbrStream(1000, 9),
         zeros.size() + art.size()},
    };
    for (const auto& c : cases) {
        MemorySource reference(c.stream);
        CountingSource src(c.stream);
        MpegSeekIndex index;
        index.Reset(0);
        uint8_t buf[kMaxFrameBytes];
        std::mt19937 rng(11);
        std::uniform_real_distribution<double> time(-1.0, 90.0);  // past the end too
        for (int i = 0; i < 300; ++i) {
            const double t = i % 50 == 0 ? 1e9 : time(rng);
            const auto expected = testfiles::PlaybackFrameAt(reference, 0, t);
            const auto place = index.Find(src, buf, t);
            ASSERT_EQ(place.offset, expected.offset) << c.name << ": seek " << i << " to " << t;
            ASSERT_EQ(place.startTime, expected.start) << c.name << ": seek " << i << " to " << t;
        }
        // Every frame header and every byte between frames was read once (the
        // search for a sync reads a block at a time, so a little further).
        EXPECT_EQ(index.FramesKnown(), 3000u) << c.name;
        EXPECT_LT(src.bytesRead, 3000u * 4 + c.gapBytes + 2 * kMaxFrameBytes + 64) << c.name;
    }
}

TEST(MpegSeekIndex, StartsAfterATagAndEndsAtFreeFormat) {
    const std::string tag(1000, 'T');
    const std::string frames = MpegFrame(0xFB, 0x90, 0, 417) + MpegFrame(0xFB, 0x90, 0, 417);
    MemorySource src(tag + frames + MpegFrame(0xFB, 0x00, 0, 417) + frames);
    MpegSeekIndex index;
    index.Reset(tag.size());
    uint8_t buf[kMaxFrameBytes];
    const double d = 1152 / 44100.0;
    auto place = index.Find(src, buf, d * 1.5);
    EXPECT_EQ(place.offset, 1417u);
    EXPECT_DOUBLE_EQ(place.startTime, d);
    // The free-format frame ends the walk: later frames are never reached.
    place = index.Find(src, buf, d * 3.5);
    EXPECT_EQ(place.offset, 1834u);
    EXPECT_DOUBLE_EQ(place.startTime, 2 * d);
    EXPECT_EQ(index.FramesKnown(), 2u);
}

TEST(MpegSeekIndex, EmptyStream) {
    MemorySource src("no frames here");
    MpegSeekIndex index;
    index.Reset(0);
    uint8_t buf[kMaxFrameBytes];
    const auto place = index.Find(src, buf, 5.0);
    EXPECT_EQ(place.offset, 0u);
    EXPECT_EQ(place.startTime, 0.0);
}

}  // namespace
