// SPDX-License-Identifier: GPL-3.0-or-later
// The transport commands through the window's real menu items and toolbar
// buttons: their enable and check states in each player state, Start, Stop,
// Pause, Rewind, Forward, Single Item Play, Back and Forward, the
// "** Recording **" pane and printing.
#include "transport_fixture.h"

#include "audio/recorder.h"
#include "common/replay_file_probe.h"
#include "platform/web_view.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTimer>
#include <QWebEngineHistory>

namespace {

struct ItemState {
    const char* menu;  // null: on the menu bar itself
    const char* text;
    bool enabled;
    bool checked;
};

// Compares each item's menu entry and, where it has one, its toolbar button.
void ExpectItems(CMainFrame* frame, const char* state, std::initializer_list<ItemState> items) {
    for (const ItemState& e : items) {
        const std::string name = std::string(state) + ": " + (e.menu ? e.menu : "") + " > " + e.text;
        QAction* item = MenuItem(frame, e.menu, e.text);
        ASSERT_TRUE(item) << name;
        EXPECT_EQ(item->isEnabled(), e.enabled) << name;
        EXPECT_EQ(item->isChecked(), e.checked) << name;
        if (QToolButton* button = ToolButton(frame, item)) {
            EXPECT_EQ(button->isEnabled(), e.enabled) << name << " (button)";
            EXPECT_EQ(button->isChecked(), e.checked) << name << " (button drawn pressed)";
        }
    }
}

// The transport items in one player state: Start, Rewind and Forward follow
// `loaded`, Stop `playing`; Pause is enabled when loaded and checked when paused.
void ExpectTransport(CMainFrame* frame, const char* state, bool loaded, bool playing, bool paused) {
    ExpectItems(frame, state,
                {{"&Audio", "&Start", loaded, false},
                 {"&Audio", "S&top", playing, false},
                 {"&Audio", "&Pause", loaded, paused},
                 {"&Audio", "&Rewind", loaded, false},
                 {"&Audio", "&Forward", loaded, false}});
    // Enabled in every state.
    ExpectItems(frame, state,
                {{nullptr, "&Mark!", true, false},
                 {"&View", "&Marks", true, false},
                 {"&Go", "&Back", true, false},
                 {"&Go", "&Forward", true, false},
                 {"&Go", "&Home", true, false},
                 {"&File", "&Print", true, false},
                 {"&Audio", "Single &Item Play", true, false}});
}

TEST_F(TransportTest, EnableAndCheckStatesFollowThePlayer) {
    auto w = OpenPage();
    w->LetIdle();
    ExpectTransport(w->Frame(), "nothing loaded", false, false, false);

    ASSERT_TRUE(PlayLink(*w, "t10", Path("talk.wav"), 10.0));
    w->LetIdle();
    ExpectTransport(w->Frame(), "playing", true, true, false);

    Choose(*w, "&Audio", "&Pause");
    ASSERT_TRUE(theReplayFile.IsPaused());
    w->LetIdle();
    ExpectTransport(w->Frame(), "paused", true, true, true);

    // Pause again resumes.
    Choose(*w, "&Audio", "&Pause");
    EXPECT_FALSE(theReplayFile.IsPaused());
    w->LetIdle();
    ExpectTransport(w->Frame(), "resumed", true, true, false);

    Choose(*w, "&Audio", "S&top");
    EXPECT_FALSE(theReplayFile.IsPlaying());
    EXPECT_TRUE(theReplayFile.IsLoaded());
    w->LetIdle();
    ExpectTransport(w->Frame(), "loaded and stopped", true, false, false);

    // Pause with nothing playing does nothing.
    Choose(*w, "&Audio", "&Pause");
    EXPECT_FALSE(theReplayFile.IsPlaying());
    EXPECT_FALSE(theReplayFile.IsPaused());

    // A file that fails to open leaves nothing loaded.
    ASSERT_TRUE(w->Click(QStringLiteral("#missing")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_messages.isEmpty(); }, 10000));
    ASSERT_FALSE(theReplayFile.IsLoaded());
    w->LetIdle();
    ExpectTransport(w->Frame(), "after a failed open", false, false, false);
}

TEST_F(TransportTest, StartPlaysTheWholeFileFromItsBeginning) {
    auto w = OpenPage();
    ASSERT_TRUE(PlayLink(*w, "t10", Path("talk.wav"), 10.0));
    Advance(*w, 1000);
    Choose(*w, "&Audio", "&Start");
    EXPECT_TRUE(theReplayFile.IsPlaying());
    EXPECT_EQ(theReplayFile.GetPosition(), 0.0);
    Advance(*w, 2500);
    EXPECT_EQ(theReplayFile.GetPosition(), 2.5);

    // Start after Stop plays the loaded file again.
    Choose(*w, "&Audio", "S&top");
    w->LetIdle();
    Choose(*w, "&Audio", "&Start");
    EXPECT_TRUE(theReplayFile.IsPlaying());
    EXPECT_EQ(theReplayFile.GetPosition(), 0.0);
}

