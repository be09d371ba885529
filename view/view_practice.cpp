// SPDX-License-Identifier: GPL-3.0-or-later
// Practice controls: the speed, Repeat, Pause After Each Item (the reader's
// turn), Follow Page, the next and previous item, and the highlight of the
// item sounding. The switches are kept in the settings.
#include "view/parlotype_view.h"

#include "audio/replay_file.h"
#include "platform/web_view.h"
#include "view/command_ids.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace {

constexpr char kSpeedKey[] = "Practice/Speed";
constexpr char kRepeatKey[] = "Practice/Repeat";
constexpr char kPauseAfterKey[] = "Practice/PauseAfterItem";
constexpr char kFollowKey[] = "Practice/FollowPage";

// The reader's turn lasts as long as the item took, within these bounds.
constexpr double kMinTurnSeconds = 0.3;
constexpr double kMaxTurnSeconds = 60.0;

void Keep(const char* key, const QVariant& value) { QSettings().setValue(QLatin1String(key), value); }

void Toggle(int& flag, const char* key) {
    flag = flag ? 0 : 1;
    Keep(key, flag != 0);
}

}  // namespace

void CParlotypeView::LoadPracticeSettings() {
    QSettings settings;
    theReplayFile.SetSpeed(settings.value(QLatin1String(kSpeedKey), 1.0).toDouble());
    m_bRepeat = settings.value(QLatin1String(kRepeatKey), false).toBool() ? 1 : 0;
    m_bPauseAfter = settings.value(QLatin1String(kPauseAfterKey), false).toBool() ? 1 : 0;
    m_bFollowPage = settings.value(QLatin1String(kFollowKey), true).toBool() ? 1 : 0;
}

void CParlotypeView::SetSpeed(double speed) {
    speed = std::clamp(speed, CReplayFile::kMinSpeed, CReplayFile::kMaxSpeed);
    if (!theReplayFile.SetSpeed(speed)) return;  // not a number
    Keep(kSpeedKey, speed);
}

bool CParlotypeView::OnSpeedCmdMsg(int id, CCmdUI* pCmdUI) {
    const double speed = kSpeeds[id - ID_AUDIO_SPEED1];
    if (pCmdUI) {
        pCmdUI->Enable(true);
        pCmdUI->SetCheck(theReplayFile.GetSpeed() == speed ? 1 : 0);
    } else {
        SetSpeed(speed);
    }
    return true;
}

// Slower and Faster step to the next speed of the list, from any speed.
void CParlotypeView::OnAudioSlower() {
    const double now = theReplayFile.GetSpeed();
    const auto it = std::find_if(std::rbegin(kSpeeds), std::rend(kSpeeds), [now](double s) { return s < now; });
    if (it != std::rend(kSpeeds)) SetSpeed(*it);
}

void CParlotypeView::OnUpdateAudioSlower(CCmdUI* pCmdUI) { pCmdUI->Enable(theReplayFile.GetSpeed() > kSpeeds[0]); }

void CParlotypeView::OnAudioFaster() {
    const double now = theReplayFile.GetSpeed();
    const auto it = std::find_if(std::begin(kSpeeds), std::end(kSpeeds), [now](double s) { return s > now; });
    if (it != std::end(kSpeeds)) SetSpeed(*it);
}

void CParlotypeView::OnUpdateAudioFaster(CCmdUI* pCmdUI) {
    pCmdUI->Enable(theReplayFile.GetSpeed() < kSpeeds[kSpeedCount - 1]);
}

void CParlotypeView::OnUpdateIndicatorSpeed(CCmdUI* pCmdUI) {
    const double speed = theReplayFile.GetSpeed();
    pCmdUI->Enable(speed != 1.0);
    pCmdUI->SetText(QString::number(speed) + QChar(0x00D7));
}

void CParlotypeView::OnAudioRepeat() { Toggle(m_bRepeat, kRepeatKey); }

void CParlotypeView::OnUpdateAudioRepeat(CCmdUI* pCmdUI) { pCmdUI->SetCheck(m_bRepeat); }

void CParlotypeView::OnAudioPauseAfter() {
    Toggle(m_bPauseAfter, kPauseAfterKey);
    if (!m_bPauseAfter && m_pTurnTimer->isActive()) EndTurn();
}

void CParlotypeView::OnUpdateAudioPauseAfter(CCmdUI* pCmdUI) { pCmdUI->SetCheck(m_bPauseAfter); }

