// SPDX-License-Identifier: GPL-3.0-or-later
// The program's window under Xvfb with the real web engine and the simulated
// sound device on a stepped clock (time moves only when a test says so, so
// positions are exact), driven through its menu commands, the page, its
// dialogs and panes: start-up and documents, audio links and the page
// following the items, the transport, marks, printing, the practice
// controls, the source listings, and Make Script.
#include "gui/window.h"

#include "app/main_frame.h"
#include "audio/replay_file.h"
#include "common/spoken_recording.h"
#include "common/test_audio.h"
#include "platform/message_box.h"
#include "platform/sim_audio.h"
#include "platform/web_view.h"
#include "view/command_ids.h"
#include "view/parlotype_view.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QProcess>
#include <QProgressDialog>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QWebEngineHistory>
#include <gtest/gtest.h>

namespace {

const QUrl kHome(QStringLiteral("res:/home.htm"));
constexpr char kMarked[] = "(document.querySelector('.parlotype-current') || {}).name || ''";

// The enable and check state of commands: per command, '-' disabled,
// 'E' enabled, 'C' enabled and checked.
QString States(TestWindow& w, std::initializer_list<int> ids) {
    w.LetIdle();
    QString s;
    for (int id : ids) {
        const QAction* a = w.Frame()->Action(id);
        s += !a->isEnabled() ? QLatin1Char('-') : a->isChecked() ? QLatin1Char('C') : QLatin1Char('E');
    }
    return s;
}
QString Transport(TestWindow& w) {
    return States(w, {ID_AUDIO_START, ID_AUDIO_STOP, ID_AUDIO_PAUSE, ID_AUDIO_REWIND, ID_AUDIO_FORWARD});
}

// a.wav (3 s: one device buffer holds it, so only the updates move the page)
// has four named items, out of page order and in mixed markup, and anchors
// that are no items (no name, empty name, no start); talk.wav (100 s) two.
const QByteArray kPage =
    "<html><head><style>.parlotype-current { color: rgb(1, 2, 3) }</style></head><body>\n"
    "<p><a id=play href='a.wav#0.2'>from 0.2</a> <a id=ranged href='a.wav#0.5#1.0'>0.5 to 1</a>\n"
    "<a id=from1 href='a.wav#1.0'>from 1</a> <a id=t10 href='talk.wav#10'>talk at 10</a>\n"
    "<a id=t2to4 href='talk.wav#2#4'>talk 2 to 4</a> <a id=t83 href='talk.wav#83.46'>talk at 83.46</a>\n"
    "<a id=other href='other.htm'>other</a> <a id=mixed href='clip.Wav#1'>mixed case</a>\n"
    "<a id=index href='index:anything'>index</a> <a id=missing href='missing.wav#1'>missing</a>\n"
    "<p><A NAME=s3 HREF=\"a.wav#1.5#2.0\">third</A>\n"
    "<p><a name='s1' href='a.wav#0.5#1.0'>first</a>\n"
    "<p><a href=\"a.wav#1.0#1.5\" name=\"s2\">second</a>\n"
    "<p><a name='s 4' href='a.wav#2.5'>fourth</a>\n"
    "<p><a href='a.wav#0.7'>no name</a> <a name='' href='a.wav#0.8'>empty</a> <a name=x href='a.wav#'>none</a>\n"
    "<p><a name=one href='talk.wav#0#30'>one</a> <a name=two id=two href='talk.wav#30#60'>two</a>\n"
    "<div style='height: 3000px'></div></body></html>\n";

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings().clear();
        platform::setAudioBackend(&m_sim);
        platform::SetMessageSink([this](const QString& text) { m_messages << text; });
        WriteWave(QStringLiteral("a.wav"), 3.0);
        WriteWave(QStringLiteral("clip.Wav"), 3.0);
        WriteWave(QStringLiteral("talk.wav"), 100.0);
        m_folder.Write(QStringLiteral("page.htm"), kPage);
        m_folder.Write(QStringLiteral("other.htm"), "<html><body>other</body></html>");
    }
    void TearDown() override {
        theReplayFile.Close();
        platform::SetMessageSink({});
        platform::setAudioBackend(nullptr);
        if (!m_index.isEmpty()) QFile::remove(m_index);
    }

    void WriteWave(const QString& name, double seconds) {
        const std::string pcm = testaudio::PcmBytes(testaudio::Sweep(8000, 1, seconds));
        m_folder.Write(name, QByteArray::fromStdString(testaudio::WaveFile(1, 8000, 16, pcm)));
    }
    // Writes the script index where the application looks for it.
    QUrl WriteIndex(TestWindow& w) {
        m_index = w.App().m_strHelpFilePath;
        QFile file(m_index);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("<html><body>index</body></html>");
        return QUrl::fromLocalFile(m_index);
    }
    std::unique_ptr<TestWindow> OpenPage() {
        auto w = std::make_unique<TestWindow>(QStringList{m_folder.Path(QStringLiteral("page.htm"))});
        EXPECT_TRUE(w->WaitForPage(m_folder.Url(QStringLiteral("page.htm"))));
        w->Frame()->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w->Frame()));
        return w;
    }
    // Clicks a link and waits until it plays `file` from `start`.
    bool Follow(TestWindow& w, const char* id, const char* file, double start) {
        const QString path = m_folder.Path(QLatin1String(file));
        return w.Click(QLatin1Char('#') + QLatin1String(id)) && WaitUntil([&] {
                   return theReplayFile.GetFileName() == path && theReplayFile.IsPlaying() &&
                          std::abs(theReplayFile.GetPosition() - start) < 1e-9;
               });
    }
    // Lets `ms` of sound pass, a second at a time as the device would return
    // buffers, then the idle-time updates run.
    void Advance(TestWindow& w, int ms) {
        for (int step; ms > 0; ms -= step) {
            step = std::min(ms, 1000);
            m_sim.advance(step);
            QCoreApplication::sendPostedEvents();
        }
        w.LetIdle();
    }
    QString Messages() const { return m_messages.join(QLatin1Char('\n')); }

    platform::SimAudioBackend m_sim{platform::SimAudioBackend::Clock::Stepped};
    PageFolder m_folder;
    QStringList m_messages;
    QString m_index;
};

