// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/script_view.h"

#include "platform/message_box.h"
#include "platform/page_stream.h"
#include "platform/web_view.h"
#include "script/audio_link.h"
#include "script/page_listing.h"
#include "session/playback_session.h"
#include "ui/source_dialog.h"

#include <QUrl>
#include <QVBoxLayout>

namespace {

// Characters an anchor name keeps as they are in the address's fragment;
// the others (spaces, '#', '%', bytes beyond ASCII) are written as escapes.
constexpr char kFragmentSafe[] = "!$&'()*+,;=:@/?";

using Listing = QByteArray (*)(ByteStream&);

// Nothing is shown for the built-in home page or when the page cannot be
// fetched; a local page that cannot be opened or read is reported.
void showListing(const QString& location, Listing listing, const platform::Messages& messages, QWidget* owner) {
    if (location.startsWith(QLatin1String("res:"))) return;
    platform::PageOpenResult page = platform::openPageStream(location);
    if (page.status == platform::PageOpenStatus::Unreadable) {
        messages.show(page.message);
        return;
    }
    if (page.status != platform::PageOpenStatus::Opened) return;
    const QByteArray text = listing(*page.stream);
    if (page.stream->failed()) {
        messages.show(page.stream->errorMessage());
        return;
    }
    page.stream.reset();  // closed before the dialog opens
    SourceDialog dialog(listingText(text), owner);
    dialog.exec();
}

}  // namespace

ScriptView::ScriptView(PlaybackSession& playback, const platform::Messages& messages, const QString& scriptIndex, QWidget* parent)
    : QWidget(parent), m_playback(playback), m_messages(messages), m_scriptIndex(scriptIndex), m_webView(new platform::WebView(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_webView);
    setFocusProxy(m_webView);
    m_webView->setNavigationPolicy([this](const QString& url) { return allowNavigation(url); });
    connect(&m_playback, &PlaybackSession::currentItemChanged, this, &ScriptView::showItem);
    connect(&m_playback, &PlaybackSession::currentWordChanged, this, &ScriptView::showWord);
}

void ScriptView::openScript(const QString& path) {
    m_scriptPath = path;
    if (path.isEmpty())
        showHomePage();
    else
        m_webView->navigate(path);
}

// Ordinary navigations go through; audio links are played instead.
bool ScriptView::allowNavigation(const QString& url) {
    const QString link = rerootBurnedLink(url, m_scriptPath);
    if (link.startsWith(QLatin1String("index:"))) {
        goHome();
        return false;
    }
    if (!isAudioLink(link)) return true;
    // A file that could not be opened leaves the link to the web view.
    return !m_playback.playLink(link, m_webView->location());
}

// Items and words name anchors of the page they were read from: another
// page shown is neither marked nor moved.
bool ScriptView::showsItemsPage() const {
    return !m_playback.itemsPage().isEmpty() && m_webView->url().adjusted(QUrl::RemoveFragment) == m_playback.itemsPage();
}

// The item now sounding is highlighted, and with Follow Page the page moves
// to its anchor.
void ScriptView::showItem(const QString& name) {
    if (!showsItemsPage()) {
        m_marked.clear();  // back on its page, the next item is marked anew
        return;
    }
    if (name != m_marked) {
        m_marked = name;
        m_webView->markElement(name);
    }
    if (name.isEmpty() || !m_followPage) return;
    QString address = m_webView->location();
    const qsizetype hash = address.indexOf(QLatin1Char('#'));
    if (hash >= 0) address.truncate(hash);
    address += QLatin1Char('#') + QString::fromLatin1(QUrl::toPercentEncoding(name.toUtf8(), kFragmentSafe));
    m_webView->moveToAnchor(address);
}

void ScriptView::showWord(const QString& item, int index) {
    if (showsItemsPage()) m_webView->markWord(item, index);
}

void ScriptView::setFollowPage(bool on) {
    if (on == m_followPage) return;
    m_followPage = on;
    emit followPageChanged(on);
}

// With no history in that direction, nothing happens.
void ScriptView::goBack() { m_webView->back(); }

void ScriptView::goForward() { m_webView->forward(); }

void ScriptView::goHome() { m_webView->navigate(m_scriptIndex); }

void ScriptView::showHomePage() { m_webView->loadHomePage(); }

void ScriptView::print() { m_webView->printPage(); }

void ScriptView::showSource() { showListing(m_webView->location(), &sourceListing, m_messages, window()); }

void ScriptView::showParse() { showListing(m_webView->location(), &parsedListing, m_messages, window()); }
