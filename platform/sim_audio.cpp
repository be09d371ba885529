// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sim_audio.h"

#include <QCoreApplication>
#include <QPointer>
#include <algorithm>
#include <deque>
#include <utility>

namespace platform {

namespace {
constexpr int64_t kNsPerSec = 1'000'000'000;

bool acceptable(const WaveFormat& f) {
    return f.formatTag == 1 && f.channels > 0 && f.samplesPerSec > 0 &&
           (f.bitsPerSample == 8 || f.bitsPerSample == 16) &&
           f.blockAlign == f.channels * f.bitsPerSample / 8 &&
           f.avgBytesPerSec == f.samplesPerSec * f.blockAlign;
}
}  // namespace

// What the two simulated devices share: the backend link, the receiver, the
// format and the device's own clock (nanoseconds run, bytes granted so far).
class SimDevice {
public:
    explicit SimDevice(SimAudioBackend* backend) : m_backend(backend) {
        m_backend->m_devices.insert(this);
    }
    // An open device destroyed is closed without notifications.
    virtual ~SimDevice() {
        if (!m_backend) return;
        m_backend->m_devices.erase(this);
        m_backend->deviceChanged();
    }
    // The backend is going away: the device is closed without notifications.
    void detach() {
        m_backend = nullptr;
        m_open = false;
        m_queue.clear();
    }
    virtual bool running() const = 0;
    // Lets `ns` of running time pass.
    void pass(int64_t ns) {
        m_totalNs += ns;
        const uint64_t rate = m_format.avgBytesPerSec;
        uint64_t target = uint64_t(m_totalNs / kNsPerSec) * rate +
                          uint64_t(m_totalNs % kNsPerSec) * rate / kNsPerSec;
        target -= target % m_format.blockAlign;
        const uint64_t budget = target - m_granted;
        m_granted = target;
        if (budget > 0) consume(budget);
    }
    // RealTime: lets the time since the last update pass (if running) and makes
    // now the next starting point. Called before the running state changes.
    void settle() {
        if (!m_backend || m_backend->m_clock != SimAudioBackend::Clock::RealTime) return;
        catchUp(m_backend->m_elapsed.nsecsElapsed());
    }
    // RealTime: lets the time from the last update to `now` pass (if running).
    void catchUp(int64_t now) {
        if (running()) pass(now - m_lastNs);
        m_lastNs = now;
    }

protected:
    virtual void consume(uint64_t bytes) = 0;
    bool untimed() const { return m_backend->m_clock == SimAudioBackend::Clock::Untimed; }
    bool openDevice(const WaveFormat& format, QObject* receiver) {
        if (!m_backend || m_open || m_backend->m_failOpen || !acceptable(format)) return false;
        m_format = format;
        m_receiver = receiver;
        m_open = true;
        m_failed = false;
        m_totalNs = 0;
        m_granted = 0;
        return true;
    }
    bool queueBuffer(WaveHeader* header) {
        if (!m_backend || !m_open || !header) return false;
        if (m_backend->failNextWrite()) {
            m_failed = true;
            return false;
        }
        header->flags = (header->flags | WHDR_PREPARED) & ~WHDR_DONE;
        m_queue.push_back(header);
        return true;
    }
    // Hands the oldest buffer back to its owner.
    void giveBack(QEvent::Type type) {
        WaveHeader* header = m_queue.front();
        m_queue.pop_front();
        header->flags |= WHDR_DONE;
        if (m_backend->m_hold) m_backend->m_held.push_back({m_receiver, type, header});
        else post(type, header);
    }
    void post(QEvent::Type type, WaveHeader* header) {
        if (m_receiver) QCoreApplication::postEvent(m_receiver, new WaveEvent(type, header));
    }

    SimAudioBackend* m_backend;
    WaveFormat m_format;
    QPointer<QObject> m_receiver;
    bool m_open = false;
    bool m_failed = false;  // a write was refused since open
    std::deque<WaveHeader*> m_queue;

private:
    int64_t m_totalNs = 0;
    uint64_t m_granted = 0;
    int64_t m_lastNs = 0;  // RealTime: when time last passed
};

class SimWaveOut : public WaveOut, public SimDevice {
public:
    using SimDevice::SimDevice;