TEST_F(WindowTest, StartUpDocumentsAndRecentFiles) {
    QStringList pages;
    {
        TestWindow w;
        const QUrl index = WriteIndex(w);
        ASSERT_TRUE(w.WaitForPage(kHome));
        w.Frame()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.Frame()));
        EXPECT_EQ(w.Frame()->windowTitle(), QStringLiteral("Parlotype"));
        EXPECT_EQ(w.Script(QStringLiteral("document.images[0].naturalWidth")).toInt(), 600);  // from res: too
        EXPECT_EQ(AnswerModals([&] { w.Choose(ID_VIEW_SOURCE); }, [](QWidget* d) { d->close(); }), 0);
        ASSERT_TRUE(w.Click(QStringLiteral("#start")));
        EXPECT_TRUE(w.WaitForPage(index));
        ASSERT_TRUE(w.Choose(ID_HELP));
        EXPECT_TRUE(w.WaitForPage(kHome));
        ASSERT_TRUE(w.Choose(ID_GO_HOME));
        EXPECT_TRUE(w.WaitForPage(index));

        // File > Open, the name typed into the dialog.
        const QString page = m_folder.Path(QStringLiteral("page.htm"));
        AnswerModals([&] { w.Choose(ID_FILE_OPEN); }, [&](QWidget* d) {
            auto* dialog = qobject_cast<QFileDialog*>(d);
            ASSERT_TRUE(dialog);
            EXPECT_EQ(dialog->nameFilters().value(0), QStringLiteral("Parlotype Files (*.htm)"));
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(page);
            static_cast<QDialog*>(dialog)->accept();
        });
        ASSERT_TRUE(w.WaitForPage(QUrl::fromLocalFile(page)));
        EXPECT_EQ(w.Frame()->windowTitle(), QStringLiteral("page.htm - Parlotype"));
        ASSERT_TRUE(w.Click(QStringLiteral("#index")));  // the pseudo-link "index:"
        EXPECT_TRUE(w.WaitForPage(index));

        // Ctrl+N: the home page as a new document.
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w.Frame(), Qt::Key_N,
                        Qt::ControlModifier);
        EXPECT_TRUE(w.WaitForPage(kHome));
        EXPECT_TRUE(WaitUntil([&] { return w.Frame()->windowTitle() == QStringLiteral("Parlotype"); }));

        QString about;
        AnswerModals([&] { w.Choose(ID_APP_ABOUT); }, [&](QWidget* d) {
            about = d->windowTitle();
            for (const QLabel* label : d->findChildren<QLabel*>()) about += label->text();
            static_cast<QDialog*>(d)->accept();
        });
        EXPECT_TRUE(about.startsWith(QStringLiteral("About Parlotype"))) << about.toStdString();
        EXPECT_TRUE(about.contains(QStringLiteral("Version " PARLOTYPE_VERSION))) << about.toStdString();
        EXPECT_TRUE(about.contains(QStringLiteral("GNU General Public License")));

        // The File menu lists the recent files, newest first; one opens its script.
        for (int i = 0; i < 2; ++i) {
            pages << m_folder.Path(QStringLiteral("p%1.htm").arg(i));
            m_folder.Write(QStringLiteral("p%1.htm").arg(i), "<html><body>p</body></html>");
            ASSERT_TRUE(w.App().OpenDocumentFile(pages.last()));
        }
        EXPECT_EQ(w.Action(ID_FILE_MRU_FILE1)->text(), QStringLiteral("&1 %1").arg(pages[1]));
        EXPECT_EQ(w.Action(ID_FILE_MRU_FILE1 + 2)->text(), QStringLiteral("&3 %1").arg(page));
        ASSERT_TRUE(w.Choose(ID_FILE_MRU_FILE1 + 1));
        EXPECT_TRUE(w.WaitForPage(QUrl::fromLocalFile(pages[0])));

        // View > Toolbar and Status Bar hide them, and their check marks follow.
        EXPECT_EQ(States(w, {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR}), QStringLiteral("CC"));
        w.Choose(ID_VIEW_TOOLBAR);
        w.Choose(ID_VIEW_STATUS_BAR);
        EXPECT_EQ(States(w, {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR}), QStringLiteral("EE"));
        EXPECT_FALSE(w.Frame()->GetToolBar()->isVisible());
        EXPECT_FALSE(w.Frame()->statusBar()->isVisible());
    }
    // The next start, given the script as a desktop's file URL, opens it and
    // finds the recent files kept.
    TestWindow w({QUrl::fromLocalFile(pages[1]).toString()});
    ASSERT_TRUE(w.WaitForPage(QUrl::fromLocalFile(pages[1])));
    EXPECT_EQ(w.Frame()->windowTitle(), QStringLiteral("p1.htm - Parlotype"));
    EXPECT_EQ(w.Action(ID_FILE_MRU_FILE1)->text(), QStringLiteral("&1 %1").arg(pages[1]));
    EXPECT_EQ(w.Action(ID_FILE_MRU_FILE1 + 1)->text(), QStringLiteral("&2 %1").arg(pages[0]));
    EXPECT_TRUE(m_messages.isEmpty()) << Messages().toStdString();
}

