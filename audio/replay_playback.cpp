// SPDX-License-Identifier: GPL-3.0-or-later
// CReplayFile playback: the ring of eight buffers on the wave output device,
// stop, pause and resume, speed, seeking and the position heard.
//
// Everything runs on the GUI thread. The device posts one OutDone per buffer
// it hands back to the receiver given to Play, which calls OnBufferDone; at
// most seven buffers are with the device, so the one refilled has always
// come back already.
#include "audio/replay_file.h"

#include "platform/message_box.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <cmath>

namespace {
constexpr int kStopPasses = 50;  // Stop waits at most this many times 20 ms
constexpr unsigned long kStopSleepMs = 20;
}  // namespace

bool CReplayFile::Play(QObject* notify, double startSeconds) {
    if (m_bDeviceOpen) CloseDevice();
    if (m_nQueued > 0) return false;  // buffers of an earlier playback are still out
    if (!m_bLoaded) return false;
    m_pWaveOut = platform::audioBackend().createWaveOut();
    if (!m_pWaveOut || !m_pWaveOut->open(m_wfx, notify)) {
        m_pWaveOut.reset();
        platform::showMessage(QCoreApplication::translate("CReplayFile", "Failed to open replay device"));
        return false;
    }
    m_pNotify = notify;
    m_bDeviceOpen = true;
    m_bDeviceFailed = false;
    for (auto& hdr : m_hdr) {
        hdr.bufferLength = kBlockBytes;
        hdr.flags = platform::WHDR_PREPARED;
    }
    return StartAt(startSeconds);
}

// Primes the open device from `startSeconds` at the speed asked for.
bool CReplayFile::StartAt(double startSeconds) {
    Seek(startSeconds);
    m_nBaseBytes = 0;
    m_dPlaySpeed = 1.0;
    m_bSpeedPending = false;
    if (m_dSpeed != 1.0) {
        if (m_stretcher.start(m_wfx, m_dSpeed))
            m_dPlaySpeed = m_dSpeed;
        else
            platform::showMessage(QCoreApplication::translate("CReplayFile", "The speed of '%1' cannot be changed; it plays at 1x").arg(m_strFile));
    }
    m_bInputEnded = false;
    m_bMoreData = true;
    m_nQueued = 0;
    m_nCurrent = 0;
    while (m_nCurrent < kPrimed && FillBuffer(m_nCurrent)) ++m_nCurrent;
    m_bPlaying = true;
    for (int i = 0; i < m_nCurrent; ++i) {
        // Buffers written so far are with the device: stopping resets it and
        // takes them back before it is closed.
        if (!m_pWaveOut->write(&m_hdr[i])) return Fail();
        ++m_nQueued;
    }
    return true;
}

bool CReplayFile::OnBufferDone() {
    --m_nQueued;
    // A failed device hands back everything it holds: the first buffer back
    // ends playback (the others are taken in the stop), so the user hears of
    // it once, and a tail that was never heard does not pass for the end.
    if (m_bDeviceOpen && m_bPlaying && m_pWaveOut->failed()) return Fail();
    if (!m_bMoreData && m_nQueued <= 0) CloseDevice();  // the last buffer is back
    if (!m_bLoaded || !m_bDeviceOpen || !m_bPlaying || !m_bMoreData) return false;
    if (!FillBuffer(m_nCurrent)) return false;  // data ended: drain what is queued
    platform::WaveHeader& hdr = m_hdr[m_nCurrent];
    hdr.flags = platform::WHDR_PREPARED;
    if (!m_pWaveOut->write(&hdr)) return Fail();
    ++m_nQueued;
    m_nCurrent = (m_nCurrent + 1) % kBuffers;
    return true;
}

// The device failed while playing: it is closed and the user told once.
bool CReplayFile::Fail() {
    m_bDeviceFailed = true;
    CloseDevice();
    platform::showMessage(QCoreApplication::translate("CReplayFile", "The replay device failed: playback stopped"));
    return false;
}

bool CReplayFile::DeviceFailed() const { return m_bDeviceFailed; }

bool CReplayFile::HasQueuedAudio() const { return m_nQueued > 0; }

// Resets the device and takes back every buffer.
bool CReplayFile::Stop() {
    if (!m_bPlaying) return false;
    m_bPlaying = false;
    m_bPaused = false;
    m_pWaveOut->reset();
    TakeBackQueued();
    return true;
}

