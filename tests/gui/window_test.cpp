// SPDX-License-Identifier: GPL-3.0-or-later
// The window under Xvfb (real web engine; simulated sound device on a stepped clock), driven as a user does.
#include "gui/window.h"

#include "audio/recorder.h"
#include "audio/sample_block.h"
#include "common/spoken_recording.h"
#include "compare/script_item.h"
#include "takes/take_store.h"
#include "ui/comparison_pane.h"
#include "ui/takes_panel.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QDBusConnection>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

namespace {

const QUrl kHome(QStringLiteral("res:/home.htm"));
const QString kMarked = QStringLiteral("(document.querySelector('.parlotype-current') || {}).name || ''");
const std::initializer_list<const char*> kTransport{"audioStart", "audioStop", "audioPause", "audioRewind", "audioForward"};
constexpr int kBlock = SampleBlock::kSamples, kRecStep = 40;  // samples kept per input buffer; a step shorter than one

// a.wav (3 s, one device buffer) has four items, out of page order.
const QByteArray kPage =
    "<html><head><title>Practice page</title></head>\n"
    "<body><a id=play href='a.wav#0.2'>from 0.2</a> <a id=ranged href='a.wav#0.5#1.0'>0.5 to 1</a>\n"
    "<a id=from1 href='a.wav#1.0'>from 1</a> <a id=t10 href='talk.wav#10'>talk at 10</a>\n"
    "<a id=t83 href='talk.wav#83.46'>talk at 83.46</a> <a id=other href='other.htm'>other</a>\n"
    "<a id=index href='index:anything'>index</a> <a id=missing href='missing.wav#1'>missing</a> <a id=past href='a.wav#9'>past</a>\n"
    "<p><A NAME=s3 HREF=\"a.wav#1.5#2.0\">third</A><p><a name='s1' href='a.wav#0.5#1.0'><span class=w data-begin=0.5 data-end=0.7>fi</span> <span class=w data-begin=0.75 data-end=1.0>rst</span></a>\n"
    "<p><a href=\"a.wav#1.0#1.5\" name=\"s2\">second</a><p><a name='s 4 caf\xc3\xa9 &amp; more' href='a.wav#2.5'>fourth</a>\n"
    "<div style='height: 3000px'></div></body></html>\n";

QByteArray leftBytes(int count) {  // the recorded input's left channel, frame * 7 + 3
    QByteArray bytes;
    for (int f = 0; f < count; ++f) bytes.append(char((f * 7 + 3) & 0xff)).append(char(((f * 7 + 3) >> 8) & 0xff));
    return bytes;
}

void accept(QWidget* dialog, const QString& field, const QString& text) {  // a file or print dialog
    dialog->findChild<QLineEdit*>(field)->setText(text);
    static_cast<QDialog*>(dialog)->accept();
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings().clear();
        m_sim.setKeepPlayed(true);
        m_sim.setInputSignal([](uint64_t f, int c) { return int16_t(c == 0 ? f * 7 + 3 : -int(f % 977) - 11); });
        for (const auto& [name, seconds] : {std::pair{"a.wav", 3.0}, {"talk.wav", 100.0}})
            m_folder.write(QLatin1String(name), QByteArray::fromStdString(testaudio::waveFile(
                                                    1, 8000, 16, testaudio::pcmBytes(testaudio::sweep(8000, 1, seconds)))));
        m_folder.write("page.htm", kPage);
        m_folder.write("other.htm", "<html><body>other</body></html>");
    }
    void TearDown() override {
        EXPECT_EQ(m_messages, QStringList{}) << "messages the test did not expect";
        w.reset();
        setSampleBlockLimit(-1);
    }
    QStringList takeMessages() { return std::exchange(m_messages, {}); }
    platform::Messages::Sink collect() {
        return [this](const QString& text) { m_messages << text; };
    }
    void openPage() {  // with the keyboard
        w = std::make_unique<TestWindow>(QStringList{m_folder.path("page.htm")}, m_sim, collect());
        ASSERT_TRUE(w->waitForPage(m_folder.url("page.htm")));
        w->frame()->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w->frame()));
    }
    bool follow(const char* id, const char* file, double start) {
        return w->click(QLatin1Char('#') + QLatin1String(id)) && waitUntil([&] {
                   return w->playback().fileName() == m_folder.path(QLatin1String(file)) &&
                          w->playback().isPlaying() && std::abs(w->playback().position() - start) < 1e-9;
               });
    }
    void advance(int ms, int step = 1000) {
        for (int s; ms > 0; ms -= s) {
            m_sim.advance(s = std::min(ms, step));
            QCoreApplication::sendPostedEvents();
        }
        if (step != kRecStep) runFor(30);  // the updates run
    }
    QString recState() {  // Record and Play Recorded; the recording pane must agree
        const QString s = w->states({"audioRecord", "audioPlayRecorded"});
        EXPECT_EQ(w->pane("recording"), s[0] == 'C' ? QStringLiteral("** Recording **") : QString());
        return s;
    }
    void record(int blocks) {  // `blocks` input buffers and a little more; the one being filled is not kept
        ASSERT_TRUE(w->choose("audioRecord"));
        EXPECT_EQ(recState(), QStringLiteral("CE"));
        for (int i = 0; i < 10 * blocks + 10 && w->recording().recordedSamples() < blocks * kBlock; ++i) advance(10, kRecStep);
        advance(30, kRecStep);
        ASSERT_TRUE(w->choose("audioRecord"));
    }
    QByteArray replay(bool direct = false) {
        m_sim.clearPlayed();
        EXPECT_TRUE(direct ? (w->frame()->action("audioPlayRecorded")->trigger(), true) : w->choose("audioPlayRecorded"));
        for (int t = 0; t < 3000 && w->recording().isReplaying(); t += 40) advance(40, kRecStep);
        EXPECT_EQ(recState(), QStringLiteral("EE"));
        return m_sim.played();
    }

    platform::SimAudioBackend m_sim{platform::SimAudioBackend::Clock::Stepped};
    PageFolder m_folder;
    QStringList m_messages;
    std::unique_ptr<TestWindow> w;
};

