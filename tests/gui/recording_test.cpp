// SPDX-License-Identifier: GPL-3.0-or-later
// Record and Play Recorded from the window's menu, on the simulated device
// with a stepped clock, so that every recorded and every replayed sample
// counts: the input's left channel differs at every frame, so the replay
// shows what was kept and in what order. Also the devices that do not open
// (simulated, and the sound server's with no server to answer), running out
// of memory, the sample limit, and recording beside the file player.
#include "gui/window.h"

#include "app/main_frame.h"
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
#include <QCoreApplication>
#include <gtest/gtest.h>

namespace {

constexpr int kBlock = SampleBlock::kSamples;  // samples kept per input buffer
int16_t Left(uint64_t frame) { return int16_t(frame * 7 + 3); }

QByteArray LeftBytes(uint64_t count) {
    QByteArray bytes;
    for (uint64_t f = 0; f < count; ++f) bytes.append(char(Left(f) & 0xff)).append(char((Left(f) >> 8) & 0xff));
    return bytes;
}

class RecordingTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_sim.setKeepPlayed(true);
        m_sim.setInputSignal([](uint64_t f, int c) { return c == 0 ? Left(f) : int16_t(-int(f % 977) - 11); });
        platform::setAudioBackend(&m_sim);
        platform::SetMessageSink([this](const QString& text) { m_messages << text; });
        const std::string pcm = testaudio::PcmBytes(testaudio::Sweep(8000, 1, 100.0));
        m_folder.Write(QStringLiteral("talk.wav"), QByteArray::fromStdString(testaudio::WaveFile(1, 8000, 16, pcm)));
        m_folder.Write(QStringLiteral("page.htm"), "<a id=t10 href='talk.wav#10'>talk at 10</a>");
        m_window = std::make_unique<TestWindow>(QStringList{m_folder.Path(QStringLiteral("page.htm"))});
        ASSERT_TRUE(m_window->WaitForPage(m_folder.Url(QStringLiteral("page.htm"))));
    }
    void TearDown() override {
        m_window.reset();
        theReplayFile.Close();
        theRecorder.Stop();
        theRecorder.Clear();
        SetSampleBlockLimit(-1);
        platform::SetMessageSink({});
        platform::setAudioBackend(nullptr);
    }

    // Lets `ms` of sound pass in steps shorter than one input buffer, handing
    // the notifications over after each.
    void Advance(int ms) {
        for (int step; ms > 0; ms -= step) {
            step = std::min(ms, 40);
            m_sim.advance(step);
            QCoreApplication::sendPostedEvents();
        }
    }
    // Records (Record chosen before) until `blocks` buffers are kept, and a little more.
    void RecordBlocks(int blocks) {
        for (int i = 0; i < 10 * blocks + 10 && theRecorder.GetCount() < blocks * kBlock; ++i) Advance(10);
        ASSERT_EQ(theRecorder.GetCount(), blocks * kBlock);
        Advance(30);
    }
    // Replays until the recording player closes; what was played.
    QByteArray ReplayToEnd(int ms) {
        for (int t = 0; t < ms && theReplayBuffer.IsOpen(); t += 40) Advance(40);
        EXPECT_EQ(State(), QStringLiteral("EE"));
        return m_sim.played();
    }
    // Record and Play Recorded ('-' disabled, 'E' enabled, 'C' checked) and the recording pane.
    QString State() {
        QString s;
        for (int id : {ID_AUDIO_RECORD, ID_AUDIO_PLAYREC}) {
            const QAction* a = m_window->Action(id);
            s += !a->isEnabled() ? QLatin1Char('-') : a->isChecked() ? QLatin1Char('C') : QLatin1Char('E');
        }
        const QString pane = m_window->Pane(ID_INDICATOR_RECORDING);
        EXPECT_EQ(pane, s[0] == QLatin1Char('C') ? QStringLiteral("** Recording **") : QString());
        return s;
    }
    bool Choose(int id) { return m_window->Choose(id); }

    platform::SimAudioBackend m_sim{platform::SimAudioBackend::Clock::Stepped};
    PageFolder m_folder;
    std::unique_ptr<TestWindow> m_window;
    QStringList m_messages;
};