TEST_F(WindowTest, AudioLinksPlayAndThePageFollowsTheItems) {
    auto w = OpenPage();
    const int history = w->Web()->history()->count();
    EXPECT_EQ(Transport(*w), QStringLiteral("-----"));
    ASSERT_TRUE(Follow(*w, "play", "a.wav", 0.2));
    // The link was cancelled: the page stayed and the history did not grow.
    const QUrl a = m_folder.Url(QStringLiteral("a.wav"));
    EXPECT_TRUE(WaitUntil([&] { return w->LoadEnded(a) == QWebEngineLoadingInfo::LoadStoppedStatus; }));
    EXPECT_EQ(w->Web()->history()->count(), history);
    EXPECT_EQ(w->Pane(ID_INDICATOR_TIME), QStringLiteral(" 0:00.2"));
    EXPECT_EQ(w->Fragment(), QString());  // before the first item

    // Each item's start moves the page to its anchor and highlights it; the
    // anchors that are no items never do.
    struct Step {
        int ms;
        const char* anchor;
        const char* pane;
    };
    for (const Step& s : {Step{300, "s1", " 0:00.5"}, Step{250, "s1", " 0:00.7"}, Step{100, "s1", " 0:00.8"},
                          Step{149, "s1", " 0:00.9"}, Step{1, "s2", " 0:01.0"}, Step{500, "s3", " 0:01.5"},
                          Step{999, "s3", " 0:02.4"}, Step{1, "s 4", " 0:02.5"}}) {
        Advance(*w, s.ms);
        const QString anchor = QLatin1String(s.anchor);
        EXPECT_TRUE(w->WaitForFragment(anchor)) << s.anchor << ": the page shows " << w->Fragment().toStdString();
        EXPECT_TRUE(WaitUntil([&] { return w->Script(QLatin1String(kMarked)).toString() == anchor; })) << s.anchor;
        EXPECT_EQ(w->Pane(ID_INDICATOR_TIME), QLatin1String(s.pane));
    }
    EXPECT_TRUE(w->Web()->location().endsWith(QLatin1String("#s%204")));
    // The page's own rule for the highlight wins; what it leaves is the program's.
    const QString style = QStringLiteral("getComputedStyle(document.querySelector('.parlotype-current')).");
    EXPECT_EQ(w->Script(style + QStringLiteral("color")).toString(), QStringLiteral("rgb(1, 2, 3)"));
    EXPECT_NE(w->Script(style + QStringLiteral("backgroundColor")).toString(), QStringLiteral("rgba(0, 0, 0, 0)"));
    ASSERT_TRUE(w->Choose(ID_AUDIO_STOP));
    EXPECT_EQ(w->Pane(ID_INDICATOR_TIME), QString());
    EXPECT_TRUE(WaitUntil([&] { return w->Script(QLatin1String(kMarked)).toString().isEmpty(); }));

    // An end time: playback goes on at it and stops at the first update after.
    ASSERT_TRUE(Follow(*w, "ranged", "a.wav", 0.5));
    Advance(*w, 500);
    EXPECT_TRUE(theReplayFile.IsPlaying());
    EXPECT_TRUE(w->WaitForFragment(QStringLiteral("s2")));
    Advance(*w, 1);
    EXPECT_FALSE(theReplayFile.IsPlaying());
    EXPECT_EQ(m_sim.openOutputs(), 0);

    // Single Item Play stops where the next item starts.
    ASSERT_TRUE(w->Choose(ID_AUDIO_SINGLE));
    ASSERT_TRUE(Follow(*w, "from1", "a.wav", 1.0));
    Advance(*w, 499);
    EXPECT_EQ(States(*w, {ID_AUDIO_SINGLE, ID_AUDIO_STOP}), QStringLiteral("CE"));
    Advance(*w, 1);
    EXPECT_FALSE(theReplayFile.IsPlaying());
    w->LetIdle(100);
    EXPECT_EQ(w->Fragment(), QStringLiteral("s2"));
    ASSERT_TRUE(w->Choose(ID_AUDIO_SINGLE));

    // Follow Page off: the highlight moves on, the page stays.
    ASSERT_TRUE(w->Choose(ID_VIEW_FOLLOW));
    EXPECT_EQ(States(*w, {ID_VIEW_FOLLOW}), QStringLiteral("E"));
    ASSERT_TRUE(Follow(*w, "play", "a.wav", 0.2));
    Advance(*w, 1300);
    EXPECT_TRUE(WaitUntil([&] { return w->Script(QLatin1String(kMarked)).toString() == QLatin1String("s3"); }));
    w->LetIdle(100);
    EXPECT_EQ(w->Fragment(), QStringLiteral("s2"));
    ASSERT_TRUE(w->Choose(ID_VIEW_FOLLOW));

    // A second link to the file loaded does not rescan the page file, nor
    // reload the page; a link to another file scans the file as it is now.
    m_folder.Write(QStringLiteral("page.htm"), "<a name=x1 href='talk.wav#20'>x1</a><a name=x2 href='talk.wav#40'>x2</a>");
    w->Script(QStringLiteral("window.mark = 42"));
    ASSERT_TRUE(Follow(*w, "from1", "a.wav", 1.0));
    EXPECT_TRUE(w->WaitForFragment(QStringLiteral("s2")));
    ASSERT_TRUE(Follow(*w, "t10", "talk.wav", 10.0));
    ASSERT_TRUE(w->Choose(ID_AUDIO_NEXT_ITEM));
    EXPECT_EQ(theReplayFile.GetPosition(), 20.0);
    EXPECT_TRUE(w->WaitForFragment(QStringLiteral("x1")));
    EXPECT_EQ(w->Script(QStringLiteral("window.mark")).toInt(), 42);

    // The page file gone: said once, and playback goes on without items.
    ASSERT_TRUE(QFile::remove(m_folder.Path(QStringLiteral("page.htm"))));
    ASSERT_TRUE(Follow(*w, "play", "a.wav", 0.2));
    EXPECT_TRUE(Messages().startsWith(QStringLiteral("Could not open the page '%1'")
                                          .arg(m_folder.Path(QStringLiteral("page.htm")))))
        << Messages().toStdString();
    EXPECT_EQ(States(*w, {ID_AUDIO_NEXT_ITEM, ID_AUDIO_PREV_ITEM}), QStringLiteral("--"));
    Advance(*w, 400);
    EXPECT_EQ(w->Pane(ID_INDICATOR_TIME), QStringLiteral(" 0:00.6"));
    m_messages.clear();
    m_folder.Write(QStringLiteral("page.htm"), kPage);

    // A missing audio file is said, and the engine shows its error page.
    const QUrl missing = m_folder.Url(QStringLiteral("missing.wav"));
    ASSERT_TRUE(w->Click(QStringLiteral("#missing")));
    ASSERT_TRUE(WaitUntil([&] { return w->LoadEnded(missing) == QWebEngineLoadingInfo::LoadFailedStatus; }));
    EXPECT_EQ(m_messages, QStringList{QStringLiteral("Could not open '%1'").arg(missing.toLocalFile())});
    EXPECT_EQ(Transport(*w), QStringLiteral("-----"));
    ASSERT_TRUE(w->Choose(ID_GO_BACK));
    ASSERT_TRUE(w->WaitForPage(m_folder.Url(QStringLiteral("page.htm"))));

    // A mixed-case extension is no audio link; other pages are navigated to.
    ASSERT_TRUE(w->Click(QStringLiteral("#mixed")));
    EXPECT_TRUE(WaitUntil([&] { return w->Web()->url().adjusted(QUrl::RemoveFragment) == m_folder.Url("clip.Wav"); }))
        << w->Web()->url().toString().toStdString();
    EXPECT_FALSE(theReplayFile.IsLoaded());
    ASSERT_TRUE(w->Choose(ID_GO_BACK));
    ASSERT_TRUE(w->WaitForPage(m_folder.Url(QStringLiteral("page.htm"))));
    ASSERT_TRUE(w->Click(QStringLiteral("#other")));
    ASSERT_TRUE(w->WaitForPage(m_folder.Url(QStringLiteral("other.htm"))));
    ASSERT_TRUE(w->Choose(ID_GO_BACK));
    ASSERT_TRUE(w->WaitForPage(m_folder.Url(QStringLiteral("page.htm"))));
    ASSERT_TRUE(w->Choose(ID_GO_FORWARD));
    EXPECT_TRUE(w->WaitForPage(m_folder.Url(QStringLiteral("other.htm"))));
}

