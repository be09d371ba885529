// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/recorder.h"

#include "platform/message_box.h"

#include <QCoreApplication>

#include <algorithm>

CRecorder theRecorder;

using platform::WaveHeader;

CRecorder::CRecorder() {
    for (int i = 0; i < 2; ++i) {
        m_data[i] = new char[kBufferBytes]();
        m_hdr[i] = new WaveHeader{};
        m_hdr[i]->data = m_data[i];
        m_hdr[i]->bufferLength = kBufferBytes;
    }
}

CRecorder::~CRecorder() {
    Close();
    for (int i = 0; i < 2; ++i) {
        delete[] m_data[i];
        delete m_hdr[i];
    }
    Clear();
}

bool CRecorder::Start(QObject* notify, int rate, int mode) {
    if (m_bOpen) return false;
    m_nCurrent = 0;
    m_nQueued = 0;
    m_nMode = mode ? 2 : 1;
    m_wfx = platform::WaveFormat{};
    m_wfx.channels = 2;
    m_wfx.samplesPerSec = uint32_t(rate);
    m_wfx.avgBytesPerSec = uint32_t(rate) * 4;
    m_wfx.blockAlign = 4;
    m_wfx.bitsPerSample = 16;
    m_pNotify = notify;
    m_hWaveIn = platform::audioBackend().createWaveIn();
    if (rate <= 0 || !m_hWaveIn->open(m_wfx, notify)) {
        m_hWaveIn.reset();
        platform::showMessage(QCoreApplication::translate("CRecorder", "Failed to open record device"));
        m_nMode = 0;
        return false;
    }
    m_bOpen = true;
    for (WaveHeader* h : m_hdr) h->flags = platform::WHDR_PREPARED;
    if (!AddBuffer()) {
        Close();
        return false;
    }
    m_hWaveIn->start();
    // A failing second hand-over has already stopped and closed the device.
    return AddBuffer();
}

// The device hands back its buffers by posting them; they are taken here, at
// once, so that they count against this session: left in the queue, they
// would reach a recording started before the event loop runs again and end it.
void CRecorder::Stop() {
    if (!m_bOpen) return;
    m_hWaveIn->reset();
    Close();
    if (m_pNotify && QCoreApplication::instance())
        QCoreApplication::sendPostedEvents(m_pNotify, platform::WaveEvent::InData);
}

// The device failed while recording: what was kept so far stays.
void CRecorder::Fail() {
    Stop();
    platform::showMessage(QCoreApplication::translate("CRecorder", "The record device failed: recording stopped"));
}

void CRecorder::Close() {
    if (!m_bOpen) return;
    m_hWaveIn->close();
    m_hWaveIn.reset();
    for (WaveHeader* h : m_hdr) h->flags = 0;
    m_bOpen = false;
    m_nMode = 0;
}

bool CRecorder::AddBuffer() {
    if (!m_bOpen) return false;
    m_hdr[m_nCurrent]->flags = platform::WHDR_PREPARED;
    if (!m_hWaveIn->addBuffer(m_hdr[m_nCurrent])) {
        Fail();
        return false;
    }
    m_nCurrent = 1 - m_nCurrent;
    ++m_nQueued;
    return true;
}

void CRecorder::OnData() {
    --m_nQueued;
    if (m_nMode == 0) {
        if (m_nQueued <= 0) Close();
        return;
    }
    // While recording a buffer comes back only when full; a short one means
    // the device failed, and its stale remainder must not be kept.
    if (m_hdr[m_nCurrent]->bytesRecorded < uint32_t(m_nBufferBytes)) {
        Fail();
        return;
    }
    if (m_nMode == 2) ProcessBuffer();
    AddBuffer();
}

bool CRecorder::ProcessBuffer() {
    const int frames = m_nBufferBytes / 4;
    SampleBlock* block = newSampleBlock();
    if (!block) {
        Stop();
        platform::showMessage(QCoreApplication::translate("CRecorder", "Out of memory for recording"));
        return false;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(m_data[m_nCurrent]);
    for (int i = 0; i < frames && i < SampleBlock::kSamples; ++i)
        block->samples[i] = int16_t(bytes[4 * i] | bytes[4 * i + 1] << 8);
    block->count = SampleBlock::kSamples;
    block->next = m_pBlocks;
    m_pBlocks = block;
    m_nCount += SampleBlock::kSamples;
    return true;
}

std::vector<int16_t> CRecorder::GetSamples() {
    m_nCount = 0;
    for (const SampleBlock* b = m_pBlocks; b; b = b->next) m_nCount += b->count;
    std::vector<int16_t> all(static_cast<size_t>(m_nCount));
    size_t p = all.size();
    for (const SampleBlock* b = m_pBlocks; b; b = b->next) {
        p -= size_t(b->count);
        std::copy_n(b->samples, b->count, all.begin() + ptrdiff_t(p));
    }
    return all;
}

void CRecorder::Clear() {
    while (m_pBlocks) {
        SampleBlock* next = m_pBlocks->next;
        freeSampleBlock(m_pBlocks);
        m_pBlocks = next;
    }
    m_nCount = 0;
}
