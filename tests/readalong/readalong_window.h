// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's real window for the read-along tests: the application made
// with a command line, helpers that wait for the web engine, run idle-time
// updates, click links, and catch the Source dialog. Test pages go to a
// folder whose name holds a space.

#include "app/parlotype_app.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

class CMainFrame;
class CParlotypeView;
class CStatusPane;
namespace platform {
class WebView;
}

class ReadAlongWindow {
public:
    explicit ReadAlongWindow(const QStringList& args = {});
    ~ReadAlongWindow();

    CParlotypeApp& App() { return *m_app; }
    CMainFrame* Frame();
    CParlotypeView* View();
    platform::WebView* Web();
    CStatusPane* TimePane();

    // Waits until `url` (fragment aside) is shown and loaded; false after `ms`.
    bool WaitForPage(const QUrl& url, int ms = 20000);
    // The fragment of the location, decoded ("" when it has none).
    QString Fragment();
    // Waits until the location's fragment is `name`; false after `ms`.
    bool WaitForFragment(const QString& name, int ms = 10000);
    // Clicks the element with this id, with the mouse, as a reader would.
    bool Click(const QString& id);
    // Lets the event loop wait for `ms`, so that the idle-time updates run.
    void LetIdle(int ms = 30);
    // Runs a script on the page shown and returns its result.
    QVariant Script(const QString& script);

private:
    std::vector<QByteArray> m_argStore;
    std::vector<char*> m_argv;
    int m_argc = 0;
    std::unique_ptr<CParlotypeApp> m_app;
    QUrl m_loaded;  // the page of the latest load that succeeded
};

// What a Source dialog showed.
struct ShownDialog {
    QString caption;
    QString text;       // m_strText
    QString shownText;  // what its text control holds
    bool readOnly = false;
    QSize size;
};

// Runs `command`; every Source dialog it opens is recorded and closed with
// its OK button.
std::vector<ShownDialog> CatchSourceDialogs(const std::function<void()>& command);

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
