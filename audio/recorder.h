// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Recorder: records 16-bit stereo PCM from the default input through two
// alternating 8000-byte buffers and keeps the left channel of every full
// buffer as a SampleBlock (newest at the head of the list).
//
// Threads: everything on the GUI thread. The input device posts an InData
// event to the recorder itself for every buffer it hands back. No locks.

#include "audio/sample_block.h"
#include "platform/wave_device.h"

#include <QObject>
#include <memory>
#include <vector>

class Recorder : public QObject {
    Q_OBJECT
public:
    explicit Recorder(platform::AudioBackend& backend, QObject* parent = nullptr);
    ~Recorder() override;

    // A recording ends by itself once a returned buffer finds more than this
    // many samples kept: at 2501 blocks, 5,002,000 samples (about 227 s at
    // the recording rate).
    static constexpr int kMaxSamples = 5000000;

    // Opens the default input at `rate` Hz and starts recording, keeping the
    // samples. Refused (false, nothing changed) while recording. Reports
    // "Failed to open record device" when the device cannot be opened. Does
    // not clear the blocks kept so far: call clear() first.
    bool start(int rate);
    // Resets and closes; the buffers the device hands back are taken at once.
    void stop();
    bool isRecording() const { return m_open; }
    int count() const { return m_count; }
    // The kept samples joined in recording order (count() of them). The
    // blocks stay.
    std::vector<int16_t> samples();
    void clear();

signals:
    void failed(const QString& message);
    // The recording ended by itself: the limit, a failure, memory.
    void stoppedByItself();

protected:
    bool event(QEvent* e) override;

private:
    static constexpr int kBufferBytes = 8000;

    void onData();
    bool addBuffer();      // hands buffer m_current to the device
    bool processBuffer();  // stores the left channel of buffer m_current as a block
    void closeDevice();
    void fail(const QString& message);

    platform::AudioBackend& m_backend;
    bool m_open = false;
    std::unique_ptr<platform::WaveIn> m_waveIn;
    platform::WaveHeader m_hdr[2] = {};
    std::unique_ptr<char[]> m_data[2];
    int m_current = 0;
    int m_queued = 0;
    platform::WaveFormat m_wfx;
    SampleBlock* m_blocks = nullptr;
    int m_count = 0;
};
