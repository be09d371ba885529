// SPDX-License-Identifier: GPL-3.0-or-later
// The program's window under Xvfb with the real web engine and the simulated
// sound device on a stepped clock (time stands still, so positions are exact):
// start-up pages, audio links followed by clicks, the pseudo-link "index:",
// Go Home, Help Contents, Ctrl+N, the recent files and the idle-time updates.
#include "gui_harness.h"

#include "app/main_frame.h"
#include "audio/replay_file.h"
#include "common/test_audio.h"
#include "platform/message_box.h"
#include "platform/sim_audio.h"
#include "platform/web_view.h"
#include "view/command_ids.h"
#include "view/parlotype_view.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPrinter>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <gtest/gtest.h>

namespace {

const QUrl kHome(QStringLiteral("res:/home.htm"));

// The script page of these tests and its neighbours, in a folder with a space.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::setAudioBackend(&m_sim);
        platform::SetMessageSink([this](const QString& text) { m_messages << text; });
        const std::string wav = testaudio::WaveFile(1, 8000, 16, testaudio::PcmBytes(testaudio::Sweep(8000, 1, 3.0)));
        for (const char* name : {"a.wav", "b.wav", "clip.Wav"})
            m_folder.Write(QLatin1String(name), QByteArray::fromStdString(wav));
        m_folder.Write(QStringLiteral("page.htm"),
                       "<html><body>"
                       "<a id='a1' href='a.wav#0.5'>a at 0.5</a>"
                       "<a id='a2' href='a.wav#1.25#1.75'>a from 1.25 to 1.75</a>"
                       "<a id='b1' href='b.wav#0.25'>b at 0.25</a>"
                       "<a id='other' href='other.htm'>other page</a>"
                       "<a id='mixed' href='clip.Wav#1'>mixed case</a>"
                       "<a id='index' href='index:anything'>index</a>"
                       "<a id='missing' href='missing.wav#1'>missing</a>"
                       "</body></html>");
        m_folder.Write(QStringLiteral("other.htm"), "<html><body>other</body></html>");
    }
    void TearDown() override {
        platform::SetMessageSink({});
        platform::setAudioBackend(nullptr);
        if (!m_index.isEmpty()) QFile::remove(m_index);
    }

    // Writes the script index where the application looks for it.
    void WriteIndex(TestWindow& w) {
        m_index = w.App().m_strHelpFilePath;
        QFile file(m_index);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("<html><body>index</body></html>");
    }

    QString Page() const { return m_folder.Path(QStringLiteral("page.htm")); }
    QUrl PageUrl(const QString& name) const { return QUrl::fromLocalFile(m_folder.Path(name)); }

    // Opens the test page in a new window; asserts it loaded.
    std::unique_ptr<TestWindow> OpenPage() {
        auto w = std::make_unique<TestWindow>(QStringList{Page()});
        EXPECT_TRUE(w->WaitForPage(PageUrl(QStringLiteral("page.htm"))));
        return w;
    }

    static bool WaitForPosition(double seconds) {
        return WaitUntil([&] { return std::abs(theReplayFile.GetPosition() - seconds) < 0.01; }, 10000);
    }

    platform::SimAudioBackend m_sim{platform::SimAudioBackend::Clock::Stepped};
    PageFolder m_folder;
    QStringList m_messages;
    QString m_index;
};

TEST_F(WindowTest, StartsOnTheHomePageWhoseButtonLeadsToTheIndex) {
    TestWindow w;
    WriteIndex(w);
    ASSERT_TRUE(w.WaitForPage(kHome));
    EXPECT_TRUE(w.Web()->location().startsWith(QLatin1String("res:")));
    EXPECT_TRUE(w.App().GetDocument().m_strPath.isEmpty());
    EXPECT_EQ(w.Frame()->windowTitle(), QStringLiteral("Parlotype"));
    // The banner comes from the same scheme as the page.
    QVariant width;
    w.Web()->page()->runJavaScript(QStringLiteral("document.images[0].naturalWidth"),
                                   [&](const QVariant& v) { width = v; });
    ASSERT_TRUE(WaitUntil([&] { return width.isValid(); }, 10000));
    EXPECT_EQ(width.toInt(), 600);

    ASSERT_TRUE(w.Click(QStringLiteral("#start")));
    EXPECT_TRUE(w.WaitForPage(QUrl::fromLocalFile(m_index)));
}

