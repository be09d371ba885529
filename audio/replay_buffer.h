// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CReplayBuffer: the recording player. Plays mono 16-bit samples through two
// alternating 8000-byte output buffers; its owner writes the next part of
// the recording each time a buffer comes back.
//
// Threads: everything on the GUI thread. The output device posts OutDone per
// returned buffer and OutClose when it closes, to the receiver given to
// Open(); the receiver calls OnDone() once per OutDone (and writes the next
// part). No locks.

#include "platform/wave_device.h"

#include <memory>

class QObject;

class CReplayBuffer {
public:
    CReplayBuffer();
    virtual ~CReplayBuffer();
    CReplayBuffer(const CReplayBuffer&) = delete;
    CReplayBuffer& operator=(const CReplayBuffer&) = delete;

    // Opens the default output for mono 16-bit at `rate` Hz. Refused (false) while
    // open; shows "Failed to open replay device" when it cannot be opened.
    bool Open(QObject* notify, int rate);
    void SetupHeaders(const platform::WaveFormat& wfx);
    // Queues up to one buffer's worth of `data` (whole frames); returns the
    // bytes queued, 0 when not open, when both buffers are still with the
    // device, or when the device refuses (then it is stopped).
    int Write(const char* data, int bytes);
    void OnDone();  // once per OutDone; closes the device after the last one
    void Stop();    // resets (the device hands back its buffers) and closes
    void Close();   // the device posts OutClose
    bool IsOpen() const { return m_bOpen; }

    // Whether `header` is one of the player's two buffers: lets the receiver
    // tell its OutDone events from other devices' even after a Stop.
    bool Owns(const platform::WaveHeader* header) const;

private:
    static constexpr int kBufferBytes = 8000;

    bool m_bOpen = false;
    std::unique_ptr<platform::WaveOut> m_hWaveOut;
    platform::WaveHeader* m_hdr[2] = {};
    char* m_data[2] = {};
    int m_nBufferBytes = kBufferBytes;
    int m_nCurrent = 0;
    int m_nQueued = 0;
    platform::WaveFormat m_wfx;
};

// The process-wide recording player, constructed by a static initialiser.
extern CReplayBuffer theReplayBuffer;
