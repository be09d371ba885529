// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// RecordingPlayer: plays a recording (mono 16-bit samples) through two
// alternating 8000-byte output buffers, refilling each as it comes back.
//
// Threads: everything on the GUI thread. The output device posts OutDone per
// returned buffer and OutClose when it closes, to the player itself. No locks.

#include "platform/wave_device.h"

#include <QObject>
#include <memory>
#include <vector>

class RecordingPlayer : public QObject {
    Q_OBJECT
public:
    explicit RecordingPlayer(platform::AudioBackend& backend, QObject* parent = nullptr);
    ~RecordingPlayer() override;

    // Plays `samples` at `rate` Hz from the start on the default output.
    // Refused (false) while playing or with nothing to play; reports "Failed
    // to open replay device" when it cannot be opened.
    bool play(std::vector<int16_t> samples, int rate);
    // Queues nothing more: what the device holds plays out, then it closes.
    void finishSoon();
    // Resets (the device hands back its buffers) and closes at once.
    void stop();
    bool isPlaying() const { return m_open; }

signals:
    void failed(const QString& message);
    // The device closed: the recording played out, or it was stopped.
    void finished();

protected:
    bool event(QEvent* e) override;

private:
    static constexpr int kBufferBytes = 8000;

    void queueNext();  // hands the device the next part, if a buffer is free
    void closeDevice();

    platform::AudioBackend& m_backend;
    bool m_open = false;
    std::unique_ptr<platform::WaveOut> m_waveOut;
    platform::WaveHeader m_hdr[2] = {};
    std::unique_ptr<char[]> m_data[2];
    int m_current = 0;
    int m_queued = 0;
    std::vector<int16_t> m_samples;
    size_t m_next = 0;  // the first sample not yet queued
};
