// SPDX-License-Identifier: GPL-3.0-or-later
// The navigation policy: ordinary navigations go through, "index:" leads to
// the script index, and audio links are cancelled and played instead.
#include "view/parlotype_view.h"

#include "app/parlotype_doc.h"
#include "audio/replay_file.h"
#include "platform/web_view.h"
#include "script/audio_link.h"

#include <QTimer>

void CParlotypeView::OnInitialUpdate() {
    if (!GetDocument()->m_strPath.isEmpty())
        Navigate2(GetDocument()->m_strPath);
    else
        LoadFromResource();
}

bool CParlotypeView::OnBeforeNavigate2(const QString& url) {
    const QString u = rerootBurnedLink(url, GetDocument()->m_strPath);
    if (u.startsWith(QLatin1String("index:"))) {
        Navigate2(m_strScriptIndex);
        return false;
    }
    if (!isAudioLink(u)) return true;
    if (!PlayAudioLink(u)) return true;  // the file could not be opened: the link goes on
    m_nCurItem = -1;
    return false;
}

bool CParlotypeView::PlayAudioLink(const QString& url) {
    const AudioLinkParts link = splitAudioLink(url);
    if (link.file == theReplayFile.GetFileName() && theReplayFile.IsPlaying()) ++m_jumps;
    if (link.file != theReplayFile.GetFileName()) {
        if (!theReplayFile.Open(link.file)) return false;
        ScanItems(link.file);
        m_nCurItem = -1;
    }
    // The main frame receives the player's buffer notifications.
    m_pTurnTimer->stop();
    theReplayFile.Play(window(), link.start);
    m_dLinkStart = link.start;
    m_dEndTime = link.end;
    m_bRepeatArmed = 1;
    startTracking();
    return true;
}

void CParlotypeView::Navigate2(const QString& url) { m_pWebView->navigate(url); }

void CParlotypeView::LoadFromResource() { m_pWebView->loadHomePage(); }

void CParlotypeView::OnGoHome() { Navigate2(m_strScriptIndex); }

void CParlotypeView::OnHelpContents() { LoadFromResource(); }