// Counts how often the event loop is about to wait within `ms`.
int WakeUps(TestWindow& w, int ms) {
    int n = 0;
    const auto c = QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                                    [&] { ++n; });
    w.LetIdle(ms);
    QObject::disconnect(c);
    return n;
}

TEST_F(WindowTest, TransportMarksAndPrinting) {
    auto w = OpenPage();
    const QString talk = m_folder.Path(QStringLiteral("talk.wav"));
    const int quiet = WakeUps(*w, 500);
    ASSERT_TRUE(Follow(*w, "t10", "talk.wav", 10.0));
    EXPECT_EQ(Transport(*w), QStringLiteral("EEEEE"));
    // The updates are woken while a file plays, and only then.
    EXPECT_GE(WakeUps(*w, 500), 500 / CParlotypeView::kTrackWakeMs * 3 / 4);
    ASSERT_TRUE(w->Choose(ID_AUDIO_PAUSE));
    EXPECT_EQ(Transport(*w), QStringLiteral("EECEE"));
    EXPECT_LE(WakeUps(*w, 500), quiet + 5);
    ASSERT_TRUE(w->Choose(ID_AUDIO_PAUSE));
    EXPECT_EQ(Transport(*w), QStringLiteral("EEEEE"));
    // Keys on the view itself do nothing.
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_P, Qt::Key_S, Qt::Key_Return, Qt::Key_Left, Qt::Key_Backspace})
        QTest::keyClick(w->View(), key);
    EXPECT_EQ(Transport(*w), QStringLiteral("EEEEE"));
    EXPECT_EQ(theReplayFile.GetPosition(), 10.0);
    ASSERT_TRUE(w->Choose(ID_AUDIO_STOP));
    EXPECT_EQ(Transport(*w), QStringLiteral("E-EEE"));
    ASSERT_TRUE(w->Choose(ID_AUDIO_PAUSE));  // nothing plays: nothing happens
    EXPECT_EQ(Transport(*w), QStringLiteral("E-EEE"));

    // Start plays from the beginning; Rewind and Forward move by 15 s, not
    // before 0, and a paused player restarts unpaused.
    ASSERT_TRUE(w->Choose(ID_AUDIO_START));
    EXPECT_EQ(theReplayFile.GetPosition(), 0.0);
    struct Move {
        int ms;       // sound let pass first
        bool pause;   // Pause chosen first
        int command;
        double at;    // position after it
    };
    for (const Move& m : {Move{10000, false, ID_AUDIO_REWIND, 0.0}, Move{20000, false, ID_AUDIO_REWIND, 5.0},
                          Move{0, false, ID_AUDIO_FORWARD, 20.0}, Move{1500, true, ID_AUDIO_REWIND, 6.5},
                          Move{0, true, ID_AUDIO_FORWARD, 21.5}, Move{70000, false, ID_AUDIO_FORWARD, 106.5}}) {
        Advance(*w, m.ms);
        if (m.pause) ASSERT_TRUE(w->Choose(ID_AUDIO_PAUSE));
        ASSERT_TRUE(w->Choose(m.command));
        EXPECT_EQ(theReplayFile.GetPosition(), m.at);
        if (m.at < 100) EXPECT_EQ(Transport(*w), QStringLiteral("EEEEE")) << m.at;  // unpaused
    }

    // Transport commands keep the link's end time.
    ASSERT_TRUE(Follow(*w, "t2to4", "talk.wav", 2.0));
    ASSERT_TRUE(w->Choose(ID_AUDIO_START));
    Advance(*w, 4000);
    EXPECT_TRUE(theReplayFile.IsPlaying());
    Advance(*w, 100);
    EXPECT_FALSE(theReplayFile.IsPlaying());
    ASSERT_TRUE(w->Choose(ID_AUDIO_START));
    ASSERT_TRUE(w->Choose(ID_AUDIO_FORWARD));
    w->LetIdle();
    EXPECT_FALSE(theReplayFile.IsPlaying());

    // Rewinding into the item before ends Single Item Play; without it, playing goes on.
    for (const bool single : {true, false}) {
        if (single) ASSERT_TRUE(w->Choose(ID_AUDIO_SINGLE));
        ASSERT_TRUE(Follow(*w, "two", "talk.wav", 30.0));  // the link of item two
        Advance(*w, 5000);
        ASSERT_TRUE(w->Choose(ID_AUDIO_REWIND));
        Advance(*w, 100);
        EXPECT_EQ(theReplayFile.IsPlaying(), !single);
        if (single) ASSERT_TRUE(w->Choose(ID_AUDIO_SINGLE));
    }

    // Mark! notes the file and the position to a tenth; View > Marks shows
    // them, one a line, and Clear empties the list only when OK follows.
    auto marks = [&](std::initializer_list<const char*> buttons) {
        QString shown;
        AnswerModals([&] { w->Choose(ID_VIEW_MARKS); }, [&](QWidget* d) {
            shown = DialogText(d);
            for (const char* b : buttons) EXPECT_TRUE(ClickButton(d, QLatin1String(b))) << b;
            if (d->isVisible()) QTest::keyClick(d, Qt::Key_Escape);
        });
        return shown;
    };
    ASSERT_TRUE(w->Choose(ID_AUDIO_STOP));
    ASSERT_TRUE(w->Choose(ID_AUDIO_MARK));  // stopped: no mark
    EXPECT_EQ(marks({"OK"}), QString());
    ASSERT_TRUE(Follow(*w, "t83", "talk.wav", 83.46));
    ASSERT_TRUE(w->Choose(ID_AUDIO_MARK));
    ASSERT_TRUE(w->Choose(ID_AUDIO_MARK));
    ASSERT_TRUE(Follow(*w, "play", "a.wav", 0.2));
    Advance(*w, 1000);
    ASSERT_TRUE(w->Choose(ID_AUDIO_PAUSE));
    Advance(*w, 1000);
    ASSERT_TRUE(w->Choose(ID_AUDIO_MARK));  // paused: the paused position
    const QString a = m_folder.Path(QStringLiteral("a.wav"));
    const QString all = QStringLiteral("%1#83.5\n%1#83.5\n%2#1.2\n").arg(talk, a);
    EXPECT_EQ(marks({"Clear"}), all);  // Escape after Clear keeps them
    EXPECT_EQ(marks({"Clear", "Cancel"}), all);
    EXPECT_EQ(marks({"OK"}), all);
    EXPECT_EQ(marks({"Clear", "OK"}), all);
    EXPECT_EQ(marks({"OK"}), QString());
    ASSERT_TRUE(w->Choose(ID_AUDIO_MARK));
    EXPECT_EQ(marks({"OK"}), QStringLiteral("%1#1.2\n").arg(a));

    // Print without a printer asks; cancelled nothing is printed, else the
    // dialog's file gets the page.
    if (!QPrinterInfo::defaultPrinter().isNull()) GTEST_SKIP() << "a printer is configured";
    const QString pdf = m_folder.Path(QStringLiteral("printed.pdf"));
    QSignalSpy printed(w->Web(), &QWebEngineView::printFinished);
    for (const bool print : {false, true}) {
        EXPECT_EQ(AnswerModals([&] { w->Choose(ID_FILE_PRINT); }, [&](QWidget* d) {
            auto* dialog = qobject_cast<QPrintDialog*>(d);
            ASSERT_TRUE(dialog);
            if (!print) return dialog->reject();
            for (QLineEdit* field : dialog->findChildren<QLineEdit*>(QStringLiteral("filename"))) field->setText(pdf);
            static_cast<QDialog*>(dialog)->accept();
        }), 1);
    }
    ASSERT_TRUE(printed.wait(20000) || printed.size() == 1);
    EXPECT_TRUE(printed.at(0).at(0).toBool());
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.read(5), QByteArray("%PDF-"));
    EXPECT_TRUE(m_messages.isEmpty()) << Messages().toStdString();
}

