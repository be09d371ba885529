// SPDX-License-Identifier: GPL-3.0-or-later
// Record and Play Recorded with the real sound backend and no sound server to
// answer (PULSE_SERVER points nowhere): each device's message, and the states
// that follow.
#include "recording_fixture.h"

#include "platform/qt_audio_backend.h"

using namespace rectest;

namespace {

TEST_F(RecordingTest, NoSoundServerGivesEachDevicesMessage) {
    const auto server = platform::createQtAudioBackend();
    platform::setAudioBackend(server.get());
    ChooseRecord();
    EXPECT_EQ(m_messages, QStringList{QStringLiteral("Failed to open record device")});
    EXPECT_FALSE(theRecorder.IsRecording());
    EXPECT_EQ(View()->m_nRecState, 1);
    ExpectUi("record device failed", false, true, false);
    ChoosePlayRecorded();
    EXPECT_EQ(View()->m_nRecState, 0);
    ExpectUi("nothing recorded", false, false, false);

    // A recording made on the simulated device, then replayed without a server.
    platform::setAudioBackend(&m_sim);
    ChooseRecord();
    RecordBlocks(4);
    ChooseRecord();
    platform::setAudioBackend(server.get());
    m_messages.clear();
    ChoosePlayRecorded();
    EXPECT_EQ(m_messages, QStringList{QStringLiteral("Failed to open replay device")});
    EXPECT_FALSE(theReplayBuffer.IsOpen());
    EXPECT_EQ(View()->m_nRecState, 3);
    ExpectUi("replay device failed", false, true, false);
    platform::setAudioBackend(&m_sim);
}

}  // namespace
