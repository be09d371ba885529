// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop media controls as the desktop's own client drives them:
// playerctl (and dbus-send for the rate) against the real window on the test
// services' private session bus.
#include "practice/practice_fixture.h"

#include <QEventLoop>
#include <QProcess>
#include <QTimer>

namespace {

// Waits in a real event loop, which goes idle between events as the
// program's own does (QTest::qWaitFor never blocks, so idle-time work would
// not run); true once `done` holds, false after `ms`.
template <class Done>
bool WaitIdle(Done done, int ms) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    check.start(10);
    if (!done()) loop.exec();
    return done();
}

// Runs a D-Bus client to its end while the window's event loop answers it.
QString RunClient(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    EXPECT_TRUE(WaitIdle([&] { return p.state() == QProcess::NotRunning; }, 10000)) << program.toStdString();
    EXPECT_EQ(p.exitCode(), 0) << program.toStdString() << " " << args.join(' ').toStdString() << ": "
                               << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QString Playerctl(const QStringList& args) { return RunClient(QStringLiteral("playerctl"), QStringList{"-p", "parlotype"} + args); }

double Position() { return Playerctl({"position"}).toDouble(); }

}  // namespace

TEST_F(PracticeTest, DesktopMediaControlsDriveThePlayerAndHearOfEveryChange) {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) << "the test services start a session bus";
    auto w = OpenPage();
    EXPECT_EQ(Playerctl({"status"}), QStringLiteral("Stopped"));

    Follow(*w, QStringLiteral("play"), 0.2);
    QProcess follow;  // the changes as a panel hears them
    follow.start(QStringLiteral("playerctl"), {"-p", "parlotype", "status", "--follow"});
    ASSERT_TRUE(follow.waitForStarted());
    EXPECT_EQ(Playerctl({"status"}), QStringLiteral("Playing"));
    EXPECT_EQ(Playerctl({"metadata", "--format", "{{xesam:url}}|{{xesam:title}}|{{mpris:length}}"}),
              m_folder.Url(QStringLiteral("a.wav")).toString() + QStringLiteral("|Practice page|3000000"));
    EXPECT_NEAR(Position(), 0.2, 0.05);  // playerctl moves it on by the time since it asked

    Playerctl({"play-pause"});
    EXPECT_TRUE(theReplayFile.IsPaused());
    EXPECT_EQ(Playerctl({"status"}), QStringLiteral("Paused"));
    Playerctl({"play-pause"});
    EXPECT_FALSE(theReplayFile.IsPaused());

    // Next and Previous go from item to item of the page; position and seek in file time.
    Advance(*w, 400);  // 0.6: s1
    Playerctl({"next"});
    EXPECT_NEAR(theReplayFile.GetPosition(), 1.0, 1e-9);
    Advance(*w, 100);
    Playerctl({"next"});
    EXPECT_NEAR(theReplayFile.GetPosition(), 1.5, 1e-9);
    Advance(*w, 100);
    Playerctl({"previous"});
    EXPECT_NEAR(Position(), 1.0, 0.05);
    Playerctl({"position", "0.3"});
    EXPECT_NEAR(theReplayFile.GetPosition(), 0.3, 1e-9);
    Playerctl({"position", "0.5+"});
    EXPECT_NEAR(theReplayFile.GetPosition(), 0.8, 1e-9);

    // The rate is the speed of Audio > Speed.
    RunClient(QStringLiteral("dbus-send"), {"--session", "--print-reply", "--dest=org.mpris.MediaPlayer2.parlotype",
                                      "/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties.Set",
                                      "string:org.mpris.MediaPlayer2.Player", "string:Rate", "variant:double:0.75"});
    EXPECT_TRUE(Item(*w, "0.75\u00d7")->isChecked());
    Item(*w, "1\u00d7")->trigger();

    // Stopped from the window: the client hears it.
    Item(*w, "S&top")->trigger();
    EXPECT_EQ(Playerctl({"status"}), QStringLiteral("Stopped"));
    QByteArray heard;
    EXPECT_TRUE(WaitIdle([&] {
        heard += follow.readAllStandardOutput();
        return heard.contains("Stopped");
    }, 5000));
    EXPECT_EQ(QString::fromUtf8(heard).split('\n', Qt::SkipEmptyParts),
              (QStringList{"Playing", "Paused", "Playing", "Stopped"}));
    follow.kill();
    follow.waitForFinished();
}
