// SPDX-License-Identifier: GPL-3.0-or-later
// The file player on the simulated device (stepped clock): what the device
// receives and the position the player reports, for WAV and MP3 files,
// seeks, pause, speed, refused files and device faults.
#include "audio/mpeg_frame.h"
#include "audio/replay_file.h"
#include "audio/replay_receiver.h"
#include "common/test_audio.h"
#include "platform/message_box.h"
#include "platform/sim_audio.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

using namespace testaudio;
using platform::WaveEvent;

namespace {

constexpr int kRate = 44100, kFrameBytes = 4;  // the sweep: 16-bit stereo
constexpr double kSeconds = 3.0;
const std::string kPcm = PcmBytes(Sweep(kRate, 2, kSeconds));

size_t At(double seconds) { return size_t(seconds * kRate) * kFrameBytes; }

int16_t SampleAt(const std::string& pcm, size_t i) { return int16_t(uint8_t(pcm[2 * i]) | uint8_t(pcm[2 * i + 1]) << 8); }

// The largest difference between two runs of 16-bit samples; 65536 when their lengths differ.
int MaxDifference(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return 65536;
    int most = 0;
    for (size_t i = 0; i < a.size() / 2; ++i) most = std::max(most, std::abs(SampleAt(a, i) - SampleAt(b, i)));
    return most;
}

// The sweep's frequency over the last 200 ms played (upward zero crossings),
// told as the time in the file where the sweep has it.
double FileTimeOfPitch(const std::string& played) {
    const size_t frames = played.size() / kFrameBytes, from = frames - kRate / 5;
    double first = -1, last = -1;
    int n = 0;
    for (size_t f = from + 1; f < frames; ++f) {
        const double a = SampleAt(played, 2 * (f - 1)), b = SampleAt(played, 2 * f);
        if (a >= 0 || b < 0) continue;
        last = double(f - 1) + a / (a - b);
        if (first < 0) first = last;
        ++n;
    }
    return ((n - 1) * kRate / (last - first) - 300.0) / 150.0;
}

class Player : public ::testing::Test {
protected:
    void SetUp() override {
        platform::setAudioBackend(&sim);
        sim.setKeepPlayed(true);
        platform::SetMessageSink([this](const QString& text) { messages << text; });
    }
    void TearDown() override {
        player.Close();
        platform::setAudioBackend(nullptr);
        platform::SetMessageSink({});
    }
    QString File(const QString& name, const std::string& bytes) {
        EXPECT_TRUE(WriteFile(dir.filePath(name), bytes));
        return dir.filePath(name);
    }
    QString Sweep() { return File("sweep.wav", Riff(Chunk("fmt ", FmtBody(2, kRate, 16)) + Chunk("data", kPcm) + Chunk("LIST", "not sound"))); }
    bool Play(double t) {
        sim.clearPlayed();
        return player.Play(&receiver, t);
    }
    void Advance(int ms) {
        for (; ms > 0; ms -= 50) {
            sim.advance(std::min(ms, 50));
            QCoreApplication::sendPostedEvents(&receiver, WaveEvent::OutDone);
        }
    }
    void RunToEnd() {
        for (int i = 0; i < 4000 && player.IsPlaying(); ++i) Advance(50);
    }
    std::string Played() const { return sim.played().toStdString(); }

