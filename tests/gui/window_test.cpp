// SPDX-License-Identifier: GPL-3.0-or-later
// The window under Xvfb with the real web engine and the simulated sound
// device on a stepped clock (time moves only when a test says so, so
// positions are exact), driven through menu commands, the page, dialogs and
// panes: documents, audio links and the page following the items, the
// transport, marks, printing, practice, media controls, listings, Make Script.
#include "gui/window.h"

#include "audio/replay_file.h"
#include "common/spoken_recording.h"
#include "common/test_audio.h"
#include "platform/message_box.h"
#include "platform/sim_audio.h"
#include "view/command_ids.h"
#include "view/parlotype_view.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QProcess>
#include <QProgressDialog>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineHistory>
#include <gtest/gtest.h>

namespace {

const QUrl kHome(QStringLiteral("res:/home.htm"));
const QString kMarked = QStringLiteral("(document.querySelector('.parlotype-current') || {}).name || ''");
const std::initializer_list<int> kTransport{ID_AUDIO_START, ID_AUDIO_STOP, ID_AUDIO_PAUSE, ID_AUDIO_REWIND,
                                            ID_AUDIO_FORWARD};

// a.wav (3 s: one device buffer, so only the updates move the page) has four
// items, out of page order, in mixed markup, and anchors that are no items
// (no name, empty name, no start); talk.wav (100 s) has two.
const QByteArray kPage =
    "<html><head><title>Practice page</title><style>.parlotype-current { color: rgb(1, 2, 3) }</style></head>\n"
    "<body><a id=play href='a.wav#0.2'>from 0.2</a> <a id=ranged href='a.wav#0.5#1.0'>0.5 to 1</a>\n"
    "<a id=from1 href='a.wav#1.0'>from 1</a> <a id=t10 href='talk.wav#10'>talk at 10</a>\n"
    "<a id=t2to4 href='talk.wav#2#4'>talk 2 to 4</a> <a id=t83 href='talk.wav#83.46'>talk at 83.46</a>\n"
    "<a id=other href='other.htm'>other</a> <a id=mixed href='clip.Wav#1'>mixed case</a>\n"
    "<a id=index href='index:anything'>index</a> <a id=missing href='missing.wav#1'>missing</a>\n"
    "<p><A NAME=s3 HREF=\"a.wav#1.5#2.0\">third</A><p><a name='s1' href='a.wav#0.5#1.0'>first</a>\n"
    "<p><a href=\"a.wav#1.0#1.5\" name=\"s2\">second</a><p><a name='s 4' href='a.wav#2.5'>fourth</a>\n"
    "<p><a href='a.wav#0.7'>no name</a> <a name='' href='a.wav#0.8'>empty</a> <a name=x href='a.wav#'>x</a>\n"
    "<p><a name=one href='talk.wav#0#30'>one</a> <a name=two id=two href='talk.wav#30#60'>two</a>\n"
    "<div style='height: 3000px'></div></body></html>\n";

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings().clear();
        platform::setAudioBackend(&m_sim);
        platform::SetMessageSink([this](const QString& text) { m_messages << text; });
        for (const auto& [name, seconds] : {std::pair{"a.wav", 3.0}, {"clip.Wav", 3.0}, {"talk.wav", 100.0}}) {
            const std::string pcm = testaudio::PcmBytes(testaudio::Sweep(8000, 1, seconds));
            m_folder.Write(QLatin1String(name), QByteArray::fromStdString(testaudio::WaveFile(1, 8000, 16, pcm)));
        }
        m_folder.Write("page.htm", kPage);
        m_folder.Write("other.htm", "<html><body>other</body></html>");
    }
    void TearDown() override {
        theReplayFile.Close();
        platform::SetMessageSink({});
        platform::setAudioBackend(nullptr);
    }
    std::unique_ptr<TestWindow> OpenPage() {
        auto w = std::make_unique<TestWindow>(QStringList{m_folder.Path("page.htm")});
        EXPECT_TRUE(w->WaitForPage(m_folder.Url("page.htm")));
        w->Frame()->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w->Frame()));
        return w;
    }
    // Clicks a link and waits until it plays `file` from `start`.
    bool Follow(TestWindow& w, const char* id, const char* file, double start) {
        return w.Click(QLatin1Char('#') + QLatin1String(id)) && WaitUntil([&] {
                   return theReplayFile.GetFileName() == m_folder.Path(QLatin1String(file)) &&
                          theReplayFile.IsPlaying() && std::abs(theReplayFile.GetPosition() - start) < 1e-9;
               });
    }
    // Lets `ms` of sound pass, a second at a time as buffers come back, then the updates run.
    void Advance(TestWindow& w, int ms) {
        for (int step; ms > 0; ms -= step) {
            m_sim.advance(step = std::min(ms, 1000));
            QCoreApplication::sendPostedEvents();
        }
        w.LetIdle();
    }
    std::string Messages() const { return m_messages.join('\n').toStdString(); }

    platform::SimAudioBackend m_sim{platform::SimAudioBackend::Clock::Stepped};
    PageFolder m_folder;
    QStringList m_messages;
};

