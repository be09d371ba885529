// SPDX-License-Identifier: GPL-3.0-or-later
// The table of the page's audio items and the tracking of the item now
// sounding. Tracking runs in the idle-time update of the time pane. While a
// file plays, the only events are the player's returned buffers, which may
// be seconds apart; a timer then wakes the event loop every kTrackWakeMs so
// that the update (and with it the end-time stop and the page) keeps up with
// what is heard. The timer does nothing else and stops once nothing plays.
#include "view/parlotype_view.h"

#include "audio/replay_file.h"
#include "platform/message_box.h"
#include "platform/page_stream.h"
#include "platform/web_view.h"
#include "view/time_text.h"

#include <QTimerEvent>
#include <QUrl>

namespace {

// Characters an anchor name keeps as they are in the address's fragment;
// the others (spaces, '#', '%', bytes beyond ASCII) are written as escapes.
constexpr char kFragmentSafe[] = "!$&'()*+,;=:@/?";

bool IsSounding() { return theReplayFile.IsPlaying() && !theReplayFile.IsPaused(); }

}  // namespace

void CParlotypeView::ScanItems(const QString& fileName) {
    m_nItems = 0;
    const QString pageUrl = m_pWebView->location();
    if (pageUrl.startsWith(QLatin1String("res:"))) return;  // the built-in home page
    platform::PageOpenResult page = platform::OpenPageStream(pageUrl);
    if (page.status == platform::PageOpenStatus::Unreadable) {
        platform::ShowMessage(page.message);
        return;
    }
    if (page.status != platform::PageOpenStatus::Opened) return;  // an internet error: quietly none
    const int n = ScanItemsFromStream(*page.stream, pageUrl, fileName, m_items.get(), m_nMaxItems);
    if (page.stream->Failed()) {
        // Part of the page is missing: keep no items rather than some.
        platform::ShowMessage(page.stream->ErrorMessage());
        return;
    }
    m_nItems = n;
}

void CParlotypeView::ShowItemAt(double seconds) {
    const int k = FindCurrentItem(m_items.get(), m_nItems, seconds);
    if (k == m_nCurItem) return;
    if (m_bSingleItem && m_nCurItem != -1) {
        theReplayFile.CloseDevice();  // the sounding item changed: single-item play ends
        return;
    }
    if (k == -1) {
        m_nCurItem = -1;
        return;
    }
    QString address = m_pWebView->location();
    const qsizetype hash = address.indexOf(QLatin1Char('#'));
    if (hash >= 0) address.truncate(hash);
    const AudioItem& item = m_items[k];
    const QByteArray name(item.name, qstrnlen(item.name, sizeof item.name));
    address += QLatin1Char('#') + QString::fromLatin1(QUrl::toPercentEncoding(name, kFragmentSafe));
    m_nCurItem = k;
    m_pWebView->moveToAnchor(address);
}

void CParlotypeView::OnUpdateIndicatorTime(CCmdUI* pCmdUI) {
    if (!theReplayFile.IsPlaying()) {
        pCmdUI->Enable(false);
        return;
    }
    pCmdUI->Enable(true);
    if (!m_nTrackTimer && !theReplayFile.IsPaused()) m_nTrackTimer = startTimer(kTrackWakeMs, Qt::PreciseTimer);
    const double pos = theReplayFile.GetPosition();
    if (m_dEndTime > 0 && pos > m_dEndTime)
        theReplayFile.CloseDevice();
    else
        ShowItemAt(pos);
    pCmdUI->SetText(TimeText(pos));
}

void CParlotypeView::timerEvent(QTimerEvent* e) {
    if (e->timerId() != m_nTrackTimer) {
        QWidget::timerEvent(e);
        return;
    }
    // Waking the loop is all it takes; stop once nothing plays.
    if (!IsSounding()) {
        killTimer(m_nTrackTimer);
        m_nTrackTimer = 0;
    }
}
