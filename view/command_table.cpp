// SPDX-License-Identifier: GPL-3.0-or-later
// The view's commands: one entry per command ID, in the order of the original
// message map, with its command handler and its update handler. A null
// command handler means the command is not built yet: its menu item and
// toolbar button stay disabled. To build one, define the handlers (in the
// file of their area) and put them into its entry here.
#include "view/parlotype_view.h"

#include "platform/wave_device.h"
#include "view/command_ids.h"

namespace {

using View = CParlotypeView;

constexpr CommandEntry<View> kCommands[] = {
    {ID_AUDIO_START, &View::OnAudioStart, &View::OnUpdateAudioStart},
    {ID_AUDIO_STOP, &View::OnAudioStop, &View::OnUpdateAudioStop},
    {ID_FILE_PRINT, &View::OnFilePrint, nullptr},
    {ID_VIEW_SOURCE, &View::OnViewSource, nullptr},
    {ID_VIEW_PARSE, &View::OnViewParse, nullptr},
    {ID_AUDIO_PAUSE, &View::OnAudioPause, &View::OnUpdateAudioPause},
    {ID_AUDIO_REWIND, &View::OnAudioRewind, &View::OnUpdateAudioStart},
    {ID_AUDIO_FORWARD, &View::OnAudioForward, &View::OnUpdateAudioStart},
    {ID_GO_BACK, &View::OnGoBack, nullptr},
    {ID_GO_FORWARD, &View::OnGoForward, nullptr},
    {ID_GO_HOME, &View::OnGoHome, nullptr},
    {ID_AUDIO_MARK, &View::OnAudioMark, nullptr},
    {ID_VIEW_MARKS, &View::OnViewMarks, nullptr},
    {ID_AUDIO_RECORD, &View::OnAudioRecord, &View::OnUpdateAudioRecord},
    {ID_AUDIO_PLAYREC, &View::OnAudioPlayrec, &View::OnUpdateAudioPlayrec},
    {ID_AUDIO_SINGLE, &View::OnAudioSingle, &View::OnUpdateAudioSingle},
    {ID_HELP, &View::OnHelpContents, nullptr},
    {ID_INDICATOR_TIME, nullptr, &View::OnUpdateIndicatorTime},
    {ID_INDICATOR_RECORDING, nullptr, &View::OnUpdateIndicatorRecording},
    {ID_AUDIO_SLOWER, &View::OnAudioSlower, &View::OnUpdateAudioSlower},
    {ID_AUDIO_FASTER, &View::OnAudioFaster, &View::OnUpdateAudioFaster},
    {ID_AUDIO_REPEAT, &View::OnAudioRepeat, &View::OnUpdateAudioRepeat},
    {ID_AUDIO_PAUSE_AFTER, &View::OnAudioPauseAfter, &View::OnUpdateAudioPauseAfter},
    {ID_VIEW_FOLLOW, &View::OnViewFollow, &View::OnUpdateViewFollow},
    {ID_AUDIO_NEXT_ITEM, &View::OnAudioNextItem, &View::OnUpdateAudioNextItem},
    {ID_AUDIO_PREV_ITEM, &View::OnAudioPrevItem, &View::OnUpdateAudioNextItem},
    {ID_INDICATOR_SPEED, nullptr, &View::OnUpdateIndicatorSpeed},
    {ID_INDICATOR_TURN, nullptr, &View::OnUpdateIndicatorTurn},
};

// Wave notifications that reach the view (the recorder's and the recording
// player's devices report here). A null handler ignores the notification.
struct MessageEntry {
    QEvent::Type type;
    void (View::*handler)(platform::WaveEvent*);
};

constexpr MessageEntry kMessages[] = {
    {platform::WaveEvent::InData, &View::OnWimData},
    {platform::WaveEvent::OutDone, &View::OnWomDone},
    {platform::WaveEvent::OutClose, &View::OnWomClose},
};

}  // namespace

bool CParlotypeView::OnCmdMsg(int id, CCmdUI* pCmdUI) {
    if (!pCmdUI) startTracking();  // a command may start, resume or stop the playback
    if (id >= ID_AUDIO_SPEED1 && id < ID_AUDIO_SPEED1 + kSpeedCount) return OnSpeedCmdMsg(id, pCmdUI);
    return RouteCmdMsg<View>(*this, kCommands, id, pCmdUI);
}

bool CParlotypeView::event(QEvent* e) {
    for (const MessageEntry& m : kMessages) {
        if (e->type() != m.type) continue;
        if (m.handler) (this->*m.handler)(static_cast<platform::WaveEvent*>(e));
        return true;
    }
    return QWidget::event(e);
}
