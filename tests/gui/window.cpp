// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/window.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>

extern "C" void parlotype_before_app() {
    platform::registerWebSchemes();
    static QTemporaryDir config, data;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
}

TestWindow::TestWindow(const QStringList& args, platform::AudioBackend& backend, platform::Messages::Sink messages) {
    m_args << "parlotype";
    for (const QString& a : args) m_args << a.toLocal8Bit();
    for (QByteArray& a : m_args) m_argv.push_back(a.data());
    m_argv.push_back(nullptr);
    m_argc = int(m_args.size());
    m_app = std::make_unique<Application>(m_argc, m_argv.data(), &backend);
    m_app->messages().setSink(std::move(messages));
    if (!m_app->start()) return;
    QObject::connect(web()->page(), &QWebEnginePage::loadingChanged, web(), [this](const QWebEngineLoadingInfo& i) {
        m_loads[i.url().adjusted(QUrl::RemoveFragment)] = i.status();
    });
}

bool TestWindow::choose(const char* name) {
    QAction* chosen = action(name);
    const bool enabled = chosen->isEnabled();
    if (enabled) chosen->trigger();
    return enabled;
}

QString TestWindow::states(std::initializer_list<const char*> names) {
    runFor(30);
    QString s;
    for (const char* name : names) {
        const QAction* action = frame()->action(QLatin1String(name));
        s += !action->isEnabled() ? '-' : action->isChecked() ? 'C' : 'E';
    }
    return s;
}

bool TestWindow::waitForPage(const QUrl& url) {
    return waitUntil([&] {
        return web()->url().adjusted(QUrl::RemoveFragment) == url.adjusted(QUrl::RemoveFragment) &&
               !web()->page()->isLoading() && loadEnded(url) == QWebEngineLoadingInfo::LoadSucceededStatus;
    }, 20000);
}

QVariant TestWindow::script(const QString& script) {
    QVariant result;
    bool done = false;
    web()->page()->runJavaScript(script, [&](const QVariant& v) { result = v, done = true; });
    waitUntil([&] { return done; });
    return result;
}

bool TestWindow::click(const QString& selector) {
    const QVariantList at = script(QStringLiteral("(function(){var e=document.querySelector(\"%1\"); if(!e) return null;"
                                                  "e.scrollIntoView(); var r=e.getBoundingClientRect();"
                                                  "return [r.left + r.width / 2, r.top + r.height / 2];})()")
                                       .arg(selector)).toList();
    if (at.size() == 2) QTest::mouseClick(web()->focusProxy(), Qt::LeftButton, {}, QPoint(at[0].toInt(), at[1].toInt()));
    return at.size() == 2;
}

bool waitUntil(const std::function<bool()>& condition, int ms) {  // in a real event loop
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (condition()) loop.quit();
    });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    poll.start(10);
    if (!condition()) loop.exec();
    return condition();
}

int answerModals(const std::function<void()>& command, const std::function<void(QWidget*)>& answer) {
    int answered = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->isVisible()) ++answered, answer(modal);
    });
    poll.start(20);
    command();
    return answered;
}

QString dialogText(QWidget* dialog) { return dialog->findChild<QPlainTextEdit*>()->toPlainText(); }

bool clickButton(QWidget* dialog, const QString& text) {
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
        if (b->text() == text) return QTest::mouseClick(b, Qt::LeftButton), true;
    return false;
}
