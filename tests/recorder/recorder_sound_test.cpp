// SPDX-License-Identifier: GPL-3.0-or-later
// The recorder and the recording player through the real sound server: a
// minute of recording keeps every buffer, and a replay reaches the null sink
// without gaps. Needs the private PulseAudio server of scripts/services.sh.
#include "common/signal_match.h"
#include "common/sink_capture.h"
#include "platform/qt_audio_backend.h"
#include "recorder_fixture.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <iostream>

using namespace rectest;
using namespace signaltest;

namespace {
constexpr int kRate = 22050;
constexpr int kBlock = SampleBlock::kSamples;

class ServerFixture : public ::testing::Test {
protected:
    ServerFixture() : backend(platform::createQtAudioBackend()) {
        platform::setAudioBackend(backend.get());
        platform::SetMessageSink([this](const QString& m) { messages << m; });
    }
    ~ServerFixture() override {
        platform::SetMessageSink({});
        platform::setAudioBackend(nullptr);
    }
    static void run(int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }
    std::unique_ptr<platform::AudioBackend> backend;
    QStringList messages;
    QTemporaryDir dir;
};

// Notes when each buffer was taken back, then hands it to the recorder.
class TimedRx : public RecorderRx {
public:
    using RecorderRx::RecorderRx;
    bool event(QEvent* e) override {
        if (e->type() == WaveEvent::InData && rec.IsRecording()) taken.push_back(clock.nsecsElapsed());
        return RecorderRx::event(e);
    }
    QElapsedTimer clock;
    std::vector<qint64> taken;
};
}  // namespace

// A minute of stereo noise is played into the null sink while the recorder
// records its monitor (the default source, loopmic). Every block kept must
// continue the left channel exactly where the one before ended.
TEST_F(ServerFixture, SixtySecondRecordingKeepsEveryBuffer) {
    constexpr int kSeconds = 60;
    const auto leftRef = noise(size_t(kRate) * (kSeconds + 8), 11);
    const auto rightRef = noise(leftRef.size(), 12);
    std::vector<int16_t> stereo;
    for (size_t i = 0; i < leftRef.size(); ++i) {
        stereo.push_back(leftRef[i]);
        stereo.push_back(rightRef[i]);
    }
    QFile file(dir.filePath("signal.raw"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytesOf(stereo));
    file.close();
    QProcess player;
    startClient(player, "pacat", {"--playback", "--raw", "--rate=22050", "--channels=2", "--format=s16le",
                                  "--latency-msec=100", file.fileName()});
    ASSERT_EQ(player.state(), QProcess::Running);
    run(1500);

    CRecorder rec;
    TimedRx rx(rec);
    rx.clock.start();
    ASSERT_EQ(rec.Start(&rx, kRate, 2), 0);
    run(kSeconds * 1000);
    const double seconds = double(rx.clock.nsecsElapsed()) / 1e9;
    rec.Stop();
    stopClient(player);
    EXPECT_TRUE(messages.isEmpty()) << messages.join("; ").toStdString();

    const int blocks = rec.GetCount() / kBlock;
    ASSERT_EQ(int(rx.taken.size()), blocks);
    ASSERT_GT(blocks, 0);
    // Once the stream delivers, a buffer is full every buffer time: from the
    // first buffer to the stop, none may be missing.
    const double bufferNs = 1e9 * kBlock / kRate;
    EXPECT_NEAR(blocks, 1 + (seconds * 1e9 - double(rx.taken.front())) / bufferNs, 2.0);
    Samples s(rec);
    const auto got = s.vec();
    const Match m = bestMatch(leftRef, got, 0, kBlock, 0, kRate * 8);
    ASSERT_GT(m.score, 0.9) << "the recording is not the signal's left channel";
    EXPECT_LT(std::abs(correlation(rightRef, m.lag, got, 0, kBlock)), 0.3) << "the right channel was kept";
    int broken = 0;
    for (int k = 0; k < blocks; ++k) {
        const double score = scoreNear(leftRef, m.lag, got, long(k) * kBlock, kBlock);
        if (score < 0.9 && ++broken <= 5) ADD_FAILURE() << "block " << k << " does not continue the signal: " << score;
    }
    EXPECT_EQ(broken, 0);

    // Take-back time: buffer k is full one buffer time after buffer k-1, so
    // its delay is when it was handled less (k+1) buffer times; the spread of
    // that delay is how late the GUI thread took a buffer back, at worst,
    // compared with the most prompt one.
    std::vector<double> delay;
    for (size_t k = 0; k < rx.taken.size(); ++k) delay.push_back(double(rx.taken[k]) - double(k + 1) * bufferNs);
    const auto [lo, hi] = std::minmax_element(delay.begin(), delay.end());
    double gap = 0;
    for (size_t k = 1; k < rx.taken.size(); ++k) gap = std::max(gap, double(rx.taken[k] - rx.taken[k - 1]));
    std::cout << "recorded " << blocks << " blocks in " << seconds << " s; take-back delay spread "
              << (*hi - *lo) / 1e6 << " ms (first buffer " << delay.front() / 1e6 << " ms after its time); "
              << "longest interval between buffers " << gap / 1e6 << " ms (one buffer lasts " << bufferNs / 1e6
              << " ms)\n";
    RecordProperty("blocks", blocks);
    RecordProperty("take_back_spread_us", int((*hi - *lo) / 1e3));
    RecordProperty("longest_interval_us", int(gap / 1e3));
}

// A six-second recording replayed through two 8000-byte buffers, each refilled
// only once heard, reaches the sink without a gap.
TEST_F(ServerFixture, ReplayReachesTheSinkWithoutGaps) {
    const auto samples = noise(size_t(kRate) * 6, 21);
    SinkCapture capture(run);
    capture.start(dir.filePath("capture.raw"), kRate);
    CReplayBuffer player;
    ReplayDriver replay(player);
    ASSERT_TRUE(replay.play(samples.data(), int(samples.size())));
    for (int i = 0; i < 100 && replay.closes == 0; ++i) run(100);
    EXPECT_EQ(replay.closes, 1);
    EXPECT_EQ(replay.writes, int(samples.size() + 3999) / 4000);
    EXPECT_EQ(replay.done, replay.writes);
    std::vector<int16_t> captured;
    ASSERT_TRUE(capture.stop(captured));
    const Match m = bestMatch(captured, samples, 2205, kBlock, 0, long(captured.size()));
    ASSERT_GT(m.score, 0.9);
    int broken = 0;
    for (long at = 2205; at + kBlock <= long(samples.size()); at += kBlock)
        if (scoreNear(captured, m.lag, samples, at, kBlock) < 0.9 && ++broken <= 5)
            ADD_FAILURE() << "gap or change near sample " << at;
    EXPECT_EQ(broken, 0);
}
