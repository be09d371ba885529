// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Command, pane and resource numbers. Commands carry these numbers from the
// menu, toolbar and keyboard to their handlers; the framework-style commands
// keep the framework's numbers.

#include <iterator>

enum CommandId : int {
    ID_SEPARATOR = 0,  // a toolbar separator; in the status bar, the message pane

    ID_AUDIO_START = 32771,
    ID_AUDIO_STOP = 32772,
    ID_VIEW_SOURCE = 32776,
    ID_VIEW_PARSE = 32777,
    ID_AUDIO_PAUSE = 32784,
    ID_AUDIO_REWIND = 32785,
    ID_AUDIO_FORWARD = 32786,
    ID_GO_BACK = 32787,
    ID_GO_FORWARD = 32788,
    ID_GO_HOME = 32789,
    ID_AUDIO_MARK = 32793,
    ID_VIEW_MARKS = 32794,
    ID_AUDIO_RECORD = 32795,
    ID_AUDIO_PLAYREC = 32796,
    ID_AUDIO_SINGLE = 32798,
    ID_AUDIO_SPEED1 = 32800,  // the speeds are SPEED1 .. SPEED1 + kSpeedCount - 1
    ID_AUDIO_SLOWER = 32810,
    ID_AUDIO_FASTER = 32811,
    ID_AUDIO_REPEAT = 32812,
    ID_AUDIO_PAUSE_AFTER = 32813,
    ID_VIEW_FOLLOW = 32814,
    ID_AUDIO_NEXT_ITEM = 32815,
    ID_AUDIO_PREV_ITEM = 32816,
    ID_FILE_MAKE_SCRIPT = 32820,

    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_PRINT = 57607,
    ID_FILE_MRU_FILE1 = 57616,  // the recent files are FILE1 .. FILE1 + 3
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_HELP = 57666,

    ID_INDICATOR_TIME = 59142,
    ID_INDICATOR_RECORDING = 59143,
    ID_INDICATOR_SPEED = 59144,
    ID_INDICATOR_TURN = 59145,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,
};

inline constexpr int kRecentFileCount = 4;

// Audio > Speed, slowest first; 1 is the normal speed.
inline constexpr double kSpeeds[] = {0.5, 0.6, 0.75, 0.9, 1.0, 1.25, 1.5, 2.0};
inline constexpr int kSpeedCount = int(std::size(kSpeeds));

// String and resource numbers.
enum ResourceId : int {
    IDR_MAINFRAME = 128,  // window title and document strings
    AFX_IDS_IDLEMESSAGE = 57345,
};