TEST_F(WindowTest, DocumentsListingsAndMakeScript) {
    QStringList pages;
    for (const char* name : {"p0.htm", "p1.htm", "p2.htm", "p3.htm"})
        pages << m_folder.path(name), m_folder.write(name, "<html><body>p</body></html>");
    w = std::make_unique<TestWindow>(QStringList{}, m_sim, collect());
    const QString index = w->app().scriptIndex();
    ASSERT_TRUE(testaudio::writeFile(index, "<html><body>index</body></html>"));
    ASSERT_TRUE(w->waitForPage(kHome));
    ASSERT_TRUE(w->click(QStringLiteral("#start")) && w->waitForPage(QUrl::fromLocalFile(index)));
    ASSERT_TRUE(w->choose("helpContents") && w->waitForPage(kHome));
    ASSERT_TRUE(w->choose("goHome") && w->waitForPage(QUrl::fromLocalFile(index)));
    answerModals([&] { w->choose("fileOpen"); }, [&](QWidget* d) { accept(d, "fileNameEdit", m_folder.path("page.htm")); });
    ASSERT_TRUE(w->waitForPage(m_folder.url("page.htm")));
    EXPECT_EQ(w->frame()->windowTitle(), QStringLiteral("page.htm - Parlotype"));
    ASSERT_TRUE(w->click(QStringLiteral("#index")) && w->waitForPage(QUrl::fromLocalFile(index)));  // the pseudo-link
    ASSERT_TRUE(QFile::remove(index) && w->choose("homePage") && w->waitForPage(kHome));
    EXPECT_TRUE(waitUntil([&] { return w->frame()->windowTitle() == QStringLiteral("Parlotype"); }));
    // The File menu lists four recent files, newest first; one opens its script.
    for (const QString& p : pages) ASSERT_TRUE(w->app().openScript(p));
    EXPECT_EQ(w->action("fileRecent0")->text() + w->action("fileRecent3")->text(),
              QStringLiteral("&1 %1&4 %2").arg(pages[3], pages[0]));
    ASSERT_TRUE(w->waitForPage(QUrl::fromLocalFile(pages[3])));  // one load at a time, as a user's clicks come
    ASSERT_TRUE(w->choose("fileRecent3") && w->waitForPage(QUrl::fromLocalFile(pages[0])));
    // The next start, given a desktop's file URL, opens it and finds the recent files kept, once each.
    w.reset();
    w = std::make_unique<TestWindow>(QStringList{QUrl::fromLocalFile(pages[3]).toString()}, m_sim, collect());
    ASSERT_TRUE(w->waitForPage(QUrl::fromLocalFile(pages[3])));
    EXPECT_EQ(w->frame()->windowTitle(), QStringLiteral("p3.htm - Parlotype"));
    EXPECT_EQ(w->action("fileRecent1")->text() + w->action("fileRecent3")->text(),
              QStringLiteral("&2 %1&4 %2").arg(pages[0], pages[1]));

    // A recording whose path holds '#' is refused at once.
    m_folder.write("a#1.wav", "RIFF");
    answerModals([&] { w->choose("fileMakeScript"); }, [&](QWidget* d) {
        if (qobject_cast<QFileDialog*>(d)) accept(d, "fileNameEdit", m_folder.path("a#1.wav"));
    });
    EXPECT_TRUE(takeMessages().value(0).contains("holds the character '#'"));
    // Make Script asks for the recording, its text (a blank line between) and where to save the page, proposing
    // one beside the recording and asking before it replaces the one made by hand there; it opens the script made.
    m_folder.write("fox.htm", "<html><body>made by hand</body></html>");
    testaudio::SpokenRecording rec;
    const QStringList fox{"The Fox and the Grapes", "A hungry fox saw some fine bunches of grapes."};
    for (const QString& sentence : fox) ASSERT_TRUE(rec.addSentence(sentence, "espeak:en-gb:150", 0.5));
    rec.addSilence(0.5);
    ASSERT_TRUE(rec.writeWave(m_folder.path("fox.wav")));
    m_folder.write("fox.txt", (fox[0] + "\n\n" + fox[1]).toUtf8());
    QStringList titles, asked;
    QString proposed;
    answerModals([&] { w->choose("fileMakeScript"), w->waitForPage(m_folder.url("fox.htm")); }, [&](QWidget* d) {
        if (auto* box = qobject_cast<QMessageBox*>(d)) {
            asked << box->text(), clickButton(d, "&Yes");
        } else if (auto* f = qobject_cast<QFileDialog*>(d); f && titles.size() < 3) {
            titles << d->windowTitle();
            if (f->acceptMode() != QFileDialog::AcceptSave)
                accept(d, "fileNameEdit", m_folder.path(titles.size() == 1 ? "fox.wav" : "fox.txt"));
            else  // later, so that the question comes up outside this answer
                proposed = f->findChild<QLineEdit*>("fileNameEdit")->text(), QMetaObject::invokeMethod(f, &QDialog::accept, Qt::QueuedConnection);
        }
    });
    EXPECT_EQ(titles, (QStringList{"Make Script: the recording", "Make Script: its text, one sentence a line", "Make Script: save the page as"}));
    EXPECT_EQ(proposed + ' ' + asked.join('|'), "fox.htm fox.htm already exists.\nDo you want to replace it?");
    ASSERT_EQ(w->frame()->windowTitle(), QStringLiteral("fox.htm - Parlotype"));
    ASSERT_TRUE(w->click("a[name=s2]"));
    EXPECT_TRUE(waitUntil([&] { return w->playback().fileName() == m_folder.path("fox.wav"); }));
    EXPECT_NEAR(w->playback().position(), rec.start(1), 0.1);  // the script made from these
    EXPECT_TRUE(w->waitForFragment(QStringLiteral("s2")));
    // Items are those of the page played from: another page's link into the same recording follows its own
    // anchors, and a page without such links, shown while the recording plays on, is neither marked nor moved.
    m_folder.write("other.htm", QStringLiteral("<html><body><a href='fox.wav#%1' name='t2'>grapes</a></body></html>").arg(rec.start(1)).toUtf8());
    ASSERT_TRUE(w->app().openScript(m_folder.path("other.htm")) && w->waitForPage(m_folder.url("other.htm")));
    ASSERT_TRUE(w->click("a[name=t2]"));
    EXPECT_TRUE(w->waitForFragment(QStringLiteral("t2"))) << w->fragment().toStdString();
    w->playback().stop();
    ASSERT_TRUE(w->app().openScript(m_folder.path("p1.htm")) && w->waitForPage(m_folder.url("p1.htm")));
    w->playback().start();
    advance(int(rec.start(1) * 1000) + 300);
    EXPECT_EQ(w->playback().currentItemName(), QStringLiteral("t2"));
    EXPECT_EQ(w->fragment() + w->script("String(document.querySelector('.parlotype-current'))").toString(), "null");
    w->playback().stop();

    // View Source and View Parse against the golden listings; "-" when no dialog came up.
    const QString golden = QStringLiteral(PARLOTYPE_SOURCE_DIR "/tests/gui/golden/reading.");
    auto listing = [&](const char* id) {
        QString shown = QStringLiteral("-");
        answerModals([&] { w->choose(id); }, [&](QWidget* d) {
            shown = d->windowTitle() == QLatin1String("Source") ? dialogText(d) : d->windowTitle();
            clickButton(d, QStringLiteral("OK"));
        });
        return shown;
    };
    auto read = [&](const char* ext) { return QString::fromStdString(testaudio::readFile(golden + ext)).replace("\r\n", "\n"); };
    QFile::copy(golden + "htm", m_folder.path("reading.htm"));
    ASSERT_TRUE(w->app().openScript(m_folder.path("reading.htm")) && w->waitForPage(m_folder.url("reading.htm")));
    EXPECT_EQ(listing("viewSource"), read("source.txt"));
    w->web()->moveToAnchor(w->web()->location().section('#', 0, 0) + QStringLiteral("#s1"));  // read afresh, anchor or not
    ASSERT_TRUE(w->waitForFragment(QStringLiteral("s1")));
    EXPECT_EQ(listing("viewParse"), read("parsed.txt"));
}

