// SPDX-License-Identifier: GPL-3.0-or-later
// Record and Play Recorded from the window's menu on the simulated device
// with a stepped clock, so that every sample counts: the input's left channel
// differs at every frame, so the replay shows what was kept and in what
// order. Also devices that do not open (simulated, and the sound server's
// with no server to answer), running out of memory, the sample limit, and
// recording beside the file player.
#include "gui/window.h"

#include "audio/recorder.h"
#include "audio/replay_buffer.h"
#include "audio/replay_file.h"
#include "audio/sample_block.h"
#include "common/replay_file_probe.h"
#include "common/test_audio.h"
#include "platform/message_box.h"
#include "platform/qt_audio_backend.h"
#include "platform/sim_audio.h"
#include "view/command_ids.h"

#include <QAction>
#include <gtest/gtest.h>

namespace {

constexpr int kBlock = SampleBlock::kSamples;  // samples kept per input buffer

QByteArray LeftBytes(int count) {  // the input's left channel, frame * 7 + 3
    QByteArray bytes;
    for (int f = 0; f < count; ++f) bytes.append(char((f * 7 + 3) & 0xff)).append(char(((f * 7 + 3) >> 8) & 0xff));
    return bytes;
}

class RecordingTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_sim.setKeepPlayed(true);
        m_sim.setInputSignal([](uint64_t f, int c) { return int16_t(c == 0 ? f * 7 + 3 : -int(f % 977) - 11); });
        platform::setAudioBackend(&m_sim);
        platform::SetMessageSink([this](const QString& text) { m_messages << text; });
        const std::string pcm = testaudio::PcmBytes(testaudio::Sweep(8000, 1, 100.0));
        m_folder.Write("talk.wav", QByteArray::fromStdString(testaudio::WaveFile(1, 8000, 16, pcm)));
        m_folder.Write("page.htm", "<a id=t10 href='talk.wav#10'>talk at 10</a>");
        m_window = std::make_unique<TestWindow>(QStringList{m_folder.Path("page.htm")});
        ASSERT_TRUE(m_window->WaitForPage(m_folder.Url("page.htm")));
    }
    void TearDown() override {
        m_window.reset();
        theReplayFile.Close();
        theRecorder.Stop();
        SetSampleBlockLimit(-1);
        platform::SetMessageSink({});
        platform::setAudioBackend(nullptr);
    }
    // Lets `ms` of sound pass in steps shorter than one input buffer, handing
    // the notifications over after each.
    void Advance(int ms) {
        for (int step; ms > 0; ms -= step) {
            m_sim.advance(step = std::min(ms, 40));
            QCoreApplication::sendPostedEvents();
        }
    }
    void Record(int blocks) {  // Record, `blocks` buffers and a little more, Record
        ASSERT_TRUE(m_window->Choose(ID_AUDIO_RECORD));
        EXPECT_EQ(State(), QStringLiteral("CE"));
        for (int i = 0; i < 10 * blocks + 10 && theRecorder.GetCount() < blocks * kBlock; ++i) Advance(10);
        Advance(30);
        ASSERT_TRUE(m_window->Choose(ID_AUDIO_RECORD));  // the buffer being filled is not kept
    }
    // Play Recorded, played until the recording player closes; what was played.
    // With `direct`, chosen with no event loop before.
    QByteArray Replay(int ms = 3000, bool direct = false) {
        m_sim.clearPlayed();
        EXPECT_TRUE(direct ? (m_window->Frame()->Action(ID_AUDIO_PLAYREC)->trigger(), true) : m_window->Choose(ID_AUDIO_PLAYREC));
        for (int t = 0; t < ms && theReplayBuffer.IsOpen(); t += 40) Advance(40);
        EXPECT_EQ(State(), QStringLiteral("EE"));
        return m_sim.played();
    }
    // Record and Play Recorded as the window's states show them; the
    // recording pane must agree.
    QString State() {
        const QString s = m_window->States({ID_AUDIO_RECORD, ID_AUDIO_PLAYREC});
        EXPECT_EQ(m_window->Pane(ID_INDICATOR_RECORDING), s[0] == 'C' ? QStringLiteral("** Recording **") : QString());
        return s;
    }

    platform::SimAudioBackend m_sim{platform::SimAudioBackend::Clock::Stepped};
    PageFolder m_folder;
    std::unique_ptr<TestWindow> m_window;
    QStringList m_messages;
};

