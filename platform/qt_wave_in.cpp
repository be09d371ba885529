// SPDX-License-Identifier: GPL-3.0-or-later
// Wave input through QAudioSource in pull mode: the source writes what the
// server recorded into our QIODevice, which fills the added buffers in order
// (InputQueue) and posts InData for each full one.
//
// Threads: the source (Qt 6.4, PulseAudio) reads from the server on its own
// timer on the GUI thread, one fragment (kFragmentMs) at a time, so the
// buffers are filled on the GUI thread. The server keeps what was recorded
// until it is read, and what comes while both buffers are full waits in a
// backlog of kBacklogMs, so a late GUI thread delays buffers but loses no
// audio unless it is late by more than that.
//
// The source runs from open() on, so that a missing server or a refused
// format fails the open; what it records before start() is dropped.

#include "platform/qt_wave_in.h"

#include "platform/qt_audio_format.h"
#include "platform/wave_queues.h"

#include <QAudioSource>
#include <QCoreApplication>
#include <QIODevice>
#include <QMediaDevices>
#include <QPointer>
#include <functional>

namespace platform {
namespace {

constexpr int kFragmentMs = 20;
constexpr int kBacklogMs = 2000;

// What the source writes into.
class PushStream : public QIODevice {
public:
    explicit PushStream(std::function<void(const char*, qint64)> take) : take_(std::move(take)) {}
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 len) override {
        if (len > 0) take_(data, len);
        return len;
    }

private:
    std::function<void(const char*, qint64)> take_;
};

class QtWaveIn : public WaveIn {
public:
    ~QtWaveIn() override { dropSource(); }

    bool open(const WaveFormat& format, QObject* receiver) override {
        if (open_) return false;
        const QAudioDevice device = QMediaDevices::defaultAudioInput();
        const auto qf = formatOn(device, format);
        if (!qf) return false;
        format_ = format;
        queue_ = std::make_unique<InputQueue>(format.blockAlign, bytesForUsecs(format, kBacklogMs * 1000));
        stream_ = std::make_unique<PushStream>([this](const char* d, qint64 n) { recorded(d, n); });
        stream_->open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        source_ = new QAudioSource(device, *qf);
        source_->setBufferSize(qsizetype(bytesForUsecs(format, kFragmentMs * 1000)));
        if (!startSource()) {
            dropSource();
            return false;
        }
        QObject::connect(source_, &QAudioSource::stateChanged, &context_, [this] { checkFailure(); });
        receiver_ = receiver;
        open_ = true;
        started_ = false;
        failed_ = false;
        return true;
    }

    bool addBuffer(WaveHeader* header) override {
        if (!open_ || failed_ || !header) return false;
        header->flags = (header->flags | WHDR_PREPARED) & ~WHDR_DONE;
        queue_->push(header);
        returnFull();
        return true;
    }

    void start() override {
        if (!open_ || failed_ || started_) return;
        if (!running_ && !startSource()) {
            fail();
            return;
        }
        started_ = true;
    }

    void reset() override {
        if (!open_) return;
        started_ = false;
        if (running_) source_->stop();
        running_ = false;
        giveBackAll();
    }

    void close() override {
        if (!open_) return;
        if (!QCoreApplication::instance()) {  // closed at exit, after the event loop: leave the server be
            open_ = false;
            return;
        }
        reset();
        dropSource();
        open_ = false;
    }

private:
    bool startSource() {
        source_->start(stream_.get());
        running_ = startedFine(source_->state(), source_->error());
        return running_;
    }

    void recorded(const char* data, qint64 len) {
        if (!started_) return;
        queue_->write(data, uint64_t(len));
        returnFull();
    }

    void returnFull() {
        for (WaveHeader* h : queue_->takeFull()) giveBack(h);
    }

    void giveBackAll() {
        for (WaveHeader* h : queue_->takeAll()) giveBack(h);
    }

    void giveBack(WaveHeader* h) {
        h->flags |= WHDR_DONE;
        if (receiver_) QCoreApplication::postEvent(receiver_, new WaveEvent(WaveEvent::InData, h));
    }

    // The server went away: held buffers come back and later ones are refused.
    void checkFailure() {
        if (open_ && source_ && serverFailed(source_->state(), source_->error())) fail();
    }

    void fail() {
        failed_ = true;
        started_ = false;
        running_ = false;
        giveBackAll();
    }

    void dropSource() {
        if (!source_) return;
        QObject::disconnect(source_, nullptr, &context_, nullptr);
        running_ = false;
        deleteFromEventLoop(source_, stream_);
        source_ = nullptr;
    }

    WaveFormat format_;
    QPointer<QObject> receiver_;
    QObject context_;
    QAudioSource* source_ = nullptr;
    std::unique_ptr<PushStream> stream_;
    std::unique_ptr<InputQueue> queue_;
    bool open_ = false;
    bool started_ = false;
    bool running_ = false;
    bool failed_ = false;
};

}  // namespace

std::unique_ptr<WaveIn> createQtWaveIn() { return std::make_unique<QtWaveIn>(); }

}  // namespace platform
