// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's real window for the GUI tests: the application made with a
// command line, its frame and web view, and helpers that drive it as a user
// does (menu commands, clicks on the page, modal dialogs answered) and wait
// for the engine instead of sleeping. Settings, recent files and the script
// index go to private folders.

#include "app/parlotype_app.h"

#include <QStringList>
#include <QUrl>
#include <QVariant>
#include <QWebEngineLoadingInfo>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

class CMainFrame;
class CParlotypeView;
class QAction;
namespace platform {
class WebView;
}

class TestWindow {
public:
    // `args` are the command-line arguments after the program name.
    explicit TestWindow(const QStringList& args = {});
    ~TestWindow();

    CParlotypeApp& App() { return *m_app; }
    CMainFrame* Frame();
    CParlotypeView* View();
    platform::WebView* Web();

    // The command's action once the idle-time updates have run.
    QAction* Action(int id);
    // Chooses a command as a click on its menu item does; false when disabled.
    bool Choose(int id);
    // A status pane's text once the idle-time updates have run.
    QString Pane(int id);

    // Waits until `url` (fragment aside) is shown and has loaded.
    bool WaitForPage(const QUrl& url, int ms = 20000);
    QString Fragment();  // of the location, decoded
    bool WaitForFragment(const QString& name, int ms = 10000);
    // Clicks the first element the CSS selector finds, with the mouse.
    bool Click(const QString& selector);
    QVariant Script(const QString& script);
    // Lets the event loop wait for `ms`, so that the idle-time updates run.
    void LetIdle(int ms = 30);
    // How the latest load of `url` (fragment aside) ended; LoadStartedStatus while none has.
    QWebEngineLoadingInfo::LoadStatus LoadEnded(const QUrl& url) const;
    int LoadsEnded() const { return int(m_loads.size()); }

private:
    std::vector<QByteArray> m_argStore;
    std::vector<char*> m_argv;
    int m_argc = 0;
    std::unique_ptr<CParlotypeApp> m_app;
    std::vector<std::pair<QUrl, QWebEngineLoadingInfo::LoadStatus>> m_loads;
};

// Runs a real event loop until `condition` holds; false if it does not after `ms`.
bool WaitUntil(const std::function<bool()>& condition, int ms = 10000);

// Runs `command`; while it runs, every modal widget that comes up is handed
// to `answer`, which must close it. Returns how many were answered.
int AnswerModals(const std::function<void()>& command, const std::function<void(QWidget*)>& answer);

// The text a dialog shows in its text control (line ends as LF).
QString DialogText(QWidget* dialog);
// Clicks the dialog's push button with this text; false when it has none.
bool ClickButton(QWidget* dialog, const QString& text);

// A folder for test pages whose name holds a space; removed with its files.
class PageFolder {
public:
    PageFolder();
    ~PageFolder();
    QString Path(const QString& name) const;
    QUrl Url(const QString& name) const { return QUrl::fromLocalFile(Path(name)); }
    void Write(const QString& name, const QByteArray& bytes) const;

private:
    QString m_dir;
};

void PrintTo(const QString& s, std::ostream* os);
void PrintTo(const QUrl& url, std::ostream* os);
