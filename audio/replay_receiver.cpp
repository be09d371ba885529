// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/replay_receiver.h"

#include "platform/wave_device.h"

bool CReplayReceiver::event(QEvent* e) {
    if (e->type() != platform::WaveEvent::OutDone) return QObject::event(e);
    m_player.OnBufferDone();
    return true;
}
