// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CRecorder: records 16-bit stereo PCM from the default input through two
// alternating 8000-byte buffers and keeps the left channel of every full
// buffer as a SampleBlock (newest at the head of the list).
//
// Threads: everything on the GUI thread. The input device posts an InData
// event to the receiver given to Start() for every buffer it hands back; the
// receiver calls OnData() once per event (the view wraps this with its sample
// limit). No locks.

#include "audio/sample_block.h"
#include "platform/wave_device.h"

#include <QPointer>
#include <memory>
#include <vector>

class QObject;

class CRecorder {
public:
    CRecorder();
    virtual ~CRecorder();
    CRecorder(const CRecorder&) = delete;
    CRecorder& operator=(const CRecorder&) = delete;

    // Opens the default input at `rate` Hz and starts recording; a non-zero
    // `mode` keeps the samples (the view passes 2), 0 only cycles the buffers.
    // Refused (false, nothing changed) while recording. Shows "Failed to open
    // record device" when the device cannot be opened. Does not clear the
    // blocks kept so far: call Clear() first.
    bool Start(QObject* notify, int rate, int mode);
    // Resets and closes; the buffers the device hands back are taken at once.
    void Stop();
    void Close();
    bool AddBuffer();      // hands buffer m_nCurrent to the device
    bool ProcessBuffer();  // stores the left channel of buffer m_nCurrent as a block
    void OnData();         // once per InData event
    bool IsRecording() const { return m_bOpen; }
    int GetCount() const { return m_nCount; }
    // The kept samples joined in recording order (GetCount() of them). The
    // blocks stay.
    std::vector<int16_t> GetSamples();
    void Clear();

private:
    static constexpr int kBufferBytes = 8000;

    void Fail();

    QPointer<QObject> m_pNotify;  // receiver of the device's notifications
    bool m_bOpen = false;
    std::unique_ptr<platform::WaveIn> m_hWaveIn;
    platform::WaveHeader* m_hdr[2] = {};
    char* m_data[2] = {};
    int m_nBufferBytes = kBufferBytes;
    int m_nCurrent = 0;
    int m_nMode = 0;     // 0 closed, 1 recording without keeping, 2 recording and keeping
    int m_nQueued = 0;
    platform::WaveFormat m_wfx;
    SampleBlock* m_pBlocks = nullptr;
    int m_nCount = 0;
};

// The process-wide recorder, constructed by a static initialiser.
extern CRecorder theRecorder;
