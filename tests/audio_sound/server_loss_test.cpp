// SPDX-License-Identifier: GPL-3.0-or-later
// A sound server that dies or stalls under the file player: `--play` says so
// and exits 1, and the player in a running program plays again once a server
// is back. Each test runs a PulseAudio server of its own (a null sink on a
// private socket), so killing it disturbs no other test.
#include "audio/replay_file.h"
#include "audio/replay_receiver.h"
#include "common/test_audio.h"
#include "platform/message_box.h"
#include "platform/qt_audio_backend.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>

namespace {

// A PulseAudio server with a null sink on a socket in a folder of its own.
class PrivateServer {
public:
    explicit PrivateServer(const QString& runtime) : m_runtime(runtime) {}
    ~PrivateServer() { stop(); }

    QString address() const { return QStringLiteral("unix:%1/native").arg(m_runtime); }

    bool start() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime);
        env.remove(QStringLiteral("PULSE_SERVER"));
        m_server.setProcessEnvironment(env);
        m_server.start(QStringLiteral("pulseaudio"),
                       {"-n", "--daemonize=no", "--exit-idle-time=-1", "--system=false",
                        QStringLiteral("--load=module-native-protocol-unix socket=%1/native").arg(m_runtime),
                        "--load=module-null-sink sink_name=nullsink"});
        if (!m_server.waitForStarted(5000)) return false;
        return QTest::qWaitFor([this] { return answers(); }, 5000);
    }
    void kill() {
        m_server.kill();
        m_server.waitForFinished(5000);
    }
    void signal(int sig) { ::kill(pid_t(m_server.processId()), sig); }
    void stop() {
        if (m_server.state() == QProcess::NotRunning) return;
        signal(SIGCONT);
        kill();
    }

private:
    bool answers() const {
        QProcess info;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PULSE_SERVER"), address());
        info.setProcessEnvironment(env);
        info.start(QStringLiteral("pactl"), {"info"});
        return info.waitForFinished(2000) && info.exitCode() == 0;
    }

    QString m_runtime;
    QProcess m_server;
};

class ServerLoss : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        wav = dir.filePath("tone.wav");
        ASSERT_TRUE(testaudio::WriteFile(
            wav, testaudio::WaveFile(2, 44100, 16, testaudio::PcmBytes(testaudio::Sweep(44100, 2, 20.0)))));
    }

    // Starts `parlotype --play` on the private server.
    void StartPlay(QProcess& play) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PULSE_SERVER"), server.address());
        env.remove(QStringLiteral("PARLOTYPE_AUDIO"));
        play.setProcessEnvironment(env);
        play.start(QStringLiteral(PARLOTYPE_BINARY_DIR "/parlotype"), {"--play", wav});
        ASSERT_TRUE(play.waitForStarted(5000));
        // Playing once a position past the start is printed.
        QByteArray out;
        ASSERT_TRUE(QTest::qWaitFor([&] {
            out += play.readAllStandardOutput();
            return out.contains(" 0:00.") && !out.trimmed().endsWith(" 0:00.0");
        }, 10000)) << out.toStdString();
    }

    QTemporaryDir dir;
    PrivateServer server{dir.path()};
    QString wav;
};

// Killed or stopped in the middle of --play: a message and exit 1 within 2 s
// of the loss for a kill, and within the 2 s no-progress rule for a stall.
TEST_F(ServerLoss, PlayCommandReportsAServerThatDiesOrStalls) {
    struct Case {
        const char* name;
        std::function<void()> lose;
        const char* message;
        qint64 withinMs;
    } cases[] = {
        {"killed", [&] { server.kill(); }, "The replay device failed: playback stopped", 2000},
        {"stalled", [&] { server.signal(SIGSTOP); }, "The replay device stalled: nothing was heard for 2 s", 3000},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(server.start()) << c.name;
        QProcess play;
        StartPlay(play);
        QElapsedTimer sinceLoss;
        c.lose();
        sinceLoss.start();
        ASSERT_TRUE(play.waitForFinished(10000)) << c.name;
        EXPECT_LE(sinceLoss.elapsed(), c.withinMs) << c.name;
        EXPECT_EQ(play.exitCode(), 1) << c.name;
        EXPECT_TRUE(QString::fromLocal8Bit(play.readAllStandardError()).contains(c.message)) << c.name;
        server.stop();
    }
}

// In a running program: the loss is told once and playback stops; once the
// server is back, playing works again.
TEST_F(ServerLoss, PlayerPlaysAgainOnceTheServerIsBack) {
    ASSERT_TRUE(server.start());
    qputenv("PULSE_SERVER", server.address().toUtf8());
    const auto backend = platform::createQtAudioBackend();
    platform::setAudioBackend(backend.get());
    QStringList messages;
    platform::SetMessageSink([&](const QString& text) { messages << text; });
    CReplayFile player;
    CReplayReceiver receiver(player);
    ASSERT_EQ(player.Open(wav), 1);
    ASSERT_EQ(player.Play(&receiver, 0.0), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.GetPosition() > 0.3; }, 5000));

    server.kill();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !player.IsPlaying(); }, 2000));
    EXPECT_TRUE(player.DeviceFailed());
    QTest::qWait(500);
    EXPECT_EQ(messages, QStringList{"The replay device failed: playback stopped"});

    ASSERT_TRUE(server.start());
    const bool playing = QTest::qWaitFor(
        [&] { return player.Play(&receiver, 5.0) == 1 || (QTest::qWait(250), false); }, 10000);
    EXPECT_TRUE(playing) << messages.join("; ").toStdString();
    if (playing) EXPECT_TRUE(QTest::qWaitFor([&] { return player.GetPosition() > 5.3; }, 5000));
    player.Close();
    platform::SetMessageSink({});
    platform::setAudioBackend(nullptr);
}

}  // namespace