TEST_F(WindowTest, CommandLineOpensTheScript) {
    // As a path, and as the file URL a desktop's file manager passes.
    for (const QString& script : {Page(), PageUrl(QStringLiteral("page.htm")).toString()}) {
        TestWindow w({script});
        ASSERT_TRUE(w.WaitForPage(PageUrl(QStringLiteral("page.htm")))) << script.toStdString();
        EXPECT_EQ(w.App().GetDocument().m_strPath, Page());
        EXPECT_EQ(w.Frame()->windowTitle(), QStringLiteral("page.htm - Parlotype"));
        EXPECT_EQ(w.App().GetRecentFiles().Files().value(0), Page());
    }
}

TEST_F(WindowTest, AudioLinksPlayWithoutLeavingThePage) {
    auto w = OpenPage();
    const int history = w->Web()->history()->count();
    const QString a = m_folder.Path(QStringLiteral("a.wav"));

    ASSERT_TRUE(w->Click(QStringLiteral("#a1")));
    ASSERT_TRUE(WaitUntil([&] { return theReplayFile.GetFileName() == a; }, 10000));
    EXPECT_TRUE(theReplayFile.IsPlaying());
    EXPECT_TRUE(WaitForPosition(0.5));
    EXPECT_EQ(w->View()->m_dEndTime, 0.0);
    EXPECT_EQ(w->View()->m_nCurItem, -1);

    // The file is gone from disk: a second link to it must not reopen it.
    ASSERT_TRUE(QFile::remove(a));
    ASSERT_TRUE(w->Click(QStringLiteral("#a2")));
    EXPECT_TRUE(WaitForPosition(1.25));
    EXPECT_EQ(theReplayFile.GetFileName(), a);
    EXPECT_TRUE(theReplayFile.IsPlaying());
    EXPECT_EQ(w->View()->m_dEndTime, 1.75);

    // Another file is opened.
    ASSERT_TRUE(w->Click(QStringLiteral("#b1")));
    ASSERT_TRUE(WaitUntil([&] { return theReplayFile.GetFileName() == m_folder.Path(QStringLiteral("b.wav")); }, 10000));
    EXPECT_TRUE(WaitForPosition(0.25));
    EXPECT_EQ(w->View()->m_dEndTime, 0.0);
    // The main frame hands the finished buffers back to the player, which
    // ends playback after the last one.
    m_sim.advance(3000);
    EXPECT_TRUE(WaitUntil([&] { return !theReplayFile.IsPlaying(); }, 10000));

    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join(QLatin1Char('\n')).toStdString();
    // Each audio link was cancelled, so the history did not grow.
    const QUrl b = PageUrl(QStringLiteral("b.wav"));
    ASSERT_TRUE(WaitUntil([&] { return w->LoadEnded(b) != QWebEngineLoadingInfo::LoadStartedStatus; }, 10000));
    EXPECT_EQ(w->LoadEnded(b), QWebEngineLoadingInfo::LoadStoppedStatus);
    EXPECT_EQ(w->Web()->history()->count(), history);
    EXPECT_EQ(w->Web()->url(), PageUrl(QStringLiteral("page.htm")));
}

TEST_F(WindowTest, MissingAudioFileIsReportedAndTheLinkGoesOn) {
    auto w = OpenPage();
    const QUrl missing = PageUrl(QStringLiteral("missing.wav"));
    ASSERT_TRUE(w->Click(QStringLiteral("#missing")));
    ASSERT_TRUE(WaitUntil([&] { return !m_messages.isEmpty(); }, 10000));
    EXPECT_EQ(m_messages, QStringList{QStringLiteral("Could not open '%1'").arg(missing.toLocalFile())});
    // The navigation is not cancelled: the engine tries the file itself and fails.
    ASSERT_TRUE(WaitUntil([&] { return w->LoadEnded(missing) != QWebEngineLoadingInfo::LoadStartedStatus; }, 10000));
    EXPECT_EQ(w->LoadEnded(missing), QWebEngineLoadingInfo::LoadFailedStatus);
    EXPECT_EQ(w->Web()->url().adjusted(QUrl::RemoveFragment), missing);  // the engine's error page
    // The program goes on working.
    w->Web()->back();
    ASSERT_TRUE(w->WaitForPage(PageUrl(QStringLiteral("page.htm"))));
    ASSERT_TRUE(w->Click(QStringLiteral("#b1")));
    EXPECT_TRUE(WaitUntil([&] { return theReplayFile.GetFileName() == m_folder.Path(QStringLiteral("b.wav")); }, 10000));
}

