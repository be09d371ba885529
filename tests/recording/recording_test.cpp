// SPDX-License-Identifier: GPL-3.0-or-later
// Record and Play Recorded through the window's real menu items, on the
// simulated device: the recording states and the Record, Play Recorded and
// pane states in each, what a replay plays (the left channel, in recording
// order, nothing lost or repeated), the device failures, running out of
// memory, the sample limit, and recording and replay beside the file player.
#include "recording_fixture.h"

#include "common/replay_file_probe.h"

using namespace rectest;

namespace {

TEST_F(RecordingTest, RecordThenRecordKeepsTheFullBuffersOfTheLeftChannel) {
    ExpectUi("at start", false, false, false);
    EXPECT_EQ(View()->m_nRecState, 0);

    ChooseRecord();
    EXPECT_EQ(View()->m_nRecState, 1);
    EXPECT_TRUE(theRecorder.IsRecording());
    ExpectUi("recording", true, true, false);
    RecordBlocks(5);

    ChooseRecord();
    EXPECT_EQ(View()->m_nRecState, 2);
    EXPECT_FALSE(theRecorder.IsRecording());
    ExpectUi("recording held", false, true, false);
    // The buffer still being filled when Record stopped the device is not kept.
    ASSERT_EQ(View()->m_nRecSamples, 5 * kBlock);
    ASSERT_TRUE(View()->m_pRecSamples.get());
    EXPECT_EQ(Joined(), LeftBytes(5 * kBlock));
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join("; ").toStdString();
}

// Recordings are whole blocks; up to 8000 samples fit the two first writes,
// a longer one refills a buffer each time one comes back. Every replay plays
// exactly the recorded left channel, in order.
TEST_F(RecordingTest, ReplayOfEveryLengthPlaysTheRecordingOnce) {
    struct Case {
        int blocks;
        int queuedAtStart;  // samples handed to the device by Play Recorded
        int buffers;        // output buffers played in all
    };
    for (const Case c : {Case{1, 2000, 1}, Case{2, 4000, 1}, Case{3, 6000, 2}, Case{4, 8000, 2},
                         Case{5, 8000, 3}, Case{7, 8000, 4}, Case{30, 8000, 15}}) {
        SCOPED_TRACE(testing::Message() << c.blocks * kBlock << " samples");
        ChooseRecord();
        RecordBlocks(c.blocks);
        ChooseRecord();
        m_sim.clearPlayed();
        m_count.outDone = m_count.outClose = 0;

        ChoosePlayRecorded();
        EXPECT_EQ(View()->m_nRecState, 3);
        EXPECT_EQ(View()->m_nReplayPos, c.queuedAtStart);
        ExpectUi("replaying", false, true, true);
        ASSERT_TRUE(ReplayToEnd(2 * c.blocks * 100 + 1000));
        EXPECT_EQ(m_count.outDone, c.buffers);
        EXPECT_EQ(m_count.outClose, 1);
        EXPECT_EQ(m_sim.played(), LeftBytes(uint64_t(c.blocks) * kBlock));
        ExpectUi("replayed", false, true, false);

        // The same recording replays again.
        m_sim.clearPlayed();
        ChoosePlayRecorded();
        ASSERT_TRUE(ReplayToEnd(2 * c.blocks * 100 + 1000));
        EXPECT_EQ(m_sim.played(), LeftBytes(uint64_t(c.blocks) * kBlock));
    }
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join("; ").toStdString();
}

TEST_F(RecordingTest, PlayRecordedWhileRecordingStopsAndReplaysAtOnce) {
    ChooseRecord();
    RecordBlocks(6);
    ChoosePlayRecorded();
    EXPECT_FALSE(theRecorder.IsRecording());
    EXPECT_TRUE(theReplayBuffer.IsOpen());
    EXPECT_EQ(View()->m_nRecState, 3);
    EXPECT_EQ(View()->m_nRecSamples, 6 * kBlock);
    ExpectUi("replaying", false, true, true);
    m_sim.clearPlayed();
    ASSERT_TRUE(ReplayToEnd(2000));
    EXPECT_EQ(m_sim.played(), LeftBytes(6 * kBlock));
}

// Play Recorded during a replay queues nothing more: what the device holds
// (at most two buffers, 0.36 s) plays out and the state returns to 2.
TEST_F(RecordingTest, PlayRecordedDuringReplayEndsItWithinTwoBuffers) {
    ChooseRecord();
    RecordBlocks(40);  // 80000 samples, 3.6 s
    ChooseRecord();
    m_sim.clearPlayed();
    ChoosePlayRecorded();
    Advance(1000);
    const int queued = View()->m_nReplayPos;
    const int heard = int(m_sim.played().size() / 2);
    ASSERT_LT(queued, 80000);
    EXPECT_LE(queued - heard, 8000);

    ChoosePlayRecorded();
    EXPECT_EQ(View()->m_nReplayPos, 80000);
    EXPECT_EQ(View()->m_nRecState, 3);
    Advance(370);
    EXPECT_FALSE(theReplayBuffer.IsOpen());
    EXPECT_EQ(View()->m_nRecState, 2);
    EXPECT_EQ(m_sim.played(), LeftBytes(uint64_t(queued)));
    ExpectUi("replay ended", false, true, false);
}

// Record during a replay stops it at once; Record again starts a new
// recording. Chosen back to back (no event loop between), the stopped
// player's returned buffers and its close must not end what follows.
TEST_F(RecordingTest, RecordDuringReplayStopsItAtOnce) {
    ChooseRecord();
    RecordBlocks(20);
    ChooseRecord();
    ChoosePlayRecorded();
    Advance(500);
    ChooseRecord();
    EXPECT_FALSE(theReplayBuffer.IsOpen());
    EXPECT_EQ(View()->m_nRecState, 2);
    ExpectUi("replay stopped", false, true, false);

    ChooseRecord();
    EXPECT_EQ(View()->m_nRecState, 1);
    EXPECT_TRUE(theRecorder.IsRecording());
    EXPECT_EQ(theRecorder.GetCount(), 0);  // the earlier recording's blocks are gone
    ExpectUi("recording anew", true, true, false);

    // Back to back: Record stops the new recording; Record starts another at
    // once; then Record stops a replay and Play Recorded starts a new one at once.
    RecordBlocks(3);
    Record()->trigger();
    Record()->trigger();
    RecordBlocks(10);
    EXPECT_TRUE(theRecorder.IsRecording());
    Record()->trigger();
    PlayRecorded()->trigger();
    Advance(100);
    Record()->trigger();
    PlayRecorded()->trigger();
    EXPECT_EQ(View()->m_nRecState, 3);
    m_sim.clearPlayed();
    ASSERT_TRUE(ReplayToEnd(3000));
    EXPECT_EQ(m_sim.played(), LeftBytes(10 * kBlock));
}

TEST_F(RecordingTest, RecordDeviceThatDoesNotOpen) {
    m_sim.setFailOpen(true);
    ChooseRecord();
    EXPECT_EQ(m_messages, QStringList{QStringLiteral("Failed to open record device")});
    EXPECT_FALSE(theRecorder.IsRecording());
    EXPECT_EQ(View()->m_nRecState, 1);
    ExpectUi("record failed", false, true, false);

    // Play Recorded collects an empty recording: nothing to replay, state 0.
    ChoosePlayRecorded();
    EXPECT_EQ(View()->m_nRecState, 0);
    EXPECT_EQ(View()->m_nRecSamples, 0);
    EXPECT_FALSE(theReplayBuffer.IsOpen());
    EXPECT_EQ(m_messages.size(), 1);
    ExpectUi("nothing recorded", false, false, false);
}

TEST_F(RecordingTest, ReplayDeviceThatDoesNotOpen) {
    ChooseRecord();
    RecordBlocks(3);
    ChooseRecord();
    m_sim.setFailOpen(true);
    ChoosePlayRecorded();
    EXPECT_EQ(m_messages, QStringList{QStringLiteral("Failed to open replay device")});
    EXPECT_EQ(View()->m_nRecState, 3);
    EXPECT_EQ(View()->m_nReplayPos, 0);
    ExpectUi("replay failed", false, true, false);

    // Again: only the replay position moves to the end.
    ChoosePlayRecorded();
    EXPECT_EQ(View()->m_nReplayPos, 3 * kBlock);
    EXPECT_EQ(View()->m_nRecState, 3);
    EXPECT_EQ(m_messages.size(), 1);

    // Record finds neither device busy and starts a new recording.
    m_sim.setFailOpen(false);
    ChooseRecord();
    EXPECT_EQ(View()->m_nRecState, 1);
    EXPECT_TRUE(theRecorder.IsRecording());
    EXPECT_TRUE(m_sim.played().isEmpty());
}

// With no memory for a block the recorder stops and says so; the blocks kept
// before still replay.
TEST_F(RecordingTest, OutOfMemoryKeepsTheEarlierBlocksReplayable) {
    SetSampleBlockLimit(3);
    ChooseRecord();
    Advance(1000);
    EXPECT_FALSE(theRecorder.IsRecording());
    EXPECT_EQ(m_messages, QStringList{QStringLiteral("Out of memory for recording")});
    EXPECT_EQ(theRecorder.GetCount(), 3 * kBlock);
    EXPECT_EQ(View()->m_nRecState, 1);
    ExpectUi("out of memory", false, true, false);

    SetSampleBlockLimit(-1);
    m_sim.clearPlayed();
    ChoosePlayRecorded();
    EXPECT_EQ(View()->m_nRecSamples, 3 * kBlock);
    ASSERT_TRUE(ReplayToEnd(2000));
    EXPECT_EQ(m_sim.played(), LeftBytes(3 * kBlock));
}

// A recording ends by itself when a returned buffer finds more than
// 5,000,000 samples kept: at 5,002,000.
class SampleLimitTest : public RecordingTest {
protected:
    static constexpr int kLimitSamples = 5002000;
    void RecordToTheLimit() {
        ChooseRecord();
        for (int s = 0; s < 240 && theRecorder.IsRecording(); ++s) Advance(1000);
        ASSERT_FALSE(theRecorder.IsRecording());
        EXPECT_EQ(theRecorder.GetCount(), kLimitSamples);
        EXPECT_EQ(View()->m_nRecState, 1);
        EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join("; ").toStdString();
        ExpectUi("at the limit", false, true, false);
    }
};

TEST_F(SampleLimitTest, PlayRecordedThenReplaysTheWholeRecording) {
    RecordToTheLimit();
    m_sim.clearPlayed();
    ChoosePlayRecorded();
    EXPECT_EQ(View()->m_nRecSamples, kLimitSamples);
    ASSERT_TRUE(ReplayToEnd(240000));
    EXPECT_EQ(m_count.outDone, (kLimitSamples + 3999) / 4000);
    EXPECT_TRUE(m_sim.played() == LeftBytes(kLimitSamples)) << "the replay differs from the recording";
}

TEST_F(SampleLimitTest, RecordThenDiscardsItAndStartsAnew) {
    RecordToTheLimit();
    ChooseRecord();
    EXPECT_TRUE(theRecorder.IsRecording());
    EXPECT_EQ(theRecorder.GetCount(), 0);
    EXPECT_EQ(View()->m_nRecState, 1);
}

// The limit stops the recorder from inside a returned buffer's notification;
// Record right after, before the event loop runs again, records anew.
TEST_F(SampleLimitTest, RecordAtOnceAfterTheLimitRecordsAnew) {
    ChooseRecord();
    for (int step = 0; step < 240 * 25 && theRecorder.IsRecording(); ++step) {
        m_sim.advance(40);
        QCoreApplication::sendPostedEvents(View(), platform::WaveEvent::InData);
    }
    ASSERT_FALSE(theRecorder.IsRecording());
    Record()->trigger();
    Advance(1000);
    EXPECT_TRUE(theRecorder.IsRecording());
    EXPECT_EQ(theRecorder.GetCount(), 11 * kBlock);  // 1 s of 2000-frame buffers at 22050 Hz
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join("; ").toStdString();
}

// Recording and replay run beside the file player and never stop it.
TEST_F(RecordingTest, RecordingAndReplayLeaveTheFilePlayerPlaying) {
    ASSERT_TRUE(m_window->Click(QStringLiteral("#t10")));
    ASSERT_TRUE(QTest::qWaitFor([] { return theReplayFile.IsPlaying(); }, 10000));
    ChooseRecord();
    RecordBlocks(8);
    ChoosePlayRecorded();
    EXPECT_TRUE(theReplayFile.IsPlaying());
    ASSERT_TRUE(ReplayToEnd(3000));
    EXPECT_TRUE(theReplayFile.IsPlaying());
    EXPECT_GT(theReplayFile.GetPosition(), 10.0 + 1.0);
    EXPECT_EQ(View()->m_nRecSamples, 8 * kBlock);
    EXPECT_EQ(Joined(), LeftBytes(8 * kBlock));
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join("; ").toStdString();
}

// After Record stops a replay (state 2), the recording player's returned
// buffers still reach the view. They belong to the recording player and must
// not be handed to the file player, whose queue count and ring position
// would go wrong (it would refill and queue again a buffer the device holds).
TEST_F(RecordingTest, StoppedReplayBuffersAreNotTheFilePlayers) {
    ASSERT_TRUE(m_window->Click(QStringLiteral("#t10")));
    ASSERT_TRUE(QTest::qWaitFor([] { return theReplayFile.IsPlaying(); }, 10000));
    ChooseRecord();
    RecordBlocks(20);
    ChoosePlayRecorded();
    Advance(300);
    const int queued = ReplayFileProbe::Queued(theReplayFile);
    const int current = ReplayFileProbe::Current(theReplayFile);
    const int doneBefore = m_count.outDone;
    ChooseRecord();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(View()->m_nRecState, 2);
    EXPECT_EQ(m_count.outDone - doneBefore, 2);  // both of its buffers came back
    EXPECT_EQ(ReplayFileProbe::Queued(theReplayFile), queued);
    EXPECT_EQ(ReplayFileProbe::Current(theReplayFile), current);
    EXPECT_TRUE(theReplayFile.IsPlaying());
}

}  // namespace
