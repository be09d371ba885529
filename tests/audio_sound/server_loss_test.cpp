// SPDX-License-Identifier: GPL-3.0-or-later
// A sound server that dies or stalls under the file player: a running player
// says so once and plays again once a server is back; `--play` says so and
// exits 1. The test runs a PulseAudio server of its own (a null sink on a
// private socket), so killing it disturbs nothing else.
#include "audio/file_player.h"
#include "common/test_audio.h"
#include "platform/qt_audio_backend.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>

namespace {

class ServerLoss : public ::testing::Test {
protected:
    void TearDown() override { stopServer(); }

    // The environment with one variable set, for the server or its clients.
    QProcessEnvironment with(const QString& name, const QString& value) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(name, value);
        env.remove(QStringLiteral("PARLOTYPE_AUDIO"));
        return env;
    }
    bool startServer() {
        server.setProcessEnvironment(with("XDG_RUNTIME_DIR", dir.path()));
        server.start("pulseaudio", {"-n", "--daemonize=no", "--exit-idle-time=-1", "--system=false",
                                    "--load=module-native-protocol-unix socket=" + dir.path() + "/native",
                                    "--load=module-null-sink sink_name=nullsink"});
        return server.waitForStarted(5000) && QTest::qWaitFor([this] {
            QProcess info;
            info.setProcessEnvironment(with("PULSE_SERVER", address));
            info.start("pactl", {"info"});
            return info.waitForFinished(2000) && info.exitCode() == 0;
        }, 5000);
    }
    void signal(int sig) {
        if (server.state() != QProcess::NotRunning) ::kill(pid_t(server.processId()), sig);
    }
    void stopServer() {
        signal(SIGCONT);
        signal(SIGKILL);
        server.waitForFinished(5000);
    }

    QTemporaryDir dir;
    const QString wav = dir.filePath("sweep.wav"), address = "unix:" + dir.path() + "/native";
    QProcess server;
};

TEST_F(ServerLoss, PlayerAndPlayCommandTellOfAServerThatDiesOrStalls) {
    using namespace testaudio;
    ASSERT_TRUE(writeFile(wav, waveFile(2, 44100, 16, pcmBytes(sweep(44100, 2, 20.0)))));
    // In a running program: the loss is told once and playback stops; once
    // the server is back, playing works again.
    ASSERT_TRUE(startServer());
    qputenv("PULSE_SERVER", address.toUtf8());
    const auto backend = platform::createQtAudioBackend();
    QStringList messages;
    FilePlayer player(*backend);
    QObject::connect(&player, &FilePlayer::failed, [&](const QString& text) { messages << text; });
    ASSERT_TRUE(player.open(wav) && player.play(0.0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.position() > 0.3; }, 5000));
    stopServer();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !player.isPlaying(); }, 2000));
    EXPECT_TRUE(player.deviceFailed());
    QTest::qWait(500);
    EXPECT_EQ(messages, QStringList{"The replay device failed: playback stopped"});
    ASSERT_TRUE(startServer());
    EXPECT_TRUE(QTest::qWaitFor([&] { return player.play(5.0) || (QTest::qWait(250), false); }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return player.position() > 5.3; }, 5000)) << messages.join("; ").toStdString();
    player.close();
    stopServer();

    // Killed or stopped under --play: a message and exit 1 within 2 s of a
    // kill, and within the 2 s no-progress rule of a stall.
    struct Case { int signal; const char* message; qint64 withinMs; } cases[] = {
        {SIGKILL, "The replay device failed: playback stopped", 2000},
        {SIGSTOP, "The replay device stalled: nothing was heard for 2 s", 3000},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(startServer()) << c.message;
        QProcess play;
        play.setProcessEnvironment(with("PULSE_SERVER", address));
        play.start(PARLOTYPE_BINARY_DIR "/parlotype", {"--play", wav});
        QByteArray out;  // playing once a position past the start is printed
        ASSERT_TRUE(QTest::qWaitFor([&] {
            out += play.readAllStandardOutput();
            return out.contains(" 0:00.") && !out.trimmed().endsWith(" 0:00.0");
        }, 10000)) << c.message << out.toStdString();
        QElapsedTimer sinceLoss;
        signal(c.signal);
        sinceLoss.start();
        ASSERT_TRUE(play.waitForFinished(10000)) << c.message;
        EXPECT_LE(sinceLoss.elapsed(), c.withinMs) << c.message;
        EXPECT_EQ(play.exitCode(), 1) << c.message;
        EXPECT_TRUE(QString::fromLocal8Bit(play.readAllStandardError()).contains(c.message));
        stopServer();
    }
}

}  // namespace