TEST_F(WindowTest, DocumentsAndRecentFiles) {
    QStringList pages{m_folder.Path("p0.htm"), m_folder.Path("p1.htm")};
    {
        TestWindow w;
        const QString index = w.App().m_strHelpFilePath;
        ASSERT_TRUE(testaudio::WriteFile(index, "<html><body>index</body></html>"));
        ASSERT_TRUE(w.WaitForPage(kHome));
        EXPECT_EQ(w.Frame()->windowTitle(), QStringLiteral("Parlotype"));
        EXPECT_EQ(AnswerModals([&] { w.Choose(ID_VIEW_SOURCE); }, [](QWidget* d) { d->close(); }), 0);
        ASSERT_TRUE(w.Click(QStringLiteral("#start")));
        EXPECT_TRUE(w.WaitForPage(QUrl::fromLocalFile(index)));
        ASSERT_TRUE(w.Choose(ID_HELP));
        EXPECT_TRUE(w.WaitForPage(kHome));
        ASSERT_TRUE(w.Choose(ID_GO_HOME));
        EXPECT_TRUE(w.WaitForPage(QUrl::fromLocalFile(index)));

        AnswerModals([&] { w.Choose(ID_FILE_OPEN); }, [&](QWidget* d) {
            EXPECT_EQ(static_cast<QFileDialog*>(d)->nameFilters().value(0), QStringLiteral("Parlotype Files (*.htm)"));
            d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(m_folder.Path("page.htm"));
            static_cast<QDialog*>(d)->accept();
        });
        ASSERT_TRUE(w.WaitForPage(m_folder.Url("page.htm")));
        EXPECT_EQ(w.Frame()->windowTitle(), QStringLiteral("page.htm - Parlotype"));
        ASSERT_TRUE(w.Click(QStringLiteral("#index")));  // the pseudo-link "index:"
        EXPECT_TRUE(w.WaitForPage(QUrl::fromLocalFile(index)));
        QFile::remove(index);
        w.Frame()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.Frame()));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_N, Qt::ControlModifier);  // a new document
        EXPECT_TRUE(w.WaitForPage(kHome));
        EXPECT_TRUE(WaitUntil([&] { return w.Frame()->windowTitle() == QStringLiteral("Parlotype"); }));
        QString about;
        AnswerModals([&] { w.Choose(ID_APP_ABOUT); }, [&](QWidget* d) {
            for (const QLabel* label : d->findChildren<QLabel*>()) about += label->text();
            static_cast<QDialog*>(d)->accept();
        });
        EXPECT_TRUE(about.contains(QStringLiteral("Version " PARLOTYPE_VERSION))) << about.toStdString();

        // The File menu lists the recent files, newest first; one opens its script.
        for (const QString& p : pages) m_folder.Write(QFileInfo(p).fileName(), "<html><body>p</body></html>");
        for (const QString& p : pages) ASSERT_TRUE(w.App().OpenDocumentFile(p));
        EXPECT_EQ(w.Action(ID_FILE_MRU_FILE1)->text(), QStringLiteral("&1 %1").arg(pages[1]));
        EXPECT_EQ(w.Action(ID_FILE_MRU_FILE1 + 2)->text(), QStringLiteral("&3 %1").arg(m_folder.Path("page.htm")));
        ASSERT_TRUE(w.Choose(ID_FILE_MRU_FILE1 + 1));
        EXPECT_TRUE(w.WaitForPage(QUrl::fromLocalFile(pages[0])));
    }
    // The next start, given the script as a desktop's file URL, opens it and
    // finds the recent files kept.
    TestWindow w({QUrl::fromLocalFile(pages[1]).toString()});
    ASSERT_TRUE(w.WaitForPage(QUrl::fromLocalFile(pages[1])));
    EXPECT_EQ(w.Frame()->windowTitle(), QStringLiteral("p1.htm - Parlotype"));
    EXPECT_EQ(w.Action(ID_FILE_MRU_FILE1 + 1)->text(), QStringLiteral("&2 %1").arg(pages[0]));
    EXPECT_TRUE(m_messages.isEmpty()) << Messages();
}

