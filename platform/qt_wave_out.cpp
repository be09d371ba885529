// SPDX-License-Identifier: GPL-3.0-or-later
// Wave output through QAudioSink in pull mode.
//
// Threads: the sink (Qt 6.4, PulseAudio) pulls from our QIODevice on its own
// 20 ms timer on the GUI thread, and our done timer runs there too; nothing
// here runs elsewhere. State changes that the sink reports from the server's
// thread reach us queued, through a context object on the GUI thread.
//
// Position. QAudioSink::processedUSecs() in Qt 6.4's PulseAudio backend is
// the time the server has read from the stream (timing info read_index) less
// the sink's averaged latency (sink_usec), plus the wall time since that
// timing info, capped by what was written. Two faults make it run ahead of
// what is heard: the latency is only taken off once the stream has played
// longer than the latency, and the wall-time term keeps growing while the
// stream waits to start (prebuffering, or a sink that rendered far ahead, as
// an idle null sink does for up to 2 s) and across a pause. So we also bound
// it by what the server has read: bytes given to the stream less what still
// waits in the server, which is bufferSize() (the target length) less
// bytesFree() (exact to one minimum request, about 20 ms, and never over).
// The lower of the two, in whole frames, kept monotonic and frozen while
// paused, less the silence we fed while the buffers had run dry
// (OutputQueue), is the count of buffer bytes heard. A buffer comes back
// (OutDone) once its last byte has been heard, so closing on the last OutDone
// loses no tail.
//
// reset() stops the stream, which the server drops at once with what it had
// buffered, returns every queued buffer and starts a new stream on the next
// write, so the count restarts at 0. cut() returns the queued buffers but
// leaves the stream running: what the server holds plays out, and the next
// buffer written follows it in the same stream.

#include "platform/qt_wave_out.h"

#include "platform/qt_audio_format.h"
#include "platform/wave_queues.h"

#include <QAudioSink>
#include <QCoreApplication>
#include <QIODevice>
#include <QMediaDevices>
#include <QPointer>
#include <QTimer>

namespace platform {
namespace {

// What the server holds ahead of what is heard. Small, because a buffer comes
// back only once heard: two 8000-byte buffers of 22050 Hz mono (181 ms each)
// must keep it fed while the first one's refill is on its way.
constexpr int kServerBufferMs = 100;
// How often heard buffers are looked for while buffers are queued.
constexpr int kDoneCheckMs = 15;

// The endless stream the sink pulls: queued buffers, then silence.
class PullStream : public QIODevice {
public:
    explicit PullStream(char silence) : m_queue(silence) {}
    bool isSequential() const override { return true; }
    bool atEnd() const override { return false; }
    OutputQueue& queue() { return m_queue; }

protected:
    qint64 readData(char* data, qint64 len) override {
        if (len <= 0) return 0;
        m_queue.read(data, uint64_t(len));
        return len;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    OutputQueue m_queue;
};

class QtWaveOut : public WaveOut {
public:
    QtWaveOut() {
        m_doneTimer.setInterval(kDoneCheckMs);
        QObject::connect(&m_doneTimer, &QTimer::timeout, [this] { returnHeard(); });
    }
    ~QtWaveOut() override { dropSink(); }

    bool open(const WaveFormat& format, QObject* receiver) override {
        if (m_open) return false;
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        const auto qf = formatOn(device, format);
        if (!qf) return false;
        m_format = format;
        m_stream = std::make_unique<PullStream>(format.bitsPerSample == 8 ? char(0x80) : char(0));
        m_stream->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        m_sink = new QAudioSink(device, *qf);
        m_sink->setBufferSize(qsizetype(bytesForUsecs(format, kServerBufferMs * 1000)));
        if (!startSink()) {
            dropSink();
            return false;
        }
        QObject::connect(m_sink, &QAudioSink::stateChanged, &m_doneTimer, [this] { checkFailure(); });
        m_receiver = receiver;
        m_open = true;
        m_paused = false;
        m_failed = false;
        return true;
    }

