// SPDX-License-Identifier: GPL-3.0-or-later
// With no sound server to reach, every device open fails at once and the
// recorder and the recording player say so. Run with PULSE_SERVER pointing
// at a socket that does not exist.
#include "platform/message_box.h"
#include "platform/qt_audio_backend.h"
#include "recorder_fixture.h"

#include <QElapsedTimer>

using namespace rectest;

TEST(NoServer, EveryOpenFailsAndTheMessagesAreShown) {
    ASSERT_EQ(qgetenv("PULSE_SERVER"), "unix:/nonexistent");
    auto backend = platform::createQtAudioBackend();
    platform::setAudioBackend(backend.get());
    QStringList messages;
    platform::SetMessageSink([&](const QString& m) { messages << m; });
    QObject receiver;
    platform::WaveFormat mono;
    mono.channels = 1;
    mono.samplesPerSec = 22050;
    mono.bitsPerSample = 16;
    mono.blockAlign = 2;
    mono.avgBytesPerSec = 44100;
    platform::WaveFormat stereo = mono;
    stereo.channels = 2;
    stereo.blockAlign = 4;
    stereo.avgBytesPerSec = 88200;

    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(backend->createWaveOut()->open(mono, &receiver));
    EXPECT_FALSE(backend->createWaveIn()->open(stereo, &receiver));
    EXPECT_EQ(theReplayBuffer.Open(&receiver, 22050), 0);
    EXPECT_FALSE(theReplayBuffer.IsOpen());
    EXPECT_EQ(theRecorder.Start(&receiver, 22050, 2), -1);
    EXPECT_FALSE(theRecorder.IsRecording());
    EXPECT_EQ(messages, (QStringList{"Failed to open replay device", "Failed to open record device"}));
    RecordProperty("milliseconds", int(t.elapsed()));

    platform::SetMessageSink({});
    platform::setAudioBackend(nullptr);
}