// Subtitles open as a script playing the recording beside them; a malformed file is said with its line and
// nothing changes; the script shown exports to subtitles again.
TEST_F(WindowTest, SubtitlesOpenAsScriptsAndExport) {
    openPage();
    ASSERT_EQ(QProcess::execute("sox", {m_folder.path("a.wav"), m_folder.path("cues.flac")}), 0);
    m_folder.write("cues.vtt", "WEBVTT\n\n00:00.500 --> 00:01.000\nThe first cue\n\n00:01.000 --> 00:02.000 align:start\n<v Ann>The second</v>\n");
    m_folder.write("bad.srt", "1\n00:00:01,000 --> 00:00:02,000\nfine\n\n2\n00:00:03,000 -> 00:00:04,000\nbroken\n");
    m_folder.write("bad.flac", "");
    EXPECT_FALSE(w->app().openScript(m_folder.path("bad.srt")));
    EXPECT_TRUE(takeMessages().value(0).contains("line 6"));
    EXPECT_EQ(w->frame()->windowTitle(), QStringLiteral("page.htm - Parlotype"));
    ASSERT_TRUE(w->app().openScript(m_folder.path("cues.vtt")));
    EXPECT_EQ(w->frame()->windowTitle(), QStringLiteral("cues.vtt - Parlotype"));
    ASSERT_TRUE(waitUntil([&] { return w->web()->title() == QLatin1String("cues.vtt") && !w->web()->page()->isLoading(); }));
    ASSERT_TRUE(w->click("a[name=s2]"));
    EXPECT_TRUE(waitUntil([&] { return w->playback().fileName() == m_folder.path("cues.flac") && w->playback().position() == 1.0; }));
    EXPECT_EQ(w->playback().itemCount(), 2);
    answerModals([&] { w->choose("fileExportVtt"); }, [&](QWidget* d) { accept(d, "fileNameEdit", m_folder.path("again.vtt")); });
    EXPECT_EQ(testaudio::readFile(m_folder.path("again.vtt")),
              "WEBVTT\n\ns1\n00:00:00.500 --> 00:00:01.000\nThe first cue\n\ns2\n00:00:01.000 --> 00:00:02.000\nThe second\n");
}

