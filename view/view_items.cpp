// SPDX-License-Identifier: GPL-3.0-or-later
// The table of the page's audio items and the tracking of the item now
// sounding: the page moves to its anchor (with Follow Page) and the item is
// highlighted. Tracking runs in the idle-time update of the time pane. While a
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

#include <QTimer>
#include <QTimerEvent>
#include <QUrl>
#include <algorithm>

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
    if (k == m_nCurItem) {
        MarkItem(k);  // again after a stop
        return;
    }
    if (m_bSingleItem && m_nCurItem != -1) {
        // The sounding item changed: single-item play ends, or with Repeat
        // plays the item again.
        if (!m_bRepeat || !theReplayFile.PlayFrom(m_items[m_nCurItem].start)) theReplayFile.CloseDevice();
        return;
    }
    if (m_bPauseAfter && m_nCurItem != -1 && k > m_nCurItem) StartTurn(ItemSeconds(m_nCurItem));
    m_nCurItem = k;
    MarkItem(k);
    if (k == -1 || !m_bFollowPage) return;
    QString address = m_pWebView->location();
    const qsizetype hash = address.indexOf(QLatin1Char('#'));
    if (hash >= 0) address.truncate(hash);
    address += QLatin1Char('#') + QString::fromLatin1(QUrl::toPercentEncoding(ItemName(k).toLatin1(), kFragmentSafe));
    m_pWebView->moveToAnchor(address);
}

void CParlotypeView::OnUpdateIndicatorTime(CCmdUI* pCmdUI) {
    if (!theReplayFile.IsPlaying()) {
        m_pTurnTimer->stop();
        MarkItem(-1);
        pCmdUI->Enable(false);
        RepeatAtDataEnd();
        return;
    }
    pCmdUI->Enable(true);
    if (!m_nTrackTimer && !theReplayFile.IsPaused()) m_nTrackTimer = startTimer(kTrackWakeMs, Qt::PreciseTimer);
    const double pos = theReplayFile.GetPosition();
    if (m_pTurnTimer->isActive()) {
        // The reader's turn: nothing moves until it ends.
    } else if (m_dEndTime > 0 && pos > m_dEndTime) {
        if (m_bPauseAfter && !theReplayFile.IsPaused())
            StartTurn(m_dEndTime - (m_nCurItem == -1 ? m_dLinkStart : std::max(m_dLinkStart, m_items[m_nCurItem].start)));
        else
            FinishStretch();
    } else {
        ShowItemAt(pos);
    }
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