TEST_F(WindowTest, AudioLinksPlayAndThePageFollowsTheItems) {
    auto w = OpenPage();
    const int history = w->Web()->history()->count();
    EXPECT_EQ(w->States(kTransport), QStringLiteral("-----"));
    ASSERT_TRUE(Follow(*w, "play", "a.wav", 0.2));
    // The link was cancelled: the page stayed and the history did not grow.
    EXPECT_TRUE(WaitUntil([&] { return w->LoadEnded(m_folder.Url("a.wav")) == QWebEngineLoadingInfo::LoadStoppedStatus; }));
    EXPECT_EQ(w->Web()->history()->count(), history);
    EXPECT_EQ(w->Pane(ID_INDICATOR_TIME) + w->Fragment(), QStringLiteral(" 0:00.2"));  // before the first item

    // Each item's start moves the page to its anchor and highlights it; the
    // anchors that are no items never do.
    for (const auto& [ms, anchor, pane] : {std::tuple{300, "s1", " 0:00.5"}, {250, "s1", " 0:00.7"}, {100, "s1", " 0:00.8"},
                                           {149, "s1", " 0:00.9"}, {1, "s2", " 0:01.0"}, {500, "s3", " 0:01.5"},
                                           {999, "s3", " 0:02.4"}, {1, "s 4", " 0:02.5"}}) {
        Advance(*w, ms);
        EXPECT_TRUE(w->WaitForFragment(QLatin1String(anchor))) << anchor << ": at " << w->Fragment().toStdString();
        EXPECT_TRUE(WaitUntil([&] { return w->Script(kMarked).toString() == QLatin1String(anchor); })) << anchor;
        EXPECT_EQ(w->Pane(ID_INDICATOR_TIME), QLatin1String(pane));
    }
    EXPECT_TRUE(w->Web()->location().endsWith(QLatin1String("#s%204")));
    // The page's own rule for the highlight wins; what it leaves is the program's.
    const QString style = QStringLiteral("getComputedStyle(document.querySelector('.parlotype-current')).");
    EXPECT_EQ(w->Script(style + "color").toString(), QStringLiteral("rgb(1, 2, 3)"));
    EXPECT_NE(w->Script(style + "backgroundColor").toString(), QStringLiteral("rgba(0, 0, 0, 0)"));
    ASSERT_TRUE(w->Choose(ID_AUDIO_STOP));
    EXPECT_TRUE(WaitUntil([&] { return (w->Pane(ID_INDICATOR_TIME) + w->Script(kMarked).toString()).isEmpty(); }));

    // An end time: playback goes on at it and stops at the first update after.
    ASSERT_TRUE(Follow(*w, "ranged", "a.wav", 0.5));
    Advance(*w, 500);
    EXPECT_EQ(w->States({ID_AUDIO_STOP}), QStringLiteral("E"));
    EXPECT_TRUE(w->WaitForFragment(QStringLiteral("s2")));
    Advance(*w, 1);
    EXPECT_EQ(w->States({ID_AUDIO_STOP}), QStringLiteral("-"));
    EXPECT_EQ(m_sim.openOutputs(), 0);
    // Single Item Play stops where the next item starts.
    ASSERT_TRUE(w->Choose(ID_AUDIO_SINGLE));
    ASSERT_TRUE(Follow(*w, "from1", "a.wav", 1.0));
    Advance(*w, 499);
    EXPECT_EQ(w->States({ID_AUDIO_SINGLE, ID_AUDIO_STOP}), QStringLiteral("CE"));
    Advance(*w, 1);
    EXPECT_EQ(w->States({ID_AUDIO_STOP}), QStringLiteral("-"));
    w->LetIdle(100);
    EXPECT_EQ(w->Fragment(), QStringLiteral("s2"));
    ASSERT_TRUE(w->Choose(ID_AUDIO_SINGLE));
    // Follow Page off: the highlight moves on, the page stays.
    ASSERT_TRUE(w->Choose(ID_VIEW_FOLLOW));
    ASSERT_TRUE(Follow(*w, "play", "a.wav", 0.2));
    Advance(*w, 1300);
    EXPECT_TRUE(WaitUntil([&] { return w->Script(kMarked).toString() == QLatin1String("s3"); }));
    w->LetIdle(100);
    EXPECT_EQ(w->Fragment(), QStringLiteral("s2"));
    ASSERT_TRUE(w->Choose(ID_VIEW_FOLLOW));

    // A second link to the file loaded neither rescans the page file nor
    // reloads the page; a link to another file scans the file as it is now.
    m_folder.Write("page.htm", "<a name=x1 href='talk.wav#20'>x1</a><a name=x2 href='talk.wav#40'>x2</a>");
    w->Script(QStringLiteral("window.mark = 42"));
    ASSERT_TRUE(Follow(*w, "from1", "a.wav", 1.0));
    EXPECT_TRUE(w->WaitForFragment(QStringLiteral("s2")));
    ASSERT_TRUE(Follow(*w, "t10", "talk.wav", 10.0));
    ASSERT_TRUE(w->Choose(ID_AUDIO_NEXT_ITEM));
    EXPECT_EQ(theReplayFile.GetPosition(), 20.0);
    EXPECT_TRUE(w->WaitForFragment(QStringLiteral("x1")));
    EXPECT_EQ(w->Script(QStringLiteral("window.mark")).toInt(), 42);
    // The page file gone: said, and playback goes on without items.
    ASSERT_TRUE(QFile::remove(m_folder.Path("page.htm")));
    ASSERT_TRUE(Follow(*w, "play", "a.wav", 0.2));
    EXPECT_TRUE(m_messages.value(0).startsWith(QStringLiteral("Could not open the page '%1'").arg(m_folder.Path("page.htm"))))
        << Messages();
    EXPECT_EQ(w->States({ID_AUDIO_NEXT_ITEM, ID_AUDIO_PREV_ITEM}), QStringLiteral("--"));
    m_messages.clear();
    m_folder.Write("page.htm", kPage);

    // A missing audio file is said in a real message box (run inside the
    // engine's navigation callback), nothing stays loaded, and the engine shows its error page.
    platform::SetMessageSink({});
    QString box;
    AnswerModals([&] {
        ASSERT_TRUE(w->Click(QStringLiteral("#missing")));
        EXPECT_TRUE(WaitUntil([&] { return w->LoadEnded(m_folder.Url("missing.wav")) == QWebEngineLoadingInfo::LoadFailedStatus; }));
    }, [&](QWidget* d) { box = static_cast<QMessageBox*>(d)->text(), static_cast<QDialog*>(d)->accept(); });
    EXPECT_EQ(box, QStringLiteral("Could not open '%1'").arg(m_folder.Path("missing.wav")));
    EXPECT_EQ(w->States(kTransport), QStringLiteral("-----"));
    // Mixed-case extensions are no audio links; Back and Forward follow the history.
    for (const char* link : {"#mixed", "#other"}) {
        ASSERT_TRUE(w->Choose(ID_GO_BACK));
        ASSERT_TRUE(w->WaitForPage(m_folder.Url("page.htm")));
        ASSERT_TRUE(w->Click(QLatin1String(link)));
        EXPECT_TRUE(WaitUntil([&] { return w->Web()->url().adjusted(QUrl::RemoveFragment) != m_folder.Url("page.htm"); }));
    }
    EXPECT_TRUE(w->WaitForPage(m_folder.Url("other.htm")));
    EXPECT_FALSE(theReplayFile.IsLoaded());
    ASSERT_TRUE(w->Choose(ID_GO_BACK));
    ASSERT_TRUE(w->WaitForPage(m_folder.Url("page.htm")));
    ASSERT_TRUE(w->Choose(ID_GO_FORWARD));
    EXPECT_TRUE(w->WaitForPage(m_folder.Url("other.htm")));
}

