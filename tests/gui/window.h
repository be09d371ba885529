// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's real window for the GUI tests, made with a command line, and
// helpers that drive it as a user does (menu commands, clicks on the page,
// modal dialogs answered) and wait for the engine instead of sleeping.
// Settings, recent files and the script index go to private folders.
#include "app/main_frame.h"
#include "app/parlotype_app.h"
#include "platform/web_view.h"

#include <QApplication>
#include <QUrl>
#include <QWebEngineLoadingInfo>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

class TestWindow {
public:
    explicit TestWindow(const QStringList& args = {});  // the arguments after the program name
    CParlotypeApp& App() { return *m_app; }
    CMainFrame* Frame() { return m_app->GetMainWnd(); }
    platform::WebView* Web();

    QAction* Action(int id);  // once the idle-time updates have run
    bool Choose(int id);      // as a click on its menu item; false when disabled
    QString Pane(int id);     // a status pane's text once the updates have run
    // Per command: '-' disabled, 'E' enabled, 'C' enabled and checked.
    QString States(std::initializer_list<int> ids);

    bool WaitForPage(const QUrl& url, int ms = 20000);  // shown (fragment aside) and loaded
    QString Fragment();
    bool WaitForFragment(const QString& name);
    bool Click(const QString& selector);  // with the mouse, so with a user gesture
    QVariant Script(const QString& script);
    void LetIdle(int ms = 30);  // the event loop waits, so the idle-time updates run
    // How the latest load of `url` (fragment aside) ended; LoadStartedStatus while none has.
    QWebEngineLoadingInfo::LoadStatus LoadEnded(const QUrl& url) const;

private:
    std::vector<QByteArray> m_args;
    std::vector<char*> m_argv;
    int m_argc = 0;
    std::unique_ptr<CParlotypeApp> m_app;
    std::vector<std::pair<QUrl, QWebEngineLoadingInfo::LoadStatus>> m_loads;
};

// Runs a real event loop until `condition` holds; false if it does not after `ms`.
bool WaitUntil(const std::function<bool()>& condition, int ms = 10000);
// Runs `command`, handing every modal widget that comes up meanwhile to
// `answer`, which closes it. Returns how many were answered.
int AnswerModals(const std::function<void()>& command, const std::function<void(QWidget*)>& answer);
QString DialogText(QWidget* dialog);  // its text control's, line ends as LF
bool ClickButton(QWidget* dialog, const QString& text);

// A folder for test pages whose name holds a space; removed with its files.
class PageFolder {
public:
    PageFolder();
    ~PageFolder();
    QString Path(const QString& name) const { return m_dir + QLatin1Char('/') + name; }
    QUrl Url(const QString& name) const { return QUrl::fromLocalFile(Path(name)); }
    void Write(const QString& name, const QByteArray& bytes) const;

private:
    QString m_dir;
};

void PrintTo(const QString& s, std::ostream* os);