// A page that times its words lights the word sounding, at any speed; a click on a word plays from it to
// the end of its item.
TEST_F(WindowTest, WordsLightAsTheySoundAndPlayFromAClick) {
    openPage();
    const QString word = QStringLiteral("(document.querySelector('.parlotype-current-word') || {}).textContent || ''");
    for (const auto& [speed, first, second] : {std::tuple{"audioSpeed4", 350, 250}, {"audioSpeed6", 240, 180}}) {
        ASSERT_TRUE(w->choose(speed) && follow("play", "a.wav", 0.2));
        advance(first);  // 0.55 of the file: "fi"
        EXPECT_TRUE(waitUntil([&] { return w->script(word).toString() == QLatin1String("fi"); })) << speed;
        advance(second);  // about 0.8: "rst"
        EXPECT_TRUE(waitUntil([&] { return w->script(word).toString() == QLatin1String("rst"); })) << speed;
    }
    ASSERT_TRUE(w->choose("audioSpeed4") && w->choose("audioStop"));
    EXPECT_TRUE(waitUntil([&] { return w->script(word).toString().isEmpty(); }));
    ASSERT_TRUE(w->click(QStringLiteral("a[name=s1] span:nth-child(2)")));
    EXPECT_TRUE(waitUntil([&] { return w->playback().isPlaying() && w->playback().position() == 0.75; }));
    advance(250);
    EXPECT_EQ(w->states({"audioStop"}), QStringLiteral("E"));
    advance(1);
    EXPECT_EQ(w->states({"audioStop"}), QStringLiteral("-"));  // the item's end
}