// How often the event loop is about to wait within `ms`.
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
    const int quiet = WakeUps(*w, 500);
    ASSERT_TRUE(Follow(*w, "t10", "talk.wav", 10.0));
    EXPECT_EQ(w->States(kTransport), QStringLiteral("EEEEE"));
    // The updates are woken while a file plays, and only then.
    EXPECT_GE(WakeUps(*w, 500), 500 / CParlotypeView::kTrackWakeMs * 3 / 4);
    ASSERT_TRUE(w->Choose(ID_AUDIO_PAUSE));
    EXPECT_EQ(w->States(kTransport), QStringLiteral("EECEE"));
    EXPECT_LE(WakeUps(*w, 500), quiet + 5);
    ASSERT_TRUE(w->Choose(ID_AUDIO_PAUSE));
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_P, Qt::Key_S, Qt::Key_Return, Qt::Key_Left, Qt::Key_Backspace})
        QTest::keyClick(w->Frame()->GetActiveView(), key);  // keys on the view itself do nothing
    EXPECT_EQ(w->States(kTransport), QStringLiteral("EEEEE"));
    EXPECT_EQ(theReplayFile.GetPosition(), 10.0);
    ASSERT_TRUE(w->Choose(ID_AUDIO_STOP) && w->Choose(ID_AUDIO_PAUSE));  // nothing plays: Pause does nothing
    EXPECT_EQ(w->States(kTransport), QStringLiteral("E-EEE"));

    // Start plays from the beginning; Rewind and Forward move by 15 s, not
    // before 0, and a paused player restarts unpaused.
    ASSERT_TRUE(w->Choose(ID_AUDIO_START));
    EXPECT_EQ(theReplayFile.GetPosition(), 0.0);
    for (const auto& [ms, pause, command, at] :
         {std::tuple{10000, false, ID_AUDIO_REWIND, 0.0}, {20000, false, ID_AUDIO_REWIND, 5.0}, {0, false, ID_AUDIO_FORWARD, 20.0},
          {1500, true, ID_AUDIO_REWIND, 6.5}, {0, true, ID_AUDIO_FORWARD, 21.5}, {70000, false, ID_AUDIO_FORWARD, 106.5}}) {
        Advance(*w, ms);
        ASSERT_TRUE((!pause || w->Choose(ID_AUDIO_PAUSE)) && w->Choose(command));
        EXPECT_EQ(theReplayFile.GetPosition(), at);
        EXPECT_TRUE(at > 100 || w->States(kTransport) == QLatin1String("EEEEE")) << at;  // unpaused
    }
    // Transport commands keep the link's end time.
    ASSERT_TRUE(Follow(*w, "t2to4", "talk.wav", 2.0) && w->Choose(ID_AUDIO_START));
    Advance(*w, 4000);
    EXPECT_EQ(w->States({ID_AUDIO_STOP}), QStringLiteral("E"));
    Advance(*w, 100);
    EXPECT_EQ(w->States({ID_AUDIO_STOP}), QStringLiteral("-"));
    ASSERT_TRUE(w->Choose(ID_AUDIO_START) && w->Choose(ID_AUDIO_FORWARD));
    EXPECT_TRUE(WaitUntil([&] { return w->States({ID_AUDIO_STOP}) == QLatin1String("-"); }));
    // Rewinding into the item before ends Single Item Play; without it, playing goes on.
    for (const bool single : {true, false}) {
        ASSERT_TRUE((!single || w->Choose(ID_AUDIO_SINGLE)) && Follow(*w, "two", "talk.wav", 30.0));
        Advance(*w, 5000);
        ASSERT_TRUE(w->Choose(ID_AUDIO_REWIND));
        Advance(*w, 100);
        EXPECT_EQ(w->States({ID_AUDIO_STOP}), single ? QStringLiteral("-") : QStringLiteral("E"));
        ASSERT_TRUE(!single || w->Choose(ID_AUDIO_SINGLE));
    }

    // Mark! notes the file and the position to a tenth; View > Marks shows
    // them, one a line, and Clear empties the list only when OK follows.
    auto marks = [&](std::initializer_list<const char*> buttons) {
        QString shown;
        AnswerModals([&] { w->Choose(ID_VIEW_MARKS); }, [&](QWidget* d) {
            shown = DialogText(d);
            for (const char* b : buttons) EXPECT_TRUE(ClickButton(d, QLatin1String(b))) << b;
            if (d->isVisible()) shown += DialogText(d), QTest::keyClick(d, Qt::Key_Escape);
        });
        return shown;
    };
    ASSERT_TRUE(w->Choose(ID_AUDIO_STOP) && w->Choose(ID_AUDIO_MARK));  // stopped: no mark
    ASSERT_TRUE(Follow(*w, "t83", "talk.wav", 83.46));
    ASSERT_TRUE(w->Choose(ID_AUDIO_MARK) && w->Choose(ID_AUDIO_MARK));
    ASSERT_TRUE(Follow(*w, "play", "a.wav", 0.2));
    Advance(*w, 1000);
    ASSERT_TRUE(w->Choose(ID_AUDIO_PAUSE));
    Advance(*w, 1000);
    ASSERT_TRUE(w->Choose(ID_AUDIO_MARK));  // paused: the paused position
    const QString all = QStringLiteral("%1#83.5\n%1#83.5\n%2#1.2\n").arg(m_folder.Path("talk.wav"), m_folder.Path("a.wav"));
    EXPECT_EQ(marks({"Clear"}), all);  // emptied at once, kept after Escape
    EXPECT_EQ(marks({"Clear", "Cancel"}), all);
    EXPECT_EQ(marks({"OK"}), all);
    EXPECT_EQ(marks({"Clear", "OK"}), all);
    ASSERT_TRUE(w->Choose(ID_AUDIO_MARK));
    EXPECT_EQ(marks({"OK"}), QStringLiteral("%1#1.2\n").arg(m_folder.Path("a.wav")));

    // Print asks with the print dialog (there is no printer here): cancelled,
    // nothing is printed; else the dialog's file gets the page.
    const QString pdf = m_folder.Path("printed.pdf");
    QSignalSpy printed(w->Web(), &QWebEngineView::printFinished);
    for (const bool print : {false, true}) {
        EXPECT_EQ(AnswerModals([&] { w->Choose(ID_FILE_PRINT); }, [&](QWidget* d) {
            if (!print) return static_cast<QDialog*>(d)->reject();
            d->findChild<QLineEdit*>(QStringLiteral("filename"))->setText(pdf);
            static_cast<QDialog*>(d)->accept();
        }), 1);
        EXPECT_TRUE(!print || printed.size() == 1 || printed.wait(20000));
        EXPECT_EQ(QFile::exists(pdf), print);
    }
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.read(5), QByteArray("%PDF-"));
    EXPECT_TRUE(m_messages.isEmpty()) << Messages();
}

