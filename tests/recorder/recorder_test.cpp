// SPDX-License-Identifier: GPL-3.0-or-later
// CRecorder on the simulated input: what is kept, in which order, and how
// the recorder stops on each failure.
#include "recorder_fixture.h"

#include <QElapsedTimer>
#include <deque>

using namespace rectest;

namespace {
constexpr int kRate = 22050;

struct RecorderSim : SimFixture {
    // Lets `ms` of recording pass in steps short enough that no audio is lost.
    void record(int ms) {
        for (int t = 0; t < ms; t += 10) {
            sim.advance(10);
            pump();
        }
    }
    CRecorder rec;
    RecorderRx rx{rec};
};
}  // namespace

TEST_F(RecorderSim, KeepsTheLeftChannelOfEveryFullBufferInRecordingOrder) {
    ASSERT_EQ(rec.Start(&rx, kRate, 2), 0);
    EXPECT_TRUE(rec.IsRecording());
    record(1000);  // 22050 frames: 11 full buffers, the 12th partly filled
    rec.Stop();
    EXPECT_FALSE(rec.IsRecording());
    pump();
    EXPECT_EQ(rx.data, 13);  // 11 full, then the two held ones handed back by Stop
    EXPECT_EQ(rec.GetCount(), 22000);
    Samples s(rec);
    EXPECT_EQ(s.vec(), leftFrames(0, 22000));
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(RecorderSim, JoinsManyBlocksInRecordingOrderAndKeepsThem) {
    ASSERT_EQ(rec.Start(&rx, kRate, 2), 0);
    record(5000);
    rec.Stop();
    pump();
    ASSERT_EQ(rec.GetCount(), 110000);  // 55 blocks
    {
        Samples s(rec);
        EXPECT_EQ(s.vec(), leftFrames(0, 110000));
    }
    Samples again(rec);  // the blocks stay
    EXPECT_EQ(again.n, 110000);
    EXPECT_EQ(again.vec(), leftFrames(0, 110000));
}

TEST_F(RecorderSim, StartAddsToTheKeptBlocksUntilCleared) {
    ASSERT_EQ(rec.Start(&rx, kRate, 2), 0);
    record(200);  // 2 blocks
    rec.Stop();
    pump();
    ASSERT_EQ(rec.Start(&rx, kRate, 2), 0);
    record(100);  // 1 block
    rec.Stop();
    pump();
    EXPECT_EQ(rec.GetCount(), 6000);
    rec.Clear();
    EXPECT_EQ(rec.GetCount(), 0);
    Samples none(rec);
    EXPECT_EQ(none.n, 0);
}

TEST_F(RecorderSim, StartWhileRecordingIsRefused) {
    ASSERT_EQ(rec.Start(&rx, kRate, 2), 0);
    EXPECT_EQ(rec.Start(&rx, kRate, 2), -1);
    EXPECT_TRUE(rec.IsRecording());
    record(100);
    EXPECT_EQ(rec.GetCount(), 2000);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(RecorderSim, ModeZeroCyclesTheBuffersWithoutKeeping) {
    ASSERT_EQ(rec.Start(&rx, kRate, 0), 0);
    record(500);
    EXPECT_TRUE(rec.IsRecording());
    EXPECT_GE(rx.data, 5);
    EXPECT_EQ(rec.GetCount(), 0);
}

TEST_F(RecorderSim, OpensStereo16BitAtTheGivenRate) {
    CRecorder r8k;
    RecorderRx rx8k{r8k};
    ASSERT_EQ(r8k.Start(&rx8k, 8000, 2), 0);
    record(250);  // 2000 frames per buffer at 8000 Hz: 250 ms
    EXPECT_EQ(r8k.GetCount(), 2000);
}

TEST_F(RecorderSim, DeviceThatCannotOpenShowsTheMessage) {
    sim.setFailOpen(true);
    EXPECT_EQ(theRecorder.Start(&rx, kRate, 2), -1);
    EXPECT_FALSE(theRecorder.IsRecording());
    EXPECT_EQ(messages, QStringList{"Failed to open record device"});
    theRecorder.OnData();  // a stray notification while closed changes nothing
    EXPECT_FALSE(theRecorder.IsRecording());
}

TEST_F(RecorderSim, OutOfMemoryStopsAndLeavesEarlierBlocksReplayable) {
    SetSampleBlockLimit(3);
    ASSERT_EQ(rec.Start(&rx, kRate, 2), 0);
    record(1000);
    EXPECT_FALSE(rec.IsRecording());
    EXPECT_EQ(messages, QStringList{"Out of memory for recording"});
    ASSERT_EQ(rec.GetCount(), 6000);
    Samples s(rec);
    ASSERT_EQ(s.vec(), leftFrames(0, 6000));
    SetSampleBlockLimit(-1);
    sim.clearPlayed();
    ReplayDriver replay(theReplayBuffer);
    ASSERT_TRUE(replay.play(s.p, s.n));
    for (int i = 0; i < 100 && replay.closes == 0; ++i) {
        sim.advance(50);
        pump();
    }
    EXPECT_EQ(sim.played(), QByteArray(reinterpret_cast<const char*>(s.p), s.n * 2));
}

// A device that fails while recording is reported once; what was kept stays.
TEST_F(RecorderSim, RefusedHandOverStopsWithOneMessageAndKeepsTheRecording) {
    sim.setFailWriteAfter(3);  // Start hands over two; the first refill fails
    ASSERT_EQ(rec.Start(&rx, kRate, 2), 0);
    record(300);
    EXPECT_FALSE(rec.IsRecording());
    EXPECT_EQ(rec.GetCount(), 2000);
    EXPECT_EQ(messages, QStringList{"The record device failed: recording stopped"});
}

TEST_F(RecorderSim, StartFailsWhenTheSecondHandOverIsRefused) {
    sim.setFailWriteAfter(2);
    EXPECT_EQ(rec.Start(&rx, kRate, 2), -1);
    EXPECT_FALSE(rec.IsRecording());
    sim.setFailWriteAfter(1);
    EXPECT_EQ(rec.Start(&rx, kRate, 2), -1);
    EXPECT_FALSE(rec.IsRecording());
    sim.setFailWriteAfter(0);
    EXPECT_EQ(rec.Start(&rx, kRate, 2), 0);
}

// The view's limit: a recording stops when a buffer comes back with more than
// 5,000,000 samples kept, at 5,002,000 (2501 blocks, 227 s at 22050 Hz).
TEST_F(RecorderSim, ReachesTheViewsSampleLimitInLargeSteps) {
    RecorderRx limited(rec, 5'000'000);
    ASSERT_EQ(rec.Start(&limited, kRate, 2), 0);
    QElapsedTimer took;
    took.start();
    for (int i = 0; i < 5000 && rec.IsRecording(); ++i) {
        sim.advance(182);  // both buffers fill in each step
        pump();
    }
    EXPECT_FALSE(rec.IsRecording());
    EXPECT_EQ(rec.GetCount(), 5'002'000);
    RecordProperty("milliseconds", int(took.elapsed()));
}

// A device that hands back buffers only when told: for a buffer that comes
// back short while recording, as the real device does when the server fails.
namespace {
class ManualIn : public platform::WaveIn {
public:
    explicit ManualIn(std::deque<platform::WaveHeader*>& held) : held_(held) {}
    bool open(const platform::WaveFormat&, QObject* r) override { receiver = r; return true; }
    bool addBuffer(platform::WaveHeader* h) override {
        h->bytesRecorded = 0;
        held_.push_back(h);
        return true;
    }
    void start() override {}
    void reset() override {
        while (!held_.empty()) giveBack(0);
    }
    void close() override { reset(); }
    void giveBack(uint32_t bytes) {
        platform::WaveHeader* h = held_.front();
        held_.pop_front();
        h->bytesRecorded = bytes;
        QCoreApplication::postEvent(receiver, new platform::WaveEvent(platform::WaveEvent::InData, h));
    }
    QObject* receiver = nullptr;

private:
    std::deque<platform::WaveHeader*>& held_;
};

class ManualBackend : public platform::AudioBackend {
public:
    std::unique_ptr<platform::WaveOut> createWaveOut() override { return nullptr; }
    std::unique_ptr<platform::WaveIn> createWaveIn() override {
        auto in = std::make_unique<ManualIn>(held);
        last = in.get();
        return in;
    }
    std::deque<platform::WaveHeader*> held;
    ManualIn* last = nullptr;
};
}  // namespace

TEST_F(RecorderSim, ShortBufferWhileRecordingStopsWithoutKeepingIt) {
    ManualBackend manual;
    platform::setAudioBackend(&manual);
    ASSERT_EQ(rec.Start(&rx, kRate, 2), 0);
    manual.last->giveBack(8000);
    pump();
    EXPECT_EQ(rec.GetCount(), 2000);
    manual.last->giveBack(1200);  // the device failed with this one partly filled
    pump();
    EXPECT_FALSE(rec.IsRecording());
    EXPECT_EQ(rec.GetCount(), 2000);
}
