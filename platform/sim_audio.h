// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A simulated sound device with its own clock, for tests and for running
// without a sound server (PARLOTYPE_AUDIO=sim). Output devices consume their
// queued buffers at the format's byte rate; input devices fill added buffers
// from a signal function. Everything happens on the GUI thread, and every
// notification is posted (never delivered from inside a call).
//
// Time passes only while a device runs: an output device that is open and not
// paused, an input device that is open and started. An output device with
// nothing queued lets the time go by unused (as a real device underruns); an
// input device with no buffer loses the frames of that time, and its frame
// index still moves on, so a gap shows in what it records.

#include "platform/wave_device.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <set>
#include <vector>

namespace platform {

class SimDevice;

class SimAudioBackend : public AudioBackend {
public:
    // RealTime: a timer on the GUI thread moves time by the elapsed real time.
    // Stepped: only advance() moves time.
    // Untimed: a buffer is done as soon as the device can take it (output:
    // played at once on write/restart; input: filled at once on addBuffer/start).
    enum class Clock { RealTime, Stepped, Untimed };
    explicit SimAudioBackend(Clock clock = Clock::RealTime);
    ~SimAudioBackend() override;
    SimAudioBackend(const SimAudioBackend&) = delete;
    SimAudioBackend& operator=(const SimAudioBackend&) = delete;

    std::unique_ptr<WaveOut> createWaveOut() override;
    std::unique_ptr<WaveIn> createWaveIn() override;

    // Lets `ms` of time pass on every running device: output consumes ms x byte
    // rate (posting OutDone for each buffer fully played), input fills buffers
    // from the input signal (posting InData for each full one). Any clock.
    void advance(int ms);

    // Faults; each persists until changed.
    // Every open fails.
    void setFailOpen(bool fail);
    // The nth write/addBuffer from now (counted over all devices) fails, and so
    // does every later one; 0 = none fail. An output device whose write was
    // refused reports failed() from then until it is opened again.
    void setFailWriteAfter(int nth);
    // Devices keep the buffers they are done with: no OutDone/InData, not even
    // on reset or close. Output still consumes (position moves on). Turned
    // off, the buffers kept so far come back, late, in order.
    void setHoldBuffers(bool hold);

    // What input devices record: sample for frame index (counted from start())
    // and channel. Default: silence.
    void setInputSignal(std::function<int16_t(uint64_t frame, int channel)> signal);

    // Observation: format of the last opened output, number of output devices
    // now open, and, while keepPlayed is on, every byte output devices have
    // consumed since it was turned on (in order), cleared by clearPlayed().
    // Off by default, so that a long run keeps nothing.
    void setKeepPlayed(bool keep);
    WaveFormat lastOutFormat() const;
    int openOutputs() const;
    const QByteArray& played() const;
    void clearPlayed();

private:
    friend class SimDevice;
    friend class SimWaveOut;
    friend class SimWaveIn;

    bool failNextWrite();        // counts one write/addBuffer against the fault
    void deviceChanged();        // a device opened, closed, paused or started
    void tick();                 // RealTime: moves each running device to now

    Clock m_clock;
    QTimer m_timer;
    QElapsedTimer m_elapsed;
    std::set<SimDevice*> m_devices;
    bool m_failOpen = false;
    int m_failWriteAfter = 0;
    bool m_hold = false;
    struct Held { QPointer<QObject> receiver; QEvent::Type type; WaveHeader* header; };
    std::vector<Held> m_held;  // notifications kept back while holding
    std::function<int16_t(uint64_t, int)> m_signal;
    WaveFormat m_lastOutFormat;
    bool m_keepPlayed = false;
    QByteArray m_played;
};

}  // namespace platform