TEST_F(WindowTest, AudioLinksPageFollowingTransportMarksAndPrint) {
    openPage();
    ASSERT_TRUE(follow("play", "a.wav", 0.2));
    // The link was cancelled: the page stayed.
    EXPECT_TRUE(waitUntil([&] { return w->loadEnded(m_folder.url("a.wav")) == QWebEngineLoadingInfo::LoadStoppedStatus; }));
    EXPECT_EQ(w->pane("time") + w->fragment(), QStringLiteral(" 0:00.2"));  // before the first item
    // Each item's start moves the page to its anchor and highlights it.
    for (const auto& [ms, anchor, pane] : {std::tuple{300, "s1", " 0:00.5"}, {499, "s1", " 0:00.9"}, {1, "s2", " 0:01.0"},
                                           {500, "s3", " 0:01.5"}, {999, "s3", " 0:02.4"}, {1, "s 4 caf\xc3\xa9 & more", " 0:02.5"}}) {
        advance(ms);
        EXPECT_TRUE(w->waitForFragment(QString::fromUtf8(anchor))) << anchor << ": at " << w->fragment().toStdString();
        EXPECT_TRUE(waitUntil([&] { return w->script(kMarked).toString() == QString::fromUtf8(anchor); })) << anchor;
        EXPECT_EQ(w->pane("time"), QLatin1String(pane));
    }
    ASSERT_TRUE(w->choose("audioStop"));
    EXPECT_TRUE(waitUntil([&] { return (w->pane("time") + w->script(kMarked).toString()).isEmpty(); }));

    // An end time: playback goes on at it and stops just after, its device closed, whatever the window
    // shows: the status bar hidden, then a dialog open.
    ASSERT_TRUE(w->choose("viewStatusBar") && follow("ranged", "a.wav", 0.5));
    advance(500);
    EXPECT_EQ(w->states({"audioStop"}), QStringLiteral("E"));
    advance(1);
    EXPECT_EQ(w->states({"audioStop"}) + QString::number(m_sim.openOutputs()), QStringLiteral("-0"));
    EXPECT_TRUE(w->waitForFragment(QStringLiteral("s2")));  // the engine moves the page in its own time
    ASSERT_TRUE(w->choose("viewStatusBar") && follow("ranged", "a.wav", 0.5));
    answerModals([&] { w->choose("viewMarks"); }, [&](QWidget* d) {
        advance(501);
        EXPECT_FALSE(w->playback().isPlaying());
        QTest::keyClick(d, Qt::Key_Escape);
    });
    // Single Item Play stops where the next item starts.
    ASSERT_TRUE(w->choose("audioSingleItem") && follow("from1", "a.wav", 1.0));
    advance(499);
    EXPECT_EQ(w->states({"audioSingleItem", "audioStop"}), QStringLiteral("CE"));
    advance(1);
    EXPECT_EQ(w->states({"audioStop"}), QStringLiteral("-"));
    // Follow Page off: the highlight moves on, the page stays.
    ASSERT_TRUE(w->choose("audioSingleItem") && w->choose("viewFollowPage") && follow("play", "a.wav", 0.2));
    QStringList moves;  // the page moves the program asks for, as it marks the item
    const auto counting = QObject::connect(w->web(), &platform::WebView::movingToAnchor, [&](const QString& a) { moves << a; });
    advance(1300);
    EXPECT_TRUE(waitUntil([&] { return w->script(kMarked).toString() == QLatin1String("s3"); }));
    QObject::disconnect(counting);
    EXPECT_EQ(moves, QStringList{});
    EXPECT_EQ(w->fragment(), QStringLiteral("s2"));
    ASSERT_TRUE(w->choose("viewFollowPage"));

    // A missing audio file is said in a real message box (from inside the engine's navigation callback).
    w->app().messages().setSink({});
    QString box;
    answerModals([&] {
        ASSERT_TRUE(w->click(QStringLiteral("#missing")));
        EXPECT_TRUE(waitUntil([&] { return w->loadEnded(m_folder.url("missing.wav")) == QWebEngineLoadingInfo::LoadFailedStatus; }));
    }, [&](QWidget* d) { box = static_cast<QMessageBox*>(d)->text(), static_cast<QDialog*>(d)->accept(); });
    EXPECT_EQ(box, QStringLiteral("Could not open '%1'").arg(m_folder.path("missing.wav")));
    w->app().messages().setSink(collect());
    EXPECT_EQ(w->states(kTransport), QStringLiteral("-----"));
    ASSERT_TRUE(w->choose("goBack") && w->waitForPage(m_folder.url("page.htm")) && w->click(QStringLiteral("#other")));
    EXPECT_TRUE(w->waitForPage(m_folder.url("other.htm")) && !w->playback().isLoaded());

    // Transport: stopped, Pause does nothing; Start plays from 0; Rewind/Forward move 15 s (not before 0), unpaused.
    ASSERT_TRUE(w->choose("goBack") && w->waitForPage(m_folder.url("page.htm")) && follow("t10", "talk.wav", 10.0));
    ASSERT_TRUE(w->choose("audioStop") && w->choose("audioPause"));
    EXPECT_EQ(w->states(kTransport), QStringLiteral("E-EEE"));
    ASSERT_TRUE(w->choose("audioStart"));
    EXPECT_EQ(w->playback().position(), 0.0);
    for (const auto& [ms, pause, command, at] :
         {std::tuple{10000, false, "audioRewind", 0.0}, {20000, false, "audioRewind", 5.0}, {0, false, "audioForward", 20.0},
          {1500, true, "audioRewind", 6.5}, {0, true, "audioForward", 21.5}, {70000, false, "audioForward", 106.5}}) {
        advance(ms);
        ASSERT_TRUE((!pause || w->choose("audioPause")) && w->choose(command));
        EXPECT_EQ(w->playback().position(), at);
        EXPECT_TRUE(at > 100 || w->states(kTransport) == QLatin1String("EEEEE")) << at;  // unpaused
    }

    // Mark! notes the file and the position to a tenth (none when stopped, the paused position when
    // paused); View > Marks shows them, one a line; Clear empties the list only when OK follows.
    auto marks = [&](std::initializer_list<const char*> buttons) {
        QString shown;
        answerModals([&] { w->choose("viewMarks"); }, [&](QWidget* d) {
            shown = dialogText(d);
            for (const char* b : buttons) EXPECT_TRUE(clickButton(d, QLatin1String(b))) << b;
            if (d->isVisible()) shown += dialogText(d), QTest::keyClick(d, Qt::Key_Escape);
        });
        return shown;
    };
    ASSERT_TRUE(follow("t10", "talk.wav", 10.0) && w->choose("audioStop") && w->choose("audioMark"));
    ASSERT_TRUE(follow("t83", "talk.wav", 83.46) && w->choose("audioMark") && w->choose("audioMark"));
    ASSERT_TRUE(follow("play", "a.wav", 0.2));
    advance(1000);
    ASSERT_TRUE(w->choose("audioPause"));
    advance(1000);
    ASSERT_TRUE(w->choose("audioMark"));
    const QString all = QStringLiteral("%1#83.5\n%1#83.5\n%2#1.2\n").arg(m_folder.path("talk.wav"), m_folder.path("a.wav"));
    EXPECT_EQ(marks({"Clear"}), all);  // then Escape: the marks are kept
    EXPECT_EQ(marks({"Clear", "OK"}), all);
    ASSERT_TRUE(w->choose("audioMark"));
    EXPECT_EQ(marks({"OK"}), QStringLiteral("%1#1.2\n").arg(m_folder.path("a.wav")));

    // Print asks with the print dialog (no printer here); its file gets the page.
    const QString pdf = m_folder.path("printed.pdf");
    QSignalSpy printed(w->web(), &QWebEngineView::printFinished);
    EXPECT_EQ(answerModals([&] { w->choose("filePrint"); }, [&](QWidget* d) { accept(d, "filename", pdf); }), 1);
    EXPECT_TRUE(printed.size() == 1 || printed.wait(90000));
    EXPECT_EQ(testaudio::readFile(pdf).substr(0, 5), "%PDF-");
}

