// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/window.h"

#include "app/main_frame.h"
#include "view/cmd_ui.h"
#include "platform/web_view.h"
#include "view/parlotype_view.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>

extern "C" void parlotype_before_app() {
    platform::RegisterWebSchemes();
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
    QObject::connect(Web()->page(), &QWebEnginePage::loadingChanged, Web(), [this](const QWebEngineLoadingInfo& i) {
        if (i.status() != QWebEngineLoadingInfo::LoadStartedStatus) m_loads.emplace_back(i.url(), i.status());
    });
}

TestWindow::~TestWindow() = default;

CMainFrame* TestWindow::Frame() { return m_app->GetMainWnd(); }
CParlotypeView* TestWindow::View() { return Frame()->GetActiveView(); }
platform::WebView* TestWindow::Web() { return View()->GetWebView(); }

QAction* TestWindow::Action(int id) {
    LetIdle();
    return Frame()->Action(id);
}

bool TestWindow::Choose(int id) {
    QAction* action = Action(id);
    if (!action->isEnabled()) return false;
    action->trigger();
    return true;
}

QString TestWindow::Pane(int id) {
    LetIdle();
    return Frame()->Pane(id)->text();
}

bool TestWindow::WaitForPage(const QUrl& url, int ms) {
    const QUrl want = url.adjusted(QUrl::RemoveFragment);
    return WaitUntil(
        [&] {
            return Web()->url().adjusted(QUrl::RemoveFragment) == want && !Web()->page()->isLoading() &&
                   LoadEnded(url) == QWebEngineLoadingInfo::LoadSucceededStatus;
        },
        ms);
}

QString TestWindow::Fragment() { return Web()->url().fragment(QUrl::FullyDecoded); }

bool TestWindow::WaitForFragment(const QString& name, int ms) {
    return WaitUntil([&] { return Fragment() == name; }, ms);
}

QVariant TestWindow::Script(const QString& script) {
    QVariant result;
    bool done = false;
    Web()->page()->runJavaScript(script, [&](const QVariant& v) {
        result = v;
        done = true;
    });
    WaitUntil([&] { return done; });
    return result;
}

bool TestWindow::Click(const QString& selector) {
    // A real mouse click, so that the navigation carries a user gesture.
    const QVariantList centre =
        Script(QStringLiteral("(function(){var e=document.querySelector(\"%1\"); if(!e) return null;"
                              "e.scrollIntoView(); var r=e.getBoundingClientRect();"
                              "return [r.left + r.width / 2, r.top + r.height / 2];})()")
                   .arg(selector))
            .toList();
    if (centre.size() != 2) return false;
    QTest::mouseClick(Web()->focusProxy(), Qt::LeftButton, {}, QPoint(centre[0].toInt(), centre[1].toInt()));
    return true;
}

void TestWindow::LetIdle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QWebEngineLoadingInfo::LoadStatus TestWindow::LoadEnded(const QUrl& url) const {
    const QUrl want = url.adjusted(QUrl::RemoveFragment);
    for (auto it = m_loads.rbegin(); it != m_loads.rend(); ++it)
        if (it->first.adjusted(QUrl::RemoveFragment) == want) return it->second;
    return QWebEngineLoadingInfo::LoadStartedStatus;
}

bool WaitUntil(const std::function<bool()>& condition, int ms) {
    // A real event loop that waits for events, as the program's does.
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

int AnswerModals(const std::function<void()>& command, const std::function<void(QWidget*)>& answer) {
    int answered = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) return;
        ++answered;
        answer(modal);
    });
    poll.start(20);
    command();
    return answered;
}

QString DialogText(QWidget* dialog) {
    auto* edit = dialog->findChild<QPlainTextEdit*>();
    return edit ? edit->toPlainText() : QString();
}

bool ClickButton(QWidget* dialog, const QString& text) {
    for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
        if (b->text() != text) continue;
        QTest::mouseClick(b, Qt::LeftButton);
        return true;
    }
    return false;
}

PageFolder::PageFolder() {
    static int count = 0;  // a new folder each time: the file player remembers the last file's name
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
