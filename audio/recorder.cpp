// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/recorder.h"

#include <QCoreApplication>
#include <algorithm>

using platform::WaveHeader;

Recorder::Recorder(platform::AudioBackend& backend, QObject* parent) : QObject(parent), m_backend(backend) {
    for (int i = 0; i < 2; ++i) {
        m_data[i] = std::make_unique<char[]>(kBufferBytes);
        m_hdr[i].data = m_data[i].get();
        m_hdr[i].bufferLength = kBufferBytes;
    }
}

Recorder::~Recorder() {
    closeDevice();
    clear();
}

bool Recorder::start(int rate) {
    if (m_open) return false;
    m_current = 0;
    m_queued = 0;
    m_wfx = platform::WaveFormat{};
    m_wfx.channels = 2;
    m_wfx.samplesPerSec = uint32_t(rate);
    m_wfx.avgBytesPerSec = uint32_t(rate) * 4;
    m_wfx.blockAlign = 4;
    m_wfx.bitsPerSample = 16;
    m_waveIn = m_backend.createWaveIn();
    if (rate <= 0 || !m_waveIn->open(m_wfx, this)) {
        m_waveIn.reset();
        emit failed(tr("Failed to open record device"));
        return false;
    }
    m_open = true;
    for (WaveHeader& h : m_hdr) h.flags = platform::WHDR_PREPARED;
    if (!addBuffer()) return false;
    m_waveIn->start();
    // A failing second hand-over has already stopped and closed the device.
    return addBuffer();
}

// The device hands back its buffers by posting them; they are taken here, at
// once, so that they count against this recording: left in the queue, they
// would reach a recording started before the event loop runs again and end it.
void Recorder::stop() {
    if (!m_open) return;
    m_waveIn->reset();
    closeDevice();
    if (QCoreApplication::instance()) QCoreApplication::sendPostedEvents(this, platform::WaveEvent::InData);
}

// The recording ends early: what was kept so far stays.
void Recorder::fail(const QString& message) {
    stop();
    if (!message.isEmpty()) emit failed(message);
    emit stoppedByItself();
}

void Recorder::closeDevice() {
    if (!m_open) return;
    m_waveIn->close();
    m_waveIn.reset();
    for (WaveHeader& h : m_hdr) h.flags = 0;
    m_open = false;
}

bool Recorder::addBuffer() {
    if (!m_open) return false;
    m_hdr[m_current].flags = platform::WHDR_PREPARED;
    if (!m_waveIn->addBuffer(&m_hdr[m_current])) {
        fail(tr("The record device failed: recording stopped"));
        return false;
    }
    m_current = 1 - m_current;
    ++m_queued;
    return true;
}

bool Recorder::event(QEvent* e) {
    if (e->type() != platform::WaveEvent::InData) return QObject::event(e);
    onData();
    return true;
}

void Recorder::onData() {
    --m_queued;
    if (!m_open) return;  // taken back by a stop
    // The limit is tested before the returned buffer is stored.
    if (m_count > kMaxSamples) return fail({});
    // While recording a buffer comes back only when full; a short one means
    // the device failed, and its stale remainder must not be kept.
    if (m_hdr[m_current].bytesRecorded < uint32_t(kBufferBytes))
        return fail(tr("The record device failed: recording stopped"));
    if (processBuffer()) addBuffer();
}

bool Recorder::processBuffer() {
    const int frames = kBufferBytes / 4;
    SampleBlock* block = newSampleBlock();
    if (!block) {
        fail(tr("Out of memory for recording"));
        return false;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(m_data[m_current].get());
    for (int i = 0; i < frames && i < SampleBlock::kSamples; ++i)
        block->samples[i] = int16_t(bytes[4 * i] | bytes[4 * i + 1] << 8);
    block->count = SampleBlock::kSamples;
    block->next = m_blocks;
    m_blocks = block;
    m_count += SampleBlock::kSamples;
    return true;
}

std::vector<int16_t> Recorder::samples() {
    m_count = 0;
    for (const SampleBlock* b = m_blocks; b; b = b->next) m_count += b->count;
    std::vector<int16_t> all(static_cast<size_t>(m_count));
    size_t p = all.size();
    for (const SampleBlock* b = m_blocks; b; b = b->next) {
        p -= size_t(b->count);
        std::copy_n(b->samples, b->count, all.begin() + ptrdiff_t(p));
    }
    return all;
}

void Recorder::clear() {
    while (m_blocks) {
        SampleBlock* next = m_blocks->next;
        freeSampleBlock(m_blocks);
        m_blocks = next;
    }
    m_count = 0;
}
