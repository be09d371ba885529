// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Test access to the file player's inner state.

#include "audio/replay_file.h"

struct ReplayFileProbe {
    static int Queued(const CReplayFile& p) { return p.m_nQueued; }
    static int Current(const CReplayFile& p) { return p.m_nCurrent; }
    static int MoreData(const CReplayFile& p) { return p.m_bMoreData; }
    static int DeviceOpen(const CReplayFile& p) { return p.m_bDeviceOpen; }
    static double StartTime(const CReplayFile& p) { return p.m_dStartTime; }
    static platform::WaveFormat Format(const CReplayFile& p) { return p.m_wfx; }
    static uint64_t DataOffset(const CReplayFile& p) { return p.m_nDataOffset; }
    static uint64_t DataEnd(const CReplayFile& p) { return p.m_nDataEnd; }
    static uint64_t AudioStart(const CReplayFile& p) { return p.m_nAudioStart; }
    static uint32_t DstBytes(const CReplayFile& p) { return p.m_nDstBytes; }
    static bool HasDecoder(const CReplayFile& p) { return p.m_decoder != nullptr || p.m_pSrc; }
    static uint64_t FilePosition(const CReplayFile& p) { return p.m_file.position(); }
    static const platform::WaveHeader& Header(const CReplayFile& p, int i) { return p.m_hdr[size_t(i)]; }
    static void Seek(CReplayFile& p, double t) { p.Seek(t); }
    static int FillBuffer(CReplayFile& p, int i) { return p.FillBuffer(i); }
};
