// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's real window, made with a command line and driven as a user does (private settings).
#include "app/application.h"
#include "common/test_audio.h"
#include "platform/message_box.h"
#include "platform/sim_audio.h"
#include "platform/web_view.h"
#include "session/playback_session.h"
#include "session/recording_session.h"
#include "ui/main_window.h"
#include "ui/script_view.h"

#include <QAction>
#include <QLabel>
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

bool waitUntil(const std::function<bool()>& condition, int ms = 10000);
inline void runFor(int ms) { waitUntil([] { return false; }, ms); }

class TestWindow {
public:
    // The arguments after the program name; the sound device to use; where
    // the program's messages go (none: message boxes).
    TestWindow(const QStringList& args, platform::AudioBackend& backend, platform::Messages::Sink messages = {});
    Application& app() { return *m_app; }
    PlaybackSession& playback() { return m_app->playback(); }
    RecordingSession& recording() { return m_app->recording(); }
    MainWindow* frame() { return m_app->window(); }
    platform::WebView* web() { return frame()->scriptView()->webView(); }
    QAction* action(const char* name) { return runFor(30), frame()->action(QLatin1String(name)); }
    bool choose(const char* name);  // as a click on its menu item; false when disabled
    QString pane(const char* name) { return runFor(30), frame()->findChild<QLabel*>(QLatin1String(name))->text(); }
    QString states(std::initializer_list<const char*> names);  // per action: '-' disabled, 'E' enabled, 'C' checked
    bool waitForPage(const QUrl& url);  // shown (fragment aside) and loaded
    QString fragment() { return web()->url().fragment(QUrl::FullyDecoded); }
    bool waitForFragment(const QString& name) { return waitUntil([&] { return fragment() == name; }); }
    bool click(const QString& selector);  // with the mouse, so with a user gesture
    QVariant script(const QString& script);
    // How the latest load of `url` (fragment aside) ended; LoadStartedStatus while it runs or none has.
    QWebEngineLoadingInfo::LoadStatus loadEnded(const QUrl& url) const {
        return m_loads.value(url.adjusted(QUrl::RemoveFragment), QWebEngineLoadingInfo::LoadStartedStatus);
    }

private:
    QByteArrayList m_args;
    std::vector<char*> m_argv;
    int m_argc = 0;
    std::unique_ptr<Application> m_app;
    QHash<QUrl, QWebEngineLoadingInfo::LoadStatus> m_loads;
};

// Runs `command`, handing each modal widget that comes up to `answer`, which closes it; how many came up.
int answerModals(const std::function<void()>& command, const std::function<void(QWidget*)>& answer);
QString dialogText(QWidget* dialog);
bool clickButton(QWidget* dialog, const QString& text);

// A folder for test pages whose name holds a space.
class PageFolder : public QTemporaryDir {
public:
    PageFolder() : QTemporaryDir(QDir::temp().filePath(QStringLiteral("parlotype gui XXXXXX"))) {}
    QString path(const QString& name) const { return filePath(name); }
    QUrl url(const QString& name) const { return QUrl::fromLocalFile(path(name)); }
    void write(const QString& name, const QByteArray& bytes) const { testaudio::writeFile(path(name), bytes.toStdString()); }
};

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
