// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/web_view.h"

#include <QBuffer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTimer>
#include <QUrl>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

namespace platform {
namespace {

constexpr char kResScheme[] = "res";
constexpr char kIndexScheme[] = "index";

QByteArray mimeTypeOf(const QString& path) {
    if (path.endsWith(QLatin1String(".htm")) || path.endsWith(QLatin1String(".html")))
        return "text/html";
    if (path.endsWith(QLatin1String(".svg"))) return "image/svg+xml";
    if (path.endsWith(QLatin1String(".png"))) return "image/png";
    return "application/octet-stream";
}

// Serves res:/NAME from the Qt resource :/home/NAME.
class ResourceSchemeHandler : public QWebEngineUrlSchemeHandler {
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    void requestStarted(QWebEngineUrlRequestJob* job) override {
        const QString name = job->requestUrl().path();
        QFile file(QStringLiteral(":/home/") + name);
        if (name.contains(QLatin1String("..")) || !file.open(QIODevice::ReadOnly)) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        auto* body = new QBuffer(job);
        body->setData(file.readAll());
        job->reply(mimeTypeOf(name), body);
    }
};

// "index:" is only ever a navigation that the policy turns into the script
// index; a request that still reaches the engine (a frame, an image) gets nothing.
class IndexSchemeHandler : public QWebEngineUrlSchemeHandler {
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    void requestStarted(QWebEngineUrlRequestJob* job) override {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
    }
};

QUrl urlOf(const QString& pathOrUrl) {
    const QUrl url(pathOrUrl);
    // A one-letter scheme is a drive letter; no scheme at all is a path.
    if (url.scheme().size() > 1) return url;
    return QUrl::fromLocalFile(pathOrUrl);
}

}  // namespace

void registerWebSchemes() {
    if (QWebEngineUrlScheme::schemeByName(kResScheme).name() == kResScheme) return;
    QWebEngineUrlScheme res(kResScheme);
    res.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    res.setFlags(QWebEngineUrlScheme::LocalScheme | QWebEngineUrlScheme::LocalAccessAllowed);
    QWebEngineUrlScheme::registerScheme(res);
    QWebEngineUrlScheme index(kIndexScheme);
    index.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    QWebEngineUrlScheme::registerScheme(index);
}

QString linkAsDelivered(const QUrl& url) {
    if (!url.isLocalFile()) return url.toString(QUrl::FullyEncoded);
    QString link = url.toLocalFile();
    if (url.hasQuery()) link += QLatin1Char('?') + url.query(QUrl::FullyEncoded);
    if (url.hasFragment())
        link += QLatin1Char('#') + url.fragment(QUrl::FullyEncoded).replace(QLatin1String("%23"),
                                                                         QLatin1String("#"));
    return link;
}

class WebView::Page : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

    void setPolicy(NavigationPolicy policy) { m_policy = std::move(policy); }

    // Notes a load of `url` in the main frame, as the program starts it or as
    // the engine asks about it, whichever comes first.
    void noteLoad(const QUrl& url) {
        const QUrl shown = this->url().adjusted(QUrl::RemoveFragment);
        if (url.adjusted(QUrl::RemoveFragment) == shown) return;
        m_loadingOther = true;
        m_leaving = shown;
    }
    // A load in the main frame ended at `url` (loaded, failed, stopped,
    // redirected elsewhere): unless it is a move within the page left, no
    // other page is loading any more.
    void noteLoadEnded(const QUrl& url) {
        if (url.adjusted(QUrl::RemoveFragment) != m_leaving) m_loadingOther = false;
    }
    // Whether the main frame is loading a page other than the one shown when
    // that load began.
    bool isLoadingOther() const { return m_loadingOther; }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        const bool accepted = !m_policy || m_policy(linkAsDelivered(url));
        if (accepted && isMainFrame) noteLoad(url);
        return accepted;
    }

private:
    NavigationPolicy m_policy;
    bool m_loadingOther = false;
    QUrl m_leaving;  // the page shown when the load of another began
};

namespace {

constexpr char kWordClickScript[] = R"JS(document.addEventListener('click', function (e) {
  const w = e.target.closest && e.target.closest('[data-begin]');
  const a = w && w.closest('a[href]');
  const parts = a ? a.getAttribute('href').split('#') : [];
  if (parts.length < 2) return;
  e.preventDefault();
  // Never before the line's own start: a word's time may be a little earlier than the link's rounded one.
  const start = parseFloat(parts[1]) > parseFloat(w.dataset.begin) ? parts[1] : w.dataset.begin;
  location.href = parts[0] + '#' + start + (parts.length > 2 ? '#' + parts[parts.length - 1] : '');
}, true);)JS";

}  // namespace

