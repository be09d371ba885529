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
    explicit SimDevice(SimAudioBackend* backend) : backend_(backend) {
        backend_->devices_.insert(this);
    }
    // An open device destroyed is closed without notifications.
    virtual ~SimDevice() {
        if (!backend_) return;
        backend_->devices_.erase(this);
        backend_->deviceChanged();
    }
    // The backend is going away: the device is closed without notifications.
    void detach() {
        backend_ = nullptr;
        open_ = false;
        queue_.clear();
    }
    virtual bool running() const = 0;
    // Lets `ns` of running time pass.
    void pass(int64_t ns) {
        totalNs_ += ns;
        const uint64_t rate = format_.avgBytesPerSec;
        uint64_t target = uint64_t(totalNs_ / kNsPerSec) * rate +
                          uint64_t(totalNs_ % kNsPerSec) * rate / kNsPerSec;
        target -= target % format_.blockAlign;
        const uint64_t budget = target - granted_;
        granted_ = target;
        if (budget > 0) consume(budget);
    }
    // RealTime: lets the time since the last update pass (if running) and makes
    // now the next starting point. Called before the running state changes.
    void settle() {
        if (!backend_ || backend_->clock_ != SimAudioBackend::Clock::RealTime) return;
        const int64_t now = backend_->elapsed_.nsecsElapsed();
        if (running()) pass(now - lastNs_);
        lastNs_ = now;
    }
    int64_t lastNs_ = 0;

protected:
    virtual void consume(uint64_t bytes) = 0;
    bool untimed() const { return backend_->clock_ == SimAudioBackend::Clock::Untimed; }
    bool openDevice(const WaveFormat& format, QObject* receiver) {
        if (!backend_ || open_ || backend_->failOpen_ || !acceptable(format)) return false;
        format_ = format;
        receiver_ = receiver;
        open_ = true;
        failed_ = false;
        totalNs_ = 0;
        granted_ = 0;
        return true;
    }
    bool queueBuffer(WaveHeader* header) {
        if (!backend_ || !open_ || !header) return false;
        if (backend_->failNextWrite()) {
            failed_ = true;
            return false;
        }
        header->flags = (header->flags | WHDR_PREPARED) & ~WHDR_DONE;
        queue_.push_back(header);
        return true;
    }
    // Hands the oldest buffer back to its owner.
    void giveBack(QEvent::Type type) {
        WaveHeader* header = queue_.front();
        queue_.pop_front();
        header->flags |= WHDR_DONE;
        if (backend_->hold_) backend_->held_.push_back({receiver_, type, header});
        else post(type, header);
    }
    void post(QEvent::Type type, WaveHeader* header) {
        if (receiver_) QCoreApplication::postEvent(receiver_, new WaveEvent(type, header));
    }

    SimAudioBackend* backend_;
    WaveFormat format_;
    QPointer<QObject> receiver_;
    bool open_ = false;
    bool failed_ = false;  // a write was refused since open
    std::deque<WaveHeader*> queue_;

private:
    int64_t totalNs_ = 0;
    uint64_t granted_ = 0;
};

class SimWaveOut : public WaveOut, public SimDevice {
public:
    using SimDevice::SimDevice;

    bool open(const WaveFormat& format, QObject* receiver) override {
        settle();
        if (!openDevice(format, receiver)) return false;
        backend_->lastOutFormat_ = format;
        paused_ = false;
        position_ = 0;
        offset_ = 0;
        backend_->deviceChanged();
        return true;
    }
    bool write(WaveHeader* header) override {
        if (!queueBuffer(header)) return false;
        if (running() && untimed()) consume(UINT64_MAX);
        else returnEmpty();
        return true;
    }
    void reset() override {
        if (!open_) return;
        settle();
        while (!queue_.empty()) giveBack(WaveEvent::OutDone);
        offset_ = 0;
        position_ = 0;
    }
    // No server buffer here: what is not played yet comes back, and the
    // count goes on from what was played.
    uint64_t cut() override {
        if (!open_) return 0;
        settle();
        while (!queue_.empty()) giveBack(WaveEvent::OutDone);
        offset_ = 0;
        return position_;
    }
    void pause() override {
        if (!open_ || paused_) return;
        settle();
        paused_ = true;
        backend_->deviceChanged();
    }
    void restart() override {
        if (!open_ || !paused_) return;
        settle();
        paused_ = false;
        backend_->deviceChanged();
        if (untimed()) consume(UINT64_MAX);
    }
    uint64_t position() const override { return open_ ? position_ : 0; }
    void close() override {
        if (!open_) return;
        reset();
        open_ = false;
        post(WaveEvent::OutClose, nullptr);
        backend_->deviceChanged();
    }
    bool running() const override { return open_ && !paused_; }
    bool failed() const override { return open_ && failed_; }
    bool isOpen() const { return open_; }

private:
    void consume(uint64_t bytes) override {
        while (bytes > 0 && !queue_.empty()) {
            WaveHeader* h = queue_.front();
            const uint64_t n = std::min<uint64_t>(bytes, h->bufferLength - offset_);
            if (backend_->keepPlayed_) backend_->played_.append(h->data + offset_, qsizetype(n));
            offset_ += uint32_t(n);
            position_ += n;
            bytes -= n;
            if (offset_ < h->bufferLength) break;
            offset_ = 0;
            giveBack(WaveEvent::OutDone);
        }
        returnEmpty();
    }
    // A buffer with nothing to play comes back as soon as it is first in line.
    void returnEmpty() {
        while (running() && !queue_.empty() && queue_.front()->bufferLength == 0) giveBack(WaveEvent::OutDone);
    }

