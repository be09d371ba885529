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
    explicit PushStream(std::function<void(const char*, qint64)> take) : m_take(std::move(take)) {}
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 len) override {
        if (len > 0) m_take(data, len);
        return len;
    }

private:
    std::function<void(const char*, qint64)> m_take;
};

class QtWaveIn : public WaveIn {
public:
    ~QtWaveIn() override { dropSource(); }

    bool open(const WaveFormat& format, QObject* receiver) override {
        if (m_open) return false;
        const QAudioDevice device = QMediaDevices::defaultAudioInput();
        const auto qf = formatOn(device, format);
        if (!qf) return false;
        m_format = format;
        m_queue = std::make_unique<InputQueue>(format.blockAlign, bytesForUsecs(format, kBacklogMs * 1000));
        m_stream = std::make_unique<PushStream>([this](const char* d, qint64 n) { recorded(d, n); });
        m_stream->open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        m_source = new QAudioSource(device, *qf);
        m_source->setBufferSize(qsizetype(bytesForUsecs(format, kFragmentMs * 1000)));
        if (!startSource()) {
            dropSource();
            return false;
        }
        QObject::connect(m_source, &QAudioSource::stateChanged, &m_context, [this] { checkFailure(); });
        m_receiver = receiver;
        m_open = true;
        m_started = false;
        m_failed = false;
        return true;
    }

    bool addBuffer(WaveHeader* header) override {
        if (!m_open || m_failed || !header) return false;
        header->flags = (header->flags | WHDR_PREPARED) & ~WHDR_DONE;
        m_queue->push(header);
        returnFull();
        return true;
    }

    void start() override {
        if (!m_open || m_failed || m_started) return;
        if (!m_running && !startSource()) {
            fail();
            return;
        }
        m_started = true;
    }

    void reset() override {
        if (!m_open) return;
        m_started = false;
        if (m_running) m_source->stop();
        m_running = false;
        giveBackAll();
    }

    void close() override {
        if (!m_open) return;
        if (!QCoreApplication::instance()) {  // closed at exit, after the event loop: leave the server be
            m_open = false;
            return;
        }
        reset();
        dropSource();
        m_open = false;
    }

private:
    bool startSource() {
        m_source->start(m_stream.get());
        m_running = startedFine(m_source->state(), m_source->error());
        return m_running;
    }

    void recorded(const char* data, qint64 len) {
        if (!m_started) return;
        m_queue->write(data, uint64_t(len));
        returnFull();
    }

    void returnFull() {
        for (WaveHeader* h : m_queue->takeFull()) giveBack(h);
    }

    void giveBackAll() {
        for (WaveHeader* h : m_queue->takeAll()) giveBack(h);
    }

    void giveBack(WaveHeader* h) {
        h->flags |= WHDR_DONE;
        if (m_receiver) QCoreApplication::postEvent(m_receiver, new WaveEvent(WaveEvent::InData, h));
    }

    // The server went away: held buffers come back and later ones are refused.
    void checkFailure() {
        if (m_open && m_source && serverFailed(m_source->state(), m_source->error())) fail();
    }

    void fail() {
        m_failed = true;
        m_started = false;
        m_running = false;
        giveBackAll();
    }

    void dropSource() {
        if (!m_source) return;
        QObject::disconnect(m_source, nullptr, &m_context, nullptr);
        m_running = false;
        deleteFromEventLoop(m_source, m_stream);
        m_source = nullptr;
    }

    WaveFormat m_format;
    QPointer<QObject> m_receiver;
    QObject m_context;
    QAudioSource* m_source = nullptr;
    std::unique_ptr<PushStream> m_stream;
    std::unique_ptr<InputQueue> m_queue;
    bool m_open = false;
    bool m_started = false;
    bool m_running = false;
    bool m_failed = false;
};

}  // namespace

std::unique_ptr<WaveIn> createQtWaveIn() { return std::make_unique<QtWaveIn>(); }

}  // namespace platform
