// SPDX-License-Identifier: GPL-3.0-or-later
// The window's actions, one entry each: object name, menu text and shortcut,
// status prompt, tooltip, what it does, when it is enabled and checked, icon.
#include "ui/main_window.h"

#include "session/playback_session.h"
#include "session/recording_session.h"
#include "ui/script_view.h"
#include "ui/takes_panel.h"

#include <QStatusBar>
#include <QToolBar>

#define TEXT(text) QT_TRANSLATE_NOOP("MainWindow", text)

std::vector<MainWindow::ActionEntry> MainWindow::actionTable() {
    PlaybackSession& play = m_playback;
    RecordingSession& rec = m_recording;
    ScriptView& view = *m_view;
    const auto loaded = [&play] { return play.isLoaded(); };
    const auto hasItems = [&play] { return play.isLoaded() && play.itemCount() > 0; };
    const auto shown = [this] { return showsScript(); };
    std::vector<ActionEntry> table = {
        {"fileOpen", TEXT("&Open...\tCtrl+O"), TEXT("Open an existing document"), TEXT("Open"),
         [this] { openFile(); }, {}, {}, false, "document-open", "open"},
        {"fileSaveScriptPage", TEXT("Save as Script Pa&ge..."), TEXT("Save the script shown as a script page"),
         TEXT("Save as Script Page"), [this] { exportScript(QStringLiteral("html")); }, shown},
        {"fileSaveRecording", TEXT("Save &Recording As..."), TEXT("Save the last recording as a WAV file"),
         TEXT("Save Recording As"), [this] { saveRecording(); },
         [&rec] { return !rec.isRecording() && !rec.recording().empty(); }},
        {"fileExportVtt", TEXT("&WebVTT..."), TEXT("Export the script's items as WebVTT subtitles"), TEXT("WebVTT"),
         [this] { exportScript(QStringLiteral("vtt")); }, shown},
        {"fileExportSrt", TEXT("&SRT..."), TEXT("Export the script's items as SRT subtitles"), TEXT("SRT"),
         [this] { exportScript(QStringLiteral("srt")); }, shown},
        {"fileExportLabels", TEXT("Audacity &Labels..."), TEXT("Export the script's items as Audacity labels"),
         TEXT("Labels"), [this] { exportScript(QStringLiteral("labels")); }, shown},
        {"fileExportJson", TEXT("&JSON Sync Map..."), TEXT("Export the script's items and word times as a JSON sync map"),
         TEXT("JSON"), [this] { exportScript(QStringLiteral("json")); }, shown},
        {"fileExportEpub", TEXT("&EPUB..."), TEXT("Export the script as an EPUB book whose text plays along"), TEXT("EPUB"),
         [this] { exportScript(QStringLiteral("epub")); }, shown},
        {"fileExportWeb", TEXT("Web &Page..."), TEXT("Export the script as a web page that plays in any browser"),
         TEXT("Web Page"), [this] { exportScript(QStringLiteral("web")); }, shown},
        {"filePrint", TEXT("&Print\tCtrl+P"), TEXT("Print Page"), TEXT("Print"),
         [&view] { view.print(); }, {}, {}, false, "document-print", "print"},
        {"fileMakeScript", TEXT("&Make Script..."), TEXT("Make a script page from a recording and its text"),
         TEXT("Make Script"), [this] { makeScript(); }},
        {"fileExit", TEXT("E&xit"), TEXT("Quit the application"), TEXT("Exit"), [this] { close(); }},
        {"homePage", TEXT("\tCtrl+N"), TEXT("Go Home"), TEXT("Home"), [this] { showScript(QString()); }},
        {"goBack", TEXT("&Back"), TEXT("Go Back"), TEXT("Go Back"), [&view] { view.goBack(); }, {}, {}, false,
         "go-previous", "back"},
        {"goForward", TEXT("&Forward"), TEXT("Go Forward"), TEXT("Go Forward"), [&view] { view.goForward(); }, {},
         {}, false, "go-next", "next"},
        {"goHome", TEXT("&Home"), TEXT("Go Home"), TEXT("Go Home"), [&view] { view.goHome(); }, {}, {}, false,
         "go-home", "home"},
        {"audioStart", TEXT("&Start"), TEXT("Start Replay"), TEXT("Play"), [&play] { play.start(); }, loaded, {},
         false, "media-playback-start", "start"},
        {"audioStop", TEXT("S&top\tF4"), TEXT("Stop replay"), TEXT("Stop"), [&play] { play.stop(); },
         [&play] { return play.isPlaying(); }, {}, true, "media-playback-stop", "stop"},
        {"audioPause", TEXT("&Pause\tF6"), TEXT("Pause Replay"), TEXT("Pause"), [&play] { play.togglePause(); },
         loaded, [&play] { return play.state() == PlaybackSession::State::Paused || play.state() == PlaybackSession::State::Turn; },
         true, "media-playback-pause", "pause"},
        {"audioRewind", TEXT("&Rewind\tF5"), TEXT("Rewind Replay"), TEXT("Rewind"), [&play] { play.rewind(); },
         loaded, {}, true, "media-seek-backward", "rewind"},
        {"audioForward", TEXT("&Forward\tF7"), TEXT("Forward Replay"), TEXT("Forward"), [&play] { play.forward(); },
         loaded, {}, true, "media-seek-forward", "forward"},
        {"audioPreviousItem", TEXT("Pre&vious Item"), TEXT("Play from the previous item of the page"),
         TEXT("Previous Item"), [&play] { play.previousItem(); }, hasItems},
        {"audioNextItem", TEXT("&Next Item"), TEXT("Play from the next item of the page"), TEXT("Next Item"),
         [&play] { play.nextItem(); }, hasItems},
        {"audioSlower", TEXT("Slo&wer\tF9"), TEXT("Play slower, keeping the pitch"), TEXT("Slower"),
         [&play] { play.slower(); }, [&play] { return play.canGoSlower(); }, {}, true},
        // Faster has no access letter left in its menu; Speed reaches every speed.
        {"audioFaster", TEXT("Faster\tF10"), TEXT("Play faster, keeping the pitch"), TEXT("Faster"),
         [&play] { play.faster(); }, [&play] { return play.canGoFaster(); }, {}, true},
        {"audioSingleItem", TEXT("Single &Item Play"), TEXT("Set replay for single items"), TEXT("Replay single items"),
         [&play] { play.setSingleItem(!play.singleItem()); }, {}, [&play] { return play.singleItem(); }, false,
         nullptr, "single"},
        {"audioRepeat", TEXT("Repe&at\tF3"), TEXT("Play the link again when it ends"), TEXT("Repeat"),
         [&play] { play.setRepeat(!play.repeat()); }, {}, [&play] { return play.repeat(); }, true},
        {"audioPauseAfterItem", TEXT("Pause After Ea&ch Item"),
         TEXT("Pause after each item as long as it took, for repeating aloud"), TEXT("Pause after items"),
         [&play] { play.setPauseAfterItem(!play.pauseAfterItem()); }, {}, [&play] { return play.pauseAfterItem(); }},
        {"audioRecord", TEXT("R&ecord"), TEXT("Record Audio"), TEXT("Record"), [&rec] { rec.toggleRecord(); }, {},
         [&rec] { return rec.isRecording(); }, false, "media-record", "record"},
        {"audioPlayRecorded", TEXT("P&lay Recorded"), TEXT("Replay recorded audio"), TEXT("Play Recorded"),
         [&rec] { rec.togglePlayRecorded(); }, [&rec] { return rec.canPlayRecorded(); },
         [&rec] { return rec.isReplaying(); }, false, nullptr, "playrec"},
        {"audioShadow", TEXT("S&hadow"), TEXT("Play the current item and record yourself speaking along; wear headphones"),
         TEXT("Shadow"), [this] { m_takesPanel->shadow(); }, [this] { return m_takesPanel->canShadow(); },
         [this] { return m_takesPanel->isShadowing(); }},
        {"audioMark", TEXT("&Mark!\tF8"), TEXT("Mark position in audio playback"), TEXT("Mark audio time"),
         [&play] { play.mark(); }, {}, {}, true},
        {"viewSource", TEXT("S&ource"), TEXT("View HTML Source"), TEXT("Source"), [&view] { view.showSource(); }},
        {"viewParse", TEXT("&Parse"), TEXT("View Parsed HTML"), TEXT("Parsed"), [&view] { view.showParse(); }},
        {"viewMarks", TEXT("&Marks"), TEXT("View Marked Audio Times"), TEXT("View Marks"), [this] { showMarks(); }},
        {"viewTakes", TEXT("Ta&kes"), TEXT("Show the takes of the current item and their comparison with the model"),
         TEXT("Takes"), [this] { m_takesPanel->setVisible(!m_takesPanel->isVisible()); }, {},
         [this] { return m_takesPanel->isVisibleTo(this); }},
        {"viewFollowPage", TEXT("&Follow Page"), TEXT("Move the page to the item sounding"), TEXT("Follow Page"),
         [&view] { view.setFollowPage(!view.followsPage()); }, {}, [&view] { return view.followsPage(); }},
        {"viewToolbar", TEXT("&Toolbar"), TEXT("Show or hide the toolbar"), TEXT("Toggle ToolBar"),
         [this] { m_toolBar->setVisible(!m_toolBar->isVisibleTo(this)); }, {},
         [this] { return m_toolBar->isVisibleTo(this); }},
        {"viewStatusBar", TEXT("&Status Bar"), TEXT("Show or hide the status bar"), TEXT("Toggle StatusBar"),
         [this] {
             statusBar()->setVisible(!statusBar()->isVisibleTo(this));
             refreshActions();
         },
         {}, [this] { return statusBar()->isVisibleTo(this); }},
        {"helpContents", TEXT("&Contents"), TEXT("Display Help"), TEXT("Help"), [&view] { view.showHomePage(); }},
        {"helpAbout", TEXT("&About parlotype..."), TEXT("Display program information, version number and copyright"),
         TEXT("About"), [this] { showAbout(); }},
    };
    for (int i = 0; i < kRecentFileCount; ++i) {
        static const QByteArray names[] = {"fileRecent0", "fileRecent1", "fileRecent2", "fileRecent3"};
        static_assert(std::size(names) == kRecentFileCount);
        table.push_back({names[i].constData(), TEXT("Recent File"), TEXT("Open this document"), "",
                         [this, i] { openRecentFile(i); }, [this, i] { return i < m_recentFiles.size(); }});
    }
    const std::vector<ActionEntry> speeds = speedActions();
    table.insert(table.end(), speeds.begin(), speeds.end());
    return table;
}

