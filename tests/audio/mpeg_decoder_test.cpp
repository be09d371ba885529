// SPDX-License-Identifier: GPL-3.0-or-later
// The libmpg123 frame converter: one frame in, its PCM out, nothing left
// over after a reset, and damaged frames that still keep the timeline.
#include "audio/mpeg_frame.h"
#include "common/test_audio.h"
#include "platform/mpeg_decoder.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

struct Frame {
    std::vector<uint8_t> bytes;
};

std::vector<Frame> Frames(const QString& path) {
    platform::AudioFile file;
    std::vector<Frame> out;
    if (!file.open(path)) return out;
    uint8_t buf[kMaxFrameBytes];
    MpegFrameHeader h;
    while (ReadFrameHeader(file, buf, h)) {
        const uint32_t n = ReadFrame(file, buf, h);
        if (!n) break;
        out.push_back({std::vector<uint8_t>(buf, buf + n)});
    }
    return out;
}

uint32_t Decode(platform::MpegDecoder& d, const Frame& f, std::vector<uint8_t>& pcm) {
    pcm.assign(65536, 0xAA);
    return d.decode(f.bytes.data(), uint32_t(f.bytes.size()), pcm.data(), 65536, 1152 * 4);
}

bool Silent(const std::vector<uint8_t>& pcm, uint32_t n) {
    return std::all_of(pcm.begin(), pcm.begin() + n, [](uint8_t b) { return b == 0; });
}

TEST(MpegDecoder, OneFrameInItsPcmOut) {
    const auto frames = Frames(testfiles::Mp3("s128.mp3", 0.5, {"-b", "128"}));
    ASSERT_GT(frames.size(), 10u);
    platform::MpegDecoder d;
    ASSERT_TRUE(d.open(44100, 2));
    std::vector<uint8_t> pcm;
    bool sound = false;
    for (size_t i = 0; i < frames.size(); ++i) {
        ASSERT_EQ(Decode(d, frames[i], pcm), 1152u * 4) << i;
        sound = sound || !Silent(pcm, 1152 * 4);
    }
    EXPECT_TRUE(sound);
}

TEST(MpegDecoder, ResetLeavesNothingBehind) {
    const auto tone = Frames(testfiles::Mp3("s128.mp3", 0.5, {"-b", "128"}));
    const std::string silenceWav = testaudio::WaveFile(2, 44100, 16, std::string(44100 * 4, '\0'));
    const QString silenceMp3 = testfiles::Folder() + "/silence.mp3";
    ASSERT_TRUE(testaudio::EncodeMp3(testfiles::Write("silence.wav", silenceWav), silenceMp3, {"-b", "128"}));
    const auto silence = Frames(silenceMp3);
    ASSERT_GT(silence.size(), 5u);

    std::vector<uint8_t> pcm;
    for (const bool reset : {false, true}) {
        platform::MpegDecoder d;
        ASSERT_TRUE(d.open(44100, 2));
        for (size_t i = 0; i < 10; ++i) Decode(d, tone[10 + i], pcm);
        if (reset) d.reset();
        // The silent frame plays the tone's tail unless the decoder was reset.
        ASSERT_EQ(Decode(d, silence[3], pcm), 1152u * 4);
        EXPECT_EQ(Silent(pcm, 1152 * 4), reset) << "reset " << reset;
    }
}

TEST(MpegDecoder, DamagedFramesKeepTheTimeline) {
    const auto frames = Frames(testfiles::Mp3("s128.mp3", 0.5, {"-b", "128"}));
    platform::MpegDecoder d;
    ASSERT_TRUE(d.open(44100, 2));
    std::mt19937 rng(3);
    std::vector<uint8_t> pcm;
    for (size_t i = 0; i < frames.size(); ++i) {
        Frame f = frames[i];
        if (i % 3 == 1)
            for (size_t k = 4; k < f.bytes.size(); ++k) f.bytes[k] = uint8_t(rng());
        if (i % 7 == 2) f.bytes.resize(40);  // cut short
        EXPECT_EQ(Decode(d, f, pcm), 1152u * 4) << i;
    }
}

TEST(MpegDecoder, RefusedFormats) {
    platform::MpegDecoder d;
    EXPECT_FALSE(d.open(44100, 3));
    EXPECT_FALSE(d.isOpen());
    EXPECT_TRUE(d.open(22050, 1));
    EXPECT_TRUE(d.isOpen());
}

}  // namespace
