// SPDX-License-Identifier: GPL-3.0-or-later
// Read-along in the program's window, with the real web engine and the
// simulated sound device on a stepped clock (the position moves only when
// the test moves it): the item table of the page, the page following the
// position from anchor to anchor, the end-time and single-item stops, the
// time pane, and the timer that wakes the idle-time updates while a file plays.
#include "readalong/readalong_window.h"

#include "app/main_frame.h"
#include "audio/replay_file.h"
#include "common/test_audio.h"
#include "platform/message_box.h"
#include "platform/sim_audio.h"
#include "platform/web_view.h"
#include "view/cmd_ui.h"
#include "view/parlotype_view.h"

#include <QAbstractEventDispatcher>
#include <QFile>
#include <QTest>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

// Items of a.wav on the page, out of order and in mixed markup, with anchors
// that must not count: another file, no name, an empty name, no start.
const QByteArray kPage =
    "<html><body>\n"
    "<p><a id=play href='a.wav#0.2'>from 0.2</a> <a id=again href='a.wav#0.2'>again</a>\n"
    "<a id=ranged href='a.wav#0.5#1.0'>0.5 to 1.0</a> <a id=from1 href='a.wav#1.0'>from 1.0</a>\n"
    "<a id=other href='b.wav#0.3'>b</a>\n"
    "<p><A NAME=s3 HREF=\"a.wav#1.5#2.0\">third</A>\n"
    "<p><a name='s1' href='a.wav#0.5#1.0'>first</a>\n"
    "<p><a href=\"a.wav#1.0#1.5\" name=\"s2\">second</a>\n"
    "<p><a name='s 4' href='a.wav#2.5'>fourth, its name with a space</a>\n"
    "<p><a name='b1' href='b.wav#0.5'>b's item</a> <a href='a.wav#0.7'>no name</a>\n"
    "<a name='' href='a.wav#0.8'>empty name</a> <a name='nostart' href='a.wav#'>no start</a>\n"
    "</body></html>\n";

class TrackingTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::setAudioBackend(&m_sim);
        platform::SetMessageSink([this](const QString& text) { m_messages << text; });
        // 3 s of 8 kHz mono: one 64 KB buffer lasts 4 s, so no buffer comes
        // back while these tests play and only the updates move the page.
        const std::string wav = testaudio::WaveFile(1, 8000, 16, testaudio::PcmBytes(testaudio::Sweep(8000, 1, 3.0)));
        m_folder.Write(QStringLiteral("a.wav"), QByteArray::fromStdString(wav));
        m_folder.Write(QStringLiteral("b.wav"), QByteArray::fromStdString(wav));
        m_folder.Write(QStringLiteral("page.htm"), kPage);
    }
    void TearDown() override {
        theReplayFile.CloseDevice();
        theReplayFile.Close();
        platform::SetMessageSink({});
        platform::setAudioBackend(nullptr);
    }

    std::unique_ptr<ReadAlongWindow> OpenPage() {
        auto w = std::make_unique<ReadAlongWindow>(QStringList{m_folder.Path(QStringLiteral("page.htm"))});
        EXPECT_TRUE(w->WaitForPage(m_folder.Url(QStringLiteral("page.htm"))));
        return w;
    }

    // Clicks a link and waits until it plays from `start`.
    void Follow(ReadAlongWindow& w, const QString& id, double start) {
        ASSERT_TRUE(w.Click(id));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return theReplayFile.IsPlaying() && theReplayFile.GetPosition() == start; }, 10000))
            << id.toStdString();
    }

    QStringList Names(CParlotypeView* v) const {
        QStringList names;
        for (int i = 0; i < v->m_nItems; ++i) names << QString::fromLatin1(v->m_items[i].name);
        return names;
    }

    platform::SimAudioBackend m_sim{platform::SimAudioBackend::Clock::Stepped};
    PageFolder m_folder;
    QStringList m_messages;
};