// Presses `key` where the keyboard is.
void Press(Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); }

TEST_F(WindowTest, PracticeControlsAndTheirSettings) {
    auto w = OpenPage();
    // Next and Previous Item go from item to item.
    ASSERT_TRUE(Follow(*w, "play", "a.wav", 0.2));
    Advance(*w, 400);  // 0.6: s1
    for (const auto& [command, at] : {std::pair{ID_AUDIO_NEXT_ITEM, 1.0}, std::pair{ID_AUDIO_NEXT_ITEM, 1.5},
                                      std::pair{ID_AUDIO_PREV_ITEM, 1.0}, std::pair{ID_AUDIO_PREV_ITEM, 0.5}}) {
        ASSERT_TRUE(w->Choose(command));
        EXPECT_NEAR(theReplayFile.GetPosition(), at, 1e-6);
        EXPECT_TRUE(w->WaitForFragment(QStringLiteral("s%1").arg(int(at * 2))));
        Advance(*w, 100);
    }
    EXPECT_EQ(States(*w, {ID_AUDIO_SPEED1, ID_AUDIO_SPEED1 + 4, ID_AUDIO_SLOWER, ID_AUDIO_FASTER}),
              QStringLiteral("ECEE"));
    EXPECT_EQ(w->Pane(ID_INDICATOR_SPEED), QString());  // no pane at 1x
    ASSERT_TRUE(w->Choose(ID_AUDIO_SPEED1));
    EXPECT_EQ(States(*w, {ID_AUDIO_SPEED1, ID_AUDIO_SPEED1 + 4, ID_AUDIO_SLOWER, ID_AUDIO_FASTER}),
              QStringLiteral("CE-E"));
    EXPECT_EQ(w->Pane(ID_INDICATOR_SPEED), QStringLiteral("0.5\u00d7"));
    // The stretch 0.5-1.0 at half speed: the pane and the end stop in file time.
    ASSERT_TRUE(Follow(*w, "ranged", "a.wav", 0.5));
    Advance(*w, 400);
    EXPECT_EQ(w->Pane(ID_INDICATOR_TIME), QStringLiteral(" 0:00.7"));
    Advance(*w, 560);
    EXPECT_TRUE(theReplayFile.IsPlaying());
    Advance(*w, 40);
    EXPECT_FALSE(theReplayFile.IsPlaying());

    // With the page holding the keyboard, reading keys stay the page's and
    // the transport keys reach the program.
    w->Script(QStringLiteral("window.scrollTo(0, 0)"));
    ASSERT_TRUE(w->Click(QStringLiteral("#play")));
    Press(Qt::Key_Space);
    EXPECT_TRUE(WaitUntil([&] { return w->Script(QStringLiteral("window.scrollY")).toInt() > 0; }));
    struct Key {
        Qt::Key key;
        const char* states;  // Stop, Pause, Repeat
        const char* speed;
    };
    for (const Key& k : {Key{Qt::Key_F6, "ECE", "0.5"}, Key{Qt::Key_F6, "EEE", "0.5"}, Key{Qt::Key_F10, "EEE", "0.6"},
                         Key{Qt::Key_F9, "EEE", "0.5"}, Key{Qt::Key_F9, "EEE", "0.5"}, Key{Qt::Key_F3, "EEC", "0.5"},
                         Key{Qt::Key_F4, "-EC", "0.5"}}) {
        Press(k.key);
        EXPECT_EQ(States(*w, {ID_AUDIO_STOP, ID_AUDIO_PAUSE, ID_AUDIO_REPEAT}), QLatin1String(k.states)) << k.key;
        EXPECT_EQ(w->Pane(ID_INDICATOR_SPEED), QLatin1String(k.speed) + QChar(0x00d7)) << k.key;
    }
    ASSERT_TRUE(Follow(*w, "play", "a.wav", 0.2));
    Press(Qt::Key_F7);
    EXPECT_NEAR(theReplayFile.GetPosition(), 15.2, 1e-6);  // 15 s of the file
    ASSERT_TRUE(w->Choose(ID_AUDIO_SPEED1 + 4));

    // Repeat: the stretch again from its start just past its end; a link
    // without an end time when the file's data ends; with Single Item Play,
    // the item sounding when the next starts.
    ASSERT_TRUE(Follow(*w, "ranged", "a.wav", 0.5));
    for (int round = 0; round < 2; ++round) {
        Advance(*w, 500);
        Advance(*w, 2);
        EXPECT_TRUE(theReplayFile.IsPlaying());
        EXPECT_EQ(theReplayFile.GetPosition(), 0.5) << round;
    }
    ASSERT_TRUE(Follow(*w, "play", "a.wav", 0.2));
    Advance(*w, 2900);
    EXPECT_TRUE(WaitUntil([&] {
        w->LetIdle();
        return theReplayFile.IsPlaying() && theReplayFile.GetPosition() == 0.2;
    }));
    ASSERT_TRUE(w->Choose(ID_AUDIO_SINGLE));
    Advance(*w, 400);  // 0.6: s1
    Advance(*w, 400);  // 1.0: s2 would start
    EXPECT_TRUE(theReplayFile.IsPlaying());
    EXPECT_EQ(theReplayFile.GetPosition(), 0.5);
    ASSERT_TRUE(w->Choose(ID_AUDIO_SINGLE));
    ASSERT_TRUE(w->Choose(ID_AUDIO_STOP));
    ASSERT_TRUE(w->Choose(ID_AUDIO_REPEAT));

    // Pause After Each Item: after s1 (0.5 s of the file) the reader's turn
    // of 0.5 s, then s2; Pause during a turn ends it.
    ASSERT_TRUE(w->Choose(ID_AUDIO_PAUSE_AFTER));
    ASSERT_TRUE(Follow(*w, "play", "a.wav", 0.2));
    Advance(*w, 400);  // 0.6: s1, no turn before it
    EXPECT_EQ(w->Pane(ID_INDICATOR_TURN), QString());
    Advance(*w, 400);  // 1.0: s2 starts
    QElapsedTimer turn;
    turn.start();
    EXPECT_EQ(w->Pane(ID_INDICATOR_TURN), QStringLiteral("Your turn"));
    EXPECT_EQ(States(*w, {ID_AUDIO_PAUSE}), QStringLiteral("C"));
    ASSERT_TRUE(WaitUntil([] { return !theReplayFile.IsPaused(); }, 3000));
    EXPECT_NEAR(double(turn.elapsed()), 500.0, 150.0);
    EXPECT_EQ(w->Pane(ID_INDICATOR_TURN), QString());
    Advance(*w, 500);  // 1.5: s3 starts
    EXPECT_EQ(w->Pane(ID_INDICATOR_TURN), QStringLiteral("Your turn"));
    ASSERT_TRUE(w->Choose(ID_AUDIO_PAUSE));
    EXPECT_EQ(w->Pane(ID_INDICATOR_TURN), QString());
    EXPECT_EQ(States(*w, {ID_AUDIO_PAUSE}), QStringLiteral("E"));
    ASSERT_TRUE(w->Choose(ID_AUDIO_SPEED1 + 7));
    ASSERT_TRUE(w->Choose(ID_VIEW_FOLLOW));
    ASSERT_TRUE(w->Choose(ID_AUDIO_REPEAT));
    EXPECT_TRUE(m_messages.isEmpty()) << Messages().toStdString();

    // The next run starts with the speed and the switches as they were.
    w.reset();
    w = OpenPage();
    EXPECT_EQ(States(*w, {ID_AUDIO_SPEED1 + 7, ID_AUDIO_FASTER, ID_AUDIO_REPEAT, ID_AUDIO_PAUSE_AFTER, ID_VIEW_FOLLOW}),
              QStringLiteral("C-CCE"));
    EXPECT_EQ(w->Pane(ID_INDICATOR_SPEED), QStringLiteral("2\u00d7"));
}

