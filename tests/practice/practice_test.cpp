// SPDX-License-Identifier: GPL-3.0-or-later
// The practice controls as a user reaches them: Audio > Speed and its pane,
// the application-wide keys with the page holding the focus, the highlight of
// the item sounding with and without Follow Page, Repeat, and the reader's
// turn of Pause After Each Item; the switches kept for the next run.
#include "practice/practice_fixture.h"

#include "platform/web_view.h"

#include <QApplication>
#include <QElapsedTimer>

namespace {

constexpr char kMarked[] = "(document.querySelector('.parlotype-current') || {}).name || ''";

// Waits until the highlighted element is the anchor `name` ("" for none).
bool WaitForMarked(ReadAlongWindow& w, const QString& name) {
    return QTest::qWaitFor(
        [&] {
            w.LetIdle();
            return w.Script(QLatin1String(kMarked)).toString() == name;
        },
        5000);
}

// Presses `key` where the keyboard is: the page, once it has been clicked.
void Press(Qt::Key key) {
    ASSERT_TRUE(QApplication::focusWidget());
    QTest::keyClick(QApplication::focusWidget(), key);
}

}  // namespace

TEST_F(PracticeTest, SpeedFromTheMenuAndTheKeysPlaysInFileTimeAndIsKept) {
    auto w = OpenPage();
    QAction* half = Item(*w, "0.5\u00d7");
    QAction* normal = Item(*w, "1\u00d7");
    ASSERT_TRUE(half && normal);
    EXPECT_TRUE(normal->isChecked());
    EXPECT_EQ(PaneText(*w, ID_INDICATOR_SPEED), QString());  // no pane at 1x
    half->trigger();
    EXPECT_TRUE(Item(*w, "0.5\u00d7")->isChecked());
    EXPECT_FALSE(normal->isChecked());
    EXPECT_FALSE(Item(*w, "Slo&wer")->isEnabled());
    EXPECT_EQ(PaneText(*w, ID_INDICATOR_SPEED), QStringLiteral("0.5\u00d7"));

    // The stretch 0.5-1.0 at half speed: the time pane and the end stop in file time.
    Follow(*w, QStringLiteral("ranged"), 0.5);
    Advance(*w, 400);
    EXPECT_EQ(w->TimePane()->text(), QStringLiteral(" 0:00.7"));
    Advance(*w, 560);
    EXPECT_TRUE(theReplayFile.IsPlaying());
    Advance(*w, 40);
    EXPECT_FALSE(theReplayFile.IsPlaying());

    // The page has the keyboard: reading keys stay the page's, the transport
    // keys reach the program.
    ASSERT_TRUE(w->Click(QStringLiteral("play")));
    ASSERT_TRUE(QTest::qWaitFor([] { return theReplayFile.IsPlaying(); }, 5000));
    w->Script(QStringLiteral("window.scrollTo(0, 0)"));
    Press(Qt::Key_Space);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w->Script(QStringLiteral("window.scrollY")).toInt() > 0; }, 5000));
    EXPECT_FALSE(theReplayFile.IsPaused());
    Press(Qt::Key_F6);
    EXPECT_TRUE(theReplayFile.IsPaused());
    Press(Qt::Key_F6);
    EXPECT_FALSE(theReplayFile.IsPaused());
    Press(Qt::Key_F10);
    EXPECT_EQ(PaneText(*w, ID_INDICATOR_SPEED), QStringLiteral("0.6\u00d7"));
    Press(Qt::Key_F9);
    Press(Qt::Key_F9);
    EXPECT_EQ(theReplayFile.GetSpeed(), 0.5);
    Press(Qt::Key_F3);
    EXPECT_TRUE(Item(*w, "Re&peat")->isChecked());
    const double before = theReplayFile.GetPosition();
    Press(Qt::Key_F7);
    EXPECT_NEAR(theReplayFile.GetPosition(), before + 15, 0.001);  // 15 s of the file
    Press(Qt::Key_F4);
    EXPECT_FALSE(theReplayFile.IsPlaying());

    // The next run starts with the speed and the switches as they were.
    w.reset();
    w = OpenPage();
    EXPECT_TRUE(Item(*w, "0.5\u00d7")->isChecked());
    EXPECT_TRUE(Item(*w, "Re&peat")->isChecked());
    Item(*w, "1\u00d7")->trigger();
    Item(*w, "Re&peat")->trigger();
    EXPECT_FALSE(Item(*w, "Re&peat")->isChecked());
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join('\n').toStdString();
}

