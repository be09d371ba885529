// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The file player's seek and ring, timed by the benchmarks apart from playback.

#include "audio/file_player.h"

struct FilePlayerProbe {
    static int queued(const FilePlayer& p) { return p.m_queued; }
    static double startTime(const FilePlayer& p) { return p.m_startTime; }
    static void seek(FilePlayer& p, double t) { p.seek(t); }
};