TEST_F(RecordingTest, RecordAndReplayTheLeftChannel) {
    EXPECT_EQ(State(), QStringLiteral("E-"));
    // Up to 8000 samples fit the first two writes; longer ones refill.
    for (const int blocks : {1, 4, 5, 30}) {
        SCOPED_TRACE(blocks);
        ASSERT_TRUE(Choose(ID_AUDIO_RECORD));
        EXPECT_EQ(State(), QStringLiteral("CE"));
        RecordBlocks(blocks);
        ASSERT_TRUE(Choose(ID_AUDIO_RECORD));  // the buffer being filled is not kept
        EXPECT_EQ(State(), QStringLiteral("EE"));
        for (int replay = 0; replay < 2; ++replay) {
            m_sim.clearPlayed();
            ASSERT_TRUE(Choose(ID_AUDIO_PLAYREC));
            EXPECT_EQ(State(), QStringLiteral("EC"));
            EXPECT_TRUE(ReplayToEnd(2 * blocks * 100 + 1000) == LeftBytes(uint64_t(blocks) * kBlock));
        }
    }
    // Play Recorded while recording stops it and replays at once.
    ASSERT_TRUE(Choose(ID_AUDIO_RECORD));
    RecordBlocks(6);
    m_sim.clearPlayed();
    ASSERT_TRUE(Choose(ID_AUDIO_PLAYREC));
    EXPECT_EQ(State(), QStringLiteral("EC"));
    EXPECT_TRUE(ReplayToEnd(2000) == LeftBytes(6 * kBlock));

    // Play Recorded during a replay ends it once what the device holds (at
    // most two buffers) has played.
    ASSERT_TRUE(Choose(ID_AUDIO_RECORD));
    RecordBlocks(40);
    ASSERT_TRUE(Choose(ID_AUDIO_RECORD));
    m_sim.clearPlayed();
    ASSERT_TRUE(Choose(ID_AUDIO_PLAYREC));
    Advance(1000);
    const qsizetype heard = m_sim.played().size();
    ASSERT_TRUE(Choose(ID_AUDIO_PLAYREC));
    EXPECT_EQ(State(), QStringLiteral("EC"));
    Advance(370);
    EXPECT_EQ(State(), QStringLiteral("EE"));
    const QByteArray played = m_sim.played();
    EXPECT_LE(played.size() - heard, 2 * 8000);
    EXPECT_LT(played.size(), 2 * 40 * kBlock);
    EXPECT_TRUE(played == LeftBytes(uint64_t(played.size() / 2)));

    // Record during a replay stops it at once, and Record again records anew;
    // chosen back to back, a stopped device's late notices end nothing.
    ASSERT_TRUE(Choose(ID_AUDIO_PLAYREC));
    Advance(500);
    ASSERT_TRUE(Choose(ID_AUDIO_RECORD));
    EXPECT_EQ(State(), QStringLiteral("EE"));
    ASSERT_TRUE(Choose(ID_AUDIO_RECORD));
    EXPECT_EQ(theRecorder.GetCount(), 0);
    RecordBlocks(3);
    m_window->Frame()->Action(ID_AUDIO_RECORD)->trigger();
    m_window->Frame()->Action(ID_AUDIO_RECORD)->trigger();
    RecordBlocks(10);
    m_window->Frame()->Action(ID_AUDIO_RECORD)->trigger();
    m_window->Frame()->Action(ID_AUDIO_PLAYREC)->trigger();
    Advance(100);
    m_window->Frame()->Action(ID_AUDIO_RECORD)->trigger();
    m_window->Frame()->Action(ID_AUDIO_PLAYREC)->trigger();
    m_sim.clearPlayed();
    EXPECT_TRUE(ReplayToEnd(3000) == LeftBytes(10 * kBlock));
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join('\n').toStdString();
}