TEST_F(WindowTest, MissingAudioFileWithTheRealMessageBox) {
    // The box runs its own loop inside the engine's navigation callback.
    platform::SetMessageSink({});
    auto w = OpenPage();
    QString shown;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    closer.start(50);
    ASSERT_TRUE(w->Click(QStringLiteral("#missing")));
    ASSERT_TRUE(WaitUntil([&] { return !shown.isEmpty(); }, 10000));
    EXPECT_EQ(shown, QStringLiteral("Could not open '%1'").arg(m_folder.Path(QStringLiteral("missing.wav"))));
    const QUrl missing = PageUrl(QStringLiteral("missing.wav"));
    EXPECT_TRUE(WaitUntil([&] { return w->LoadEnded(missing) == QWebEngineLoadingInfo::LoadFailedStatus; }, 10000));
}

TEST_F(WindowTest, OtherLinksNavigate) {
    auto w = OpenPage();
    ASSERT_TRUE(w->Click(QStringLiteral("#other")));
    EXPECT_TRUE(w->WaitForPage(PageUrl(QStringLiteral("other.htm"))));

    // Mixed-case extensions are no audio links: the engine opens the file itself.
    const QString loaded = theReplayFile.GetFileName();
    w->Web()->back();
    ASSERT_TRUE(w->WaitForPage(PageUrl(QStringLiteral("page.htm"))));
    ASSERT_TRUE(w->Click(QStringLiteral("#mixed")));
    EXPECT_TRUE(WaitUntil([&] { return w->Web()->url().adjusted(QUrl::RemoveFragment) == PageUrl(QStringLiteral("clip.Wav")); }, 10000));
    EXPECT_EQ(theReplayFile.GetFileName(), loaded);
}

TEST_F(WindowTest, IndexPseudoLinkGoHomeAndHelpContents) {
    auto w = OpenPage();
    WriteIndex(*w);
    const QUrl index = QUrl::fromLocalFile(m_index);
    ASSERT_TRUE(w->Click(QStringLiteral("#index")));
    EXPECT_TRUE(w->WaitForPage(index));

    // The commands run from their actions, which the idle-time update enables.
    QAction* help = w->Frame()->Action(ID_HELP);
    QAction* home = w->Frame()->Action(ID_GO_HOME);
    w->LetIdle();
    ASSERT_TRUE(help->isEnabled());
    ASSERT_TRUE(home->isEnabled());
    help->trigger();
    EXPECT_TRUE(w->WaitForPage(kHome));
    home->trigger();
    EXPECT_TRUE(w->WaitForPage(index));
}

TEST_F(WindowTest, CtrlNShowsTheHomePageAsANewDocument) {
    auto w = OpenPage();
    QApplication::setActiveWindow(w->Frame());
    ASSERT_TRUE(WaitUntil([&] { return QApplication::activeWindow() == w->Frame(); }, 5000));
    QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : w->Frame();
    w->LetIdle();
    QTest::keyClick(focus, Qt::Key_N, Qt::ControlModifier);
    EXPECT_TRUE(w->WaitForPage(kHome));
    EXPECT_TRUE(w->App().GetDocument().m_strPath.isEmpty());
    EXPECT_EQ(w->Frame()->windowTitle(), QStringLiteral("Parlotype"));
}

