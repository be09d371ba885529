// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// MainWindow: menu bar, toolbar and status bar around the script view. Its
// actions come from one table (action_table.cpp): text, shortcut, status
// prompt, tooltip, icon, what the action does and when it is enabled or
// checked. Their state is refreshed whenever a session or the window
// reports a change.

#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <vector>

class ComparisonPane;
class PlaybackSession;
class RecordingSession;
class ScriptView;
class StatusPane;
class TakesPanel;
namespace platform {
class Messages;
}
class QAction;
class QToolBar;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kRecentFileCount = 4;

    MainWindow(PlaybackSession& playback, RecordingSession& recording, const platform::Messages& messages,
               const QString& scriptIndex);
    ~MainWindow() override;

    ScriptView* scriptView() const { return m_view; }
    // The action named `name` (its object name), or null.
    QAction* action(const QString& name) const;

    // Shows the script page at `page` with the name of `origin` (the file
    // the user opened: the page itself, or subtitles it was made from) in the
    // title; an empty page shows the built-in home page.
    void showScript(const QString& page, const QString& origin = QString());
    // The script page for subtitles or labels at `path`, made in the cache
    // with the recording beside them (the user picks one when there is none
    // or several); empty, with the reason shown, when none can be made.
    QString pageForTimedText(const QString& path);
    // The File menu's recent files, most recent first.
    void setRecentFiles(const QStringList& paths);

signals:
    // The user chose a script to open (File > Open, a recent file, a file
    // dropped on the window, a page Make Script wrote).
    void openRequested(const QString& path);

protected:
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    // One entry of the action table.
    struct ActionEntry {
        const char* name;      // the action's object name
        const char* text;      // menu text, marked for translation; after '\t' its shortcut
        const char* prompt;    // status bar prompt
        const char* tip;       // tooltip
        std::function<void()> trigger;
        std::function<bool()> enabled = {};  // empty: always enabled
        std::function<bool()> checked = {};  // empty: not checkable
        bool global = false;                 // the shortcut works whatever has the focus
        const char* themeIcon = nullptr;     // freedesktop icon name
        const char* ownIcon = nullptr;       // the program's own icon, in :/icons
    };
    struct BoundAction {
        QAction* action;
        std::function<bool()> enabled;
        std::function<bool()> checked;
    };

    std::vector<ActionEntry> actionTable();
    std::vector<ActionEntry> speedActions();
    void createActions();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void refreshActions();
    void refreshPanes();
    void updateTitle(const QString& path);
    void openFile();
    void exportScript(const QString& format);
    void saveRecording();
    bool showsScript() const;
    void openRecentFile(int index);
    void makeScript();
    void showMarks();
    void showAbout();
    void setUpTakes();

    PlaybackSession& m_playback;
    RecordingSession& m_recording;
    const platform::Messages& m_messages;
    ScriptView* m_view;
    QToolBar* m_toolBar = nullptr;
    std::vector<BoundAction> m_actions;
    QStringList m_recentFiles;
    QString m_origin;  // the file the script shown was opened from
    StatusPane* m_timePane = nullptr;
    StatusPane* m_turnPane = nullptr;
    StatusPane* m_recordingPane = nullptr;
    StatusPane* m_speedPane = nullptr;
    ComparisonPane* m_comparisonPane = nullptr;
    TakesPanel* m_takesPanel = nullptr;
};