TEST_F(WindowTest, PracticeControlsAndTheirSettings) {
    auto w = OpenPage();
    ASSERT_TRUE(Follow(*w, "play", "a.wav", 0.2));
    Advance(*w, 400);  // 0.6: s1
    for (const auto& [command, at] : {std::pair{ID_AUDIO_NEXT_ITEM, 1.0}, {ID_AUDIO_NEXT_ITEM, 1.5},
                                      {ID_AUDIO_PREV_ITEM, 1.0}, {ID_AUDIO_PREV_ITEM, 0.5}}) {
        ASSERT_TRUE(w->Choose(command));
        EXPECT_NEAR(theReplayFile.GetPosition(), at, 1e-6);
        EXPECT_TRUE(w->WaitForFragment(QStringLiteral("s%1").arg(int(at * 2))));
        Advance(*w, 100);
    }
    const std::initializer_list<int> speeds{ID_AUDIO_SPEED1, ID_AUDIO_SPEED1 + 4, ID_AUDIO_SLOWER, ID_AUDIO_FASTER};
    EXPECT_EQ(w->States(speeds), QStringLiteral("ECEE"));
    EXPECT_EQ(w->Pane(ID_INDICATOR_SPEED), QString());  // no pane at 1x
    ASSERT_TRUE(w->Choose(ID_AUDIO_SPEED1));
    EXPECT_EQ(w->States(speeds), QStringLiteral("CE-E"));
    // The stretch 0.5-1.0 at half speed: the time pane and the end stop in file time.
    ASSERT_TRUE(Follow(*w, "ranged", "a.wav", 0.5));
    Advance(*w, 400);
    EXPECT_EQ(w->Pane(ID_INDICATOR_TIME), QStringLiteral(" 0:00.7"));
    Advance(*w, 560);
    EXPECT_EQ(w->States({ID_AUDIO_STOP}), QStringLiteral("E"));
    Advance(*w, 40);
    EXPECT_EQ(w->States({ID_AUDIO_STOP}), QStringLiteral("-"));

    // The page has the keyboard: reading keys stay the page's, transport keys reach the program.
    w->Script(QStringLiteral("window.scrollTo(0, 0)"));
    ASSERT_TRUE(w->Click(QStringLiteral("#play")));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_TRUE(WaitUntil([&] { return w->Script(QStringLiteral("window.scrollY")).toInt() > 0; }));
    for (const auto& [key, states, speed] : {std::tuple{Qt::Key_F6, "ECE", "0.5"}, {Qt::Key_F6, "EEE", "0.5"},
                                             {Qt::Key_F10, "EEE", "0.6"}, {Qt::Key_F9, "EEE", "0.5"},
                                             {Qt::Key_F9, "EEE", "0.5"}, {Qt::Key_F3, "EEC", "0.5"}, {Qt::Key_F4, "-EC", "0.5"}}) {
        QTest::keyClick(QApplication::focusWidget(), key);
        EXPECT_EQ(w->States({ID_AUDIO_STOP, ID_AUDIO_PAUSE, ID_AUDIO_REPEAT}), QLatin1String(states)) << key;
        EXPECT_EQ(w->Pane(ID_INDICATOR_SPEED), QLatin1String(speed) + QChar(0x00d7)) << key;
    }
    ASSERT_TRUE(Follow(*w, "play", "a.wav", 0.2));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F7);
    EXPECT_NEAR(theReplayFile.GetPosition(), 15.2, 1e-6);  // 15 s of the file
    ASSERT_TRUE(w->Choose(ID_AUDIO_SPEED1 + 4));

    // Repeat: the stretch again from its start just past its end; a link
    // without an end time when the file's data ends; with Single Item Play,
    // the item sounding when the next starts.
    ASSERT_TRUE(Follow(*w, "ranged", "a.wav", 0.5));
    for (int round = 0; round < 2; ++round) {
        Advance(*w, 500);
        Advance(*w, 2);
        EXPECT_EQ(theReplayFile.GetPosition(), 0.5) << round;
    }
    ASSERT_TRUE(Follow(*w, "play", "a.wav", 0.2));
    Advance(*w, 2900);
    EXPECT_TRUE(WaitUntil([&] { return w->LetIdle(), theReplayFile.IsPlaying() && theReplayFile.GetPosition() == 0.2; }));
    ASSERT_TRUE(w->Choose(ID_AUDIO_SINGLE));
    Advance(*w, 400);  // 0.6: s1
    Advance(*w, 400);  // 1.0: s2 would start
    EXPECT_EQ(theReplayFile.GetPosition(), 0.5);
    EXPECT_EQ(w->States({ID_AUDIO_STOP}), QStringLiteral("E"));
    for (int id : {ID_AUDIO_SINGLE, ID_AUDIO_STOP, ID_AUDIO_REPEAT, ID_AUDIO_PAUSE_AFTER}) ASSERT_TRUE(w->Choose(id));

    // Pause After Each Item: after s1 (0.5 s of the file) the reader's turn
    // of 0.5 s, then s2; Pause during a turn ends it.
    ASSERT_TRUE(Follow(*w, "play", "a.wav", 0.2));
    Advance(*w, 400);  // 0.6: s1, no turn before it
    EXPECT_EQ(w->Pane(ID_INDICATOR_TURN), QString());
    Advance(*w, 400);  // 1.0: s2 starts
    QElapsedTimer turn;
    turn.start();
    EXPECT_EQ(w->Pane(ID_INDICATOR_TURN), QStringLiteral("Your turn"));
    EXPECT_EQ(w->States({ID_AUDIO_PAUSE}), QStringLiteral("C"));
    ASSERT_TRUE(WaitUntil([&] { return w->States({ID_AUDIO_PAUSE}) == QLatin1String("E"); }, 3000));
    EXPECT_NEAR(double(turn.elapsed()), 500.0, 150.0);
    EXPECT_EQ(w->Pane(ID_INDICATOR_TURN), QString());
    Advance(*w, 500);  // 1.5: s3 starts
    EXPECT_EQ(w->Pane(ID_INDICATOR_TURN), QStringLiteral("Your turn"));
    ASSERT_TRUE(w->Choose(ID_AUDIO_PAUSE));
    EXPECT_EQ(w->Pane(ID_INDICATOR_TURN) + w->States({ID_AUDIO_PAUSE}), QStringLiteral("E"));
    for (int id : {int(ID_AUDIO_SPEED1) + 7, int(ID_VIEW_FOLLOW), int(ID_AUDIO_REPEAT)}) ASSERT_TRUE(w->Choose(id));
    EXPECT_TRUE(m_messages.isEmpty()) << Messages();

    // The next run starts with the speed and the switches as they were.
    w.reset();
    w = OpenPage();
    EXPECT_EQ(w->States({ID_AUDIO_SPEED1 + 7, ID_AUDIO_FASTER, ID_AUDIO_REPEAT, ID_AUDIO_PAUSE_AFTER, ID_VIEW_FOLLOW}),
              QStringLiteral("C-CCE"));
    EXPECT_EQ(w->Pane(ID_INDICATOR_SPEED), QStringLiteral("2\u00d7"));
}