TEST_F(WindowTest, PracticeControlsAndTheirSettings) {
    openPage();
    const std::initializer_list<const char*> speeds{"audioSpeed0", "audioSpeed4", "audioSlower", "audioFaster"};
    EXPECT_EQ(w->states(speeds) + w->pane("speed"), QStringLiteral("ECEE"));  // no pane at 1x
    ASSERT_TRUE(w->choose("audioSpeed0"));
    EXPECT_EQ(w->states(speeds), QStringLiteral("CE-E"));
    // The page has the keyboard: reading keys stay the page's, transport keys reach the program.
    w->script(QStringLiteral("window.scrollTo(0, 0)"));
    ASSERT_TRUE(w->click(QStringLiteral("#play")));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_TRUE(waitUntil([&] { return w->script(QStringLiteral("window.scrollY")).toInt() > 0; }));
    for (const auto& [key, states, speed] : {std::tuple{Qt::Key_F6, "ECE", "0.5"}, {Qt::Key_F6, "EEE", "0.5"},
                                             {Qt::Key_F10, "EEE", "0.6"}, {Qt::Key_F9, "EEE", "0.5"},
                                             {Qt::Key_F9, "EEE", "0.5"}, {Qt::Key_F3, "EEC", "0.5"}, {Qt::Key_F4, "-EC", "0.5"}}) {
        QTest::keyClick(QApplication::focusWidget(), key);
        EXPECT_EQ(w->states({"audioStop", "audioPause", "audioRepeat"}), QLatin1String(states)) << key;
        EXPECT_EQ(w->pane("speed"), QLatin1String(speed) + QChar(0x00d7)) << key;
    }
    ASSERT_TRUE(w->choose("audioSpeed4"));
    // No menu gives an access letter twice.
    std::function<void(QWidget*)> letters = [&](QWidget* menu) {
        QList<QKeySequence> seen;
        for (QAction* a : menu->actions()) {
            const QKeySequence key = QKeySequence::mnemonic(a->text());
            EXPECT_TRUE(key.isEmpty() || !seen.contains(key)) << a->text().toStdString();
            seen << key;
            if (a->menu()) letters(a->menu());
        }
    };
    letters(w->frame()->menuBar());

    // Repeat: the stretch again from its start just past its end; a link without an end time when the data ends.
    // The desktop's media controls hear of each jump.
    QSignalSpy seeked(QDBusConnection::sessionBus().objectRegisteredAt(QStringLiteral("/org/mpris/MediaPlayer2")),
                      SIGNAL(seeked(qlonglong)));
    ASSERT_TRUE(follow("ranged", "a.wav", 0.5));
    for (int round = 0; round < 2; ++round) {
        advance(500);
        advance(2);
        EXPECT_EQ(w->playback().position(), 0.5) << round;
    }
    EXPECT_TRUE(waitUntil([&] { return seeked.size() == 2; }));
    ASSERT_TRUE(follow("play", "a.wav", 0.2));
    advance(2900);
    EXPECT_TRUE(waitUntil([&] { return runFor(30), w->playback().isPlaying() && w->playback().position() == 0.2; }));
    EXPECT_TRUE(waitUntil([&] { return seeked.size() == 4; }));
    // A jump past the data plays nothing, so nothing repeats.
    ASSERT_TRUE(w->click(QStringLiteral("#past")));
    EXPECT_TRUE(waitUntil([&] { return advance(20), !w->playback().isPlaying(); }));
    runFor(200);
    EXPECT_EQ(std::tuple(w->playback().isPlaying(), seeked.size()), std::tuple(false, 5));
    for (const char* id : {"audioRepeat", "audioPauseAfterItem"}) ASSERT_TRUE(w->choose(id));

    // Pause After Each Item: after s1 (0.5 s of the file) the reader's turn of 0.5 s, then s2; Pause ends a turn.
    ASSERT_TRUE(follow("play", "a.wav", 0.2));
    advance(400);  // 0.6: s1, no turn before it
    EXPECT_EQ(w->pane("turn"), QString());
    advance(400);  // 1.0: s2 starts; s1 stays current through the turn, as long as s1 took
    EXPECT_EQ(w->pane("turn") + w->states({"audioPause"}) + w->script(kMarked).toString() +
                  w->playback().currentItemName(), QStringLiteral("Your turnCs1s1"));
    ASSERT_TRUE(waitUntil([&] { return w->states({"audioPause"}) == QLatin1String("E"); }, 3000));
    EXPECT_TRUE(waitUntil([&] { return w->script(kMarked).toString() == QLatin1String("s2"); }));
    EXPECT_EQ(w->pane("turn"), QString());
    advance(500);  // 1.5: s3 starts
    EXPECT_EQ(w->pane("turn"), QStringLiteral("Your turn"));
    ASSERT_TRUE(w->choose("audioPause"));
    EXPECT_EQ(w->pane("turn") + w->states({"audioPause"}), QStringLiteral("E"));
    // The next run starts with the speed and the switches as they were.
    for (const char* id : {"audioSpeed7", "viewFollowPage", "audioRepeat"}) ASSERT_TRUE(w->choose(id));
    w.reset();
    openPage();
    EXPECT_EQ(w->states({"audioSpeed7", "audioFaster", "audioRepeat", "audioPauseAfterItem", "viewFollowPage"}) +
                  w->pane("speed"), QStringLiteral("C-CCE2\u00d7"));
}

// A D-Bus client run to its end on the test services' session bus; its output.
QString call(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    EXPECT_TRUE(waitUntil([&] { return p.state() == QProcess::NotRunning; }) && p.exitCode() == 0) << args.join(' ').toStdString();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}
QString client(const QStringList& args) { return call(QStringLiteral("playerctl"), QStringList{"-p", "parlotype"} + args); }