TEST_F(TransportTest, RewindAndForwardMoveByFifteenSeconds) {
    auto w = OpenPage();
    ASSERT_TRUE(PlayLink(*w, "t10", Path("talk.wav"), 10.0));
    Choose(*w, "&Audio", "&Start");
    Advance(*w, 10000);
    ASSERT_EQ(theReplayFile.GetPosition(), 10.0);
    Choose(*w, "&Audio", "&Rewind");  // not before 0
    EXPECT_EQ(theReplayFile.GetPosition(), 0.0);
    EXPECT_EQ(ReplayFileProbe::StartTime(theReplayFile), 0.0);
    EXPECT_TRUE(theReplayFile.IsPlaying());

    Advance(*w, 20000);
    ASSERT_EQ(theReplayFile.GetPosition(), 20.0);
    Choose(*w, "&Audio", "&Rewind");
    EXPECT_EQ(theReplayFile.GetPosition(), 5.0);

    Choose(*w, "&Audio", "&Forward");
    EXPECT_EQ(theReplayFile.GetPosition(), 20.0);
    Advance(*w, 1500);
    EXPECT_EQ(theReplayFile.GetPosition(), 21.5);
    EXPECT_TRUE(theReplayFile.IsPlaying());

    // The toolbar buttons carry the same commands.
    ToolButton(w->Frame(), MenuItem(w->Frame(), "&Audio", "&Rewind"))->click();
    EXPECT_EQ(theReplayFile.GetPosition(), 6.5);
    ToolButton(w->Frame(), MenuItem(w->Frame(), "&Audio", "&Forward"))->click();
    EXPECT_EQ(theReplayFile.GetPosition(), 21.5);

    // Forward past the end plays nothing but is no error.
    Advance(*w, 70000);
    Choose(*w, "&Audio", "&Forward");
    EXPECT_EQ(theReplayFile.GetPosition(), 106.5);
    EXPECT_EQ(ReplayFileProbe::Queued(theReplayFile), 0);
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join(QLatin1Char('\n')).toStdString();
}

TEST_F(TransportTest, RewindOrForwardWhilePausedRestartsUnpaused) {
    auto w = OpenPage();
    ASSERT_TRUE(PlayLink(*w, "t10", Path("talk.wav"), 10.0));
    Advance(*w, 10000);
    Choose(*w, "&Audio", "&Pause");
    Advance(*w, 3000);  // no time passes while paused
    ASSERT_EQ(theReplayFile.GetPosition(), 20.0);

    Choose(*w, "&Audio", "&Rewind");
    EXPECT_EQ(theReplayFile.GetPosition(), 5.0);
    EXPECT_FALSE(theReplayFile.IsPaused());
    Advance(*w, 1000);
    EXPECT_EQ(theReplayFile.GetPosition(), 6.0);
    ExpectTransport(w->Frame(), "rewound from a pause", true, true, false);

    Choose(*w, "&Audio", "&Pause");
    Choose(*w, "&Audio", "&Forward");
    EXPECT_EQ(theReplayFile.GetPosition(), 21.0);
    EXPECT_FALSE(theReplayFile.IsPaused());
}

TEST_F(TransportTest, TransportCommandsStillStopAtTheLinksEndTime) {
    auto w = OpenPage();
    ASSERT_TRUE(PlayLink(*w, "t2to4", Path("talk.wav"), 2.0));
    Choose(*w, "&Audio", "S&top");
    Choose(*w, "&Audio", "&Start");
    ASSERT_EQ(theReplayFile.GetPosition(), 0.0);
    Advance(*w, 4000);  // exactly at the end time: plays on
    EXPECT_TRUE(theReplayFile.IsPlaying());
    Advance(*w, 100);
    EXPECT_FALSE(theReplayFile.IsPlaying());

    // Forward from 0 lands past the end time: the next update stops it.
    Choose(*w, "&Audio", "&Start");
    Choose(*w, "&Audio", "&Forward");
    EXPECT_EQ(theReplayFile.GetPosition(), 15.0);
    w->LetIdle();
    EXPECT_FALSE(theReplayFile.IsPlaying());
    EXPECT_EQ(w->View()->m_dEndTime, 4.0);
}

TEST_F(TransportTest, SingleItemPlayIsEndedByARewindIntoTheItemBefore) {
    auto w = OpenPage();
    QAction* single = MenuItem(w->Frame(), "&Audio", "Single &Item Play");
    Choose(*w, "&Audio", "Single &Item Play");
    w->LetIdle();
    ASSERT_TRUE(single->isChecked());
    EXPECT_EQ(w->View()->m_bSingleItem, 1);

    ASSERT_TRUE(PlayLink(*w, "two", Path("talk.wav"), 30.0));
    w->LetIdle();
    ASSERT_GE(w->View()->m_nCurItem, 0);  // item two is current
    Advance(*w, 5000);
    ASSERT_TRUE(theReplayFile.IsPlaying());
    Choose(*w, "&Audio", "&Rewind");  // 35 - 15 = 20: inside item one
    EXPECT_EQ(theReplayFile.GetPosition(), 20.0);
    w->LetIdle();
    EXPECT_FALSE(theReplayFile.IsPlaying());

    // The check mark survives navigation, and the next choice clears it.
    ASSERT_TRUE(w->Click(QStringLiteral("#next")));
    ASSERT_TRUE(w->WaitForPage(Url("next.htm")));
    w->LetIdle();
    EXPECT_TRUE(single->isChecked());
    EXPECT_TRUE(ToolButton(w->Frame(), single)->isChecked());
    ToolButton(w->Frame(), single)->click();
    w->LetIdle();
    EXPECT_FALSE(single->isChecked());
    EXPECT_FALSE(ToolButton(w->Frame(), single)->isChecked());
    EXPECT_EQ(w->View()->m_bSingleItem, 0);
}