TEST_F(WindowTest, RecentFilesHoldTheLatestFour) {
    TestWindow w;
    QStringList pages;
    for (int i = 0; i < 5; ++i) {
        pages << m_folder.Path(QStringLiteral("p%1.htm").arg(i));
        m_folder.Write(QStringLiteral("p%1.htm").arg(i), "<html><body>p</body></html>");
        ASSERT_TRUE(w.App().OpenDocumentFile(pages.last()));
    }
    const QStringList latest{pages[4], pages[3], pages[2], pages[1]};
    EXPECT_EQ(w.App().GetRecentFiles().Files(), latest);
    ASSERT_TRUE(w.App().OpenDocumentFile(pages[2]));  // an entry moves to the front
    EXPECT_EQ(w.App().GetRecentFiles().Files(), (QStringList{pages[2], pages[4], pages[3], pages[1]}));

    // The File menu shows them, and the next start reads them back.
    QAction* first = w.Frame()->Action(ID_FILE_MRU_FILE1);
    EXPECT_EQ(first->text(), QStringLiteral("&1 %1").arg(pages[2]));
    EXPECT_TRUE(w.Frame()->Action(ID_FILE_MRU_FILE1 + 3)->isVisible());
    w.LetIdle();
    EXPECT_TRUE(first->isEnabled());
    CRecentFileList saved;
    saved.Load();
    EXPECT_EQ(saved.Files(), w.App().GetRecentFiles().Files());

    // A recent-file command opens its script.
    w.Frame()->Action(ID_FILE_MRU_FILE1 + 2)->trigger();
    EXPECT_TRUE(w.WaitForPage(QUrl::fromLocalFile(pages[3])));
}

TEST_F(WindowTest, MenuToolbarAndStatusBarFollowTheTables) {
    TestWindow w;
    QStringList titles;
    for (QAction* a : w.Frame()->menuBar()->actions()) titles << a->text();
    EXPECT_EQ(titles, (QStringList{"&File", "&Go", "&Audio", "&Mark!", "&View", "&Help"}));

    // 18 buttons, separators included, each button with an icon and the string table's tooltip.
    const QList<QAction*> buttons = w.Frame()->GetToolBar()->actions();
    ASSERT_EQ(buttons.size(), 18);
    for (int i : {1, 3, 8, 11, 14}) { EXPECT_TRUE(buttons[i]->isSeparator()) << i; }
    EXPECT_EQ(buttons[5], w.Frame()->Action(ID_AUDIO_START));
    EXPECT_EQ(buttons[16], w.Frame()->Action(ID_GO_HOME));
    for (QAction* a : buttons) {
        if (!a->isSeparator()) {
            EXPECT_FALSE(a->icon().isNull()) << a->text().toStdString();
        }
    }
    EXPECT_EQ(w.Frame()->Action(ID_AUDIO_START)->toolTip(), QStringLiteral("Play"));
    EXPECT_EQ(w.Frame()->Action(ID_AUDIO_START)->statusTip(), QStringLiteral("Start Replay"));
    EXPECT_EQ(w.Frame()->Action(ID_FILE_OPEN)->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));

    // The panes are as wide as their texts and start empty; the message pane says "Ready".
    CStatusPane* recording = w.Frame()->Pane(ID_INDICATOR_RECORDING);
    CStatusPane* time = w.Frame()->Pane(ID_INDICATOR_TIME);
    ASSERT_TRUE(recording && time);
    EXPECT_GT(recording->minimumWidth(), recording->fontMetrics().horizontalAdvance(QStringLiteral("** Recording **")) - 1);
    EXPECT_GT(time->minimumWidth(), time->fontMetrics().horizontalAdvance(QStringLiteral("00.00.0")) - 1);
    EXPECT_LT(time->minimumWidth(), recording->minimumWidth());
    w.LetIdle();
    EXPECT_TRUE(recording->text().isEmpty());
    EXPECT_TRUE(time->text().isEmpty());
    EXPECT_EQ(w.Frame()->statusBar()->currentMessage(), QStringLiteral("Ready"));

    // View > Toolbar and View > Status Bar toggle, and their check marks follow.
    QAction* toolbar = w.Frame()->Action(ID_VIEW_TOOLBAR);
    QAction* statusbar = w.Frame()->Action(ID_VIEW_STATUS_BAR);
    EXPECT_TRUE(toolbar->isChecked());
    EXPECT_TRUE(statusbar->isChecked());
    toolbar->trigger();
    statusbar->trigger();
    w.LetIdle();
    EXPECT_FALSE(w.Frame()->GetToolBar()->isVisible());
    EXPECT_FALSE(w.Frame()->statusBar()->isVisible());
    EXPECT_FALSE(toolbar->isChecked());
    EXPECT_FALSE(statusbar->isChecked());
    toolbar->trigger();
    w.LetIdle();
    EXPECT_TRUE(w.Frame()->GetToolBar()->isVisible());
    EXPECT_TRUE(toolbar->isChecked());
}

