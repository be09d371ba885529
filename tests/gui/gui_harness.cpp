// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui_harness.h"

#include "app/main_frame.h"
#include "platform/web_view.h"
#include "view/parlotype_view.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>

extern "C" void parlotype_before_app() {
    platform::RegisterWebSchemes();
    // The recent-files list and the user's script index go to private folders,
    // not the user's own.
    static QTemporaryDir config, data;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
}

TestWindow::TestWindow(const QStringList& args) {
    m_argStore.push_back("parlotype");
    for (const QString& a : args) m_argStore.push_back(a.toLocal8Bit());
    for (QByteArray& a : m_argStore) m_argv.push_back(a.data());
    m_argv.push_back(nullptr);
    m_argc = int(m_argStore.size());
    m_app = std::make_unique<CParlotypeApp>(m_argc, m_argv.data());
    if (!m_app->InitInstance()) return;
    QObject::connect(Web()->page(), &QWebEnginePage::loadingChanged, Web(),
                     [this](const QWebEngineLoadingInfo& info) {
                         if (info.status() != QWebEngineLoadingInfo::LoadStartedStatus)
                             m_loads.push_back({info.url(), info.status()});
                     });
}

TestWindow::~TestWindow() = default;

CMainFrame* TestWindow::Frame() { return m_app->GetMainWnd(); }
CParlotypeView* TestWindow::View() { return Frame()->GetActiveView(); }
platform::WebView* TestWindow::Web() { return View()->GetWebView(); }

bool TestWindow::WaitForPage(const QUrl& url, int ms) {
    const QUrl want = url.adjusted(QUrl::RemoveFragment);
    return WaitUntil(
        [&] {
            return Web()->url().adjusted(QUrl::RemoveFragment) == want && !Web()->page()->isLoading() &&
                   LoadEnded(url) == QWebEngineLoadingInfo::LoadSucceededStatus;
        },
        ms);
}

bool WaitUntil(const std::function<bool()>& condition, int ms) {
    // A real event loop that waits for events, as the program's does (the
    // engine's work and the idle-time updates both need one).
    if (condition()) return true;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (condition()) loop.quit();
    });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    poll.start(10);
    loop.exec();
    return condition();
}

QWebEngineLoadingInfo::LoadStatus TestWindow::LoadEnded(const QUrl& url) const {
    for (auto it = m_loads.rbegin(); it != m_loads.rend(); ++it)
        if (it->url.adjusted(QUrl::RemoveFragment) == url.adjusted(QUrl::RemoveFragment)) return it->status;
    return QWebEngineLoadingInfo::LoadStartedStatus;
}

bool TestWindow::Click(const QString& selector) {
    // A real mouse click, so the navigation carries a user gesture as a
    // reader's would (the engine's history skips entries made without one).
    QVariant centre;
    Web()->page()->runJavaScript(
        QStringLiteral("(function(){var e=document.querySelector(\"%1\"); if(!e) return null;"
                       "e.scrollIntoView(); var r=e.getBoundingClientRect();"
                       "return [r.left + r.width / 2, r.top + r.height / 2];})()")
            .arg(selector),
        [&](const QVariant& result) { centre = result.isNull() ? QVariant(false) : result; });
    if (!WaitUntil([&] { return centre.isValid(); }, 10000) || centre.toList().size() != 2) return false;
    const QPoint at(centre.toList()[0].toInt(), centre.toList()[1].toInt());
    QTest::mouseClick(Web()->focusProxy(), Qt::LeftButton, {}, at);
    return true;
}

void TestWindow::LetIdle() {
    // A real event loop waits, so the dispatcher announces it is about to block.
    QEventLoop loop;
    QTimer::singleShot(30, &loop, &QEventLoop::quit);
    loop.exec();
}

PageFolder::PageFolder() {
    static int count = 0;  // a new folder each time: file dialogs remember folders
    m_dir = QDir::temp().filePath(
        QStringLiteral("parlotype gui %1-%2").arg(QCoreApplication::applicationPid()).arg(++count));
    QDir().mkpath(m_dir);
}

PageFolder::~PageFolder() { QDir(m_dir).removeRecursively(); }

QString PageFolder::Path(const QString& name) const { return m_dir + QLatin1Char('/') + name; }

void PageFolder::Write(const QString& name, const QByteArray& bytes) const {
    QFile file(Path(name));
    if (file.open(QIODevice::WriteOnly)) file.write(bytes);
}

void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
void PrintTo(const QUrl& url, std::ostream* os) { *os << url.toString().toStdString(); }