TEST_F(PracticeTest, TheItemSoundingIsHighlightedWithOrWithoutFollowPage) {
    auto w = OpenPage();
    Follow(*w, QStringLiteral("play"), 0.2);
    Advance(*w, 400);  // 0.6: s1
    EXPECT_TRUE(WaitForMarked(*w, QStringLiteral("s1")));
    EXPECT_TRUE(w->WaitForFragment(QStringLiteral("s1")));
    // The page's own rule wins; what it leaves to the default is highlighted.
    const QString style = QStringLiteral("getComputedStyle(document.querySelector('.parlotype-current')).");
    EXPECT_EQ(w->Script(style + QStringLiteral("color")).toString(), QStringLiteral("rgb(1, 2, 3)"));
    EXPECT_NE(w->Script(style + QStringLiteral("backgroundColor")).toString(), QStringLiteral("rgba(0, 0, 0, 0)"));

    // Follow Page off: the highlight moves on, the page stays.
    QAction* follow = Item(*w, "&Follow Page");
    ASSERT_TRUE(follow);
    EXPECT_TRUE(follow->isChecked());
    follow->trigger();
    EXPECT_FALSE(Item(*w, "&Follow Page")->isChecked());
    Advance(*w, 500);  // 1.1: s2
    EXPECT_TRUE(WaitForMarked(*w, QStringLiteral("s2")));
    w->LetIdle(200);
    EXPECT_EQ(w->Fragment(), QStringLiteral("s1"));
    EXPECT_EQ(w->Script(QStringLiteral("document.querySelectorAll('.parlotype-current').length")).toInt(), 1);

    // Stopped, nothing is highlighted.
    Item(*w, "S&top")->trigger();
    EXPECT_TRUE(WaitForMarked(*w, QString()));

    // Follow Page is kept off for the next run.
    w.reset();
    w = OpenPage();
    EXPECT_FALSE(Item(*w, "&Follow Page")->isChecked());
    Item(*w, "&Follow Page")->trigger();
}

TEST_F(PracticeTest, RepeatPlaysTheStretchAgainAndPauseAfterEachItemGivesAReadersTurn) {
    auto w = OpenPage();
    Item(*w, "Re&peat")->trigger();
    Follow(*w, QStringLiteral("ranged"), 0.5);
    for (int round = 0; round < 3; ++round) {
        Advance(*w, 500);
        EXPECT_TRUE(theReplayFile.IsPlaying()) << round;
        Advance(*w, 2);  // just past the end time: from the start again
        EXPECT_TRUE(theReplayFile.IsPlaying()) << round;
        EXPECT_NEAR(theReplayFile.GetPosition(), 0.5, 1e-9) << round;
    }
    // A link without an end time repeats when the file's data ends; Stop ends it.
    Follow(*w, QStringLiteral("play"), 0.2);
    Advance(*w, 2900);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            w->LetIdle();
            return theReplayFile.IsPlaying() && theReplayFile.GetPosition() == 0.2;
        },
        5000));
    Item(*w, "S&top")->trigger();
    w->LetIdle(100);
    EXPECT_FALSE(theReplayFile.IsPlaying());
    // With Single Item Play, the item sounding plays again when the next starts.
    Item(*w, "Single &Item Play")->trigger();
    Follow(*w, QStringLiteral("play"), 0.2);
    Advance(*w, 400);  // 0.6: s1
    Advance(*w, 400);  // 1.0: s2 would start
    EXPECT_TRUE(theReplayFile.IsPlaying());
    EXPECT_NEAR(theReplayFile.GetPosition(), 0.5, 1e-9);
    Item(*w, "Single &Item Play")->trigger();
    Item(*w, "Re&peat")->trigger();

    // After s1 (0.5 s of the file) the player waits 0.5 s with "Your turn",
    // then goes on with s2.
    Item(*w, "Pause After Each I&tem")->trigger();
    Follow(*w, QStringLiteral("play"), 0.2);
    Advance(*w, 400);  // 0.6: s1, no turn before it
    EXPECT_FALSE(theReplayFile.IsPaused());
    Advance(*w, 400);  // 1.0: s2 starts
    QElapsedTimer turn;
    turn.start();
    EXPECT_TRUE(theReplayFile.IsPaused());
    EXPECT_EQ(PaneText(*w, ID_INDICATOR_TURN), QStringLiteral("Your turn"));
    ASSERT_TRUE(QTest::qWaitFor([] { return !theReplayFile.IsPaused(); }, 3000));
    EXPECT_NEAR(double(turn.elapsed()), 500.0, 150.0);
    EXPECT_EQ(PaneText(*w, ID_INDICATOR_TURN), QString());
    EXPECT_TRUE(theReplayFile.IsPlaying());

    // Pause during a turn ends it at once.
    Advance(*w, 500);  // 1.5: s3 starts
    EXPECT_TRUE(theReplayFile.IsPaused());
    Item(*w, "&Pause")->trigger();
    EXPECT_FALSE(theReplayFile.IsPaused());
    EXPECT_EQ(PaneText(*w, ID_INDICATOR_TURN), QString());
    Item(*w, "Pause After Each I&tem")->trigger();
}