TEST_F(RecordingTest, DevicesThatDoNotOpenAndOutOfMemory) {
    // The sound server's devices with no server to answer (this test runs
    // with PULSE_SERVER pointing nowhere), and the simulated ones failing.
    const auto server = platform::createQtAudioBackend();
    for (platform::AudioBackend* failing : {static_cast<platform::AudioBackend*>(server.get()),
                                            static_cast<platform::AudioBackend*>(&m_sim)}) {
        SCOPED_TRACE(failing == &m_sim ? "simulated" : "sound server");
        m_messages.clear();
        platform::setAudioBackend(failing);
        m_sim.setFailOpen(failing == &m_sim);
        ASSERT_TRUE(Choose(ID_AUDIO_RECORD));
        EXPECT_EQ(m_messages, QStringList{QStringLiteral("Failed to open record device")});
        EXPECT_EQ(State(), QStringLiteral("EE"));
        ASSERT_TRUE(Choose(ID_AUDIO_PLAYREC));  // an empty recording: nothing to replay
        EXPECT_EQ(State(), QStringLiteral("E-"));

        // A recording made, then a replay device that does not open.
        platform::setAudioBackend(&m_sim);
        m_sim.setFailOpen(false);
        ASSERT_TRUE(Choose(ID_AUDIO_RECORD));
        RecordBlocks(3);
        ASSERT_TRUE(Choose(ID_AUDIO_RECORD));
        platform::setAudioBackend(failing);
        m_sim.setFailOpen(failing == &m_sim);
        m_messages.clear();
        ASSERT_TRUE(Choose(ID_AUDIO_PLAYREC));
        EXPECT_EQ(m_messages, QStringList{QStringLiteral("Failed to open replay device")});
        EXPECT_EQ(State(), QStringLiteral("EE"));
        ASSERT_TRUE(Choose(ID_AUDIO_PLAYREC));
        EXPECT_EQ(m_messages.size(), 1);
        platform::setAudioBackend(&m_sim);
        m_sim.setFailOpen(false);
        ASSERT_TRUE(Choose(ID_AUDIO_RECORD));  // neither device is left busy
        EXPECT_EQ(State(), QStringLiteral("CE"));
        ASSERT_TRUE(Choose(ID_AUDIO_RECORD));
    }
    EXPECT_TRUE(m_sim.played().isEmpty());

    // With no memory for a block the recorder stops and says so; the blocks
    // kept before still replay.
    SetSampleBlockLimit(3);
    m_messages.clear();
    ASSERT_TRUE(Choose(ID_AUDIO_RECORD));
    Advance(1000);
    EXPECT_EQ(m_messages, QStringList{QStringLiteral("Out of memory for recording")});
    EXPECT_EQ(State(), QStringLiteral("EE"));
    SetSampleBlockLimit(-1);
    ASSERT_TRUE(Choose(ID_AUDIO_PLAYREC));
    EXPECT_TRUE(ReplayToEnd(2000) == LeftBytes(3 * kBlock));
}

TEST_F(RecordingTest, RecordingEndsItselfAtTheSampleLimit) {
    // More than 5,000,000 samples kept when a buffer comes back: 5,002,000.
    constexpr int kLimit = 5002000;
    ASSERT_TRUE(Choose(ID_AUDIO_RECORD));
    for (int step = 0; step < 240 * 25 && theRecorder.IsRecording(); ++step) {
        m_sim.advance(40);
        QCoreApplication::sendPostedEvents();
    }
    EXPECT_EQ(State(), QStringLiteral("EE"));
    EXPECT_EQ(theRecorder.GetCount(), kLimit);
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join('\n').toStdString();
    m_sim.clearPlayed();
    ASSERT_TRUE(Choose(ID_AUDIO_PLAYREC));
    EXPECT_TRUE(ReplayToEnd(240000) == LeftBytes(kLimit)) << "the replay differs from the recording";
    // Record then discards it and records anew.
    ASSERT_TRUE(Choose(ID_AUDIO_RECORD));
    Advance(1000);
    EXPECT_EQ(theRecorder.GetCount(), 11 * kBlock);  // 1 s of 2000-frame buffers at 22050 Hz
}

TEST_F(RecordingTest, RecordingAndReplayLeaveTheFilePlayerPlaying) {
    ASSERT_TRUE(m_window->Click(QStringLiteral("#t10")));
    ASSERT_TRUE(WaitUntil([] { return theReplayFile.IsPlaying(); }));
    ASSERT_TRUE(Choose(ID_AUDIO_RECORD));
    RecordBlocks(20);
    ASSERT_TRUE(Choose(ID_AUDIO_PLAYREC));
    Advance(300);
    // Record stops the replay; the recording player's buffers that come back
    // then are its own, not the file player's.
    const int queued = ReplayFileProbe::Queued(theReplayFile);
    const int current = ReplayFileProbe::Current(theReplayFile);
    ASSERT_TRUE(Choose(ID_AUDIO_RECORD));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(State(), QStringLiteral("EE"));
    EXPECT_EQ(ReplayFileProbe::Queued(theReplayFile), queued);
    EXPECT_EQ(ReplayFileProbe::Current(theReplayFile), current);
    ASSERT_TRUE(Choose(ID_AUDIO_PLAYREC));
    ReplayToEnd(3000);
    EXPECT_TRUE(theReplayFile.IsPlaying());
    EXPECT_GT(theReplayFile.GetPosition(), 12.0);
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join('\n').toStdString();
}

}  // namespace