TEST_F(TrackingTest, PageFollowsThePositionFromAnchorToAnchor) {
    auto w = OpenPage();
    Follow(*w, QStringLiteral("play"), 0.2);
    CParlotypeView* v = w->View();
    EXPECT_EQ(Names(v), (QStringList{"s1", "s2", "s3", "s 4"}));
    EXPECT_EQ(v->m_items[1].start, 1.0);
    EXPECT_EQ(v->m_items[1].end, 1.5);
    EXPECT_EQ(v->m_items[3].end, 0.0);

    // Before the first item's start nothing is current and the page stays.
    w->LetIdle();
    EXPECT_EQ(v->m_nCurItem, -1);
    EXPECT_EQ(w->Fragment(), QString());
    EXPECT_EQ(w->TimePane()->text(), QStringLiteral(" 0:00.2"));

    // Each start reached moves the page to that item's anchor.
    struct Step {
        int ms;          // time to let pass
        double pos;      // position then
        int item;        // current item
        QString anchor;  // the location's fragment
        QString pane;
    };
    const Step steps[] = {
        {300, 0.5, 0, "s1", " 0:00.5"},   {499, 0.999, 0, "s1", " 0:00.9"}, {1, 1.0, 1, "s2", " 0:01.0"},
        {500, 1.5, 2, "s3", " 0:01.5"},   {999, 2.499, 2, "s3", " 0:02.4"}, {1, 2.5, 3, "s 4", " 0:02.5"},
    };
    for (const Step& s : steps) {
        m_sim.advance(s.ms);
        ASSERT_NEAR(theReplayFile.GetPosition(), s.pos, 1e-9);
        w->LetIdle();
        EXPECT_EQ(v->m_nCurItem, s.item) << "at " << s.pos;
        EXPECT_TRUE(w->WaitForFragment(s.anchor)) << "at " << s.pos << " the page shows " << w->Fragment().toStdString();
        EXPECT_EQ(w->TimePane()->text(), s.pane) << "at " << s.pos;
    }
    // The anchor name's space travels as an escape.
    EXPECT_TRUE(w->Web()->location().endsWith(QLatin1String("#s%204")));
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join('\n').toStdString();

    // Stopped, the pane is empty.
    theReplayFile.CloseDevice();
    w->LetIdle();
    EXPECT_EQ(w->TimePane()->text(), QString());
}

TEST_F(TrackingTest, EndTimeStopsAtTheFirstUpdateAfterIt) {
    auto w = OpenPage();
    Follow(*w, QStringLiteral("ranged"), 0.5);
    EXPECT_EQ(w->View()->m_dEndTime, 1.0);
    w->LetIdle();
    EXPECT_TRUE(w->WaitForFragment(QStringLiteral("s1")));

    // Exactly at the end time playback goes on, and the page follows.
    m_sim.advance(500);
    w->LetIdle();
    EXPECT_TRUE(theReplayFile.IsPlaying());
    EXPECT_TRUE(w->WaitForFragment(QStringLiteral("s2")));
    // Just past it, the next update stops playback.
    m_sim.advance(1);
    w->LetIdle();
    EXPECT_FALSE(theReplayFile.IsPlaying());
    EXPECT_EQ(w->Fragment(), QStringLiteral("s2"));
    EXPECT_EQ(m_sim.openOutputs(), 0);
}

TEST_F(TrackingTest, SingleItemPlayStopsAtTheNextItem) {
    auto w = OpenPage();
    CParlotypeView* v = w->View();
    v->m_bSingleItem = 1;
    Follow(*w, QStringLiteral("from1"), 1.0);
    w->LetIdle();
    EXPECT_EQ(v->m_nCurItem, 1);
    EXPECT_TRUE(w->WaitForFragment(QStringLiteral("s2")));

    m_sim.advance(499);
    w->LetIdle();
    EXPECT_TRUE(theReplayFile.IsPlaying());
    m_sim.advance(1);  // 1.5: s3 starts
    w->LetIdle();
    EXPECT_FALSE(theReplayFile.IsPlaying());
    EXPECT_EQ(v->m_nCurItem, 1);  // left as it was
    w->LetIdle(100);
    EXPECT_EQ(w->Fragment(), QStringLiteral("s2"));
    v->m_bSingleItem = 0;
}