// Runs `check` on the modal dialog that `action` opens, then closes it.
template <class Dialog, class Check>
bool WithModalDialog(QAction* action, Check check) {
    bool seen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
            poll.stop();
            seen = true;
            check(dialog);
            static_cast<QDialog*>(dialog)->accept();
            if (dialog->isVisible()) static_cast<QDialog*>(dialog)->reject();  // never hang the test
        }
    });
    poll.start(50);
    action->trigger();
    return seen;
}

TEST_F(WindowTest, FileOpenAndAboutDialogs) {
    TestWindow w;
    w.LetIdle();
    const bool opened = WithModalDialog<QFileDialog>(w.Frame()->Action(ID_FILE_OPEN), [&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->nameFilters().value(0), QStringLiteral("Parlotype Files (*.htm)"));
        // Typed into the name field, as a user would.
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_TRUE(name);
        name->setText(Page());
    });
    ASSERT_TRUE(opened);
    EXPECT_TRUE(w.WaitForPage(PageUrl(QStringLiteral("page.htm"))));
    EXPECT_EQ(w.App().GetDocument().m_strPath, Page());

    EXPECT_TRUE(WithModalDialog<QDialog>(w.Frame()->Action(ID_APP_ABOUT), [](QDialog* about) {
        EXPECT_EQ(about->windowTitle(), QStringLiteral("About Parlotype"));
        QString text;
        for (const QLabel* label : about->findChildren<QLabel*>()) text += label->text();
        EXPECT_TRUE(text.contains(QStringLiteral("Version " PARLOTYPE_VERSION))) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("GNU General Public License"))) << text.toStdString();
    }));
}

TEST_F(WindowTest, MoveToAnchorScrollsWithoutReloading) {
    m_folder.Write(QStringLiteral("long.htm"),
                   "<html><body><script>window.mark = 42;</script>"
                   "<div style='height:5000px'>top</div><a name='far'>far</a></body></html>");
    TestWindow w({m_folder.Path(QStringLiteral("long.htm"))});
    ASSERT_TRUE(w.WaitForPage(PageUrl(QStringLiteral("long.htm"))));
    const int loads = w.LoadsEnded();
    w.Web()->moveToAnchor(w.Web()->location() + QStringLiteral("#far"));
    ASSERT_TRUE(WaitUntil([&] { return w.Web()->location().endsWith(QLatin1String("#far")); }, 10000));
    QVariant state;
    w.Web()->page()->runJavaScript(QStringLiteral("[window.mark, window.scrollY > 1000]"),
                                   [&](const QVariant& v) { state = v; });
    ASSERT_TRUE(WaitUntil([&] { return state.isValid(); }, 10000));
    EXPECT_EQ(state.toList().value(0).toInt(), 42);
    EXPECT_TRUE(state.toList().value(1).toBool());
    EXPECT_EQ(w.LoadsEnded(), loads);  // no load: the page was not reloaded
}

TEST_F(WindowTest, PrintsThePageOnTheGivenPrinter) {
    auto w = OpenPage();
    const QString pdf = m_folder.Path(QStringLiteral("page.pdf"));
    auto printer = std::make_unique<QPrinter>();
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(pdf);
    QSignalSpy finished(w->Web(), &QWebEngineView::printFinished);
    w->Web()->printOn(std::move(printer));
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_TRUE(finished.at(0).at(0).toBool());
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(5) == "%PDF-");
}

}  // namespace
