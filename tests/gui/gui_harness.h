// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's real window for GUI tests: the application object made with
// a command line, its frame, view and web view, and helpers that wait for the
// engine instead of sleeping. The web schemes are registered and the
// settings kept in a private folder before the QApplication exists.

#include "app/parlotype_app.h"

#include <QStringList>
#include <functional>
#include <QUrl>
#include <QWebEngineLoadingInfo>
#include <ostream>
#include <memory>
#include <vector>

class CMainFrame;
class CParlotypeView;
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

    // Waits until the page at `url` (compared without its fragment) has
    // finished loading; false after `ms`.
    bool WaitForPage(const QUrl& url, int ms = 20000);
    // Clicks the first element that the CSS selector finds on the page shown,
    // with the mouse, as a reader would.
    bool Click(const QString& selector);
    // Lets the event loop wait once, so that the idle-time updates run.
    void LetIdle();
    // How the latest load of `url` (fragment aside) ended: succeeded, failed,
    // or stopped (a cancelled navigation); LoadStartedStatus while none has ended.
    QWebEngineLoadingInfo::LoadStatus LoadEnded(const QUrl& url) const;
    // Loads that have ended so far.
    int LoadsEnded() const { return int(m_loads.size()); }

private:
    std::vector<QByteArray> m_argStore;
    std::vector<char*> m_argv;
    int m_argc = 0;
    std::unique_ptr<CParlotypeApp> m_app;
    struct Load {
        QUrl url;
        QWebEngineLoadingInfo::LoadStatus status;
    };
    std::vector<Load> m_loads;
};

// Runs the event loop until `condition` holds; false if it still does not after `ms`.
bool WaitUntil(const std::function<bool()>& condition, int ms = 10000);

// A folder for test pages whose name holds a space; removed with its files.
class PageFolder {
public:
    PageFolder();
    ~PageFolder();
    QString Path(const QString& name) const;
    void Write(const QString& name, const QByteArray& bytes) const;

private:
    QString m_dir;
};

// Readable values in test failures.
void PrintTo(const QString& s, std::ostream* os);
void PrintTo(const QUrl& url, std::ostream* os);