TEST_F(TrackingTest, ASecondLinkToTheSameFileDoesNotRescan) {
    auto w = OpenPage();
    CParlotypeView* v = w->View();
    Follow(*w, QStringLiteral("play"), 0.2);
    ASSERT_EQ(v->m_nItems, 4);
    m_sim.advance(400);
    w->LetIdle();
    ASSERT_TRUE(w->WaitForFragment(QStringLiteral("s1")));

    // The page file changes on disk; the page shown does not.
    m_folder.Write(QStringLiteral("page.htm"), "<a name=x1 href='b.wav#0'>x1</a><a name=x2 href='b.wav#1'>x2</a>");
    w->Script(QStringLiteral("window.mark = 42"));
    Follow(*w, QStringLiteral("ranged"), 0.5);
    EXPECT_EQ(v->m_nItems, 4);
    EXPECT_EQ(Names(v), (QStringList{"s1", "s2", "s3", "s 4"}));
    EXPECT_EQ(v->m_nCurItem, -1);  // the link resets it ...
    w->LetIdle();
    EXPECT_EQ(v->m_nCurItem, 0);  // ... and the next update finds the item again
    w->LetIdle(200);
    EXPECT_EQ(w->Fragment(), QStringLiteral("s1"));
    EXPECT_EQ(w->Script(QStringLiteral("window.mark")).toInt(), 42);  // not reloaded

    // Another file is scanned from the page file as it is now.
    Follow(*w, QStringLiteral("other"), 0.3);
    EXPECT_EQ(Names(v), (QStringList{"x1", "x2"}));
}

TEST_F(TrackingTest, ScanOfAPageWhoseLocationCarriesAnAnchor) {
    auto w = OpenPage();
    w->Web()->moveToAnchor(w->Web()->location() + QStringLiteral("#s3"));
    ASSERT_TRUE(w->WaitForFragment(QStringLiteral("s3")));
    Follow(*w, QStringLiteral("other"), 0.3);
    EXPECT_EQ(Names(w->View()), QStringList{"b1"});
}

TEST_F(TrackingTest, HomePageHasNoItems) {
    ReadAlongWindow w;
    ASSERT_TRUE(w.WaitForPage(QUrl(QString::fromLatin1(platform::kHomePageUrl))));
    w.View()->m_nItems = 3;
    w.View()->ScanItems(m_folder.Path(QStringLiteral("a.wav")));
    EXPECT_EQ(w.View()->m_nItems, 0);
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(TrackingTest, VanishedPageFileIsReportedAndPlaybackGoesOn) {
    auto w = OpenPage();
    const QString page = m_folder.Path(QStringLiteral("page.htm"));
    ASSERT_TRUE(QFile::remove(page));
    Follow(*w, QStringLiteral("play"), 0.2);
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].startsWith(QStringLiteral("Could not open the page '%1'").arg(page)))
        << m_messages[0].toStdString();
    EXPECT_EQ(w->View()->m_nItems, 0);
    m_sim.advance(400);
    w->LetIdle();
    EXPECT_EQ(w->View()->m_nCurItem, -1);
    EXPECT_EQ(w->TimePane()->text(), QStringLiteral(" 0:00.6"));
}

// Counts how often the event loop is about to wait within `ms`.
int WakeUps(ReadAlongWindow& w, int ms) {
    int n = 0;
    auto c = QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                              [&] { ++n; });
    w.LetIdle(ms);
    QObject::disconnect(c);
    return n;
}

TEST_F(TrackingTest, UpdatesAreWokenWhileAFilePlaysAndOnlyThen) {
    auto w = OpenPage();
    w->LetIdle(200);
    const int quiet = WakeUps(*w, 1000);

    // Playing, with no buffer coming back: the updates still run every
    // tracking interval, so the page follows without any device event.
    Follow(*w, QStringLiteral("play"), 0.2);
    w->LetIdle();
    const int playing = WakeUps(*w, 1000);
    EXPECT_GE(playing, 1000 / CParlotypeView::kTrackWakeMs * 3 / 4) << "quiet " << quiet;
    m_sim.advance(300);
    w->LetIdle(1);
    EXPECT_EQ(w->View()->m_nCurItem, 0);

    // Paused or stopped, nothing wakes the loop any more.
    theReplayFile.Pause();
    w->LetIdle(100);
    const int paused = WakeUps(*w, 1000);
    theReplayFile.Resume();
    w->LetIdle(100);
    theReplayFile.CloseDevice();
    w->LetIdle(100);
    const int stopped = WakeUps(*w, 1000);
    std::printf("wake-ups in 1 s: quiet %d, playing %d, paused %d, stopped %d\n", quiet, playing, paused, stopped);
    EXPECT_LE(paused, quiet + 5) << "playing " << playing;
    EXPECT_LE(stopped, quiet + 5) << "playing " << playing;
}

}  // namespace
