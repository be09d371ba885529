// SPDX-License-Identifier: GPL-3.0-or-later
// The ring of eight buffers on the simulated device: priming, refills in
// order, the end of the data, stop, pause, device faults and positions.
#include "common/test_audio.h"
#include "replay_fixture.h"
#include "test_files.h"

#include <QElapsedTimer>
#include <QFile>

#include <unistd.h>

using namespace testaudio;
using testfiles::Write;

namespace {

constexpr uint32_t kBlock = 65536;
constexpr double kBytesPerSec = 4 * 44100;

// A 44100 Hz 16-bit stereo WAV whose sample bytes count up, followed by a
// LIST chunk that must never be played.
std::string CountingWav(size_t dataBytes) {
    return Riff(Chunk("fmt ", FmtBody(2, 44100, 16)) + Chunk("data", CountingBytes(dataBytes)) +
                Chunk("LIST", std::string(100, 'L')));
}

class ReplayRing : public ReplayTest {};

// Resident memory of this process, from /proc.
long ResidentKb() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) return 0;
    return statm.readAll().split(' ').value(1).toLong() * (sysconf(_SC_PAGESIZE) / 1024);
}

TEST_F(ReplayRing, PrimesSevenAndRefillsInOrder) {
    const size_t dataBytes = 10 * kBlock + 1000;
    ASSERT_EQ(player.Open(Write("ring.wav", CountingWav(dataBytes))), 1);
    ASSERT_EQ(Play(0), 1);
    EXPECT_EQ(Probe::Queued(player), 7);
    EXPECT_EQ(Probe::Current(player), 7);
    EXPECT_EQ(Probe::MoreData(player), 1);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(Probe::Header(player, i).bufferLength, kBlock) << i;

    sim->advance(372);  // a little more than one buffer
    Pump();
    EXPECT_EQ(Probe::Queued(player), 7);
    EXPECT_EQ(Probe::Current(player), 0);  // buffer 7 was refilled, buffer 0 is next
    sim->advance(372);
    Pump();
    EXPECT_EQ(Probe::Current(player), 1);
    EXPECT_EQ(Probe::Header(player, 0).bufferLength, kBlock);  // the ninth block

    RunToEnd();
    EXPECT_EQ(player.IsPlaying(), 0);
    EXPECT_EQ(sim->openOutputs(), 0);
    EXPECT_EQ(Probe::Queued(player), 0);
    EXPECT_EQ(sim->played().toStdString(), CountingBytes(dataBytes));  // all, in order, no LIST
    EXPECT_EQ(player.IsLoaded(), 1);
}

TEST_F(ReplayRing, ExactlySevenBuffersOfData) {
    ASSERT_EQ(player.Open(Write("seven.wav", CountingWav(7 * kBlock))), 1);
    ASSERT_EQ(Play(0), 1);
    EXPECT_EQ(Probe::Queued(player), 7);
    EXPECT_EQ(Probe::MoreData(player), 1);  // the end is found by the first refill
    sim->advance(372);
    Pump();
    EXPECT_EQ(Probe::MoreData(player), 0);
    EXPECT_EQ(Probe::Queued(player), 6);
    EXPECT_EQ(player.IsPlaying(), 1);  // draining
    sim->advance(6 * 372);
    Pump();
    EXPECT_EQ(player.IsPlaying(), 0);
    EXPECT_EQ(sim->openOutputs(), 0);
    EXPECT_EQ(sim->played().size(), 7 * qsizetype(kBlock));
}

TEST_F(ReplayRing, DataEndingWhilePriming) {
    ASSERT_EQ(player.Open(Write("short.wav", CountingWav(2 * kBlock + 10))), 1);
    ASSERT_EQ(Play(0), 1);
    EXPECT_EQ(Probe::Queued(player), 3);
    EXPECT_EQ(Probe::MoreData(player), 0);
    EXPECT_EQ(Probe::Header(player, 2).bufferLength, 10u);
    RunToEnd();
    EXPECT_EQ(player.IsPlaying(), 0);
    EXPECT_EQ(sim->played().toStdString(), CountingBytes(2 * kBlock + 10));
}