// Waits, dispatching only the receiver's device notifications, until every
// buffer is back or the passes run out. Buffers still out after that come
// back later through the event loop.
void CReplayFile::TakeBackQueued() {
    for (int pass = 0; pass < kStopPasses && m_nQueued > 0; ++pass) {
        if (m_pNotify && QCoreApplication::instance())
            QCoreApplication::sendPostedEvents(m_pNotify, platform::WaveEvent::OutDone);
        if (m_nQueued <= 0) break;
        QThread::msleep(kStopSleepMs);
    }
}

bool CReplayFile::CloseDevice() {
    if (!m_bDeviceOpen) return false;
    if (m_bPlaying) Stop();
    if (!m_bDeviceOpen) return true;  // the last buffer came back during the wait
    for (auto& hdr : m_hdr) hdr.flags = 0;
    m_pWaveOut->close();
    m_pWaveOut.reset();
    m_bDeviceOpen = false;
    return true;
}

bool CReplayFile::Pause() {
    if (!m_bPlaying) return false;
    m_pWaveOut->pause();
    m_bPaused = true;
    return true;
}

bool CReplayFile::Resume() {
    if (!m_bPlaying || !m_bPaused) return false;
    m_pWaveOut->restart();
    m_bPaused = false;
    if (m_bSpeedPending) return PlayFrom(GetPosition());
    return true;
}

bool CReplayFile::SetSpeed(double speed) {
    if (!(speed >= kMinSpeed && speed <= kMaxSpeed)) return false;
    m_dSpeed = speed;
    if (!IsPlaying() || speed == m_dPlaySpeed) return true;
    if (m_bPaused) {
        m_bSpeedPending = true;
        return true;
    }
    return Respeed();
}

// A new speed while playing. The device gives back what the sound server has
// not taken yet and keeps playing the rest, and the ring is primed again from
// the file time where that rest ends: the change is heard within the
// server's short buffer, without a gap and without a jump in position.
bool CReplayFile::Respeed() {
    if (!m_bMoreData) return PlayFrom(GetPosition());  // the data has ended: nothing to splice onto
    m_bPlaying = false;  // the buffers coming back are not refilled
    const uint64_t kept = m_pWaveOut->cut();
    const double keptTime = FileTimeAt(kept);
    const double tailSpeed = m_dPlaySpeed;
    TakeBackQueued();
    if (m_nQueued > 0) return Fail();  // the device holds buffers it will not give back
    const bool ok = StartAt(keptTime);
    m_nBaseBytes = kept;
    m_dTailSpeed = tailSpeed;
    if (ok && m_nQueued == 0) CloseDevice();  // the kept part was the last of the data
    return ok;
}

double CReplayFile::GetSpeed() const { return m_dSpeed; }

// Takes back what is queued and primes the device again. Used from the
// position heard, a new speed is heard at once and the position does not jump.
bool CReplayFile::PlayFrom(double seconds) {
    if (!IsPlaying()) return false;
    QObject* notify = m_pNotify;
    Stop();
    if (!m_bDeviceOpen) return Play(notify, seconds);  // the data had ended: the device closed
    if (m_nQueued > 0) return Fail();  // the device holds buffers it will not give back
    return StartAt(seconds);
}

bool CReplayFile::IsPaused() const { return m_bPlaying && m_bPaused; }

bool CReplayFile::IsPlaying() const { return m_bDeviceOpen && m_bPlaying; }

double CReplayFile::GetPosition() const { return FileTimeAt(m_pWaveOut ? m_pWaveOut->position() : 0); }

// The file time heard at the device's byte count `bytes`. Stretched, it is the
// output's time at the speed, corrected by the file time the stretcher's
// output runs ahead on average. Before a splice it runs back from there at
// the speed of the tail that was kept.
double CReplayFile::FileTimeAt(uint64_t bytes) const {
    const double bytesPerSecond = double(m_wfx.blockAlign) * m_wfx.samplesPerSec;
    if (bytes == m_nBaseBytes || bytesPerSecond <= 0) return m_dStartTime;
    if (bytes < m_nBaseBytes)
        return std::max(0.0, m_dStartTime - double(m_nBaseBytes - bytes) / bytesPerSecond * m_dTailSpeed);
    const double seconds = double(bytes - m_nBaseBytes) / bytesPerSecond;
    if (m_dPlaySpeed == 1.0) return seconds + m_dStartTime;
    return m_dStartTime + std::max(seconds * m_dPlaySpeed + m_stretcher.averageLead(), 0.0);
}