void CParlotypeView::OnViewFollow() { Toggle(m_bFollowPage, kFollowKey); }

void CParlotypeView::OnUpdateViewFollow(CCmdUI* pCmdUI) { pCmdUI->SetCheck(m_bFollowPage); }

void CParlotypeView::OnUpdateIndicatorTurn(CCmdUI* pCmdUI) {
    pCmdUI->Enable(m_pTurnTimer->isActive());
    pCmdUI->SetText(QCoreApplication::translate("StringTable", "Your turn"));
}

// Next and Previous play from the start of the item after or before the
// current one (from the position when none is current) to the end of the
// file; Single Item Play still stops after it.
void CParlotypeView::OnAudioNextItem() {
    const double pos = theReplayFile.GetPosition();
    int k = m_nCurItem + 1;
    if (m_nCurItem == -1) {
        k = 0;
        while (k < m_nItems && m_items[k].start <= pos) ++k;
    }
    GoToItem(k);
}

void CParlotypeView::OnAudioPrevItem() {
    const double pos = theReplayFile.GetPosition();
    int k = m_nCurItem - 1;
    if (m_nCurItem == -1) {
        k = m_nItems - 1;
        while (k >= 0 && m_items[k].start >= pos) --k;
    }
    GoToItem(k);
}

void CParlotypeView::OnUpdateAudioNextItem(CCmdUI* pCmdUI) { pCmdUI->Enable(theReplayFile.IsLoaded() && m_nItems > 0); }

QString CParlotypeView::CurrentItemName() const { return m_nCurItem == -1 ? QString() : ItemName(m_nCurItem); }

QString CParlotypeView::ItemName(int k) const {
    return m_items[k].name;
}

void CParlotypeView::GoToItem(int k) {
    if (k < 0 || k >= m_nItems) return;
    m_pTurnTimer->stop();
    m_nCurItem = -1;  // found again by the next update, without a turn
    m_dLinkStart = m_items[k].start;
    m_dEndTime = 0;
    m_bRepeatArmed = 1;
    ++m_jumps;
    if (!theReplayFile.PlayFrom(m_dLinkStart)) theReplayFile.Play(window(), m_dLinkStart);
}

// At the end time: with Repeat the stretch plays again from its start.
void CParlotypeView::FinishStretch() {
    if (m_bRepeat && theReplayFile.PlayFrom(m_dLinkStart)) {
        m_nCurItem = -1;
        ++m_jumps;
        return;
    }
    theReplayFile.CloseDevice();
}

// With Repeat, a playback that ran to the end of the data starts again from
// the link's start. One attempt: a failing device ends it.
void CParlotypeView::RepeatAtDataEnd() {
    if (!m_bRepeatArmed) return;
    m_bRepeatArmed = 0;
    if (m_bRepeat && theReplayFile.IsLoaded() && theReplayFile.Play(window(), m_dLinkStart)) {
        m_nCurItem = -1;
        ++m_jumps;
        m_bRepeatArmed = 1;
    }
}

// The reader's turn after `fileSeconds` of the file: paused as long as
// those took to hear.
void CParlotypeView::StartTurn(double fileSeconds) {
    const double seconds = std::clamp(fileSeconds / theReplayFile.GetSpeed(), kMinTurnSeconds, kMaxTurnSeconds);
    theReplayFile.Pause();
    m_pTurnTimer->start(int(std::lround(seconds * 1000)));
}

// The turn is over: playback goes on, or, past the end time, the stretch ends.
void CParlotypeView::EndTurn() {
    m_pTurnTimer->stop();
    if (!theReplayFile.IsPaused()) return;
    theReplayFile.Resume();
    startTracking();
    if (m_dEndTime > 0 && theReplayFile.GetPosition() > m_dEndTime) FinishStretch();
}

// The span of item k up to where the next one starts (or its end, or the
// end time), in file seconds.
double CParlotypeView::ItemSeconds(int k) const {
    double end = k + 1 < m_nItems ? m_items[k + 1].start : theReplayFile.GetPosition();
    if (m_items[k].end > m_items[k].start) end = m_items[k].end;
    if (m_dEndTime > 0) end = std::min(end, m_dEndTime);
    return end - m_items[k].start;
}

void CParlotypeView::MarkItem(int k) {
    const QString name = k == -1 ? QString() : ItemName(k);
    if (name == m_strMarked) return;
    m_strMarked = name;
    m_pWebView->markElement(name);
}