TEST_F(RecordingTest, RecordAndReplayTheLeftChannel) {
    EXPECT_EQ(State(), QStringLiteral("E-"));
    for (const int blocks : {1, 4, 5, 30}) {  // up to 8000 samples fit the first two writes
        Record(blocks);
        EXPECT_EQ(State(), QStringLiteral("EE"));
        EXPECT_TRUE(Replay() == LeftBytes(blocks * kBlock)) << blocks;
        EXPECT_TRUE(Replay() == LeftBytes(blocks * kBlock)) << blocks << ", again";
    }
    // Play Recorded during a replay ends it once the device's two buffers have played.
    Record(40);
    m_sim.clearPlayed();
    ASSERT_TRUE(m_window->Choose(ID_AUDIO_PLAYREC));
    Advance(1000);
    const qsizetype heard = m_sim.played().size();
    ASSERT_TRUE(m_window->Choose(ID_AUDIO_PLAYREC));
    EXPECT_EQ(State(), QStringLiteral("EC"));
    Advance(370);
    EXPECT_EQ(State(), QStringLiteral("EE"));
    const QByteArray played = m_sim.played();
    EXPECT_LE(played.size() - heard, 2 * 8000);
    EXPECT_TRUE(played.size() < 2 * 40 * kBlock && played == LeftBytes(int(played.size() / 2)));
    // Record during a replay stops it at once; Play Recorded while recording replays at once.
    ASSERT_TRUE(m_window->Choose(ID_AUDIO_PLAYREC));
    Advance(500);
    ASSERT_TRUE(m_window->Choose(ID_AUDIO_RECORD));
    EXPECT_EQ(State(), QStringLiteral("EE"));
    ASSERT_TRUE(m_window->Choose(ID_AUDIO_RECORD));
    for (int i = 0; i < 100 && theRecorder.GetCount() < 6 * kBlock; ++i) Advance(10);
    EXPECT_TRUE(Replay() == LeftBytes(6 * kBlock));
    // Record stops a replay and Play Recorded starts one, back to back: the
    // stopped replay's late notices must not end the new one.
    ASSERT_TRUE(m_window->Choose(ID_AUDIO_PLAYREC));
    Advance(100);
    m_window->Frame()->Action(ID_AUDIO_RECORD)->trigger();
    EXPECT_TRUE(Replay(3000, true) == LeftBytes(6 * kBlock));
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join('\n').toStdString();
}

TEST_F(RecordingTest, DevicesThatDoNotOpenAndOutOfMemory) {
    // This test runs with PULSE_SERVER pointing nowhere.
    const auto server = platform::createQtAudioBackend();
    for (platform::AudioBackend* failing : {server.get(), static_cast<platform::AudioBackend*>(&m_sim)}) {
        auto fail = [&](bool on) {
            platform::setAudioBackend(on ? failing : &m_sim);
            m_sim.setFailOpen(on && failing == &m_sim);
        };
        fail(true);
        m_messages.clear();
        ASSERT_TRUE(m_window->Choose(ID_AUDIO_RECORD));
        EXPECT_EQ(State(), QStringLiteral("EE"));
        ASSERT_TRUE(m_window->Choose(ID_AUDIO_PLAYREC));  // an empty recording: nothing to replay
        EXPECT_EQ(State(), QStringLiteral("E-"));
        fail(false);
        Record(3);
        fail(true);
        for (int i = 0; i < 2; ++i) {
            ASSERT_TRUE(m_window->Choose(ID_AUDIO_PLAYREC));
            EXPECT_EQ(State(), QStringLiteral("EE"));
        }
        EXPECT_EQ(m_messages, (QStringList{"Failed to open record device", "Failed to open replay device"}));
        fail(false);
        Record(1);  // neither device was left busy
        EXPECT_TRUE(Replay() == LeftBytes(kBlock));
    }
    // With no memory for a block the recorder stops and says so; the blocks
    // kept before still replay.
    SetSampleBlockLimit(3);
    m_messages.clear();
    ASSERT_TRUE(m_window->Choose(ID_AUDIO_RECORD));
    Advance(1000);
    EXPECT_EQ(m_messages, QStringList{"Out of memory for recording"});
    EXPECT_EQ(State(), QStringLiteral("EE"));
    SetSampleBlockLimit(-1);
    EXPECT_TRUE(Replay() == LeftBytes(3 * kBlock));
}

TEST_F(RecordingTest, RecordingEndsItselfAtTheSampleLimit) {
    // More than 5,000,000 samples kept when a buffer comes back: 5,002,000.
    ASSERT_TRUE(m_window->Choose(ID_AUDIO_RECORD));
    for (int step = 0; step < 240 * 25 && theRecorder.IsRecording(); ++step) {
        m_sim.advance(40);
        QCoreApplication::sendPostedEvents();
    }
    EXPECT_EQ(State(), QStringLiteral("EE"));
    EXPECT_TRUE(Replay(240000) == LeftBytes(5002000)) << "the replay differs from the recording";
    ASSERT_TRUE(m_window->Choose(ID_AUDIO_RECORD));  // discards it and records anew
    Advance(1000);
    EXPECT_EQ(theRecorder.GetCount(), 11 * kBlock);  // 1 s of 2000-frame buffers at 22050 Hz
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join('\n').toStdString();
}

TEST_F(RecordingTest, RecordingAndReplayLeaveTheFilePlayerPlaying) {
    ASSERT_TRUE(m_window->Click(QStringLiteral("#t10")));
    ASSERT_TRUE(WaitUntil([] { return theReplayFile.IsPlaying(); }));
    Record(20);
    ASSERT_TRUE(m_window->Choose(ID_AUDIO_PLAYREC));
    Advance(300);
    // Record stops the replay; the recording player's buffers that come back
    // then are its own, not the file player's.
    const int queued = ReplayFileProbe::Queued(theReplayFile), current = ReplayFileProbe::Current(theReplayFile);
    ASSERT_TRUE(m_window->Choose(ID_AUDIO_RECORD));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(State(), QStringLiteral("EE"));
    EXPECT_EQ(ReplayFileProbe::Queued(theReplayFile), queued);
    EXPECT_EQ(ReplayFileProbe::Current(theReplayFile), current);
    Replay();
    EXPECT_TRUE(theReplayFile.IsPlaying());
    EXPECT_GT(theReplayFile.GetPosition(), 12.0);
}

}  // namespace
