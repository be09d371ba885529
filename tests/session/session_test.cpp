// SPDX-License-Identifier: GPL-3.0-or-later
// The playback session on the simulated device's stepped clock: end times, Single Item Play, Repeat, the
// reader's turn, Previous/Next Item, speed, and the desktop media controls' requests; no window, no bus.
#include "audio/file_player.h"
#include "common/test_audio.h"
#include "mpris/mpris_service.h"
#include "platform/sim_audio.h"
#include "session/playback_session.h"

#include <QCoreApplication>
#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

using State = PlaybackSession::State;

// a.wav: 3 s; its items s1 0.5-1, s2 1-1.5, s3 1.5-2 (given out of order) and s4 from 2.5.
const char kPage[] = "<a name=s3 href='a.wav#1.5#2.0'>3</a><a name=s1 href='a.wav#0.5#1.0'><span class=\"w\" "
                     "data-begin=\"0.5\" data-end=\"0.7\">one</span> <span class=\"w\" data-begin=\"0.75\" data-end=\"1\">two</span></a>"
                     "<a name=s2 href='a.wav#1.0#1.5'>2</a><a name=s4 href='a.wav#2.5'>4</a>";

class Session : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testaudio::writeFile(dir.filePath("a.wav"), testaudio::waveFile(1, 8000, 16, testaudio::pcmBytes(
                                                                                                   testaudio::sweep(8000, 1, 3.0)))));
        ASSERT_TRUE(testaudio::writeFile(dir.filePath("page.htm"), kPage));
        QObject::connect(&session, &PlaybackSession::failed, [this](const QString& m) { messages << m; });
        QObject::connect(&session, &PlaybackSession::stateChanged, [this](State s) { reported = s; });
    }
    void TearDown() override { EXPECT_EQ(messages, QStringList{}); }
    bool play(const QString& link) {
        return session.playLink(dir.filePath(link), QUrl::fromLocalFile(dir.filePath("page.htm")).toString());
    }
    // Lets `ms` pass on the device, then waits for a tracking round that saw it.
    void advance(int ms) {
        QSignalSpy position(&session, &PlaybackSession::positionChanged), state(&session, &PlaybackSession::stateChanged),
            jumped(&session, &PlaybackSession::positionJumped), turn(&session, &PlaybackSession::turnStarted);
        sim.advance(ms);
        QCoreApplication::sendPostedEvents();
        if (session.state() == State::Playing || session.state() != reported)
            QTest::qWaitFor([&] { return position.count() + state.count() + jumped.count() + turn.count() > 0; }, 5000);
    }
    QString where() { return session.state() == State::Stopped ? QStringLiteral("stopped") : QString::number(session.position()); }

    platform::SimAudioBackend sim{platform::SimAudioBackend::Clock::Stepped};
    FilePlayer player{sim};
    PlaybackSession session{player};
    QTemporaryDir dir;
    QStringList messages;
    State reported = State::Stopped;  // as the session last said
};

// Where the playback is after two stretches of device time: an end time, the item's end with Single Item
// Play, the end of the data, each with Repeat off and on; a start past the data plays nothing to repeat.
TEST_F(Session, EndTimesSingleItemAndRepeat) {
    struct Case { const char* link; bool single, repeat; int first, then; const char* before, *after; int jumps; } cases[] = {
        {"a.wav#0.5#1.0", false, false, 500, 1, "1", "stopped", 0},
        {"a.wav#0.5#1.0", false, true, 500, 1, "1", "0.5", 1},
        {"a.wav#1.0", true, false, 499, 1, "1.499", "stopped", 0},
        {"a.wav#1.2", true, true, 299, 1, "1.499", "1", 1},
        {"a.wav#2.8", false, false, 190, 20, "2.99", "stopped", 0},
        {"a.wav#2.8", false, true, 190, 20, "2.99", "2.8", 1},
        {"a.wav#9", false, true, 0, 100, "stopped", "stopped", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.link << (c.single ? " single" : "") << (c.repeat ? " repeat" : ""));
        session.setSingleItem(c.single);
        session.setRepeat(c.repeat);
        ASSERT_TRUE(play(c.link));
        QSignalSpy jumps(&session, &PlaybackSession::positionJumped);
        advance(c.first);
        EXPECT_EQ(where(), QLatin1String(c.before));
        advance(c.then);
        EXPECT_TRUE(QTest::qWaitFor([&] { return where() == QLatin1String(c.after); }, 5000)) << where().toStdString();
        EXPECT_EQ(jumps.count(), c.jumps);
        EXPECT_EQ(sim.openOutputs(), c.after == QLatin1String("stopped") ? 0 : 1);
        session.stop();
    }
}