TEST_F(ReplayRing, StopWithBuffersQueued) {
    ASSERT_EQ(player.Open(Write("stop.wav", CountingWav(10 * kBlock))), 1);
    ASSERT_EQ(Play(0), 1);
    EXPECT_EQ(player.CloseDevice(), 1);
    EXPECT_EQ(Probe::Queued(player), 0);
    EXPECT_EQ(player.IsPlaying(), 0);
    EXPECT_EQ(sim->openOutputs(), 0);
    EXPECT_EQ(player.CloseDevice(), 0);
    EXPECT_EQ(player.IsLoaded(), 1);
    EXPECT_EQ(Play(1.0), 1);  // the file stays loaded and plays again
}

TEST_F(ReplayRing, StopWhenNotificationsCannotArrive) {
    ASSERT_EQ(player.Open(Write("hold.wav", CountingWav(10 * kBlock))), 1);
    sim->setHoldBuffers(true);
    ASSERT_EQ(Play(0), 1);
    QElapsedTimer waited;
    waited.start();
    EXPECT_EQ(player.CloseDevice(), 1);
    EXPECT_GE(waited.elapsed(), 50 * 20 - 10);  // every pass ran
    EXPECT_EQ(Probe::Queued(player), 7);        // unchanged
    EXPECT_EQ(player.IsPlaying(), 0);
    EXPECT_EQ(sim->openOutputs(), 0);
    EXPECT_EQ(Play(0), 0);  // refused while the buffers are out, without a message
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ReplayRing, StopAfterTheReceiverIsGone) {
    ASSERT_EQ(player.Open(Write("gone.wav", CountingWav(10 * kBlock))), 1);
    ASSERT_EQ(Play(0), 1);
    receiver.reset();
    EXPECT_EQ(player.CloseDevice(), 1);
    EXPECT_EQ(Probe::Queued(player), 7);
    EXPECT_EQ(sim->openOutputs(), 0);
}

TEST_F(ReplayRing, LateNotificationsCountDown) {
    // Buffers that come back after the stop gave up are counted by the event loop.
    ASSERT_EQ(player.Open(Write("late.wav", CountingWav(10 * kBlock))), 1);
    ASSERT_EQ(Play(0), 1);
    for (int i = 0; i < 7; ++i)
        QCoreApplication::postEvent(receiver.get(), new platform::WaveEvent(platform::WaveEvent::OutDone, nullptr));
    sim->setHoldBuffers(true);
    player.CloseDevice();  // dispatches the seven, which stand in for late ones
    EXPECT_EQ(Probe::Queued(player), 0);
    EXPECT_EQ(Play(0), 1);
}

TEST_F(ReplayRing, PlayWhilePlayingOrPaused) {
    ASSERT_EQ(player.Open(Write("again.wav", CountingWav(20 * kBlock))), 1);
    ASSERT_EQ(Play(0), 1);
    ASSERT_EQ(player.Pause(), 1);
    EXPECT_EQ(player.IsPaused(), 1);
    ASSERT_EQ(Play(2.0), 1);  // closes the device first; the new playback is not paused
    EXPECT_EQ(player.IsPaused(), 0);
    EXPECT_EQ(sim->openOutputs(), 1);
    EXPECT_EQ(Probe::Queued(player), 7);
    sim->advance(100);
    EXPECT_GT(player.GetPosition(), 2.0);
}

TEST_F(ReplayRing, PauseAndResume) {
    ASSERT_EQ(player.Open(Write("pause.wav", CountingWav(10 * kBlock))), 1);
    EXPECT_EQ(player.Pause(), 0);
    ASSERT_EQ(Play(0), 1);
    EXPECT_EQ(player.Resume(), 0);  // not paused
    sim->advance(100);
    const double before = player.GetPosition();
    EXPECT_NEAR(before, 0.1, 1e-4);
    EXPECT_EQ(player.Pause(), 1);
    EXPECT_EQ(player.IsPaused(), 1);
    EXPECT_EQ(player.IsPlaying(), 1);
    sim->advance(1000);
    Pump();
    EXPECT_EQ(player.GetPosition(), before);
    EXPECT_EQ(Probe::Queued(player), 7);  // nothing lost
    EXPECT_EQ(player.Resume(), 1);
    EXPECT_EQ(player.IsPaused(), 0);
    sim->advance(100);
    EXPECT_NEAR(player.GetPosition(), 0.2, 1e-4);
}

TEST_F(ReplayRing, PositionAfterAWavSeek) {
    const size_t dataBytes = size_t(20 * kBytesPerSec);
    ASSERT_EQ(player.Open(Write("seek.wav", CountingWav(dataBytes))), 1);
    ASSERT_EQ(Play(12.5), 1);
    EXPECT_EQ(player.GetPosition(), 12.5);
    EXPECT_EQ(Probe::FilePosition(player), Probe::DataOffset(player) + 2205000 + 7 * kBlock);
    sim->advance(100);
    EXPECT_DOUBLE_EQ(player.GetPosition(), 12.5 + 17640 / kBytesPerSec);
    EXPECT_EQ(sim->played().toStdString(), CountingBytes(17640, size_t(12.5 * kBytesPerSec)));
}