    bool paused_ = false;
    uint64_t position_ = 0;
    uint32_t offset_ = 0;  // bytes of the first queued buffer already played
};

class SimWaveIn : public WaveIn, public SimDevice {
public:
    using SimDevice::SimDevice;

    bool open(const WaveFormat& format, QObject* receiver) override {
        if (!openDevice(format, receiver)) return false;
        started_ = false;
        frame_ = 0;
        return true;
    }
    bool addBuffer(WaveHeader* header) override {
        if (!queueBuffer(header)) return false;
        header->bytesRecorded = 0;
        if (running() && untimed()) fillAll();
        return true;
    }
    void start() override {
        if (!open_ || started_) return;
        settle();
        started_ = true;
        backend_->deviceChanged();
        if (untimed()) fillAll();
    }
    void reset() override {
        if (!open_) return;
        settle();
        started_ = false;
        while (!queue_.empty()) giveBack(WaveEvent::InData);
        backend_->deviceChanged();
    }
    void close() override {
        if (!open_) return;
        reset();
        open_ = false;
        backend_->deviceChanged();
    }
    bool running() const override { return open_ && started_; }

private:
    void fillAll() {
        uint64_t bytes = 0;
        for (const WaveHeader* h : queue_) bytes += h->bufferLength - h->bytesRecorded;
        consume(bytes);
    }
    void consume(uint64_t bytes) override {
        uint64_t frames = bytes / format_.blockAlign;
        while (!queue_.empty()) {
            WaveHeader* h = queue_.front();
            const uint64_t room = (h->bufferLength - h->bytesRecorded) / format_.blockAlign;
            const uint64_t n = std::min(frames, room);
            record(h, n);
            frames -= n;
            if (n < room) break;
            giveBack(WaveEvent::InData);
        }
        frame_ += frames;  // no buffer to hold them: lost
    }
    void record(WaveHeader* h, uint64_t frames) {
        char* out = h->data + h->bytesRecorded;
        const auto& signal = backend_->signal_;
        for (uint64_t i = 0; i < frames; ++i, ++frame_) {
            for (int c = 0; c < format_.channels; ++c) {
                const int16_t s = signal ? signal(frame_, c) : 0;
                if (format_.bitsPerSample == 8) {
                    *out++ = char(uint8_t((s >> 8) + 128));
                } else {
                    *out++ = char(s & 0xff);
                    *out++ = char((s >> 8) & 0xff);
                }
            }
        }
        h->bytesRecorded += uint32_t(frames * format_.blockAlign);
    }

    bool started_ = false;
    uint64_t frame_ = 0;  // frames since start(), recorded or lost
};

SimAudioBackend::SimAudioBackend(Clock clock) : clock_(clock) {
    elapsed_.start();
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
}

SimAudioBackend::~SimAudioBackend() {
    for (SimDevice* d : devices_) d->detach();
}

std::unique_ptr<WaveOut> SimAudioBackend::createWaveOut() { return std::make_unique<SimWaveOut>(this); }
std::unique_ptr<WaveIn> SimAudioBackend::createWaveIn() { return std::make_unique<SimWaveIn>(this); }

void SimAudioBackend::advance(int ms) {
    if (ms <= 0) return;
    for (SimDevice* d : devices_)
        if (d->running()) d->pass(int64_t(ms) * 1'000'000);
}

void SimAudioBackend::setFailOpen(bool fail) { failOpen_ = fail; }
void SimAudioBackend::setFailWriteAfter(int nth) { failWriteAfter_ = std::max(nth, 0); }
void SimAudioBackend::setHoldBuffers(bool hold) {
    hold_ = hold;
    if (hold) return;
    for (const Held& h : std::exchange(held_, {}))
        if (h.receiver) QCoreApplication::postEvent(h.receiver, new WaveEvent(h.type, h.header));
}
void SimAudioBackend::setInputSignal(std::function<int16_t(uint64_t, int)> signal) { signal_ = std::move(signal); }

WaveFormat SimAudioBackend::lastOutFormat() const { return lastOutFormat_; }

int SimAudioBackend::openOutputs() const {
    int n = 0;
    for (SimDevice* d : devices_)
        if (auto* out = dynamic_cast<SimWaveOut*>(d); out && out->isOpen()) ++n;
    return n;
}

void SimAudioBackend::setKeepPlayed(bool keep) { keepPlayed_ = keep; }

const QByteArray& SimAudioBackend::played() const { return played_; }
void SimAudioBackend::clearPlayed() { played_.clear(); }

bool SimAudioBackend::failNextWrite() {
    if (failWriteAfter_ == 0) return false;
    if (failWriteAfter_ > 1) {
        --failWriteAfter_;
        return false;
    }
    return true;  // the nth and every later one, until changed
}

void SimAudioBackend::deviceChanged() {
    if (clock_ != Clock::RealTime) return;
    bool any = false;
    for (SimDevice* d : devices_) any = any || d->running();
    if (any && !timer_.isActive()) timer_.start();
    if (!any) timer_.stop();
}

void SimAudioBackend::tick() {
    const int64_t now = elapsed_.nsecsElapsed();
    for (SimDevice* d : devices_) {
        if (!d->running()) continue;
        d->pass(now - d->lastNs_);
        d->lastNs_ = now;
    }
}

}  // namespace platform