TEST_F(WindowTest, DesktopMediaControlsAndRecording) {
    openPage();  // playerctl needs the session bus the test services start
    QProcess second;  // a second instance has media controls of its own
    second.start(QStringLiteral(PARLOTYPE_BINARY_DIR "/parlotype"), QStringList{});
    const QString own = QStringLiteral("parlotype.instance%1").arg(second.processId());
    EXPECT_TRUE(waitUntil([&] { const QStringList l = call("playerctl", {"-l"}).split('\n'); return l.size() == 2 && l.contains(own); }, 20000));
    second.kill();
    second.waitForFinished();
    ASSERT_TRUE(follow("play", "a.wav", 0.2));
    QProcess follow;  // the changes as a panel hears them
    follow.start(QStringLiteral("playerctl"), {"-p", "parlotype", "status", "--follow"});
    ASSERT_TRUE(follow.waitForStarted());
    EXPECT_EQ(client({"metadata", "--format", "{{status}}|{{xesam:url}}|{{xesam:title}}|{{mpris:length}}"}),
              "Playing|" + m_folder.url("a.wav").toString() + QStringLiteral("|Practice page|3000000"));
    EXPECT_NEAR(client({"position"}).toDouble(), 0.2, 0.05);
    call("gdbus", {"call", "--session", "--dest", "org.mpris.MediaPlayer2.parlotype", "--object-path", "/org/mpris/MediaPlayer2", "--method",
                   "org.freedesktop.DBus.Properties.Set", "org.mpris.MediaPlayer2.Player", "Rate", "<0.0>"});  // pauses
    EXPECT_EQ(w->states({"audioPause"}) + client({"status"}) + w->pane("speed"), QStringLiteral("CPaused"));
    client({"play-pause"});
    EXPECT_EQ(w->states({"audioPause"}), QStringLiteral("E"));
    advance(400);  // 0.6: s1
    for (const auto& [args, at] : {std::pair{QStringList{"next"}, 1.0}, {QStringList{"next"}, 1.5}, {QStringList{"previous"}, 1.0},
                                   {QStringList{"previous"}, 0.5}, {QStringList{"position", "0.3"}, 0.3}, {QStringList{"position", "0.5+"}, 0.9},
                                   {QStringList{"position", "10"}, 1.0}, {QStringList{"position", "20+"}, 1.5}, {QStringList{"position", "20+"}, 2.5}}) {
        client(args);
        EXPECT_NEAR(w->playback().position(), at, 1e-6) << args.join(' ').toStdString();
        EXPECT_TRUE(at < 0.5 || at > 2 || w->waitForFragment(QStringLiteral("s%1").arg(int(at * 2)))) << at;
        advance(100);
    }
    client({"position", "20+"});  // past the end with no item after: stopped
    EXPECT_EQ(w->states({"audioStop"}), QStringLiteral("-"));
    QByteArray heard;
    EXPECT_TRUE(waitUntil([&] { return (heard += follow.readAllStandardOutput()).contains("Stopped"); }));
    EXPECT_EQ(QString::fromUtf8(heard).split('\n', Qt::SkipEmptyParts), (QStringList{"Playing", "Paused", "Playing", "Stopped"}));
    follow.kill();
    follow.waitForFinished();

    // Record and Play Recorded on the simulated input (left channel different at every frame): replayed twice, in order.
    EXPECT_EQ(recState(), QStringLiteral("E-"));
    for (const int blocks : {1, 5, 30}) {  // up to 8000 samples fit the first two writes
        record(blocks);
        EXPECT_TRUE(replay() == leftBytes(blocks * kBlock) && replay() == leftBytes(blocks * kBlock)) << blocks;
    }
    // Play Recorded while recording replays at once; Record during a replay stops it, and back
    // to back, the stopped replay's late notices must not end the next.
    ASSERT_TRUE(w->choose("audioRecord"));
    for (int i = 0; i < 100 && w->recording().recordedSamples() < 6 * kBlock; ++i) advance(10, kRecStep);
    ASSERT_TRUE(w->choose("audioPlayRecorded"));
    advance(100, kRecStep);
    w->frame()->action("audioRecord")->trigger();
    EXPECT_TRUE(replay(true) == leftBytes(6 * kBlock));

    // Devices that do not open are said and leave nothing busy: the recording waits for a device.
    m_sim.setFailOpen(true);
    ASSERT_TRUE(w->choose("audioRecord"));
    EXPECT_EQ(recState(), QStringLiteral("EE"));
    m_sim.setFailOpen(false);
    record(3);
    m_sim.setFailOpen(true);
    ASSERT_TRUE(w->choose("audioPlayRecorded"));
    EXPECT_EQ(recState(), QStringLiteral("EE"));
    EXPECT_EQ(takeMessages(), (QStringList{"Failed to open record device", "Failed to open replay device"}));
    m_sim.setFailOpen(false);
    EXPECT_TRUE(replay() == leftBytes(3 * kBlock));
    // With no memory for a block the recorder stops and says so; the blocks kept before still replay.
    setSampleBlockLimit(3);
    ASSERT_TRUE(w->choose("audioRecord"));
    advance(1000, kRecStep);
    EXPECT_EQ(takeMessages(), QStringList{"Out of memory for recording"});
    EXPECT_EQ(recState(), QStringLiteral("EE"));
    setSampleBlockLimit(-1);
    EXPECT_TRUE(replay() == leftBytes(3 * kBlock));
    // A recording ends by itself once a buffer comes back to more than 5,000,000 samples kept (about 227 s).
    ASSERT_TRUE(w->choose("audioRecord"));
    for (int i = 0; i < 6000 && w->recording().isRecording(); ++i) advance(40, kRecStep);
    EXPECT_EQ(recState(), QStringLiteral("EE"));
    EXPECT_EQ(w->recording().recordedSamples(), 2501 * kBlock);
}