// The item sounding is reported as it changes; Next and Previous play from the item after or before it
// (from the position with none current), and say when there is none.
TEST_F(Session, CurrentItemNextAndPrevious) {
    QStringList items, words;
    QObject::connect(&session, &PlaybackSession::currentItemChanged, [&](const QString& name) { items << name; });
    QObject::connect(&session, &PlaybackSession::currentWordChanged,
                     [&](const QString& item, int word) { words << item + QString::number(word); });
    ASSERT_TRUE(play("a.wav#0.2"));
    EXPECT_EQ(session.itemCount(), 4);
    for (int step = 0; step < 30; ++step) advance(100);  // to 3.2: s1 .. s4, then the end
    EXPECT_TRUE(QTest::qWaitFor([&] { return !session.isPlaying(); }, 5000));
    EXPECT_EQ(items, (QStringList{"s1", "s2", "s3", "s4", ""}));
    EXPECT_EQ(words, (QStringList{"s10", "s1-1", "s11", "s2-1"}));  // a word's end, the gap, the next word
    const auto at = [&] { return session.isPlaying() ? session.position() : -1; };
    ASSERT_TRUE(play("a.wav#1.7"));
    EXPECT_TRUE(session.nextItem());
    EXPECT_EQ(at(), 2.5);
    advance(100);
    EXPECT_FALSE(session.nextItem());  // s4 is the last
    EXPECT_TRUE(session.previousItem());
    EXPECT_EQ(at(), 1.5);
    advance(100);
    EXPECT_TRUE(session.previousItem() && session.previousItem());  // s2, then from 1.0 on: s1
    EXPECT_EQ(at(), 0.5);
    advance(100);
    EXPECT_FALSE(session.previousItem());
    EXPECT_EQ(session.currentItemName(), QStringLiteral("s1"));
    session.mark();  // names the word sounding
    EXPECT_EQ(session.marks().value(0), dir.filePath("a.wav") + QStringLiteral("#0.6 one\r\n"));
}

// Pause After Each Item: the item just heard stays current through a turn as long as it took to hear (at
// the speed), the player paused; Pause ends a turn early, and so does turning the switch off.
TEST_F(Session, TheReadersTurn) {
    session.setPauseAfterItem(true);
    for (const double speed : {1.0, 2.0}) {
        SCOPED_TRACE(speed);
        session.setSpeed(speed);
        QSignalSpy started(&session, &PlaybackSession::turnStarted), ended(&session, &PlaybackSession::turnEnded);
        ASSERT_TRUE(play("a.wav#0.5#1.0"));  // s1, then the end time
        for (int i = 0; i < 12 && session.state() == State::Playing; ++i) advance(int(50 / speed));
        ASSERT_EQ(session.state(), State::Turn);
        QElapsedTimer turn;
        turn.start();
        EXPECT_EQ(session.currentItemName(), QStringLiteral("s1"));
        EXPECT_TRUE(QTest::qWaitFor([&] { return ended.count() == 1; }, 10000));
        EXPECT_GE(turn.elapsed(), 500 / speed - 60) << "the turn was shorter than the item";
        advance(10);
        EXPECT_FALSE(session.isPlaying()) << "past the end time, the link ends";
        EXPECT_EQ(started.count(), 1);
    }
    session.setSpeed(1.0);
    ASSERT_TRUE(play("a.wav#0.7"));
    for (int i = 0; i < 10 && session.state() == State::Playing; ++i) advance(50);
    ASSERT_EQ(session.state(), State::Turn);
    session.togglePause();  // ends the turn: s2 sounds
    EXPECT_EQ(session.state(), State::Playing);
    for (int i = 0; i < 12 && session.state() == State::Playing; ++i) advance(50);
    ASSERT_EQ(session.state(), State::Turn);
    session.setPauseAfterItem(false);
    EXPECT_EQ(session.state(), State::Playing);
    session.togglePause();  // the user's pause is not a turn: turning the switch off keeps it
    session.setPauseAfterItem(true);
    session.setPauseAfterItem(false);
    EXPECT_EQ(session.state(), State::Paused);
}

// File time moves at the speed; the speed steps through its list and stays in the player's range.
TEST_F(Session, SpeedMovesFileTime) {
    QSignalSpy changes(&session, &PlaybackSession::speedChanged);
    for (const double speed : {0.5, 2.0}) {
        session.setSpeed(speed);
        ASSERT_TRUE(play("a.wav#0.2"));
        advance(500);
        EXPECT_NEAR(session.position(), 0.2 + 0.5 * speed, 0.05) << speed;
        session.stop();
    }
    session.setSpeed(9);
    EXPECT_EQ(session.speed(), 2.0);
    session.slower();
    EXPECT_EQ(session.speed(), 1.5);
    session.setSpeed(0.55);
    session.faster();
    EXPECT_EQ(session.speed(), 0.6);
    EXPECT_EQ(changes.count(), 5);  // 9 gave 2, already the speed
    for (int i = 0; i < 9; ++i) session.slower();
    EXPECT_TRUE(session.speed() == 0.5 && !session.canGoSlower());
}

// The media controls' requests as the service receives them from the bus.
TEST_F(Session, MediaControlRequests) {
    MprisService mpris(session);
    EXPECT_EQ(mpris.playbackStatus(), QStringLiteral("Stopped"));
    ASSERT_TRUE(play("a.wav#0.2"));
    mpris.setRate(0);
    EXPECT_EQ(mpris.playbackStatus(), QStringLiteral("Paused"));
    mpris.play();
    EXPECT_EQ(mpris.playbackStatus(), QStringLiteral("Playing"));
    QString track = mpris.metadata().value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path();
    mpris.setPosition(QStringLiteral("/not/this/one"), 2000000);
    EXPECT_NEAR(session.position(), 0.2, 1e-9);
    mpris.setPosition(track, 2000000);
    EXPECT_NEAR(session.position(), 2.0, 1e-9);
    mpris.setPosition(track, 3000000);  // the length: ignored
    EXPECT_NEAR(session.position(), 2.0, 1e-9);
    mpris.seek(-500000);
    EXPECT_NEAR(session.position(), 1.5, 1e-9);
    advance(100);
    mpris.seek(5000000);  // past the end: the next item
    EXPECT_NEAR(session.position(), 2.5, 1e-9);
    advance(100);
    mpris.seek(5000000);  // past the end after the last item: stopped
    EXPECT_EQ(mpris.playbackStatus(), QStringLiteral("Stopped"));
    EXPECT_EQ(mpris.position(), 0);
}

}  // namespace
