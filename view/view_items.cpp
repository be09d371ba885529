// SPDX-License-Identifier: GPL-3.0-or-later
// The table of the page's audio items and the tracking of the playback: the
// end time, Single Item Play, Repeat, the reader's turn, and the item now
// sounding, whose anchor the page moves to (with Follow Page) and highlights.
// Tracking runs on its own timer every kTrackWakeMs while a file sounds,
// whatever the window shows (status bar hidden, a modal dialog open); the
// player's returned buffers may be seconds apart. The time pane only shows
// the position.
#include "view/parlotype_view.h"

#include "audio/replay_file.h"
#include "platform/message_box.h"
#include "platform/page_stream.h"
#include "platform/web_view.h"
#include "script/time_text.h"

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
    platform::PageOpenResult page = platform::openPageStream(pageUrl);
    if (page.status == platform::PageOpenStatus::Unreadable) {
        platform::showMessage(page.message);
        return;
    }
    if (page.status != platform::PageOpenStatus::Opened) return;  // an internet error: quietly none
    const int n = scanItemsFromStream(*page.stream, pageUrl, fileName, m_items.get(), m_nMaxItems);
    if (page.stream->failed()) {
        // Part of the page is missing: keep no items rather than some.
        platform::showMessage(page.stream->errorMessage());
        return;
    }
    m_nItems = n;
}

void CParlotypeView::ShowItemAt(double seconds) {
    const int k = findCurrentItem(m_items.get(), m_nItems, seconds);
    if (k == m_nCurItem) {
        MarkItem(k);  // again after a stop
        return;
    }
    if (m_bSingleItem && m_nCurItem != -1) {
        // The sounding item changed: single-item play ends, or with Repeat
        // plays the item again.
        if (!m_bRepeat || !theReplayFile.PlayFrom(m_items[m_nCurItem].start)) theReplayFile.CloseDevice();
        else ++m_jumps;
        return;
    }
    if (m_bPauseAfter && m_nCurItem != -1 && k > m_nCurItem && !m_turnTaken) {
        // The item just heard stays current through the reader's turn.
        m_turnTaken = true;
        StartTurn(ItemSeconds(m_nCurItem));
        return;
    }
    m_nCurItem = k;
    m_turnTaken = false;
    MarkItem(k);
    if (k == -1 || !m_bFollowPage) return;
    QString address = m_pWebView->location();
    const qsizetype hash = address.indexOf(QLatin1Char('#'));
    if (hash >= 0) address.truncate(hash);
    address += QLatin1Char('#') + QString::fromLatin1(QUrl::toPercentEncoding(ItemName(k).toUtf8(), kFragmentSafe));
    m_pWebView->moveToAnchor(address);
}

void CParlotypeView::OnUpdateIndicatorTime(CCmdUI* pCmdUI) {
    pCmdUI->Enable(theReplayFile.IsPlaying());
    if (theReplayFile.IsPlaying()) pCmdUI->SetText(timeText(theReplayFile.GetPosition()));
}

void CParlotypeView::startTracking() {
    if (!m_nTrackTimer) m_nTrackTimer = startTimer(kTrackWakeMs, Qt::PreciseTimer);
}

void CParlotypeView::track() {
    const int jumps = m_jumps;
    if (!theReplayFile.IsPlaying()) {
        m_pTurnTimer->stop();
        MarkItem(-1);
        RepeatAtDataEnd();
    } else if (!theReplayFile.IsPaused() && !theReplayFile.HasQueuedAudio()) {
        // A start past the end of the data plays nothing: that playback is
        // over, and there is nothing to repeat.
        m_bRepeatArmed = 0;
        theReplayFile.CloseDevice();
        return;  // the next round ends it
    } else if (m_pTurnTimer->isActive()) {
        // The reader's turn: nothing moves until it ends.
    } else if (const double pos = theReplayFile.GetPosition(); m_dEndTime > 0 && pos > m_dEndTime) {
        if (m_bPauseAfter && !theReplayFile.IsPaused())
            StartTurn(m_dEndTime - (m_nCurItem == -1 ? m_dLinkStart : std::max(m_dLinkStart, m_items[m_nCurItem].start)));
        else
            FinishStretch();
    } else {
        ShowItemAt(pos);
    }
    // A repeat shows its item at once.
    if (m_jumps != jumps && IsSounding()) ShowItemAt(theReplayFile.GetPosition());
    if (!IsSounding() && m_nTrackTimer) {
        killTimer(m_nTrackTimer);  // paused or stopped: a command or the turn's end starts it again
        m_nTrackTimer = 0;
    }
}

bool CParlotypeView::jumpTo(double seconds) {
    if (!theReplayFile.PlayFrom(seconds)) return false;
    m_pTurnTimer->stop();
    m_nCurItem = -1;  // found again by the next round, without a turn
    ++m_jumps;
    startTracking();
    return true;
}

void CParlotypeView::timerEvent(QTimerEvent* e) {
    if (e->timerId() == m_nTrackTimer)
        track();
    else
        QWidget::timerEvent(e);
}
