// SPDX-License-Identifier: GPL-3.0-or-later
// FilePlayer playback: the ring of eight buffers on the wave output device,
// stop, pause and resume, speed, seeking and the position heard.
//
// Everything runs on the GUI thread. The device posts one OutDone per buffer
// it hands back to the player itself; at most seven buffers are with the
// device, so the one refilled has always come back already.
#include "audio/file_player.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <cmath>

namespace {
constexpr int kStopPasses = 50;  // halt waits at most this many times 20 ms
constexpr unsigned long kStopSleepMs = 20;
}  // namespace

bool FilePlayer::event(QEvent* e) {
    if (e->type() != platform::WaveEvent::OutDone) return QObject::event(e);
    onBufferDone();
    return true;
}

bool FilePlayer::play(double startSeconds) {
    if (m_deviceOpen) stop();
    if (m_queued > 0) return false;  // buffers of an earlier playback are still out
    if (!m_loaded) return false;
    m_waveOut = m_backend.createWaveOut();
    if (!m_waveOut || !m_waveOut->open(m_wfx, this)) {
        m_waveOut.reset();
        emit failed(tr("Failed to open replay device"));
        return false;
    }
    m_deviceOpen = true;
    m_deviceFailed = false;
    for (auto& hdr : m_hdr) {
        hdr.bufferLength = kBlockBytes;
        hdr.flags = platform::WHDR_PREPARED;
    }
    return startAt(startSeconds);
}

// Primes the open device from `startSeconds` at the speed asked for.
bool FilePlayer::startAt(double startSeconds) {
    seek(startSeconds);
    m_baseBytes = 0;
    m_playSpeed = 1.0;
    m_speedPending = false;
    if (m_speed != 1.0) {
        if (m_stretcher.start(m_wfx, m_speed))
            m_playSpeed = m_speed;
        else
            emit failed(tr("The speed of '%1' cannot be changed; it plays at 1x").arg(m_fileName));
    }
    m_inputEnded = false;
    m_moreData = true;
    m_queued = 0;
    m_current = 0;
    while (m_current < kPrimed && fillBuffer(m_current)) ++m_current;
    m_playing = true;
    for (int i = 0; i < m_current; ++i) {
        // Buffers written so far are with the device: stopping resets it and
        // takes them back before it is closed.
        if (!m_waveOut->write(&m_hdr[i])) return fail();
        ++m_queued;
    }
    return true;
}

bool FilePlayer::onBufferDone() {
    --m_queued;
    // A failed device hands back everything it holds: the first buffer back
    // ends playback (the others are taken in the stop), so the user hears of
    // it once, and a tail that was never heard does not pass for the end.
    if (m_deviceOpen && m_playing && m_waveOut->failed()) return fail();
    if (!m_moreData && m_queued <= 0) stop();  // the last buffer is back
    if (!m_loaded || !m_deviceOpen || !m_playing || !m_moreData) return false;
    if (!fillBuffer(m_current)) return false;  // data ended: drain what is queued
    platform::WaveHeader& hdr = m_hdr[m_current];
    hdr.flags = platform::WHDR_PREPARED;
    if (!m_waveOut->write(&hdr)) return fail();
    ++m_queued;
    m_current = (m_current + 1) % kBuffers;
    return true;
}

// The device failed while playing: it is closed and the user told once.
bool FilePlayer::fail() {
    m_deviceFailed = true;
    stop();
    emit failed(tr("The replay device failed: playback stopped"));
    return false;
}

bool FilePlayer::deviceFailed() const { return m_deviceFailed; }

bool FilePlayer::hasQueuedAudio() const { return m_queued > 0; }

// Resets the device and takes back every buffer.
bool FilePlayer::halt() {
    if (!m_playing) return false;
    m_playing = false;
    m_paused = false;
    m_waveOut->reset();
    takeBackQueued();
    return true;
}

// Waits, dispatching only its own device notifications, until every
// buffer is back or the passes run out. Buffers still out after that come
// back later through the event loop.
void FilePlayer::takeBackQueued() {
    for (int pass = 0; pass < kStopPasses && m_queued > 0; ++pass) {
        if (QCoreApplication::instance()) QCoreApplication::sendPostedEvents(this, platform::WaveEvent::OutDone);
        if (m_queued <= 0) break;
        QThread::msleep(kStopSleepMs);
    }
}

