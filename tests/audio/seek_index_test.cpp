// SPDX-License-Identifier: GPL-3.0-or-later
// The MPEG seek index answers every seek as a walk from the first frame
// would, whatever the order of the seeks, and walks each frame only once.
#include "audio/mpeg_frame.h"
#include "audio/mpeg_seek_index.h"
#include "common/memory_source.h"
#include "common/test_audio.h"

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

// The walk from the first frame, frame by frame, as each seek once did it.
MpegSeekIndex::Place Walk(platform::ByteSource& src, uint64_t first, double t) {
    uint8_t buf[kMaxFrameBytes];
    MpegFrameHeader h;
    uint64_t offset = first;
    double start = 0.0;
    src.seek(offset);
    while (ReadFrameHeader(src, buf, h) && BitrateKbps(h) != 0) {
        const double end = start + FrameDuration(h);
        if (end > t) return {offset, start};
        offset += uint64_t(FrameLength(h));
        start = end;
        src.seek(offset);
    }
    return {offset, start};
}

TEST(MpegSeekIndex, FrameBoundaries) {
    // Three frames: 417 bytes (26.0625 ms), 418 (26.125 ms), 417.
    const std::string stream = MpegFrame(0xFB, 0x90, 0, 417) + MpegFrame(0xFB, 0x92, 0, 418) +
                               MpegFrame(0xFB, 0x90, 0, 417);
    MemorySource src(stream);
    MpegSeekIndex index;
    index.Reset(0);
    uint8_t buf[kMaxFrameBytes];
    const double d0 = 417 * 8 / 128000.0, d1 = 418 * 8 / 128000.0;
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

TEST(MpegSeekIndex, SameAnswersAsAWalkInAnyOrder) {
    const std::string stream = VbrStream(3000, 7) + "trailing junk";
    MemorySource reference(stream);
    CountingSource src(stream);
    MpegSeekIndex index;
    index.Reset(0);
    uint8_t buf[kMaxFrameBytes];
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> time(-1.0, 90.0);  // past the end too
    for (int i = 0; i < 300; ++i) {
        const double t = i % 50 == 0 ? 1e9 : time(rng);
        const auto expected = Walk(reference, 0, t);
        const auto place = index.Find(src, buf, t);
        ASSERT_EQ(place.offset, expected.offset) << "seek " << i << " to " << t;
        ASSERT_EQ(place.startTime, expected.startTime) << "seek " << i << " to " << t;
    }
    // Every frame header was read once, and nothing after the walk's end twice.
    EXPECT_EQ(index.FramesKnown(), 3000u);
    EXPECT_LT(src.bytesRead, 3000u * 4 + 64);
}

TEST(MpegSeekIndex, StartsAfterATagAndEndsAtFreeFormat) {
    const std::string tag(1000, 'T');
    const std::string frames = MpegFrame(0xFB, 0x90, 0, 417) + MpegFrame(0xFB, 0x90, 0, 417);
    MemorySource src(tag + frames + MpegFrame(0xFB, 0x00, 0, 417) + frames);
    MpegSeekIndex index;
    index.Reset(tag.size());
    uint8_t buf[kMaxFrameBytes];
    const double d = 417 * 8 / 128000.0;
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