// A desktop client run to its end on the test services' private session bus; its output.
QString Client(const QStringList& args, const QString& program = QStringLiteral("playerctl")) {
    QProcess p;
    p.start(program, program == QLatin1String("playerctl") ? QStringList{"-p", "parlotype"} + args : args);
    EXPECT_TRUE(WaitUntil([&] { return p.state() == QProcess::NotRunning; }) && p.exitCode() == 0) << args.join(' ').toStdString();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

TEST_F(WindowTest, DesktopMediaControls) {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) << "the test services start a session bus";
    auto w = OpenPage();
    EXPECT_EQ(Client({"status"}), QStringLiteral("Stopped"));
    ASSERT_TRUE(Follow(*w, "play", "a.wav", 0.2));
    QProcess follow;  // the changes as a panel hears them
    follow.start(QStringLiteral("playerctl"), {"-p", "parlotype", "status", "--follow"});
    ASSERT_TRUE(follow.waitForStarted());
    EXPECT_EQ(Client({"metadata", "--format", "{{status}}|{{xesam:url}}|{{xesam:title}}|{{mpris:length}}"}),
              "Playing|" + m_folder.Url("a.wav").toString() + QStringLiteral("|Practice page|3000000"));
    EXPECT_NEAR(Client({"position"}).toDouble(), 0.2, 0.05);
    Client({"play-pause"});
    EXPECT_EQ(w->States({ID_AUDIO_PAUSE}) + Client({"status"}), QStringLiteral("CPaused"));
    Client({"play-pause"});
    EXPECT_EQ(w->States({ID_AUDIO_PAUSE}), QStringLiteral("E"));
    Advance(*w, 400);  // 0.6: s1
    for (const auto& [args, at] : {std::pair{QStringList{"next"}, 1.0}, {QStringList{"next"}, 1.5}, {QStringList{"previous"}, 1.0},
                                   {QStringList{"position", "0.3"}, 0.3}, {QStringList{"position", "0.5+"}, 0.9}}) {
        Client(args);
        EXPECT_NEAR(theReplayFile.GetPosition(), at, 1e-6) << args.join(' ').toStdString();
        Advance(*w, 100);
    }
    // The rate is the speed of Audio > Speed.
    Client({"--session", "--print-reply", "--dest=org.mpris.MediaPlayer2.parlotype", "/org/mpris/MediaPlayer2",
            "org.freedesktop.DBus.Properties.Set", "string:org.mpris.MediaPlayer2.Player", "string:Rate",
            "variant:double:0.75"}, QStringLiteral("dbus-send"));
    EXPECT_EQ(w->States({ID_AUDIO_SPEED1 + 2}), QStringLiteral("C"));
    ASSERT_TRUE(w->Choose(ID_AUDIO_STOP));
    QByteArray heard;
    EXPECT_TRUE(WaitUntil([&] { return (heard += follow.readAllStandardOutput()).contains("Stopped"); }));
    EXPECT_EQ(QString::fromUtf8(heard).split('\n', Qt::SkipEmptyParts), (QStringList{"Playing", "Paused", "Playing", "Stopped"}));
    follow.kill();
    follow.waitForFinished();
}