bool FilePlayer::stop() {
    if (!m_deviceOpen) return false;
    if (m_playing) halt();
    if (!m_deviceOpen) return true;  // the last buffer came back during the wait
    for (auto& hdr : m_hdr) hdr.flags = 0;
    m_waveOut->close();
    m_waveOut.reset();
    m_deviceOpen = false;
    return true;
}

bool FilePlayer::pause() {
    if (!m_playing) return false;
    m_waveOut->pause();
    m_paused = true;
    return true;
}

bool FilePlayer::resume() {
    if (!m_playing || !m_paused) return false;
    m_waveOut->restart();
    m_paused = false;
    if (m_speedPending) return playFrom(position());
    return true;
}

bool FilePlayer::setSpeed(double speed) {
    if (!(speed >= kMinSpeed && speed <= kMaxSpeed)) return false;
    m_speed = speed;
    if (!isPlaying() || speed == m_playSpeed) return true;
    if (m_paused) {
        m_speedPending = true;
        return true;
    }
    return respeed();
}

// A new speed while playing. The device gives back what the sound server has
// not taken yet and keeps playing the rest, and the ring is primed again from
// the file time where that rest ends: the change is heard within the
// server's short buffer, without a gap and without a jump in position.
bool FilePlayer::respeed() {
    if (!m_moreData) return playFrom(position());  // the data has ended: nothing to splice onto
    m_playing = false;  // the buffers coming back are not refilled
    const uint64_t kept = m_waveOut->cut();
    const double keptTime = fileTimeAt(kept);
    const double tailSpeed = m_playSpeed;
    takeBackQueued();
    if (m_queued > 0) return fail();  // the device holds buffers it will not give back
    const bool ok = startAt(keptTime);
    m_baseBytes = kept;
    m_tailSpeed = tailSpeed;
    if (ok && m_queued == 0) stop();  // the kept part was the last of the data
    return ok;
}

double FilePlayer::speed() const { return m_speed; }

// Takes back what is queued and primes the device again. Used from the
// position heard, a new speed is heard at once and the position does not jump.
bool FilePlayer::playFrom(double seconds) {
    if (!isPlaying()) return false;
    halt();
    if (!m_deviceOpen) return play(seconds);  // the data had ended: the device closed
    if (m_queued > 0) return fail();  // the device holds buffers it will not give back
    return startAt(seconds);
}

bool FilePlayer::isPaused() const { return m_playing && m_paused; }

bool FilePlayer::isPlaying() const { return m_deviceOpen && m_playing; }

double FilePlayer::position() const { return fileTimeAt(m_waveOut ? m_waveOut->position() : 0); }

// The file time heard at the device's byte count `bytes`. Stretched, it is the
// output's time at the speed, corrected by the file time the stretcher's
// output runs ahead on average. Before a splice it runs back from there at
// the speed of the tail that was kept.
double FilePlayer::fileTimeAt(uint64_t bytes) const {
    const double bytesPerSecond = double(m_wfx.blockAlign) * m_wfx.samplesPerSec;
    if (bytes == m_baseBytes || bytesPerSecond <= 0) return m_startTime;
    if (bytes < m_baseBytes)
        return std::max(0.0, m_startTime - double(m_baseBytes - bytes) / bytesPerSecond * m_tailSpeed);
    const double seconds = double(bytes - m_baseBytes) / bytesPerSecond;
    if (m_playSpeed == 1.0) return seconds + m_startTime;
    return m_startTime + std::max(seconds * m_playSpeed + m_stretcher.averageLead(), 0.0);
}

// Moves the file to where playback of `seconds` starts and sets the time the
// device's byte count starts from. A negative time (or not a number) is 0.
void FilePlayer::seek(double seconds) {
    if (!m_loaded) return;
    if (!(seconds > 0)) seconds = 0;
    if (m_format == Format::Wave) {
        const double bytes = std::trunc(seconds * m_wfx.samplesPerSec) * m_wfx.blockAlign;
        const double span = double(m_dataEnd - m_dataOffset);
        m_file.seek(bytes < span ? m_dataOffset + uint64_t(bytes) : m_dataEnd);
        m_startTime = seconds;
    } else if (m_format == Format::SoundFile) {
        const int64_t frame = std::min<int64_t>(int64_t(std::trunc(seconds * m_wfx.samplesPerSec)), m_soundFile.frames());
        if (!m_soundFile.seekToFrame(frame)) m_soundFile.seekToFrame(m_soundFile.frames());  // plays nothing
        m_startTime = seconds;
    } else if (m_format == Format::Mpeg) {
        const MpegSeekIndex::Place place = m_seekIndex.find(m_file, m_frame.get(), seconds);
        m_startTime = place.startTime;
        m_decoder->reset();
        preroll(m_seekIndex.prerollStart(m_file, m_frame.get(), place.offset), place.offset);
    }
}

