// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Wave output and input devices, the program's only sound interface.
//
// Threads: every call below is made on the GUI thread. A backend may do its
// I/O on a sound-server thread, but it reports back only by posting a
// WaveEvent to the receiver given at open(); nothing else crosses threads.
// Notifications for one device arrive in the order its buffers were handed over.

#include <QEvent>
#include <cstdint>
#include <memory>

class QObject;

namespace platform {

// The PCM format handed to a device, field for field as a WAV file's fmt chunk holds it.
struct WaveFormat {
    uint16_t formatTag = 1;  // 1 = PCM
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint16_t cbSize = 0;
};

constexpr uint32_t WHDR_DONE = 0x1;
constexpr uint32_t WHDR_PREPARED = 0x2;

// One device buffer. Its owner keeps the memory; a device only borrows it from
// write()/addBuffer() until the matching notification has been posted.
struct WaveHeader {
    char* data = nullptr;
    uint32_t bufferLength = 0;   // output: bytes to play; input: capacity
    uint32_t bytesRecorded = 0;  // input: bytes filled when it comes back
    uint32_t flags = 0;          // WHDR_PREPARED, WHDR_DONE
};

// A device notification, posted with QCoreApplication::postEvent.
class WaveEvent : public QEvent {
public:
    static constexpr QEvent::Type OutDone = QEvent::Type(QEvent::User + 0x3BD);   // an output buffer came back
    static constexpr QEvent::Type OutClose = QEvent::Type(QEvent::User + 0x3BC);  // an output device closed
    static constexpr QEvent::Type InData = QEvent::Type(QEvent::User + 0x3C0);    // an input buffer came back
    WaveEvent(QEvent::Type type, WaveHeader* header) : QEvent(type), m_header(header) {}
    WaveHeader* header() const { return m_header; }  // null for OutClose

private:
    WaveHeader* const m_header;
};

class WaveOut {
public:
    virtual ~WaveOut() = default;
    // Opens the device for `format`; notifications go to `receiver`. Returns
    // false, with nothing open, when no device accepts the format or no sound
    // server answers. Does not block beyond connecting to the server.
    virtual bool open(const WaveFormat& format, QObject* receiver) = 0;
    // Queues `header` behind the buffers already queued and returns at once. An
    // OutDone for it is posted once it has been played (or reset). Returns
    // false, queuing nothing, when the device is not open or fails.
    virtual bool write(WaveHeader* header) = 0;
    // Stops output and discards what is queued; posts OutDone for every queued
    // buffer, in order, before returning. The position count restarts at 0.
    virtual void reset() = 0;
    // Takes back the queued buffers, posting OutDone for each in order before
    // returning, but keeps playing what the sound server already holds (at most
    // its short buffer), so that buffers written next follow without a gap.
    // Returns the position count at which they will start to be heard.
    virtual uint64_t cut() = 0;
    // Suspends and resumes output; queued buffers are kept. Non-blocking.
    virtual void pause() = 0;
    virtual void restart() = 0;
    // Bytes heard since open (or the last reset): what the sound server has
    // played out, not what it has been given. 0 when not open.
    virtual uint64_t position() const = 0;
    // Closes the device (resetting it first if buffers are queued) and posts
    // OutClose. Safe to call when not open (then it does nothing).
    virtual void close() = 0;
    // True once the device has failed since open (the sound server went away
    // or refused the stream, or a write was refused): its buffers come back
    // and every later write fails.
    virtual bool failed() const = 0;
};

class WaveIn {
public:
    virtual ~WaveIn() = default;
    // Opens the default input for `format`; notifications go to `receiver`.
    // Returns false, with nothing open, on failure. Recording starts at start().
    virtual bool open(const WaveFormat& format, QObject* receiver) = 0;
    // Hands `header` to the device; it comes back with InData once
    // bufferLength bytes were recorded into it (bytesRecorded set). False on
    // failure, handing over nothing.
    virtual bool addBuffer(WaveHeader* header) = 0;
    virtual void start() = 0;
    // Stops recording; posts InData for every buffer still held, in order,
    // with what they hold, before returning.
    virtual void reset() = 0;
    // Closes the device (resetting it first if needed). Safe when not open.
    virtual void close() = 0;
};

// Makes devices. The program uses one backend for its whole run; the
// application owns it and hands it to the players.
class AudioBackend {
public:
    virtual ~AudioBackend() = default;
    virtual std::unique_ptr<WaveOut> createWaveOut() = 0;
    virtual std::unique_ptr<WaveIn> createWaveIn() = 0;
};

// The simulated device when PARLOTYPE_AUDIO=sim, else the sound server
// through Qt Multimedia. Chosen explicitly, never as a fallback.
std::unique_ptr<AudioBackend> createAudioBackend();

}  // namespace platform