// The desktop's own media client, on the test services' private session bus.
QString RunClient(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    EXPECT_TRUE(WaitUntil([&] { return p.state() == QProcess::NotRunning; })) << program.toStdString();
    EXPECT_EQ(p.exitCode(), 0) << args.join(' ').toStdString() << ": " << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}
QString Playerctl(const QStringList& args) { return RunClient(QStringLiteral("playerctl"), QStringList{"-p", "parlotype"} + args); }

TEST_F(WindowTest, DesktopMediaControls) {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) << "the test services start a session bus";
    m_folder.Write(QStringLiteral("page.htm"), "<title>Practice page</title>" + kPage);
    auto w = OpenPage();
    EXPECT_EQ(Playerctl({"status"}), QStringLiteral("Stopped"));
    ASSERT_TRUE(Follow(*w, "play", "a.wav", 0.2));
    QProcess follow;  // the changes as a panel hears them
    follow.start(QStringLiteral("playerctl"), {"-p", "parlotype", "status", "--follow"});
    ASSERT_TRUE(follow.waitForStarted());
    EXPECT_EQ(Playerctl({"status"}), QStringLiteral("Playing"));
    EXPECT_EQ(Playerctl({"metadata", "--format", "{{xesam:url}}|{{xesam:title}}|{{mpris:length}}"}),
              m_folder.Url(QStringLiteral("a.wav")).toString() + QStringLiteral("|Practice page|3000000"));
    EXPECT_NEAR(Playerctl({"position"}).toDouble(), 0.2, 0.05);
    Playerctl({"play-pause"});
    EXPECT_EQ(States(*w, {ID_AUDIO_PAUSE}), QStringLiteral("C"));
    EXPECT_EQ(Playerctl({"status"}), QStringLiteral("Paused"));
    Playerctl({"play-pause"});
    EXPECT_EQ(States(*w, {ID_AUDIO_PAUSE}), QStringLiteral("E"));

    Advance(*w, 400);  // 0.6: s1
    for (const auto& [args, at] : {std::pair{QStringList{"next"}, 1.0}, std::pair{QStringList{"next"}, 1.5},
                                   std::pair{QStringList{"previous"}, 1.0}, std::pair{QStringList{"position", "0.3"}, 0.3},
                                   std::pair{QStringList{"position", "0.5+"}, 0.9}}) {
        Playerctl(args);
        EXPECT_NEAR(theReplayFile.GetPosition(), at, 1e-6) << args.join(' ').toStdString();
        Advance(*w, 100);
    }
    // The rate is the speed of Audio > Speed.
    RunClient(QStringLiteral("dbus-send"), {"--session", "--print-reply", "--dest=org.mpris.MediaPlayer2.parlotype",
                                            "/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties.Set",
                                            "string:org.mpris.MediaPlayer2.Player", "string:Rate", "variant:double:0.75"});
    EXPECT_EQ(States(*w, {ID_AUDIO_SPEED1 + 2}), QStringLiteral("C"));

    ASSERT_TRUE(w->Choose(ID_AUDIO_STOP));
    EXPECT_EQ(Playerctl({"status"}), QStringLiteral("Stopped"));
    QByteArray heard;
    EXPECT_TRUE(WaitUntil([&] {
        heard += follow.readAllStandardOutput();
        return heard.contains("Stopped");
    }));
    EXPECT_EQ(QString::fromUtf8(heard).split('\n', Qt::SkipEmptyParts),
              (QStringList{"Playing", "Paused", "Playing", "Stopped"}));
    follow.kill();
    follow.waitForFinished();
}