// Audio > Speed: one checkable action per speed.
std::vector<MainWindow::ActionEntry> MainWindow::speedActions() {
    static const char* const prompts[] = {
        TEXT("Play at half speed"), TEXT("Play at 0.6 times the speed"), TEXT("Play at 0.75 times the speed"),
        TEXT("Play at 0.9 times the speed"), TEXT("Play at the normal speed"), TEXT("Play at 1.25 times the speed"),
        TEXT("Play at 1.5 times the speed"), TEXT("Play at twice the speed"),
    };
    static const QByteArray names[] = {"audioSpeed0", "audioSpeed1", "audioSpeed2", "audioSpeed3",
                                       "audioSpeed4", "audioSpeed5", "audioSpeed6", "audioSpeed7"};
    static_assert(std::size(prompts) == PlaybackSession::kSpeeds.size() && std::size(names) == std::size(prompts));
    std::vector<ActionEntry> speeds;
    PlaybackSession& play = m_playback;
    for (size_t i = 0; i < std::size(prompts); ++i) {
        const double speed = PlaybackSession::kSpeeds[i];
        speeds.push_back({names[i].constData(), nullptr, prompts[i], TEXT("Speed"), [&play, speed] { play.setSpeed(speed); },
                          {}, [&play, speed] { return play.speed() == speed; }});
    }
    return speeds;
}