// The demo drilled with Record on: the turn's take of the item heard (the model's stretch said again) is
// listed in the Takes dock and compared with the model in the pane; Shadow makes a take too; Save Recording
// As asks before it replaces a file; a take being recorded when the program closes is kept.
TEST_F(WindowTest, TakesOfTheDrillComparedAndKept) {
    const QString demo = QStringLiteral(PARLOTYPE_BINARY_DIR "/generated/demo/demo.htm");
    std::vector<ModelItem> items;
    QString error;
    ASSERT_TRUE(readModelItems(demo, items, error) && items.size() > 1) << error.toStdString();
    const ModelItem item = items[1];
    QDir(TakeStore::forScript(demo)->folder()).removeRecursively();  // none from an earlier run
    const std::string model = testaudio::readFile(item.audio);  // 16-bit mono at 16 kHz
    uint64_t now = 0, turn = ~uint64_t(0);  // input frames since Record started; the turn's first
    m_sim.setInputSignal([&](uint64_t f, int) {
        const double t = f < turn ? item.end : item.start + double(f - turn) / RecordingSession::kRate;
        const size_t at = model.find("data") + 8 + 2 * size_t(t * 16000);
        return t >= item.end || at + 1 >= model.size() ? int16_t(0) : int16_t(uint8_t(model[at]) | model[at + 1] << 8);
    });
    w = std::make_unique<TestWindow>(QStringList{demo}, m_sim, collect());
    ASSERT_TRUE(w->waitForPage(QUrl::fromLocalFile(demo)));
    QObject::connect(&w->playback(), &PlaybackSession::turnStarted, [&] { turn = now; });
    auto* panel = w->frame()->findChild<TakesPanel*>();
    QSignalSpy compared(panel, &TakesPanel::compared);
    ASSERT_TRUE(w->choose("viewTakes") && w->choose("audioPauseAfterItem") && w->choose("audioRecord"));
    // The first word, timed a little before its line's rounded start, plays the line.
    ASSERT_TRUE(w->click(QStringLiteral("a[name='%1'] span:nth-child(1)").arg(item.name)));
    for (int i = 0; i < 1000 && panel->takes().isEmpty(); ++i) now += 882, advance(40);  // the turn ends in real time
    ASSERT_EQ(panel->takes().size(), 1);
    EXPECT_EQ(TakeStore::itemOf(panel->takes()[0]) + ' ' + QString::number(panel->findChild<QListWidget*>()->count()), item.name + " 1");
    ASSERT_TRUE(compared.size() == 1 || compared.wait(60000));
    const auto* pane = w->frame()->findChild<ComparisonPane*>();
    ASSERT_TRUE(pane->isVisible() && pane->comparison());
    EXPECT_EQ(pane->comparison()->words.size(), size_t(item.text.split(' ').size()));
    ASSERT_TRUE(w->choose("audioRecord") && w->choose("audioShadow"));  // its take ends with the item, not the turn after
    for (int i = 0; i < 1000 && w->recording().isRecording(); ++i) advance(40);
    EXPECT_EQ(std::tuple(panel->takes().size(), w->playback().state() == PlaybackSession::State::Turn), std::tuple(qsizetype(2), true));

    m_folder.write("kept.wav", "kept");  // Save Recording As: No to replacing a file, then another name
    QStringList asked;
    for (const QString& target : {m_folder.path("kept.wav"), m_folder.path("new.wav")}) {
        bool named = false;
        answerModals([&] { w->choose("fileSaveRecording"); }, [&](QWidget* d) {
            if (qobject_cast<QMessageBox*>(d))
                asked << static_cast<QMessageBox*>(d)->text(), clickButton(d, "&No");
            else if (!std::exchange(named, true))
                d->findChild<QLineEdit*>("fileNameEdit")->setText(target), QMetaObject::invokeMethod(d, "accept", Qt::QueuedConnection);
            else if (!asked.isEmpty())  // answered No: the dialog stays, and is cancelled
                QMetaObject::invokeMethod(d, "reject", Qt::QueuedConnection);
        });
    }
    EXPECT_EQ(asked, QStringList{"kept.wav already exists.\nDo you want to replace it?"});
    EXPECT_TRUE(testaudio::readFile(m_folder.path("kept.wav")) == "kept" && testaudio::readFile(m_folder.path("new.wav")) ==
                TakeStore::waveBytes(w->recording().recording(), RecordingSession::kRate).toStdString());
    ASSERT_TRUE(w->choose("audioRecord"));  // a plain recording under way when the program closes
    advance(500, kRecStep);
    w.reset();
    EXPECT_EQ(QDir(TakeStore::forScript(demo)->folder()).entryList({"*.wav"}).size(), 3);
}

}  // namespace
