// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The file player's seek and ring, timed by the benchmarks apart from playback.

#include "audio/replay_file.h"

struct ReplayFileProbe {
    static int Queued(const CReplayFile& p) { return p.m_nQueued; }
    static double StartTime(const CReplayFile& p) { return p.m_dStartTime; }
    static void Seek(CReplayFile& p, double t) { p.Seek(t); }
};
