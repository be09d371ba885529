// SPDX-License-Identifier: GPL-3.0-or-later
// MPEG playback through the ring: every frame's PCM, the timeline of seeks,
// layers and header edge cases that end the stream.
#include "common/signal_match.h"
#include "common/test_audio.h"
#include "replay_fixture.h"
#include "test_files.h"

using namespace testaudio;
using testfiles::Write;

namespace {

class ReplayMpeg : public ReplayTest {};

TEST_F(ReplayMpeg, EveryFramePlaysItsSamples) {
    const QString path = testfiles::Mp3("s128.mp3", 0.5, {"-b", "128"});
    const int frames = testfiles::CountFrames(path);
    ASSERT_GT(frames, 20);
    ASSERT_EQ(player.Open(path), 1);
    ASSERT_EQ(Play(0), 1);
    EXPECT_EQ(Probe::Queued(player), 7);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(Probe::Header(player, i).bufferLength, 1152u * 4) << i;
    RunToEnd();
    EXPECT_EQ(player.IsPlaying(), 0);
    EXPECT_EQ(sim->openOutputs(), 0);
    // The Info frame included: the timeline matches the frame count exactly.
    EXPECT_EQ(sim->played().size(), qsizetype(frames) * 1152 * 4);
}

TEST_F(ReplayMpeg, VbrAndMonoStreams) {
    struct Case {
        const char* name;
        QString path;
        uint32_t frameBytes;
    } cases[] = {
        {"VBR", testfiles::Mp3("vbr.mp3", 1.0, {"-V", "4"}), 1152 * 4},
        {"MPEG-2 mono", testfiles::Mp3("m22.mp3", 0.5, {"-m", "m", "--resample", "22.05", "-b", "32"}),
         576 * 2},
    };
    for (const auto& c : cases) {
        sim->clearPlayed();
        ASSERT_EQ(player.Open(c.path), 1) << c.name;
        ASSERT_EQ(Play(0), 1) << c.name;
        RunToEnd();
        EXPECT_EQ(sim->played().size(), qsizetype(testfiles::CountFrames(c.path)) * c.frameBytes) << c.name;
    }
}

TEST_F(ReplayMpeg, SeekStartsAtTheFrameHoldingTheTime) {
    const QString path = testfiles::Mp3("cbr2.mp3", 2.0, {"-b", "128"});
    ASSERT_EQ(player.Open(path), 1);
    const double frame = 1152 / 44100.0;
    for (const double t : {0.0, 0.5, 1.0, 1.3333, 1.9}) {
        Probe::Seek(player, t);
        const double start = Probe::StartTime(player);
        EXPECT_LE(start, t) << t;
        EXPECT_GT(start + frame, t) << t;
        // The frame's own start time lands on the same frame.
        const uint64_t offset = Probe::FilePosition(player);
        Probe::Seek(player, start);
        EXPECT_EQ(Probe::FilePosition(player), offset) << t;
    }
    // Position after Play(t) begins at the start of t's frame and follows the bytes heard.
    ASSERT_EQ(Play(1.0), 1);
    const double start = Probe::StartTime(player);
    EXPECT_EQ(player.GetPosition(), start);
    EXPECT_GT(start, 1.0 - frame - 0.001);
    sim->advance(100);
    EXPECT_DOUBLE_EQ(player.GetPosition(), start + 4410 * 4 / (4 * 44100.0));
}

// The largest difference between two runs of 16-bit samples; 65536 when
// their lengths differ.
int MaxDifference(const QByteArray& a, const QByteArray& b) {
    if (a.size() != b.size()) return 65536;
    const auto* x = reinterpret_cast<const int16_t*>(a.constData());
    const auto* y = reinterpret_cast<const int16_t*>(b.constData());
    int most = 0;
    for (qsizetype i = 0; i < a.size() / 2; ++i) most = std::max(most, std::abs(x[i] - y[i]));
    return most;
}

// Three seconds of noise, which uses the bit reservoir more than the sweep.
QString NoiseMp3(const QString& name, const QStringList& lameArgs) {
    std::vector<int16_t> stereo;
    for (const int16_t s : signaltest::noise(3 * 44100, 5)) stereo.insert(stereo.end(), {s, s});
    const QString wav = Write("noise.wav", WaveFile(2, 44100, 16, PcmBytes(stereo)));
    const QString mp3 = testfiles::Folder() + "/" + name;
    EXPECT_TRUE(EncodeMp3(wav, mp3, lameArgs));
    return mp3;
}

TEST_F(ReplayMpeg, SeekPlaysWhatContinuousPlaybackPlaysThere) {
    // Play(t) starts at the frame continuous playback plays at t, with that
    // frame's start as the position, and from there sounds as continuous
    // playback does (to the rounding of the last bit): no frame lacks its bit
    // reservoir or the frames its start overlaps. A run of zeros between
    // joined files counts no time.
    const QString vbr = testfiles::Mp3("vbr3.mp3", 3.0, {"-V", "4"});
    const std::string bytes = testaudio::ReadFile(vbr);
    struct Case {
        const char* name;
        QString path;
        std::vector<double> times;
        int frameBytes;
    } cases[] = {
        {"VBR", vbr, {0.0, 0.4, 1.3, 2.7}, 1152 * 4},
        {"joined after zeros", Write("joined.mp3", bytes + std::string(200000, '\0') + bytes), {1.0, 3.1, 4.5, 5.9},
         1152 * 4},
        {"MPEG-2 VBR of noise", NoiseMp3("noise22.mp3", {"-V", "9", "--resample", "22.05"}), {0.3, 1.1, 2.5},
         576 * 4},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(player.Open(c.path), 1) << c.name;
        sim->clearPlayed();
        ASSERT_EQ(Play(0), 1) << c.name;
        RunToEnd();
        const QByteArray whole = sim->played();
        platform::AudioFile file;
        ASSERT_TRUE(file.open(c.path));
        for (const double t : c.times) {
            const testfiles::FramePlace frame = testfiles::PlaybackFrameAt(file, 0, t);
            sim->clearPlayed();
            ASSERT_EQ(Play(t), 1) << c.name << " at " << t;
            EXPECT_DOUBLE_EQ(player.GetPosition(), frame.start) << c.name << " at " << t;
            RunToEnd();
            EXPECT_LE(MaxDifference(sim->played(), whole.mid(frame.number * c.frameBytes)), 1) << c.name << " at " << t;
        }
    }
}

TEST_F(ReplayMpeg, FrameEndStartsTheNextFrame) {
    // Hand-built frames: 417 bytes, 418 (padded), 417; silence for the decoder.
    const std::string stream = MpegFrame(0xFB, 0x90, 0x00, 417) + MpegFrame(0xFB, 0x92, 0x00, 418) +
                               MpegFrame(0xFB, 0x90, 0x00, 417);
    ASSERT_EQ(player.Open(Write("three.mp3", stream)), 1);
    const double d0 = 1152 / 44100.0, d1 = d0;  // every frame: its samples at its rate
    Probe::Seek(player, d0);
    EXPECT_EQ(Probe::FilePosition(player), 417u);
    EXPECT_DOUBLE_EQ(Probe::StartTime(player), d0);
    Probe::Seek(player, d0 + d1);
    EXPECT_EQ(Probe::FilePosition(player), 835u);
    Probe::Seek(player, 0.0);
    EXPECT_EQ(Probe::FilePosition(player), 0u);
    EXPECT_EQ(Probe::StartTime(player), 0.0);
    Probe::Seek(player, 5.0);  // past the end: the whole duration, nothing to play
    EXPECT_DOUBLE_EQ(Probe::StartTime(player), d0 + d1 + d0);
    ASSERT_EQ(Play(5.0), 1);
    EXPECT_EQ(Probe::Queued(player), 0);
    EXPECT_EQ(player.IsPlaying(), 1);
}

TEST_F(ReplayMpeg, StreamsEndAtFreeFormatOrACutFrame) {
    const std::string five = [] {
        std::string s;
        for (int i = 0; i < 5; ++i) s += MpegFrame(0xFB, 0x90, 0x00, 417);
        return s;
    }();
    struct Case {
        const char* name;
        std::string bytes;
        int frames;
    } cases[] = {
        {"free format", five + MpegFrame(0xFB, 0x00, 0x00, 417) + five, 5},
        {"cut frame", five + MpegFrame(0xFB, 0x90, 0x00, 417).substr(0, 200), 5},
        {"junk between frames is skipped", five + "junk" + five, 10},
    };
    for (const auto& c : cases) {
        sim->clearPlayed();
        ASSERT_EQ(player.Open(Write(QString::fromLatin1(c.name) + ".mp3", c.bytes)), 1) << c.name;
        ASSERT_EQ(Play(0), 1) << c.name;
        RunToEnd();
        EXPECT_EQ(player.IsPlaying(), 0) << c.name;
        EXPECT_EQ(sim->played().size(), c.frames * 1152 * 4) << c.name;
    }
}

TEST_F(ReplayMpeg, OtherLayersPlayWholeFrames) {
    // Silent frames of layers I and II: each must be read whole, at its own length.
    struct Case {
        const char* name;
        uint8_t b1, b2;
        int length, samples, channels;
        uint32_t rate;
    } cases[] = {
        {"MPEG-1 Layer II 192k", 0xFD, 0xA0, 626, 1152, 2, 44100},
        {"MPEG-2 Layer II 64k 24000", 0xF5, 0x84, 384, 1152, 2, 24000},
        {"MPEG-1 Layer I 128k with CRC", 0xFE, 0x40, 136, 384, 2, 44100},
    };
    for (const auto& c : cases) {
        std::string stream;
        for (int i = 0; i < 12; ++i) stream += MpegFrame(c.b1, c.b2, 0x00, c.length);
        sim->clearPlayed();
        ASSERT_EQ(player.Open(Write(QString::fromLatin1(c.name) + ".mp2", stream)), 1) << c.name;
        ASSERT_EQ(Play(0), 1) << c.name;
        EXPECT_EQ(sim->lastOutFormat().samplesPerSec, c.rate) << c.name;
        RunToEnd();
        EXPECT_EQ(sim->played().size(), 12 * c.samples * c.channels * 2) << c.name;
    }
}

TEST_F(ReplayMpeg, DestinationRoomStaysInTheBlock) {
    // 8 kbit/s at 24000 Hz: 4096 source bytes would convert to far more than a block.
    std::string stream;
    for (int i = 0; i < 10; ++i) stream += MpegFrame(0xF3, 0x14, 0xC0, 24);
    ASSERT_EQ(player.Open(Write("low.mp3", stream)), 1);
    EXPECT_EQ(Probe::DstBytes(player), 65536u);
    ASSERT_EQ(Play(0), 1);
    RunToEnd();
    EXPECT_EQ(sim->played().size(), 10 * 576 * 2);
}

}  // namespace
