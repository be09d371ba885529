// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/wave_queues.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace platform {

void OutputQueue::push(WaveHeader* header) {
    m_entries.push_back({header, m_queued, m_queued + header->bufferLength});
    m_queued += header->bufferLength;
}

void OutputQueue::read(char* out, uint64_t len) {
    uint64_t n = 0;
    for (const Entry& e : m_entries) {
        if (n == len) break;
        if (e.end <= m_given) continue;
        const uint64_t k = std::min(len - n, e.end - m_given);
        std::memcpy(out + n, e.header->data + (m_given - e.start), k);
        n += k;
        m_given += k;
    }
    if (n < len) {
        std::memset(out + n, m_silence, len - n);
        const uint64_t at = m_stream + n;
        if (!m_gaps.empty() && m_gaps.back().start + m_gaps.back().length == at)
            m_gaps.back().length += len - n;
        else
            m_gaps.push_back({at, len - n});
    }
    m_stream += len;
}

uint64_t OutputQueue::dataWithin(uint64_t streamBytes) const {
    streamBytes = std::min(streamBytes, m_stream);
    uint64_t silence = m_forgotSilence;
    for (const Gap& g : m_gaps) {
        if (g.start >= streamBytes) break;
        silence += std::min(g.length, streamBytes - g.start);
    }
    return streamBytes - std::min(silence, streamBytes);
}

void OutputQueue::forget(uint64_t streamBytes) {
    while (!m_gaps.empty() && m_gaps.front().start + m_gaps.front().length <= streamBytes) {
        m_forgotSilence += m_gaps.front().length;
        m_gaps.pop_front();
    }
}

std::vector<WaveHeader*> OutputQueue::takeDone(uint64_t dataBytes) {
    std::vector<WaveHeader*> done;
    while (!m_entries.empty() && m_entries.front().end <= std::min(dataBytes, m_given)) {
        done.push_back(m_entries.front().header);
        m_entries.pop_front();
    }
    return done;
}

std::vector<WaveHeader*> OutputQueue::takeAll() {
    std::vector<WaveHeader*> all;
    for (const Entry& e : m_entries) all.push_back(e.header);
    *this = OutputQueue(m_silence);
    return all;
}

std::vector<WaveHeader*> OutputQueue::cut() {
    std::vector<WaveHeader*> all;
    for (const Entry& e : m_entries) all.push_back(e.header);
    m_entries.clear();
    m_queued = m_given;
    return all;
}

uint32_t InputQueue::room(const WaveHeader* h) const {
    return (h->bufferLength - h->bytesRecorded) / m_frame * m_frame;
}

void InputQueue::push(WaveHeader* header) {
    header->bytesRecorded = 0;
    m_held.push_back(header);
    drain();
}

void InputQueue::write(const char* data, uint64_t len) {
    const uint64_t used = m_backlog.empty() ? fill(data, len) : 0;  // older bytes go first
    const uint64_t keep = std::min(len - used, m_limit - std::min(m_limit, uint64_t(m_backlog.size())));
    m_backlog.insert(m_backlog.end(), data + used, data + used + keep);
    m_dropped += len - used - keep;
    drain();
}

void InputQueue::drain() {
    if (m_backlog.empty()) return;
    const uint64_t used = fill(m_backlog.data(), m_backlog.size());
    m_backlog.erase(m_backlog.begin(), m_backlog.begin() + std::ptrdiff_t(used));
}

// Copies into the held buffers that have room; returns the bytes taken.
uint64_t InputQueue::fill(const char* data, uint64_t len) {
    uint64_t n = 0;
    for (WaveHeader* h : m_held) {
        if (n == len) break;
        const uint64_t k = std::min<uint64_t>(room(h), (len - n) / m_frame * m_frame);
        std::memcpy(h->data + h->bytesRecorded, data + n, k);
        h->bytesRecorded += uint32_t(k);
        n += k;
        if (room(h) > 0) break;
    }
    return n;
}

std::vector<WaveHeader*> InputQueue::takeFull() {
    std::vector<WaveHeader*> full;
    while (!m_held.empty() && room(m_held.front()) == 0) {
        full.push_back(m_held.front());
        m_held.pop_front();
    }
    return full;
}

std::vector<WaveHeader*> InputQueue::takeAll() {
    std::vector<WaveHeader*> all(m_held.begin(), m_held.end());
    m_held.clear();
    m_backlog.clear();
    return all;
}

}  // namespace platform
