// SPDX-License-Identifier: GPL-3.0-or-later
// The transport commands (Start, Stop, Pause, Rewind, Forward, Single Item
// Play), browser history and printing, and their idle-time update rules.
// Commands act on the file player at once and keep no state of their own;
// the enable and check state of every item is recomputed from the players.
#include "view/parlotype_view.h"

#include "audio/recorder.h"
#include "audio/replay_file.h"
#include "platform/web_view.h"

#include <QTimer>
#include <algorithm>

#include <QCoreApplication>

namespace {

constexpr double kSkipSeconds = 15.0;  // Rewind and Forward

}  // namespace

// The main frame receives the player's buffer notifications.
void CParlotypeView::OnAudioStart() {
    m_pTurnTimer->stop();
    m_dLinkStart = 0;
    m_bRepeatArmed = 1;
    theReplayFile.Play(window(), 0.0);
}

void CParlotypeView::OnUpdateAudioStart(CCmdUI* pCmdUI) { pCmdUI->Enable(theReplayFile.IsLoaded()); }

// The file stays loaded, so Start can play it again. Nothing repeats.
void CParlotypeView::OnAudioStop() {
    m_bRepeatArmed = 0;
    theReplayFile.CloseDevice();
}

void CParlotypeView::OnUpdateAudioStop(CCmdUI* pCmdUI) { pCmdUI->Enable(theReplayFile.IsPlaying()); }

void CParlotypeView::OnFilePrint() { m_pWebView->printPage(); }

// During the reader's turn, Pause ends the turn early.
void CParlotypeView::OnAudioPause() {
    if (m_pTurnTimer->isActive())
        EndTurn();
    else if (theReplayFile.IsPaused())
        theReplayFile.Resume();
    else if (theReplayFile.IsPlaying())
        theReplayFile.Pause();
}

void CParlotypeView::OnUpdateAudioPause(CCmdUI* pCmdUI) {
    pCmdUI->Enable(theReplayFile.IsLoaded());
    pCmdUI->SetCheck(theReplayFile.IsPaused() ? 1 : 0);
}

// Rewind and Forward play again from the new position; a paused playback
// restarts unpaused. The end time of the last link still applies.
void CParlotypeView::OnAudioRewind() {
    if (theReplayFile.IsPlaying()) ++m_jumps;
    theReplayFile.Play(window(), std::max(theReplayFile.GetPosition() - kSkipSeconds, 0.0));
}

// No upper bound: a start beyond the end plays nothing.
void CParlotypeView::OnAudioForward() {
    if (theReplayFile.IsPlaying()) ++m_jumps;
    theReplayFile.Play(window(), theReplayFile.GetPosition() + kSkipSeconds);
}

void CParlotypeView::OnAudioSingle() { m_bSingleItem = m_bSingleItem ? 0 : 1; }

void CParlotypeView::OnUpdateAudioSingle(CCmdUI* pCmdUI) { pCmdUI->SetCheck(m_bSingleItem ? 1 : 0); }

// With no history in that direction, nothing happens.
void CParlotypeView::OnGoBack() { m_pWebView->back(); }

void CParlotypeView::OnGoForward() { m_pWebView->forward(); }

void CParlotypeView::OnUpdateIndicatorRecording(CCmdUI* pCmdUI) {
    const bool recording = theRecorder.IsRecording() != 0;
    pCmdUI->Enable(recording);
    if (recording) pCmdUI->SetText(QCoreApplication::translate("StringTable", "** Recording **"));
}
