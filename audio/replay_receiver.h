// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A receiver for the file player's device notifications: hands every OutDone
// event to the player's OnBufferDone. For a program without a main window
// (the command line, tests).

#include "audio/replay_file.h"

#include <QObject>

class CReplayReceiver : public QObject {
public:
    explicit CReplayReceiver(CReplayFile& player = theReplayFile) : m_player(player) {}
    bool event(QEvent* e) override;

private:
    CReplayFile& m_player;
};