QByteArray Golden(const char* name) {
    QFile file(QStringLiteral(PARLOTYPE_SOURCE_DIR "/tests/gui/golden/") + QLatin1String(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

TEST_F(WindowTest, SourceListings) {
    // What View Source or View Parse shows; "-" when no dialog came up.
    auto listing = [](TestWindow& w, int id) {
        QString shown = QStringLiteral("-");
        AnswerModals([&] { w.Choose(id); }, [&](QWidget* d) {
            EXPECT_EQ(d->windowTitle(), QStringLiteral("Source"));
            shown = DialogText(d);
            ClickButton(d, QStringLiteral("OK"));
        });
        return shown;
    };
    auto lines = [](const QByteArray& text) { return QString::fromUtf8(text).replace(QLatin1String("\r\n"), "\n"); };
    m_folder.Write(QStringLiteral("reading.htm"), Golden("reading.htm"));
    const QString page = m_folder.Path(QStringLiteral("reading.htm"));
    TestWindow w({page});
    ASSERT_TRUE(w.WaitForPage(QUrl::fromLocalFile(page)));
    EXPECT_EQ(listing(w, ID_VIEW_SOURCE), lines(Golden("reading.source.txt")));
    // Read afresh from the location, also when it carries an anchor.
    w.Web()->moveToAnchor(w.Web()->location() + QStringLiteral("#s1"));
    ASSERT_TRUE(w.WaitForFragment(QStringLiteral("s1")));
    EXPECT_EQ(listing(w, ID_VIEW_PARSE), lines(Golden("reading.parsed.txt")));

    // A Latin-1 page; an empty one.
    m_folder.Write(QStringLiteral("latin1.htm"), "<p title='caf\xe9'>na\xefve\r\n");
    ASSERT_TRUE(w.App().OpenDocumentFile(m_folder.Path(QStringLiteral("latin1.htm"))));
    ASSERT_TRUE(w.WaitForPage(m_folder.Url(QStringLiteral("latin1.htm"))));
    EXPECT_EQ(listing(w, ID_VIEW_SOURCE), QStringLiteral("<p title='caf\u00e9'>na\u00efve\n"));
    EXPECT_EQ(listing(w, ID_VIEW_PARSE), QStringLiteral("<P:\n  TITLE=\"caf\u00e9\"\n>\n\"na\u00efve\n\"\n"));
    QFile::resize(m_folder.Path(QStringLiteral("latin1.htm")), 0);
    EXPECT_EQ(listing(w, ID_VIEW_SOURCE), QString());
    // The page file gone: said, and no dialog; back, the listing shows.
    ASSERT_TRUE(QFile::remove(m_folder.Path(QStringLiteral("latin1.htm"))));
    EXPECT_EQ(listing(w, ID_VIEW_PARSE), QStringLiteral("-"));
    EXPECT_TRUE(Messages().startsWith(QStringLiteral("Could not open the page '%1'")
                                          .arg(m_folder.Path(QStringLiteral("latin1.htm")))));
    m_folder.Write(QStringLiteral("latin1.htm"), "<p>back");
    EXPECT_EQ(listing(w, ID_VIEW_PARSE), QStringLiteral("<P>\n\"back\"\n"));
    m_messages.clear();

    // A page from a web server, and the server gone: quietly nothing.
    QProcess server;
    server.start(QStringLiteral("python3"), {"-u", "-m", "http.server", "0", "--bind", "127.0.0.1", "--directory",
                                             m_folder.Path(QString())});
    QByteArray banner;
    ASSERT_TRUE(WaitUntil([&] { return (banner += server.readAllStandardOutput()).contains("port "); }));
    const QString port = QString::fromLatin1(banner).section(QStringLiteral("port "), 1).section(' ', 0, 0);
    const QUrl remote(QStringLiteral("http://127.0.0.1:%1/reading.htm").arg(port));
    w.View()->Navigate2(remote.toString());
    ASSERT_TRUE(w.WaitForPage(remote));
    EXPECT_EQ(listing(w, ID_VIEW_SOURCE), lines(Golden("reading.source.txt")));
    server.kill();
    server.waitForFinished();
    EXPECT_EQ(listing(w, ID_VIEW_SOURCE), QStringLiteral("-"));
    EXPECT_TRUE(m_messages.isEmpty()) << Messages().toStdString();
}

TEST_F(WindowTest, MakeScriptFromTheWindow) {
    testaudio::SpokenRecording rec;
    for (const char* s : {"The Fox and the Grapes", "A hungry fox saw some fine bunches of grapes.",
                          "He tried his best to reach them, but in vain."})
        ASSERT_TRUE(rec.addSentence(QLatin1String(s), "espeak:en-gb:150", 0.5));
    rec.addSilence(0.5);
    rec.addNoise(30);
    ASSERT_TRUE(rec.writeWave(m_folder.Path("fox.wav")));
    m_folder.Write("fox.txt", "The Fox and the Grapes\n\nA hungry fox saw some fine bunches of grapes.\n"
                              "He tried his best to reach them, but in vain.\n");
    TestWindow w;
    const QStringList answers{m_folder.Path("fox.wav"), m_folder.Path("fox.txt")};
    QStringList titles;
    bool progress = false;
    const QString page = m_folder.Path("fox.htm");
    AnswerModals([&] { ASSERT_TRUE(w.Choose(ID_FILE_MAKE_SCRIPT)); ASSERT_TRUE(w.WaitForPage(QUrl::fromLocalFile(page))); },
                 [&](QWidget* d) {
                     progress = progress || qobject_cast<QProgressDialog*>(d);
                     auto* dialog = qobject_cast<QFileDialog*>(d);
                     if (!dialog || titles.size() == answers.size()) return;
                     titles << dialog->windowTitle();
                     dialog->findChild<QLineEdit*>("fileNameEdit")->setText(answers[titles.size() - 1]);
                     static_cast<QDialog*>(dialog)->accept();
                 });
    EXPECT_TRUE(m_messages.isEmpty()) << Messages().toStdString();
    EXPECT_EQ(titles, (QStringList{"Make Script: the recording", "Make Script: its text, one sentence a line"}));
    EXPECT_TRUE(progress);
    EXPECT_EQ(w.Frame()->windowTitle(), QStringLiteral("fox.htm - Parlotype"));
    const auto items = testaudio::ReadPageItems(page);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_NEAR(items[1].start, rec.start(1), 0.08);
    ASSERT_TRUE(w.Click("a[name=s2]"));
    EXPECT_TRUE(WaitUntil([&] { return theReplayFile.GetFileName() == m_folder.Path("fox.wav"); }));
    EXPECT_NEAR(theReplayFile.GetPosition(), items[1].start, 0.05);
}

}  // namespace