TEST_F(ReplayRing, StartTimesOutsideTheData) {
    ASSERT_EQ(player.Open(Write("edge.wav", CountingWav(kBlock))), 1);
    // Negative: from the first sample.
    ASSERT_EQ(Play(-5.0), 1);
    EXPECT_EQ(player.GetPosition(), 0.0);
    RunToEnd();
    EXPECT_EQ(sim->played().toStdString(), CountingBytes(kBlock));
    // At or past the end: nothing is queued and the device stays open until stopped.
    for (const double start : {kBlock / kBytesPerSec, 100.0}) {
        ASSERT_EQ(Play(start), 1) << start;
        EXPECT_EQ(Probe::Queued(player), 0) << start;
        RunToEnd(2000);
        EXPECT_EQ(player.IsPlaying(), 1) << start;
        EXPECT_EQ(player.GetPosition(), start) << start;
        EXPECT_EQ(player.CloseDevice(), 1) << start;
        EXPECT_EQ(player.IsPlaying(), 0) << start;
    }
}

// An hour of 44.1 kHz stereo (a sparse file of silence) on the simulated
// device, as a user without sound hardware plays it: memory stays flat.
TEST_F(ReplayRing, AnHourOnTheSimulatedDeviceKeepsNothing) {
    sim->setKeepPlayed(false);
    const uint32_t dataBytes = uint32_t(3600 * kBytesPerSec);
    const std::string header = Riff(Chunk("fmt ", FmtBody(2, 44100, 16)) + Chunk("data", ""));
    const QString path = Write("hour.wav", header.substr(0, header.size() - 4) +
                                               std::string(reinterpret_cast<const char*>(&dataBytes), 4));
    ASSERT_EQ(::truncate(QFile::encodeName(path).constData(), off_t(header.size()) + dataBytes), 0);
    ASSERT_EQ(player.Open(path), 1);
    ASSERT_EQ(Play(0), 1);
    const long before = ResidentKb();
    RunToEnd(3700 * 1000);
    EXPECT_EQ(player.IsPlaying(), 0);
    EXPECT_LT(ResidentKb() - before, 32 * 1024) << "kB more after an hour";
    QFile::remove(path);
}

TEST_F(ReplayRing, DeviceFaults) {
    ASSERT_EQ(player.Open(Write("fault.wav", CountingWav(10 * kBlock))), 1);
    sim->setFailOpen(true);
    EXPECT_EQ(Play(0), 0);
    EXPECT_EQ(messages, QStringList{"Failed to open replay device"});
    EXPECT_EQ(player.IsLoaded(), 1);
    sim->setFailOpen(false);

    // The third write while priming fails: the two queued come back before the close.
    const QString failed = QStringLiteral("The replay device failed: playback stopped");
    sim->setFailWriteAfter(3);
    EXPECT_EQ(Play(0), 0);
    EXPECT_EQ(messages.last(), failed);
    EXPECT_EQ(sim->openOutputs(), 0);
    EXPECT_EQ(Probe::Queued(player), 0);
    EXPECT_EQ(player.IsPlaying(), 0);
    sim->setFailWriteAfter(0);
    EXPECT_EQ(Play(0), 1);

    // A refill's write fails: the device closes, and the user hears of it once.
    sim->setFailWriteAfter(1);
    sim->advance(372);
    Pump();
    EXPECT_EQ(player.IsPlaying(), 0);
    EXPECT_TRUE(player.DeviceFailed());
    EXPECT_EQ(sim->openOutputs(), 0);
    EXPECT_EQ(Probe::Queued(player), 0);
    EXPECT_EQ(messages, (QStringList{"Failed to open replay device", failed, failed}));
}

TEST_F(ReplayRing, FormatTheDeviceRefuses) {
    // The simulated device plays 8 and 16 bits only.
    ASSERT_EQ(player.Open(Write("24bit.wav", WaveFile(2, 44100, 24, std::string(6000, 'a')))), 1);
    EXPECT_EQ(Play(0), 0);
    EXPECT_EQ(messages, QStringList{"Failed to open replay device"});
}

}  // namespace
