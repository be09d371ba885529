// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's real window, made with a command line and driven as a user does (private settings).
#include "app/main_frame.h"
#include "app/parlotype_app.h"
#include "audio/replay_file.h"
#include "common/test_audio.h"
#include "platform/message_box.h"
#include "platform/sim_audio.h"
#include "platform/web_view.h"
#include "view/command_ids.h"
#include "view/parlotype_view.h"

#include <QAction>
#include <QApplication>
#include <QHash>
#include <QTemporaryDir>
#include <QUrl>
#include <QWebEngineLoadingInfo>
#include <functional>
#include <memory>
#include <ostream>
#include <gtest/gtest.h>
#include <vector>

bool WaitUntil(const std::function<bool()>& condition, int ms = 10000);
inline void RunFor(int ms) { WaitUntil([] { return false; }, ms); }

class TestWindow {
public:
    explicit TestWindow(const QStringList& args);  // the arguments after the program name
    CParlotypeApp& App() { return *m_app; }
    CMainFrame* Frame() { return m_app->GetMainWnd(); }
    platform::WebView* Web() { return Frame()->GetActiveView()->GetWebView(); }
    QAction* Action(int id) { return RunFor(30), Frame()->Action(id); }  // once the idle-time updates have run
    bool Choose(int id);  // as a click on its menu item; false when disabled
    QString Pane(int id) { return RunFor(30), Frame()->Pane(id)->text(); }
    QString States(std::initializer_list<int> ids);  // per command: '-' disabled, 'E' enabled, 'C' checked
    bool WaitForPage(const QUrl& url);  // shown (fragment aside) and loaded
    QString Fragment() { return Web()->url().fragment(QUrl::FullyDecoded); }
    bool WaitForFragment(const QString& name) { return WaitUntil([&] { return Fragment() == name; }); }
    bool Click(const QString& selector);  // with the mouse, so with a user gesture
    QVariant Script(const QString& script);
    // How the latest load of `url` (fragment aside) ended; LoadStartedStatus while it runs or none has.
    QWebEngineLoadingInfo::LoadStatus LoadEnded(const QUrl& url) const {
        return m_loads.value(url.adjusted(QUrl::RemoveFragment), QWebEngineLoadingInfo::LoadStartedStatus);
    }

private:
    QByteArrayList m_args;
    std::vector<char*> m_argv;
    int m_argc = 0;
    std::unique_ptr<CParlotypeApp> m_app;
    QHash<QUrl, QWebEngineLoadingInfo::LoadStatus> m_loads;
};

// Runs `command`, handing each modal widget that comes up to `answer`, which closes it; how many came up.
int AnswerModals(const std::function<void()>& command, const std::function<void(QWidget*)>& answer);
QString DialogText(QWidget* dialog);
bool ClickButton(QWidget* dialog, const QString& text);

// A folder for test pages whose name holds a space.
class PageFolder : public QTemporaryDir {
public:
    PageFolder() : QTemporaryDir(QDir::temp().filePath(QStringLiteral("parlotype gui XXXXXX"))) {}
    QString Path(const QString& name) const { return filePath(name); }
    QUrl Url(const QString& name) const { return QUrl::fromLocalFile(Path(name)); }
    void Write(const QString& name, const QByteArray& bytes) const { testaudio::WriteFile(Path(name), bytes.toStdString()); }
};

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