WebView::WebView(QWidget* parent) : QWebEngineView(parent) {
    QWebEngineProfile* profile = QWebEngineProfile::defaultProfile();
    if (!profile->urlSchemeHandler(kResScheme)) {
        profile->installUrlSchemeHandler(kResScheme, new ResourceSchemeHandler(profile));
        profile->installUrlSchemeHandler(kIndexScheme, new IndexSchemeHandler(profile));
    }
    m_page = new Page(profile, this);
    // A page that declares no charset is read as UTF-8, as the item scan reads it.
    m_page->settings()->setDefaultTextEncoding(QStringLiteral("UTF-8"));
    connect(m_page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
        if (info.status() != QWebEngineLoadingInfo::LoadStartedStatus) m_page->noteLoadEnded(info.url());
    });
    setPage(m_page);
    // A click on a timed word plays from it to the end of its item: the
    // word's start goes into its link in place of the line's.
    QWebEngineScript words;
    words.setName(QStringLiteral("parlotype-words"));
    words.setInjectionPoint(QWebEngineScript::DocumentReady);
    words.setWorldId(QWebEngineScript::ApplicationWorld);
    words.setSourceCode(QString::fromLatin1(kWordClickScript));
    m_page->scripts().insert(words);
}

WebView::~WebView() {
    // The page must go before the view that shows it.
    setPage(nullptr);
    delete m_page;
}

void WebView::setNavigationPolicy(NavigationPolicy policy) { m_page->setPolicy(std::move(policy)); }

void WebView::navigate(const QString& pathOrUrl) {
    // A load started inside the engine's navigation callback would replace the
    // navigation the engine is still deciding; start it from the event loop.
    const QUrl url = urlOf(pathOrUrl);
    QTimer::singleShot(0, this, [this, url] {
        m_page->noteLoad(url);
        load(url);
    });
}

void WebView::loadHomePage() { navigate(QString::fromLatin1(kHomePageUrl)); }

QString WebView::location() const { return url().toString(QUrl::FullyEncoded); }

void WebView::moveToAnchor(const QString& address) {
    // Only the fragment differs from the page shown, so the engine scrolls to
    // the anchor without reloading the page. A load of the very address shown
    // would reload it, so the page itself goes back to that anchor then.
    // A move would cancel the load of another page under way.
    if (m_page->isLoadingOther()) return;
    emit movingToAnchor(address);
    const QUrl target(address);
    if (target != url()) {
        load(target);
        return;
    }
    const QString quoted = QString::fromUtf8(QJsonDocument(QJsonArray{address}).toJson(QJsonDocument::Compact));
    page()->runJavaScript(QStringLiteral("location.replace(%1[0])").arg(quoted));
}

namespace {

// Runs with the anchor's name as `n` and the word's index as `k`.
constexpr char kMarkWordScript[] = R"JS((function (n, k) {
  for (const e of document.querySelectorAll('.parlotype-current-word')) e.classList.remove('parlotype-current-word');
  const a = n && document.getElementsByName(n)[0];
  const w = a && k >= 0 && a.querySelectorAll('[data-begin]')[k];
  if (!w) return;
  w.classList.add('parlotype-current-word');
  if (!document.getElementById('parlotype-current-word-style')) {
    const s = document.createElement('style');
    s.id = 'parlotype-current-word-style';
    s.textContent = ':where(.parlotype-current-word) { background-color: #ffd24d; border-radius: 2px; }';
    (document.head || document.documentElement).prepend(s);
  }
})(%1[0], %2))JS";

// Runs with the anchor's name as `n` ("" for none).
constexpr char kMarkScript[] = R"JS((function (n) {
  for (const e of document.querySelectorAll('.parlotype-current')) e.classList.remove('parlotype-current');
  if (!n) return;
  let e = document.getElementsByName(n)[0] || document.getElementById(n);
  if (!e) return;
  if (!e.textContent.trim() && e.parentElement) e = e.parentElement;
  e.classList.add('parlotype-current');
  if (!document.getElementById('parlotype-current-style')) {
    const s = document.createElement('style');
    s.id = 'parlotype-current-style';
    s.textContent = ':where(.parlotype-current) { background-color: #fff0a0; border-radius: 2px; }';
    (document.head || document.documentElement).prepend(s);
  }
})(%1[0]))JS";

}  // namespace

void WebView::markWord(const QString& item, int index) {
    const QString quoted = QString::fromUtf8(QJsonDocument(QJsonArray{item}).toJson(QJsonDocument::Compact));
    page()->runJavaScript(QString::fromLatin1(kMarkWordScript).arg(quoted).arg(index));
    emit wordMarked(item, index);
}

void WebView::markElement(const QString& name) {
    const QString quoted = QString::fromUtf8(QJsonDocument(QJsonArray{name}).toJson(QJsonDocument::Compact));
    page()->runJavaScript(QString::fromLatin1(kMarkScript).arg(quoted));
    emit elementMarked(name);
}

void WebView::printPage() {
    if (m_printer) return;  // one print at a time
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (QPrinterInfo::defaultPrinter().isNull()) {
        QPrintDialog dialog(printer.get(), this);
        if (dialog.exec() != QDialog::Accepted) return;
    }
    printOn(std::move(printer));
}

void WebView::printOn(std::unique_ptr<QPrinter> printer) {
    if (m_printer) return;
    m_printer = std::move(printer);
    connect(this, &QWebEngineView::printFinished, this, [this] { m_printer.reset(); },
            Qt::SingleShotConnection);
    print(m_printer.get());
}

}  // namespace platform