    bool open(const WaveFormat& format, QObject* receiver) override {
        settle();
        if (!openDevice(format, receiver)) return false;
        m_backend->m_lastOutFormat = format;
        m_paused = false;
        m_position = 0;
        m_offset = 0;
        m_backend->deviceChanged();
        return true;
    }
    bool write(WaveHeader* header) override {
        if (!queueBuffer(header)) return false;
        if (running() && untimed()) consume(UINT64_MAX);
        else returnEmpty();
        return true;
    }
    void reset() override {
        if (!m_open) return;
        settle();
        while (!m_queue.empty()) giveBack(WaveEvent::OutDone);
        m_offset = 0;
        m_position = 0;
    }
    // No server buffer here: what is not played yet comes back, and the
    // count goes on from what was played.
    uint64_t cut() override {
        if (!m_open) return 0;
        settle();
        while (!m_queue.empty()) giveBack(WaveEvent::OutDone);
        m_offset = 0;
        return m_position;
    }
    void pause() override {
        if (!m_open || m_paused) return;
        settle();
        m_paused = true;
        m_backend->deviceChanged();
    }
    void restart() override {
        if (!m_open || !m_paused) return;
        settle();
        m_paused = false;
        m_backend->deviceChanged();
        if (untimed()) consume(UINT64_MAX);
    }
    uint64_t position() const override { return m_open ? m_position : 0; }
    void close() override {
        if (!m_open) return;
        reset();
        m_open = false;
        post(WaveEvent::OutClose, nullptr);
        m_backend->deviceChanged();
    }
    bool running() const override { return m_open && !m_paused; }
    bool failed() const override { return m_open && m_failed; }
    bool isOpen() const { return m_open; }

private:
    void consume(uint64_t bytes) override {
        while (bytes > 0 && !m_queue.empty()) {
            WaveHeader* h = m_queue.front();
            const uint64_t n = std::min<uint64_t>(bytes, h->bufferLength - m_offset);
            if (m_backend->m_keepPlayed) m_backend->m_played.append(h->data + m_offset, qsizetype(n));
            m_offset += uint32_t(n);
            m_position += n;
            bytes -= n;
            if (m_offset < h->bufferLength) break;
            m_offset = 0;
            giveBack(WaveEvent::OutDone);
        }
        returnEmpty();
    }
    // A buffer with nothing to play comes back as soon as it is first in line.
    void returnEmpty() {
        while (running() && !m_queue.empty() && m_queue.front()->bufferLength == 0) giveBack(WaveEvent::OutDone);
    }

    bool m_paused = false;
    uint64_t m_position = 0;
    uint32_t m_offset = 0;  // bytes of the first queued buffer already played
};

class SimWaveIn : public WaveIn, public SimDevice {
public:
    using SimDevice::SimDevice;