// Decodes the frames from `from` up to the frame at `to` and drops their PCM,
// then leaves the file at `to`. A Layer III frame takes part of its data from
// the frames before it (the bit reservoir) and its first samples overlap the
// frame before; without them it would start in silence. Seek runs before the
// ring is primed, so a ring block takes the dropped PCM.
void FilePlayer::preroll(uint64_t from, uint64_t to) {
    auto* dropped = reinterpret_cast<uint8_t*>(m_data[0].get());
    MpegFrameHeader h;
    m_file.seek(from);
    while (m_file.position() < to && readFrameHeader(m_file, m_frame.get(), h)) {
        const uint32_t length = readFrame(m_file, m_frame.get(), h);
        if (length == 0) break;
        m_decoder->decode(m_frame.get(), length, dropped, m_dstBytes, 0);
    }
    m_file.seek(to);
}

bool FilePlayer::fillBuffer(int i) {
    const bool ok = m_playSpeed == 1.0 ? fillRaw(m_hdr[i]) : fillStretched(i);
    if (!ok) m_moreData = false;
    return ok;
}

bool FilePlayer::fillRaw(platform::WaveHeader& hdr) {
    if (m_format == Format::Wave) return fillWave(hdr);
    if (m_format == Format::Mpeg) return fillMpeg(hdr);
    if (m_format == Format::SoundFile) return fillSoundFile(hdr);
    return false;
}

// Half a block of stretched output (less only at the end), feeding the
// stretcher the file's samples until it has that much ready. Half, so that
// one refill's work on the GUI thread stays near that of a block at 1x even
// at 2x, while the ring still holds well over a second.
bool FilePlayer::fillStretched(int i) {
    const uint32_t frames = kBlockBytes / 2 / m_wfx.blockAlign;
    while (!m_inputEnded && m_stretcher.readyFrames() < frames) {
        if (fillRaw(m_raw)) {
            m_stretcher.put(m_raw.data, m_raw.bufferLength);
        } else {
            m_inputEnded = true;
            m_stretcher.finish();
        }
    }
    m_hdr[i].bufferLength = m_stretcher.take(m_hdr[i].data, frames * m_wfx.blockAlign);
    return m_hdr[i].bufferLength > 0;
}

// Up to 65536 bytes of whole frames, never past the end of the samples.
bool FilePlayer::fillWave(platform::WaveHeader& hdr) {
    const uint64_t pos = m_file.position();
    const uint32_t want =
        pos < m_dataEnd ? uint32_t(std::min<uint64_t>(m_bufferBytes, m_dataEnd - pos)) : 0;
    const uint32_t got = want ? m_file.read(hdr.data, want) : 0;
    if (got == 0) return false;
    hdr.bufferLength = got;
    return true;
}

// One frame, converted to PCM: at least its duration in the output format.
bool FilePlayer::fillMpeg(platform::WaveHeader& hdr) {
    MpegFrameHeader h;
    const uint32_t length = readFrameHeader(m_file, m_frame.get(), h) ? readFrame(m_file, m_frame.get(), h) : 0;
    if (length == 0) return false;
    const uint64_t samples = uint64_t(samplesPerFrame(h)) * m_wfx.samplesPerSec / uint64_t(sampleRate(h));
    const uint32_t frameBytes = uint32_t(samples) * m_wfx.blockAlign;
    auto* dst = reinterpret_cast<uint8_t*>(hdr.data);
    hdr.bufferLength = m_decoder->decode(m_frame.get(), length, dst, m_dstBytes, frameBytes);
    return true;
}

// Up to 65536 bytes of whole frames, decoded.
bool FilePlayer::fillSoundFile(platform::WaveHeader& hdr) {
    const int64_t frames = m_soundFile.readFrames(reinterpret_cast<int16_t*>(hdr.data), m_bufferBytes / m_wfx.blockAlign);
    if (frames <= 0) return false;
    hdr.bufferLength = uint32_t(frames) * m_wfx.blockAlign;
    return true;
}
