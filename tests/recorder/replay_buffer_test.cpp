// SPDX-License-Identifier: GPL-3.0-or-later
// CReplayBuffer on the simulated output, driven the way the view replays a
// recording: two writes, then one refill per returned buffer.
#include "recorder_fixture.h"

using namespace rectest;

namespace {
struct ReplaySim : SimFixture {
    ReplaySim() : SimFixture(SimAudioBackend::Clock::Untimed) {}
    void playOut(ReplayDriver& d) {
        for (int i = 0; i < 1000 && d.closes == 0; ++i) pump();
    }
    static std::vector<int16_t> ramp(int n) {
        std::vector<int16_t> v(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) v[size_t(i)] = int16_t(i * 3 - 7);
        return v;
    }
    static QByteArray bytes(const std::vector<int16_t>& v) {
        return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size() * 2));
    }
    CReplayBuffer player;
};
}  // namespace

TEST_F(ReplaySim, PlaysEveryLengthThroughTwoBuffers) {
    struct Case { int samples; int writes; };
    // One buffer holds 4000 samples: up to 8000 go out with the two first
    // writes, longer recordings refill a buffer each time one comes back.
    const Case cases[] = {{2000, 1}, {4000, 1}, {6000, 2}, {8000, 2}, {10000, 3}, {40000, 10}, {42000, 11}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.samples);
        sim.clearPlayed();
        const auto s = ramp(c.samples);
        ReplayDriver d(player);
        ASSERT_TRUE(d.play(s.data(), c.samples));
        EXPECT_TRUE(player.IsOpen());
        playOut(d);
        EXPECT_EQ(d.writes, c.writes);
        EXPECT_EQ(d.done, c.writes);
        EXPECT_EQ(d.closes, 1);
        EXPECT_FALSE(player.IsOpen());
        EXPECT_EQ(sim.openOutputs(), 0);
        EXPECT_EQ(sim.played(), bytes(s));
    }
    const platform::WaveFormat f = sim.lastOutFormat();
    EXPECT_EQ(f.channels, 1);
    EXPECT_EQ(f.samplesPerSec, 22050u);
    EXPECT_EQ(f.bitsPerSample, 16);
    EXPECT_EQ(f.blockAlign, 2);
    EXPECT_EQ(f.avgBytesPerSec, 44100u);
}

TEST_F(ReplaySim, ReplaysTheLeftChannelInRecordingOrder) {
    CRecorder rec;
    RecorderRx rx(rec);
    sim.setInputSignal([](uint64_t f, int c) { return c == 0 ? left(f) : right(f); });
    ASSERT_EQ(rec.Start(&rx, 22050, 2), 0);
    for (int i = 0; i < 20; ++i) pump();  // untimed: one buffer per pass
    rec.Stop();
    pump();
    ASSERT_GE(rec.GetCount(), 20000);
    Samples s(rec);
    ReplayDriver d(player);
    ASSERT_TRUE(d.play(s.p, s.n));
    playOut(d);
    EXPECT_EQ(sim.played(), bytes(leftFrames(0, uint64_t(s.n))));
}

TEST_F(ReplaySim, WriteTakesWholeFramesOfOneBufferAndNeverAThird) {
    const auto s = ramp(10000);
    const char* p = reinterpret_cast<const char*>(s.data());
    EXPECT_EQ(player.Write(p, 100), 0);  // not open
    sim.setHoldBuffers(true);
    ReplayDriver d(player);
    ASSERT_TRUE(player.Open(&d, 22050));
    EXPECT_EQ(player.Write(p, 0), 0);
    EXPECT_EQ(player.Write(p, -4), -4);
    EXPECT_EQ(player.Write(p, 3), 2);
    EXPECT_EQ(player.Write(p, 20000), 8000);
    EXPECT_EQ(player.Write(p, 20000), 0);  // both buffers are with the device
    EXPECT_EQ(player.Open(&d, 22050), 0);  // already open
    EXPECT_TRUE(messages.isEmpty());
    player.Stop();
    EXPECT_FALSE(player.IsOpen());
}

TEST_F(ReplaySim, RefusedWriteStopsTheDevice) {
    sim.setFailWriteAfter(2);
    const auto s = ramp(20000);
    ReplayDriver d(player);
    ASSERT_TRUE(d.play(s.data(), 20000));
    EXPECT_EQ(d.writes, 1);
    EXPECT_FALSE(player.IsOpen());
    pump();
    EXPECT_EQ(d.done, 1);
    EXPECT_EQ(d.closes, 1);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ReplaySim, DeviceThatCannotOpenShowsTheMessage) {
    sim.setFailOpen(true);
    ReplayDriver d(theReplayBuffer);
    EXPECT_EQ(theReplayBuffer.Open(&d, 22050), 0);
    EXPECT_FALSE(theReplayBuffer.IsOpen());
    EXPECT_EQ(messages, QStringList{"Failed to open replay device"});
    EXPECT_EQ(theReplayBuffer.Write("ab", 2), 0);
}

struct ReplayStepped : SimFixture {
    CReplayBuffer player;
};

TEST_F(ReplayStepped, StopReturnsBothBuffersAndCloses) {
    std::vector<int16_t> s(40000, 5);
    ReplayDriver d(player);
    ASSERT_TRUE(d.play(s.data(), 40000));
    sim.advance(50);
    player.Stop();
    EXPECT_FALSE(player.IsOpen());
    d.replaying = false;  // as the view leaves state 3
    pump();
    EXPECT_EQ(d.done, 2);
    EXPECT_EQ(d.closes, 1);
    EXPECT_EQ(sim.played().size(), 2204);  // 50 ms at 44100 bytes a second, whole frames
    // Stray OutDone after the stop leaves the closed player closed.
    player.OnDone();
    EXPECT_FALSE(player.IsOpen());
}

TEST_F(ReplayStepped, BuffersComeBackAtTheRecordingRate) {
    std::vector<int16_t> s(12000, 1);
    ReplayDriver d(player);
    ASSERT_TRUE(d.play(s.data(), 12000));
    struct Step { int ms; int done; };
    // 4000 samples at 22050 Hz last 181.4 ms.
    for (Step st : {Step{181, 0}, Step{1, 1}, Step{180, 1}, Step{1, 2}, Step{182, 3}}) {
        sim.advance(st.ms);
        pump();
        EXPECT_EQ(d.done, st.done);
    }
    pump();  // the last OutDone closed the device, which posted OutClose
    EXPECT_EQ(d.closes, 1);
}
