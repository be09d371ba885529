// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/replay_buffer.h"

#include "platform/message_box.h"

#include <cstring>

#include <QCoreApplication>

CReplayBuffer theReplayBuffer;

using platform::WaveHeader;

CReplayBuffer::CReplayBuffer() {
    for (int i = 0; i < 2; ++i) {
        m_data[i] = new char[kBufferBytes]();
        m_hdr[i] = new WaveHeader{};
        m_hdr[i]->data = m_data[i];
    }
}

CReplayBuffer::~CReplayBuffer() {
    Close();
    for (int i = 0; i < 2; ++i) {
        delete[] m_data[i];
        delete m_hdr[i];
    }
}

bool CReplayBuffer::Open(QObject* notify, int rate) {
    if (m_bOpen) return false;
    m_nCurrent = 0;
    m_nQueued = 0;
    m_wfx = platform::WaveFormat{};
    m_wfx.channels = 1;
    m_wfx.samplesPerSec = uint32_t(rate);
    m_wfx.avgBytesPerSec = uint32_t(rate) * 2;
    m_wfx.blockAlign = 2;
    m_wfx.bitsPerSample = 16;
    m_hWaveOut = platform::audioBackend().createWaveOut();
    if (rate <= 0 || !m_hWaveOut->open(m_wfx, notify)) {
        m_hWaveOut.reset();
        platform::showMessage(QCoreApplication::translate("CReplayFile", "Failed to open replay device"));
        return false;
    }
    m_bOpen = true;
    SetupHeaders(m_wfx);
    for (WaveHeader* h : m_hdr) h->flags = platform::WHDR_PREPARED;
    return true;
}

void CReplayBuffer::SetupHeaders(const platform::WaveFormat& wfx) {
    m_nBufferBytes = kBufferBytes - (wfx.blockAlign ? kBufferBytes % wfx.blockAlign : 0);
    for (int i = 0; i < 2; ++i) {
        *m_hdr[i] = WaveHeader{};
        m_hdr[i]->bufferLength = uint32_t(m_nBufferBytes);
        m_hdr[i]->data = m_data[i];
    }
}

int CReplayBuffer::Write(const char* data, int bytes) {
    if (!m_bOpen || m_nQueued >= 2) return 0;
    int n = bytes < m_nBufferBytes ? bytes : m_nBufferBytes;
    if (n > 0) n -= n % m_wfx.blockAlign;
    if (n <= 0) return n;
    WaveHeader* h = m_hdr[m_nCurrent];
    std::memcpy(h->data, data, size_t(n));
    h->bufferLength = uint32_t(n);
    h->flags = platform::WHDR_PREPARED;
    if (!m_hWaveOut->write(h)) {
        Stop();
        return 0;
    }
    ++m_nQueued;
    m_nCurrent = 1 - m_nCurrent;
    return n;
}

void CReplayBuffer::OnDone() {
    if (--m_nQueued <= 0) Close();
}

void CReplayBuffer::Stop() {
    if (!m_bOpen) return;
    m_hWaveOut->reset();
    Close();
}

void CReplayBuffer::Close() {
    if (!m_bOpen) return;
    m_hWaveOut->close();
    m_hWaveOut.reset();
    for (WaveHeader* h : m_hdr) h->flags = 0;
    m_bOpen = false;
}

bool CReplayBuffer::Owns(const WaveHeader* header) const {
    return header == m_hdr[0] || header == m_hdr[1];
}