QString Golden(const char* name) {
    QFile file(QStringLiteral(PARLOTYPE_SOURCE_DIR "/tests/gui/golden/") + QLatin1String(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return QString::fromUtf8(file.readAll()).replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

TEST_F(WindowTest, SourceListings) {
    // What View Source or View Parse shows; "-" when no dialog came up.
    auto listing = [](TestWindow& w, int id) {
        QString shown = QStringLiteral("-");
        AnswerModals([&] { w.Choose(id); }, [&](QWidget* d) {
            shown = d->windowTitle() == QLatin1String("Source") ? DialogText(d) : d->windowTitle();
            ClickButton(d, QStringLiteral("OK"));
        });
        return shown;
    };
    QFile::copy(QStringLiteral(PARLOTYPE_SOURCE_DIR "/tests/gui/golden/reading.htm"), m_folder.Path("reading.htm"));
    TestWindow w({m_folder.Path("reading.htm")});
    ASSERT_TRUE(w.WaitForPage(m_folder.Url("reading.htm")));
    EXPECT_EQ(listing(w, ID_VIEW_SOURCE), Golden("reading.source.txt"));
    w.Web()->moveToAnchor(w.Web()->location() + QStringLiteral("#s1"));  // read afresh, anchor or not
    ASSERT_TRUE(w.WaitForFragment(QStringLiteral("s1")));
    EXPECT_EQ(listing(w, ID_VIEW_PARSE), Golden("reading.parsed.txt"));
    m_folder.Write("latin1.htm", "<p title='caf\xe9'>na\xefve\r\n");
    ASSERT_TRUE(w.App().OpenDocumentFile(m_folder.Path("latin1.htm")));
    ASSERT_TRUE(w.WaitForPage(m_folder.Url("latin1.htm")));
    EXPECT_EQ(listing(w, ID_VIEW_PARSE), QStringLiteral("<P:\n  TITLE=\"caf\u00e9\"\n>\n\"na\u00efve\n\"\n"));
    QFile::resize(m_folder.Path("latin1.htm"), 0);
    EXPECT_EQ(listing(w, ID_VIEW_SOURCE), QString());
    ASSERT_TRUE(QFile::remove(m_folder.Path("latin1.htm")));  // gone: said, and no dialog
    EXPECT_EQ(listing(w, ID_VIEW_SOURCE), QStringLiteral("-"));
    EXPECT_TRUE(m_messages.value(0).startsWith(QStringLiteral("Could not open the page '%1'").arg(m_folder.Path("latin1.htm"))));
    m_messages.clear();

    // A page from a web server, and the server gone: quietly nothing.
    QProcess server;
    server.start(QStringLiteral("python3"), {"-u", "-m", "http.server", "0", "--bind", "127.0.0.1", "--directory", m_folder.Path({})});
    QByteArray banner;
    ASSERT_TRUE(WaitUntil([&] { return (banner += server.readAllStandardOutput()).contains("port "); }));
    const QUrl remote("http://127.0.0.1:" + QString::fromLatin1(banner).section("port ", 1).section(' ', 0, 0) + "/reading.htm");
    w.Frame()->GetActiveView()->Navigate2(remote.toString());
    ASSERT_TRUE(w.WaitForPage(remote));
    EXPECT_EQ(listing(w, ID_VIEW_SOURCE), Golden("reading.source.txt"));
    server.kill();
    server.waitForFinished();
    EXPECT_EQ(listing(w, ID_VIEW_SOURCE), QStringLiteral("-"));
    EXPECT_TRUE(m_messages.isEmpty()) << Messages();
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
    QStringList titles;
    bool progress = false;
    AnswerModals([&] { w.Choose(ID_FILE_MAKE_SCRIPT), w.WaitForPage(m_folder.Url("fox.htm")); },
                 [&](QWidget* d) {
                     progress = progress || qobject_cast<QProgressDialog*>(d);
                     if (!qobject_cast<QFileDialog*>(d) || titles.size() == 2) return;
                     titles << d->windowTitle();
                     d->findChild<QLineEdit*>("fileNameEdit")->setText(m_folder.Path(titles.size() == 1 ? "fox.wav" : "fox.txt"));
                     static_cast<QDialog*>(d)->accept();
                 });
    EXPECT_TRUE(m_messages.isEmpty()) << Messages();
    EXPECT_EQ(titles, (QStringList{"Make Script: the recording", "Make Script: its text, one sentence a line"}));
    EXPECT_TRUE(progress);
    ASSERT_EQ(w.Frame()->windowTitle(), QStringLiteral("fox.htm - Parlotype"));
    ASSERT_TRUE(w.Click("a[name=s2]"));
    EXPECT_TRUE(WaitUntil([&] { return theReplayFile.GetFileName() == m_folder.Path("fox.wav"); }));
    EXPECT_NEAR(theReplayFile.GetPosition(), rec.start(1), 0.1);
}

}  // namespace
