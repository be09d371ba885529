// SPDX-License-Identifier: GPL-3.0-or-later
#include "readalong/readalong_window.h"

#include "app/main_frame.h"
#include "platform/web_view.h"
#include "view/command_ids.h"
#include "view/parlotype_view.h"
#include "view/source_dlg.h"

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
    // The recent-files list goes to a private folder, not the user's settings.
    static QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
}

ReadAlongWindow::ReadAlongWindow(const QStringList& args) {
    m_argStore.push_back("parlotype");
    for (const QString& a : args) m_argStore.push_back(a.toLocal8Bit());
    for (QByteArray& a : m_argStore) m_argv.push_back(a.data());
    m_argv.push_back(nullptr);
    m_argc = int(m_argStore.size());
    m_app = std::make_unique<CParlotypeApp>(m_argc, m_argv.data());
    if (!m_app->InitInstance()) return;
    QObject::connect(Web(), &QWebEngineView::loadFinished, Web(), [this](bool ok) {
        m_loaded = ok ? Web()->url() : QUrl();
    });
}

ReadAlongWindow::~ReadAlongWindow() = default;

CMainFrame* ReadAlongWindow::Frame() { return m_app->GetMainWnd(); }
CParlotypeView* ReadAlongWindow::View() { return Frame()->GetActiveView(); }
platform::WebView* ReadAlongWindow::Web() { return View()->GetWebView(); }
CStatusPane* ReadAlongWindow::TimePane() { return Frame()->Pane(ID_INDICATOR_TIME); }

bool ReadAlongWindow::WaitForPage(const QUrl& url, int ms) {
    const QUrl want = url.adjusted(QUrl::RemoveFragment);
    return QTest::qWaitFor(
        [&] {
            return m_loaded.adjusted(QUrl::RemoveFragment) == want &&
                   Web()->url().adjusted(QUrl::RemoveFragment) == want && !Web()->page()->isLoading();
        },
        ms);
}

QString ReadAlongWindow::Fragment() { return Web()->url().fragment(QUrl::FullyDecoded); }

bool ReadAlongWindow::WaitForFragment(const QString& name, int ms) {
    return QTest::qWaitFor([&] { return Fragment() == name; }, ms);
}

QVariant ReadAlongWindow::Script(const QString& script) {
    QVariant result;
    bool done = false;
    Web()->page()->runJavaScript(script, [&](const QVariant& v) {
        result = v;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 10000)) return {};
    return result;
}

bool ReadAlongWindow::Click(const QString& id) {
    QVariant centre;
    Web()->page()->runJavaScript(
        QStringLiteral("(function(){var e=document.getElementById('%1'); if(!e) return null;"
                       "e.scrollIntoView(); var r=e.getBoundingClientRect();"
                       "return [r.left + r.width / 2, r.top + r.height / 2];})()")
            .arg(id),
        [&](const QVariant& result) { centre = result.isNull() ? QVariant(false) : result; });
    if (!QTest::qWaitFor([&] { return centre.isValid(); }, 10000) || centre.toList().size() != 2) return false;
    const QPoint at(centre.toList()[0].toInt(), centre.toList()[1].toInt());
    QTest::mouseClick(Web()->focusProxy(), Qt::LeftButton, {}, at);
    return true;
}

void ReadAlongWindow::LetIdle(int ms) {
    // Only a loop that waits announces that it is about to block.
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

std::vector<ShownDialog> CatchSourceDialogs(const std::function<void()>& command) {
    std::vector<ShownDialog> shown;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dlg = dynamic_cast<CSourceDlg*>(QApplication::activeModalWidget());
        if (!dlg) return;
        auto* edit = dlg->findChild<QPlainTextEdit*>();
        shown.push_back({dlg->windowTitle(), dlg->m_strText, dlg->ShownText(), edit && edit->isReadOnly(),
                         dlg->size()});
        for (QPushButton* b : dlg->findChildren<QPushButton*>())
            if (b->text() == QLatin1String("OK")) QTest::mouseClick(b, Qt::LeftButton);
    });
    poll.start(20);
    command();
    return shown;
}

PageFolder::PageFolder() {
    // A new folder each time, so that no file name repeats one the global
    // file player still holds from an earlier test.
    static int count = 0;
    m_dir = QDir::temp().filePath(
        QStringLiteral("parlotype readalong %1 %2").arg(QCoreApplication::applicationPid()).arg(++count));
    QDir().mkpath(m_dir);
}

PageFolder::~PageFolder() { QDir(m_dir).removeRecursively(); }

QString PageFolder::Path(const QString& name) const { return m_dir + QLatin1Char('/') + name; }

void PageFolder::Write(const QString& name, const QByteArray& bytes) const {
    QFile file(Path(name));
    if (file.open(QIODevice::WriteOnly)) file.write(bytes);
}

void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