    platform::SimAudioBackend sim{platform::SimAudioBackend::Clock::Stepped};
    CReplayFile player;
    CReplayReceiver receiver{player};
    QTemporaryDir dir;
    QStringList messages;
};

TEST_F(Player, WavPlaysFromTheStartTimeToTheEndOfItsData) {
    ASSERT_TRUE(player.Open(Sweep()));
    EXPECT_DOUBLE_EQ(player.GetLength(), kSeconds);
    for (double start : {0.0, 1.25, -3.0, std::nan("")}) {
        const double from = start > 0 ? start : 0.0;
        ASSERT_TRUE(Play(start)) << start;
        EXPECT_EQ(player.GetPosition(), from) << start;
        Advance(500);
        EXPECT_DOUBLE_EQ(player.GetPosition(), from + 0.5) << start;
        EXPECT_EQ(Played(), kPcm.substr(At(from), At(0.5))) << start;
        RunToEnd();
        EXPECT_FALSE(player.IsPlaying()) << start;
        EXPECT_EQ(sim.openOutputs(), 0) << start;
        EXPECT_EQ(Played(), kPcm.substr(At(from))) << start;
    }
    // From the end of the data on: the device is open, nothing is queued or heard.
    for (double start : {kSeconds, 30.0}) {
        ASSERT_TRUE(Play(start));
        Advance(1000);
        EXPECT_TRUE(player.IsPlaying() && !player.HasQueuedAudio()) << start;
        EXPECT_EQ(player.GetPosition(), start);
        EXPECT_TRUE(Played().empty()) << start;
        EXPECT_TRUE(player.CloseDevice());
    }
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

TEST_F(Player, PauseJumpsAndRestarts) {
    ASSERT_TRUE(player.Open(Sweep()));
    ASSERT_TRUE(Play(0.0));
    Advance(500);
    ASSERT_TRUE(player.Pause());
    EXPECT_TRUE(player.IsPaused());
    Advance(1000);
    EXPECT_DOUBLE_EQ(player.GetPosition(), 0.5);
    EXPECT_EQ(Played().size(), At(0.5));
    ASSERT_TRUE(player.Resume());
    Advance(250);
    EXPECT_DOUBLE_EQ(player.GetPosition(), 0.75);
    EXPECT_EQ(Played(), kPcm.substr(0, At(0.75)));
    // A jump keeps the device; Play while playing opens it afresh.
    sim.clearPlayed();
    ASSERT_TRUE(player.PlayFrom(2.0));
    Advance(250);
    EXPECT_DOUBLE_EQ(player.GetPosition(), 2.25);
    EXPECT_EQ(Played(), kPcm.substr(At(2.0), At(0.25)));
    ASSERT_TRUE(Play(1.0));
    EXPECT_EQ(sim.openOutputs(), 1);
    RunToEnd();
    EXPECT_EQ(Played(), kPcm.substr(At(1.0)));
    EXPECT_FALSE(player.PlayFrom(1.0));  // nothing plays
}

TEST_F(Player, DeviceFaultsStopPlaybackWithOneMessage) {
    ASSERT_TRUE(player.Open(Sweep()));
    const QString failed = "The replay device failed: playback stopped";
    struct Case {
        const char* name;
        bool failOpen;
        int failWrite;
        bool plays;
        QString message;
    } cases[] = {
        {"cannot open", true, 0, false, "Failed to open replay device"},
        {"refused while priming", false, 3, false, failed},
        {"refused on a refill", false, 9, true, failed},
        {"no fault", false, 0, true, {}},
    };
    for (const auto& c : cases) {
        messages.clear();
        sim.setFailOpen(c.failOpen);
        sim.setFailWriteAfter(c.failWrite);
        EXPECT_EQ(Play(0.0), c.plays) << c.name;
        RunToEnd();
        EXPECT_FALSE(player.IsPlaying()) << c.name;
        EXPECT_EQ(sim.openOutputs(), 0) << c.name;
        EXPECT_EQ(player.DeviceFailed(), c.message == failed) << c.name;
        EXPECT_EQ(messages, c.message.isEmpty() ? QStringList{} : QStringList{c.message}) << c.name;
        EXPECT_EQ(Played() == kPcm, c.message.isEmpty()) << c.name;
    }
}

TEST_F(Player, RefusedFilesLeaveNothingLoaded) {
    struct Case {
        QString path;
        QString message;
    } cases[] = {
        {dir.filePath("missing.wav"), "Could not open '%1'"},
        {dir.path(), "Could not open '%1'"},
        {File("cut.mp3", "\xFF\xFB\x90"), "Format error on file '%1'\n"},
        {File("text.wav", "hello, world"), {}},
        {File("float.wav", WaveFile(2, kRate, 32, std::string(64, 'a')).replace(20, 1, "\3")), {}},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(player.Open(Sweep()));
        messages.clear();
        EXPECT_FALSE(player.Open(c.path)) << c.path.toStdString();
        EXPECT_FALSE(player.IsLoaded()) << c.path.toStdString();
        EXPECT_FALSE(Play(0.0));
        const QStringList expected = c.message.isEmpty() ? QStringList{} : QStringList{c.message.arg(c.path)};
        EXPECT_EQ(messages, expected) << c.path.toStdString();
    }
}

// MP3 files made by lame from the sweep, the same file with a tag in front and
// a region without frames in the middle, and one with a damaged frame.
class Mp3Player : public Player {
protected:
    struct Frames {
        std::vector<double> starts;     // of each frame, and the end of the last
        std::vector<uint64_t> offsets;  // of each frame
        size_t pcmBytes = 0;            // one frame's PCM
    };
    // Continuous playback's timeline of `path` from its first frame.
    static Frames Walk(const QString& path, uint64_t first) {
        platform::AudioFile file;
        EXPECT_TRUE(file.open(path));
        file.seek(first);
        uint8_t buf[kMaxFrameBytes];
        MpegFrameHeader h;
        Frames f{{0.0}, {}, 0};
        while (ReadFrameHeader(file, buf, h) && ReadFrame(file, buf, h)) {
            f.offsets.push_back(file.position() - uint64_t(FrameLength(h)));
            f.starts.push_back(f.starts.back() + double(SamplesPerFrame(h)) / SampleRate(h));
            f.pcmBytes = size_t(SamplesPerFrame(h) * Channels(h) * 2);
        }
        return f;
    }
};

TEST_F(Mp3Player, PlaysEveryFrameAndSeeksWhereContinuousPlaybackIs) {
    const QString wav = File("sweep.wav", WaveFile(2, kRate, 16, kPcm));
    struct Case {
        const char* name;
        QStringList lame;
        int rate, channels;
    } encodings[] = {
        {"128 kbit/s", {"-b", "128"}, 44100, 2},
        {"VBR", {"-V", "4"}, 44100, 2},
        {"MPEG-2 mono", {"--resample", "22.05", "-m", "m", "-b", "32"}, 22050, 1},
    };
    for (const auto& e : encodings) {
        const QString mp3 = dir.filePath(QString::number(e.rate + e.lame.size()) + ".mp3");
        ASSERT_TRUE(EncodeMp3(wav, mp3, e.lame)) << e.name;
        const Frames frames = Walk(mp3, 0);
        ASSERT_GT(frames.starts.size(), 50u) << e.name;
        const std::string bytes = ReadFile(mp3);
        const size_t middle = frames.offsets[frames.offsets.size() / 2];
        std::string damaged = bytes;
        damaged.replace(middle + 8, 40, std::string(40, '\x55'));
        const QString variants[] = {mp3, File("gap.mp3", Id3v2Tag(500) + bytes.substr(0, middle) + std::string(3000, '\0') + bytes.substr(middle)),
                                    File("damaged.mp3", damaged)};
        for (const QString& path : variants) {
            const std::string what = std::string(e.name) + " " + path.toStdString();
            ASSERT_TRUE(player.Open(path)) << what;
            ASSERT_TRUE(Play(0.0)) << what;
            RunToEnd();
            const std::string whole = Played();
            EXPECT_EQ(sim.lastOutFormat().samplesPerSec, uint32_t(e.rate)) << what;
            EXPECT_EQ(sim.lastOutFormat().channels, e.channels) << what;
            EXPECT_EQ(whole.size(), (frames.starts.size() - 1) * frames.pcmBytes) << what;
            int loudest = 0;  // a third of the way in: the sweep, not silence
            for (size_t i = whole.size() / 6; i < whole.size() / 6 + 2000; ++i) loudest = std::max(loudest, std::abs(SampleAt(whole, i)));
            EXPECT_GT(loudest, 6000) << what;
            for (double t : {0.5, 1.234, frames.starts[frames.starts.size() / 2], 2.9}) {
                const size_t k = size_t(std::upper_bound(frames.starts.begin(), frames.starts.end(), t) - frames.starts.begin()) - 1;
                ASSERT_TRUE(Play(t)) << what;
                EXPECT_DOUBLE_EQ(player.GetPosition(), frames.starts[k]) << what << " at " << t;
                RunToEnd();
                if (path == variants[2]) continue;  // a damaged frame decodes as it may
                EXPECT_LE(MaxDifference(Played(), whole.substr(k * frames.pcmBytes)), 1) << what << " at " << t;
            }
        }
    }
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

// Speed keeps the file's time: the position and the pitch heard agree, and
// a change while playing is heard at once from where playback was.
TEST_F(Player, SpeedKeepsFileTime) {
    ASSERT_TRUE(player.Open(Sweep()));
    for (double speed : {0.5, 2.0}) {
        ASSERT_TRUE(player.SetSpeed(speed));
        ASSERT_TRUE(Play(0.5));
        Advance(1000);
        EXPECT_NEAR(player.GetPosition(), 0.5 + speed, 0.02) << speed;
        EXPECT_NEAR(FileTimeOfPitch(Played()), player.GetPosition() - 0.1 * speed, 0.02) << speed;
        RunToEnd();
        EXPECT_NEAR(double(Played().size()) / (kRate * kFrameBytes), (kSeconds - 0.5) / speed, 0.05) << speed;
    }
    ASSERT_TRUE(player.SetSpeed(1.0));
    ASSERT_TRUE(Play(0.5));
    Advance(500);
    ASSERT_TRUE(player.SetSpeed(2.0));
    EXPECT_NEAR(player.GetPosition(), 1.0, 1e-9);
    Advance(500);
    EXPECT_NEAR(player.GetPosition(), 2.0, 0.02);
    EXPECT_NEAR(FileTimeOfPitch(Played()), player.GetPosition() - 0.2, 0.02);
    // Paused, a change waits for Resume.
    ASSERT_TRUE(player.Pause());
    ASSERT_TRUE(player.SetSpeed(0.5));
    EXPECT_NEAR(player.GetPosition(), 2.0, 0.02);
    ASSERT_TRUE(player.Resume());
    Advance(500);
    EXPECT_NEAR(player.GetPosition(), 2.25, 0.03);
    for (double bad : {0.49, 2.01, std::nan("")}) EXPECT_FALSE(player.SetSpeed(bad)) << bad;
    EXPECT_EQ(player.GetSpeed(), 0.5);
}

}  // namespace
