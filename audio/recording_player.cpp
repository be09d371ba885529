// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/recording_player.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstring>

using platform::WaveHeader;

RecordingPlayer::RecordingPlayer(platform::AudioBackend& backend, QObject* parent)
    : QObject(parent), m_backend(backend) {
    for (int i = 0; i < 2; ++i) {
        m_data[i] = std::make_unique<char[]>(kBufferBytes);
        m_hdr[i].data = m_data[i].get();
    }
}

RecordingPlayer::~RecordingPlayer() { closeDevice(); }

bool RecordingPlayer::play(std::vector<int16_t> samples, int rate) {
    if (m_open || samples.empty()) return false;
    platform::WaveFormat wfx;
    wfx.channels = 1;
    wfx.samplesPerSec = uint32_t(rate);
    wfx.avgBytesPerSec = uint32_t(rate) * 2;
    wfx.blockAlign = 2;
    wfx.bitsPerSample = 16;
    m_waveOut = m_backend.createWaveOut();
    if (rate <= 0 || !m_waveOut->open(wfx, this)) {
        m_waveOut.reset();
        emit failed(tr("Failed to open replay device"));
        return false;
    }
    m_open = true;
    m_current = 0;
    m_queued = 0;
    m_samples = std::move(samples);
    m_next = 0;
    queueNext();
    queueNext();
    return m_open;
}

void RecordingPlayer::queueNext() {
    if (!m_open || m_queued >= 2 || m_next >= m_samples.size()) return;
    const size_t n = std::min(m_samples.size() - m_next, size_t(kBufferBytes / 2));
    WaveHeader& h = m_hdr[m_current];
    std::memcpy(h.data, m_samples.data() + m_next, n * 2);
    h.bufferLength = uint32_t(n * 2);
    h.flags = platform::WHDR_PREPARED;
    if (!m_waveOut->write(&h)) {
        stop();
        emit failed(tr("The replay device failed: playback stopped"));
        return;
    }
    m_next += n;
    ++m_queued;
    m_current = 1 - m_current;
}

void RecordingPlayer::finishSoon() {
    m_next = m_samples.size();
    if (m_open && m_queued == 0) closeDevice();
}

// The buffers the device hands back are taken at once, so that none of them
// reaches a replay started before the event loop runs again.
void RecordingPlayer::stop() {
    if (!m_open) return;
    m_next = m_samples.size();
    m_waveOut->reset();
    if (QCoreApplication::instance()) QCoreApplication::sendPostedEvents(this, platform::WaveEvent::OutDone);
    closeDevice();
}

void RecordingPlayer::closeDevice() {
    if (!m_open) return;
    m_open = false;
    m_waveOut->close();
    m_waveOut.reset();
    for (WaveHeader& h : m_hdr) h.flags = 0;
    m_queued = 0;
    if (QCoreApplication::instance()) QCoreApplication::removePostedEvents(this, platform::WaveEvent::OutClose);
    emit finished();
}

bool RecordingPlayer::event(QEvent* e) {
    if (e->type() == platform::WaveEvent::OutClose) return true;  // reported by closeDevice
    if (e->type() != platform::WaveEvent::OutDone) return QObject::event(e);
    if (!m_open) return true;  // a buffer of a replay already stopped
    --m_queued;
    queueNext();
    if (m_queued <= 0 && m_open) closeDevice();
    return true;
}