    bool open(const WaveFormat& format, QObject* receiver) override {
        if (!openDevice(format, receiver)) return false;
        m_started = false;
        m_frame = 0;
        return true;
    }
    bool addBuffer(WaveHeader* header) override {
        if (!queueBuffer(header)) return false;
        header->bytesRecorded = 0;
        if (running() && untimed()) fillAll();
        return true;
    }
    void start() override {
        if (!m_open || m_started) return;
        settle();
        m_started = true;
        m_backend->deviceChanged();
        if (untimed()) fillAll();
    }
    void reset() override {
        if (!m_open) return;
        settle();
        m_started = false;
        while (!m_queue.empty()) giveBack(WaveEvent::InData);
        m_backend->deviceChanged();
    }
    void close() override {
        if (!m_open) return;
        reset();
        m_open = false;
        m_backend->deviceChanged();
    }
    bool running() const override { return m_open && m_started; }

private:
    void fillAll() {
        uint64_t bytes = 0;
        for (const WaveHeader* h : m_queue) bytes += h->bufferLength - h->bytesRecorded;
        consume(bytes);
    }
    void consume(uint64_t bytes) override {
        uint64_t frames = bytes / m_format.blockAlign;
        while (!m_queue.empty()) {
            WaveHeader* h = m_queue.front();
            const uint64_t room = (h->bufferLength - h->bytesRecorded) / m_format.blockAlign;
            const uint64_t n = std::min(frames, room);
            record(h, n);
            frames -= n;
            if (n < room) break;
            giveBack(WaveEvent::InData);
        }
        m_frame += frames;  // no buffer to hold them: lost
    }
    void record(WaveHeader* h, uint64_t frames) {
        char* out = h->data + h->bytesRecorded;
        const auto& signal = m_backend->m_signal;
        for (uint64_t i = 0; i < frames; ++i, ++m_frame) {
            for (int c = 0; c < m_format.channels; ++c) {
                const int16_t s = signal ? signal(m_frame, c) : 0;
                if (m_format.bitsPerSample == 8) {
                    *out++ = char(uint8_t((s >> 8) + 128));
                } else {
                    *out++ = char(s & 0xff);
                    *out++ = char((s >> 8) & 0xff);
                }
            }
        }
        h->bytesRecorded += uint32_t(frames * m_format.blockAlign);
    }

    bool m_started = false;
    uint64_t m_frame = 0;  // frames since start(), recorded or lost
};

SimAudioBackend::SimAudioBackend(Clock clock) : m_clock(clock) {
    m_elapsed.start();
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(10);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
}

SimAudioBackend::~SimAudioBackend() {
    for (SimDevice* d : m_devices) d->detach();
}

std::unique_ptr<WaveOut> SimAudioBackend::createWaveOut() { return std::make_unique<SimWaveOut>(this); }
std::unique_ptr<WaveIn> SimAudioBackend::createWaveIn() { return std::make_unique<SimWaveIn>(this); }

void SimAudioBackend::advance(int ms) {
    if (ms <= 0) return;
    for (SimDevice* d : m_devices)
        if (d->running()) d->pass(int64_t(ms) * 1'000'000);
}

void SimAudioBackend::setFailOpen(bool fail) { m_failOpen = fail; }
void SimAudioBackend::setFailWriteAfter(int nth) { m_failWriteAfter = std::max(nth, 0); }
void SimAudioBackend::setHoldBuffers(bool hold) {
    m_hold = hold;
    if (hold) return;
    for (const Held& h : std::exchange(m_held, {}))
        if (h.receiver) QCoreApplication::postEvent(h.receiver, new WaveEvent(h.type, h.header));
}
void SimAudioBackend::setInputSignal(std::function<int16_t(uint64_t, int)> signal) { m_signal = std::move(signal); }

WaveFormat SimAudioBackend::lastOutFormat() const { return m_lastOutFormat; }

int SimAudioBackend::openOutputs() const {
    int n = 0;
    for (SimDevice* d : m_devices)
        if (auto* out = dynamic_cast<SimWaveOut*>(d); out && out->isOpen()) ++n;
    return n;
}

void SimAudioBackend::setKeepPlayed(bool keep) { m_keepPlayed = keep; }

const QByteArray& SimAudioBackend::played() const { return m_played; }
void SimAudioBackend::clearPlayed() { m_played.clear(); }

bool SimAudioBackend::failNextWrite() {
    if (m_failWriteAfter == 0) return false;
    if (m_failWriteAfter > 1) {
        --m_failWriteAfter;
        return false;
    }
    return true;  // the nth and every later one, until changed
}

void SimAudioBackend::deviceChanged() {
    if (m_clock != Clock::RealTime) return;
    bool any = false;
    for (SimDevice* d : m_devices) any = any || d->running();
    if (any && !m_timer.isActive()) m_timer.start();
    if (!any) m_timer.stop();
}

void SimAudioBackend::tick() {
    const int64_t now = m_elapsed.nsecsElapsed();
    for (SimDevice* d : m_devices) {
        if (d->running()) d->catchUp(now);
    }
}

}  // namespace platform
