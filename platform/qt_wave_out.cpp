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
    explicit PullStream(char silence) : queue(silence) {}
    bool isSequential() const override { return true; }
    bool atEnd() const override { return false; }
    OutputQueue queue;

protected:
    qint64 readData(char* data, qint64 len) override {
        if (len <= 0) return 0;
        queue.read(data, uint64_t(len));
        return len;
    }
    qint64 writeData(const char*, qint64) override { return -1; }
};

class QtWaveOut : public WaveOut {
public:
    QtWaveOut() {
        doneTimer_.setInterval(kDoneCheckMs);
        QObject::connect(&doneTimer_, &QTimer::timeout, [this] { returnHeard(); });
    }
    ~QtWaveOut() override { dropSink(); }

    bool open(const WaveFormat& format, QObject* receiver) override {
        if (open_) return false;
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        const auto qf = formatOn(device, format);
        if (!qf) return false;
        format_ = format;
        stream_ = std::make_unique<PullStream>(format.bitsPerSample == 8 ? char(0x80) : char(0));
        stream_->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        sink_ = new QAudioSink(device, *qf);
        sink_->setBufferSize(qsizetype(bytesForUsecs(format, kServerBufferMs * 1000)));
        if (!startSink()) {
            dropSink();
            return false;
        }
        QObject::connect(sink_, &QAudioSink::stateChanged, &doneTimer_, [this] { checkFailure(); });
        receiver_ = receiver;
        open_ = true;
        paused_ = false;
        failed_ = false;
        return true;
    }

    bool write(WaveHeader* header) override {
        if (!open_ || failed_ || !header) return false;
        if (!running_ && !startSink()) {
            fail();
            return false;
        }
        header->flags = (header->flags | WHDR_PREPARED) & ~WHDR_DONE;
        stream_->queue.push(header);
        if (!paused_ && !doneTimer_.isActive()) doneTimer_.start();
        return true;
    }

    void reset() override {
        if (!open_) return;
        if (running_) sink_->stop();
        running_ = false;
        heard_ = 0;
        giveBackAll();
    }

    uint64_t cut() override {
        if (!open_) return 0;
        doneTimer_.stop();
        for (WaveHeader* h : stream_->queue.cut()) giveBack(h);
        return stream_->queue.given();
    }

    void pause() override {
        if (!open_ || paused_) return;
        paused_ = true;
        if (running_) sink_->suspend();
        doneTimer_.stop();
    }

    void restart() override {
        if (!open_ || !paused_) return;
        paused_ = false;
        if (running_) sink_->resume();
        if (!stream_->queue.empty()) doneTimer_.start();
    }

    uint64_t position() const override {
        return open_ ? stream_->queue.dataWithin(streamHeard()) : 0;
    }

    bool failed() const override { return open_ && failed_; }

    void close() override {
        if (!open_) return;
        if (!QCoreApplication::instance()) {  // closed at exit, after the event loop: leave the server be
            open_ = false;
            return;
        }
        reset();
        dropSink();
        open_ = false;
        post(WaveEvent::OutClose, nullptr);
    }

private:
    bool startSink() {
        heard_ = 0;
        sink_->start(stream_.get());
        running_ = startedFine(sink_->state(), sink_->error());
        if (running_ && paused_) sink_->suspend();
        return running_;
    }

    // Stream bytes heard (see the top of the file).
    uint64_t streamHeard() const {
        if (!running_ || paused_) return heard_;
        const uint64_t given = stream_->queue.streamBytes();
        const qsizetype waiting = std::max<qsizetype>(0, sink_->bufferSize() - sink_->bytesFree());
        uint64_t read = given - std::min(given, uint64_t(waiting));
        read -= read % format_.blockAlign;
        heard_ = std::max(heard_, std::min(bytesForUsecs(format_, sink_->processedUSecs()), read));
        return heard_;
    }

    void returnHeard() {
        const uint64_t heard = streamHeard();
        for (WaveHeader* h : stream_->queue.takeDone(stream_->queue.dataWithin(heard))) giveBack(h);
        stream_->queue.forget(heard);
        if (stream_->queue.empty()) doneTimer_.stop();
    }

    void giveBackAll() {
        doneTimer_.stop();
        for (WaveHeader* h : stream_->queue.takeAll()) giveBack(h);
    }

    void giveBack(WaveHeader* h) {
        h->flags |= WHDR_DONE;
        post(WaveEvent::OutDone, h);
    }

    void post(QEvent::Type type, WaveHeader* h) {
        if (receiver_) QCoreApplication::postEvent(receiver_, new WaveEvent(type, h));
    }

    // The server went away or refused the stream: queued buffers come back and
    // later writes fail, so that no owner waits for buffers forever.
    void checkFailure() {
        if (open_ && sink_ && serverFailed(sink_->state(), sink_->error())) fail();
    }

    void fail() {
        failed_ = true;
        running_ = false;
        giveBackAll();
    }

    void dropSink() {
        if (!sink_) return;
        QObject::disconnect(sink_, nullptr, &doneTimer_, nullptr);
        running_ = false;
        deleteFromEventLoop(sink_, stream_);
        sink_ = nullptr;
    }

    WaveFormat format_;
    QPointer<QObject> receiver_;
    QAudioSink* sink_ = nullptr;
    std::unique_ptr<PullStream> stream_;
    QTimer doneTimer_;
    bool open_ = false;
    bool paused_ = false;
    bool running_ = false;
    bool failed_ = false;
    mutable uint64_t heard_ = 0;  // stream bytes heard so far
};

}  // namespace

std::unique_ptr<WaveOut> createQtWaveOut() { return std::make_unique<QtWaveOut>(); }

}  // namespace platform
