// SPDX-License-Identifier: GPL-3.0-or-later
// Speed with the pitch kept, on the simulated device: what is played is the
// file's sweep at its own pitch, at the place in the file the player
// reports, for as long as the speed makes it last; a speed change while
// playing is heard at once, without a jump in place or in the waveform; at
// 1x the device gets the file's samples as they are.
#include "replay_fixture.h"

#include "common/test_audio.h"

#include <QTemporaryDir>
#include <cmath>

namespace {

constexpr uint32_t kRate = 44100;
constexpr double kSeconds = 20.0;
constexpr int kFrameBytes = 4;  // 16-bit stereo

// The sweep rises from 300 Hz by 150 Hz a second: its pitch tells the file time.
double FileTimeOfPitch(double hz) { return (hz - 300.0) / 150.0; }

// Left-channel samples of the last `ms` of what was played.
std::vector<double> Tail(const QByteArray& played, int ms) {
    const qsizetype frames = std::min<qsizetype>(played.size() / kFrameBytes, qsizetype(kRate) * ms / 1000);
    std::vector<double> out;
    for (qsizetype f = played.size() / kFrameBytes - frames; f < played.size() / kFrameBytes; ++f)
        out.push_back(int16_t(uint8_t(played[f * kFrameBytes]) | uint8_t(played[f * kFrameBytes + 1]) << 8));
    return out;
}

// Frequency from the first to the last upward zero crossing (interpolated).
double Pitch(const std::vector<double>& s) {
    double first = -1, last = -1;
    int n = 0;
    for (size_t i = 1; i < s.size(); ++i) {
        if (s[i - 1] >= 0 || s[i] < 0) continue;
        const double t = double(i - 1) + s[i - 1] / (s[i - 1] - s[i]);
        if (first < 0) first = t;
        last = t;
        ++n;
    }
    return n > 1 ? (n - 1) * double(kRate) / (last - first) : 0;
}

// The largest step between neighbouring samples.
double LargestStep(const std::vector<double>& s) {
    double step = 0;
    for (size_t i = 1; i < s.size(); ++i) step = std::max(step, std::abs(s[i] - s[i - 1]));
    return step;
}

}  // namespace

class ReplaySpeedTest : public ReplayTest {
protected:
    void SetUp() override {
        ReplayTest::SetUp();
        m_pcm = testaudio::PcmBytes(testaudio::Sweep(kRate, 2, kSeconds));
        m_path = m_dir.filePath(QStringLiteral("sweep.wav"));
        ASSERT_TRUE(testaudio::WriteFile(m_path, testaudio::WaveFile(2, kRate, 16, m_pcm)));
        ASSERT_EQ(player.Open(m_path), 1);
    }
    void TearDown() override {
        player.SetSpeed(1.0);
        ReplayTest::TearDown();
    }
    void Advance(int ms) {
        for (int step; ms > 0; ms -= step) {
            step = std::min(ms, 50);
            sim->advance(step);
            Pump();
        }
    }
    // The place in the file heard over the last 200 ms, told by its pitch,
    // against the position the player reports for the middle of them.
    void ExpectHeardAtPosition(double speed, const char* when) {
        const double pitchTime = FileTimeOfPitch(Pitch(Tail(sim->played(), 200)));
        EXPECT_NEAR(pitchTime, player.GetPosition() - 0.1 * speed, 0.02) << when << " at " << speed << "x";
    }

    QTemporaryDir m_dir;
    QString m_path;
    std::string m_pcm;
};

TEST_F(ReplaySpeedTest, PlaysTheFileAtEachSpeedWithItsPitchAndInFileTime) {
    for (double speed : {0.5, 0.75, 1.5, 2.0}) {
        sim->clearPlayed();
        ASSERT_EQ(player.SetSpeed(speed), 1);
        ASSERT_EQ(Play(1.0), 1);
        for (int second = 1; second <= 4; ++second) {
            Advance(1000);
            EXPECT_NEAR(player.GetPosition(), 1.0 + second * speed, 0.02);
            ExpectHeardAtPosition(speed, "while playing");
        }
        RunToEnd();
        const double heard = double(sim->played().size()) / (kRate * kFrameBytes);
        EXPECT_NEAR(heard, (kSeconds - 1.0) / speed, 0.05) << speed << "x";
    }
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

TEST_F(ReplaySpeedTest, ChangesSpeedWhilePlayingAtOnceWithoutAJump) {
    ASSERT_EQ(Play(1.0), 1);
    Advance(500);
    // At 1x the device has had the file's own bytes.
    const QByteArray at1x = sim->played();
    EXPECT_EQ(at1x.toStdString(), m_pcm.substr(size_t(kRate) * kFrameBytes, size_t(at1x.size())));

    ASSERT_EQ(player.SetSpeed(2.0), 1);
    EXPECT_NEAR(player.GetPosition(), 1.5, 1e-9);
    Advance(100);
    EXPECT_NEAR(player.GetPosition(), 1.7, 0.02);  // the new speed from the first 100 ms
    Advance(400);
    ExpectHeardAtPosition(2.0, "after the change");
    // Across the change the waveform goes on: no step larger than the sweep's own.
    const std::vector<double> around = Tail(sim->played(), 520);
    const std::vector<double> before(around.begin(), around.begin() + kRate / 100);
    const std::vector<double> splice(around.begin(), around.begin() + kRate * 4 / 100);
    EXPECT_LT(LargestStep(splice), 1.5 * LargestStep(before) + 200);

    // Paused, the change waits for Resume and the position stays.
    ASSERT_EQ(player.Pause(), 1);
    const double paused = player.GetPosition();
    ASSERT_EQ(player.SetSpeed(0.5), 1);
    EXPECT_EQ(player.GetSpeed(), 0.5);
    EXPECT_NEAR(player.GetPosition(), paused, 1e-9);
    ASSERT_EQ(player.Resume(), 1);
    Advance(1000);
    EXPECT_NEAR(player.GetPosition(), paused + 0.5, 0.02);
    ExpectHeardAtPosition(0.5, "after resuming");

    // Out of range or not a number: refused, the speed stays.
    for (double bad : {0.49, 2.01, std::nan("")}) EXPECT_EQ(player.SetSpeed(bad), 0) << bad;
    EXPECT_EQ(player.GetSpeed(), 0.5);
}