    bool write(WaveHeader* header) override {
        if (!m_open || m_failed || !header) return false;
        if (!m_running && !startSink()) {
            fail();
            return false;
        }
        header->flags = (header->flags | WHDR_PREPARED) & ~WHDR_DONE;
        m_stream->queue().push(header);
        if (!m_paused && !m_doneTimer.isActive()) m_doneTimer.start();
        return true;
    }

    void reset() override {
        if (!m_open) return;
        if (m_running) m_sink->stop();
        m_running = false;
        m_heard = 0;
        giveBackAll();
    }

    uint64_t cut() override {
        if (!m_open) return 0;
        m_doneTimer.stop();
        for (WaveHeader* h : m_stream->queue().cut()) giveBack(h);
        return m_stream->queue().given();
    }

    void pause() override {
        if (!m_open || m_paused) return;
        m_paused = true;
        if (m_running) m_sink->suspend();
        m_doneTimer.stop();
    }

    void restart() override {
        if (!m_open || !m_paused) return;
        m_paused = false;
        if (m_running) m_sink->resume();
        if (!m_stream->queue().empty()) m_doneTimer.start();
    }

    uint64_t position() const override {
        return m_open ? m_stream->queue().dataWithin(streamHeard()) : 0;
    }

    bool failed() const override { return m_open && m_failed; }

    void close() override {
        if (!m_open) return;
        if (!QCoreApplication::instance()) {  // closed at exit, after the event loop: leave the server be
            m_open = false;
            return;
        }
        reset();
        dropSink();
        m_open = false;
        post(WaveEvent::OutClose, nullptr);
    }

private:
    bool startSink() {
        m_heard = 0;
        m_sink->start(m_stream.get());
        m_running = startedFine(m_sink->state(), m_sink->error());
        if (m_running && m_paused) m_sink->suspend();
        return m_running;
    }

    // Stream bytes heard (see the top of the file).
    uint64_t streamHeard() const {
        if (!m_running || m_paused) return m_heard;
        const uint64_t given = m_stream->queue().streamBytes();
        const qsizetype waiting = std::max<qsizetype>(0, m_sink->bufferSize() - m_sink->bytesFree());
        uint64_t read = given - std::min(given, uint64_t(waiting));
        read -= read % m_format.blockAlign;
        m_heard = std::max(m_heard, std::min(bytesForUsecs(m_format, m_sink->processedUSecs()), read));
        return m_heard;
    }

    void returnHeard() {
        const uint64_t heard = streamHeard();
        for (WaveHeader* h : m_stream->queue().takeDone(m_stream->queue().dataWithin(heard))) giveBack(h);
        m_stream->queue().forget(heard);
        if (m_stream->queue().empty()) m_doneTimer.stop();
    }

    void giveBackAll() {
        m_doneTimer.stop();
        for (WaveHeader* h : m_stream->queue().takeAll()) giveBack(h);
    }

    void giveBack(WaveHeader* h) {
        h->flags |= WHDR_DONE;
        post(WaveEvent::OutDone, h);
    }

    void post(QEvent::Type type, WaveHeader* h) {
        if (m_receiver) QCoreApplication::postEvent(m_receiver, new WaveEvent(type, h));
    }

    // The server went away or refused the stream: queued buffers come back and
    // later writes fail, so that no owner waits for buffers forever.
    void checkFailure() {
        if (m_open && m_sink && serverFailed(m_sink->state(), m_sink->error())) fail();
    }

    void fail() {
        m_failed = true;
        m_running = false;
        giveBackAll();
    }

    void dropSink() {
        if (!m_sink) return;
        QObject::disconnect(m_sink, nullptr, &m_doneTimer, nullptr);
        m_running = false;
        deleteFromEventLoop(m_sink, m_stream);
        m_sink = nullptr;
    }

    WaveFormat m_format;
    QPointer<QObject> m_receiver;
    QAudioSink* m_sink = nullptr;
    std::unique_ptr<PullStream> m_stream;
    QTimer m_doneTimer;
    bool m_open = false;
    bool m_paused = false;
    bool m_running = false;
    bool m_failed = false;
    mutable uint64_t m_heard = 0;  // stream bytes heard so far
};

}  // namespace

std::unique_ptr<WaveOut> createQtWaveOut() { return std::make_unique<QtWaveOut>(); }

}  // namespace platform