TEST_F(TransportTest, WithoutSingleItemPlayARewindPlaysOn) {
    auto w = OpenPage();
    ASSERT_TRUE(PlayLink(*w, "two", Path("talk.wav"), 30.0));
    w->LetIdle();
    Advance(*w, 5000);
    Choose(*w, "&Audio", "&Rewind");
    Advance(*w, 100);
    EXPECT_TRUE(theReplayFile.IsPlaying());
    EXPECT_DOUBLE_EQ(theReplayFile.GetPosition(), 20.1);
}

TEST_F(TransportTest, BackAndForwardFollowTheHistory) {
    auto w = OpenPage();
    const int loads = w->LoadsEnded();
    // No history: nothing happens, and nothing is said.
    Choose(*w, "&Go", "&Back");
    Choose(*w, "&Go", "&Forward");
    QTest::qWait(500);
    EXPECT_EQ(w->LoadsEnded(), loads);
    EXPECT_EQ(w->Web()->url(), Url("page.htm"));
    EXPECT_TRUE(m_messages.isEmpty());

    ASSERT_TRUE(w->Click(QStringLiteral("#next")));
    ASSERT_TRUE(w->WaitForPage(Url("next.htm")));
    ToolButton(w->Frame(), MenuItem(w->Frame(), "&Go", "&Back"))->click();
    EXPECT_TRUE(w->WaitForPage(Url("page.htm")));
    ToolButton(w->Frame(), MenuItem(w->Frame(), "&Go", "&Forward"))->click();
    EXPECT_TRUE(w->WaitForPage(Url("next.htm")));
}

TEST_F(TransportTest, KeysOnTheViewHaveNoEffectOfItsOwn) {
    auto w = OpenPage();
    ASSERT_TRUE(PlayLink(*w, "t10", Path("talk.wav"), 10.0));
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_P, Qt::Key_S, Qt::Key_Return, Qt::Key_Left, Qt::Key_Backspace})
        QTest::keyClick(w->View(), key);
    w->LetIdle();
    EXPECT_TRUE(theReplayFile.IsPlaying());
    EXPECT_FALSE(theReplayFile.IsPaused());
    EXPECT_EQ(theReplayFile.GetPosition(), 10.0);
    EXPECT_EQ(w->Web()->url().adjusted(QUrl::RemoveFragment), Url("page.htm"));
}

TEST_F(TransportTest, RecordingPaneShowsOnlyWhileRecording) {
    auto w = OpenPage();
    CStatusPane* pane = w->Frame()->Pane(ID_INDICATOR_RECORDING);
    ASSERT_TRUE(pane);
    w->LetIdle();
    EXPECT_TRUE(pane->text().isEmpty());
    ASSERT_EQ(theRecorder.Start(w->View(), 22050, 2), 0);
    w->LetIdle();
    EXPECT_EQ(pane->text(), QStringLiteral("** Recording **"));
    theRecorder.Stop();
    theRecorder.Clear();
    w->LetIdle();
    EXPECT_TRUE(pane->text().isEmpty());
}

// With no printer configured, Print asks with the print dialog, which can
// print the page to a PDF file.
TEST_F(TransportTest, PrintWithoutAPrinterAsksAndCanPrintToAFile) {
    if (!QPrinterInfo::defaultPrinter().isNull()) GTEST_SKIP() << "a printer is configured";
    auto w = OpenPage();
    const QString pdf = Path("printed.pdf");
    QStringList seen;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        seen << dialog->windowTitle();
        if (seen.size() == 1) {
            dialog->reject();
            return;
        }
        // The dialog's own file field decides where the PDF goes.
        for (QLineEdit* field : dialog->findChildren<QLineEdit*>())
            if (field->objectName() == QLatin1String("filename")) field->setText(pdf);
        dialog->accept();
    });
    answer.start(50);

    Choose(*w, "&File", "&Print");  // cancelled: nothing printed
    ASSERT_EQ(seen.size(), 1);
    QTest::qWait(300);
    EXPECT_FALSE(QFile::exists(pdf));

    QSignalSpy finished(w->Web(), &QWebEngineView::printFinished);
    Choose(*w, "&File", "&Print");
    ASSERT_EQ(seen.size(), 2);
    ASSERT_TRUE(finished.wait(20000) || finished.size() == 1);
    EXPECT_TRUE(finished.at(0).at(0).toBool());
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(5) == "%PDF-");
}

}  // namespace