// Moves the file to where playback of `seconds` starts and sets the time the
// device's byte count starts from. A negative time (or not a number) is 0.
void CReplayFile::Seek(double seconds) {
    if (!m_bLoaded) return;
    if (!(seconds > 0)) seconds = 0;
    if (m_nFormat == FORMAT_WAV) {
        const double bytes = std::trunc(seconds * m_wfx.samplesPerSec) * m_wfx.blockAlign;
        const double span = double(m_nDataEnd - m_nDataOffset);
        m_file.seek(bytes < span ? m_nDataOffset + uint64_t(bytes) : m_nDataEnd);
        m_dStartTime = seconds;
    } else if (m_nFormat == FORMAT_MPEG) {
        const MpegSeekIndex::Place place = m_seekIndex.find(m_file, m_pSrc.get(), seconds);
        m_dStartTime = place.startTime;
        m_decoder->reset();
        Preroll(m_seekIndex.prerollStart(m_file, m_pSrc.get(), place.offset), place.offset);
    }
}

// Decodes the frames from `from` up to the frame at `to` and drops their PCM,
// then leaves the file at `to`. A Layer III frame takes part of its data from
// the frames before it (the bit reservoir) and its first samples overlap the
// frame before; without them it would start in silence. Seek runs before the
// ring is primed, so a ring block takes the dropped PCM.
void CReplayFile::Preroll(uint64_t from, uint64_t to) {
    auto* dropped = reinterpret_cast<uint8_t*>(m_data[0].get());
    MpegFrameHeader h;
    m_file.seek(from);
    while (m_file.position() < to && readFrameHeader(m_file, m_pSrc.get(), h)) {
        const uint32_t length = readFrame(m_file, m_pSrc.get(), h);
        if (length == 0) break;
        m_decoder->decode(m_pSrc.get(), length, dropped, m_nDstBytes, 0);
    }
    m_file.seek(to);
}

bool CReplayFile::FillBuffer(int i) {
    const bool ok = m_dPlaySpeed == 1.0 ? FillRaw(m_hdr[i]) : FillStretched(i);
    if (!ok) m_bMoreData = false;
    return ok;
}

bool CReplayFile::FillRaw(platform::WaveHeader& hdr) {
    if (m_nFormat == FORMAT_WAV) return FillWave(hdr);
    if (m_nFormat == FORMAT_MPEG) return FillMpeg(hdr);
    return false;
}

// Half a block of stretched output (less only at the end), feeding the
// stretcher the file's samples until it has that much ready. Half, so that
// one refill's work on the GUI thread stays near that of a block at 1x even
// at 2x, while the ring still holds well over a second.
bool CReplayFile::FillStretched(int i) {
    const uint32_t frames = kBlockBytes / 2 / m_wfx.blockAlign;
    while (!m_bInputEnded && m_stretcher.readyFrames() < frames) {
        if (FillRaw(m_raw)) {
            m_stretcher.put(m_raw.data, m_raw.bufferLength);
        } else {
            m_bInputEnded = true;
            m_stretcher.finish();
        }
    }
    m_hdr[i].bufferLength = m_stretcher.take(m_hdr[i].data, frames * m_wfx.blockAlign);
    return m_hdr[i].bufferLength > 0;
}

// Up to 65536 bytes of whole frames, never past the end of the samples.
bool CReplayFile::FillWave(platform::WaveHeader& hdr) {
    const uint64_t pos = m_file.position();
    const uint32_t want =
        pos < m_nDataEnd ? uint32_t(std::min<uint64_t>(m_nBufferBytes, m_nDataEnd - pos)) : 0;
    const uint32_t got = want ? m_file.read(hdr.data, want) : 0;
    if (got == 0) return false;
    hdr.bufferLength = got;
    return true;
}

// One frame, converted to PCM: at least its duration in the output format.
bool CReplayFile::FillMpeg(platform::WaveHeader& hdr) {
    MpegFrameHeader h;
    const uint32_t length = readFrameHeader(m_file, m_pSrc.get(), h) ? readFrame(m_file, m_pSrc.get(), h) : 0;
    if (length == 0) return false;
    const uint64_t samples = uint64_t(samplesPerFrame(h)) * m_wfx.samplesPerSec / uint64_t(sampleRate(h));
    const uint32_t frameBytes = uint32_t(samples) * m_wfx.blockAlign;
    auto* dst = reinterpret_cast<uint8_t*>(hdr.data);
    hdr.bufferLength = m_decoder->decode(m_pSrc.get(), length, dst, m_nDstBytes, frameBytes);
    return true;
}
