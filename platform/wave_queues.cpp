// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/wave_queues.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace platform {

void OutputQueue::push(WaveHeader* header) {
    entries_.push_back({header, queued_, queued_ + header->bufferLength});
    queued_ += header->bufferLength;
}

void OutputQueue::read(char* out, uint64_t len) {
    uint64_t n = 0;
    for (const Entry& e : entries_) {
        if (n == len) break;
        if (e.end <= given_) continue;
        const uint64_t k = std::min(len - n, e.end - given_);
        std::memcpy(out + n, e.header->data + (given_ - e.start), k);
        n += k;
        given_ += k;
    }
    if (n < len) {
        std::memset(out + n, silence_, len - n);
        const uint64_t at = stream_ + n;
        if (!gaps_.empty() && gaps_.back().start + gaps_.back().length == at)
            gaps_.back().length += len - n;
        else
            gaps_.push_back({at, len - n});
    }
    stream_ += len;
}

uint64_t OutputQueue::dataWithin(uint64_t streamBytes) const {
    streamBytes = std::min(streamBytes, stream_);
    uint64_t silence = forgotSilence_;
    for (const Gap& g : gaps_) {
        if (g.start >= streamBytes) break;
        silence += std::min(g.length, streamBytes - g.start);
    }
    return streamBytes - std::min(silence, streamBytes);
}

void OutputQueue::forget(uint64_t streamBytes) {
    while (!gaps_.empty() && gaps_.front().start + gaps_.front().length <= streamBytes) {
        forgotSilence_ += gaps_.front().length;
        gaps_.pop_front();
    }
}

std::vector<WaveHeader*> OutputQueue::takeDone(uint64_t dataBytes) {
    std::vector<WaveHeader*> done;
    while (!entries_.empty() && entries_.front().end <= std::min(dataBytes, given_)) {
        done.push_back(entries_.front().header);
        entries_.pop_front();
    }
    return done;
}

std::vector<WaveHeader*> OutputQueue::takeAll() {
    std::vector<WaveHeader*> all;
    for (const Entry& e : entries_) all.push_back(e.header);
    *this = OutputQueue(silence_);
    return all;
}

std::vector<WaveHeader*> OutputQueue::cut() {
    std::vector<WaveHeader*> all;
    for (const Entry& e : entries_) all.push_back(e.header);
    entries_.clear();
    queued_ = given_;
    return all;
}

uint32_t InputQueue::room(const WaveHeader* h) const {
    return (h->bufferLength - h->bytesRecorded) / frame_ * frame_;
}

void InputQueue::push(WaveHeader* header) {
    header->bytesRecorded = 0;
    held_.push_back(header);
    drain();
}

void InputQueue::write(const char* data, uint64_t len) {
    const uint64_t used = backlog_.empty() ? fill(data, len) : 0;  // older bytes go first
    const uint64_t keep = std::min(len - used, limit_ - std::min(limit_, uint64_t(backlog_.size())));
    backlog_.insert(backlog_.end(), data + used, data + used + keep);
    dropped_ += len - used - keep;
    drain();
}

void InputQueue::drain() {
    if (backlog_.empty()) return;
    const uint64_t used = fill(backlog_.data(), backlog_.size());
    backlog_.erase(backlog_.begin(), backlog_.begin() + std::ptrdiff_t(used));
}

// Copies into the held buffers that have room; returns the bytes taken.
uint64_t InputQueue::fill(const char* data, uint64_t len) {
    uint64_t n = 0;
    for (WaveHeader* h : held_) {
        if (n == len) break;
        const uint64_t k = std::min<uint64_t>(room(h), (len - n) / frame_ * frame_);
        std::memcpy(h->data + h->bytesRecorded, data + n, k);
        h->bytesRecorded += uint32_t(k);
        n += k;
        if (room(h) > 0) break;
    }
    return n;
}

std::vector<WaveHeader*> InputQueue::takeFull() {
    std::vector<WaveHeader*> full;
    while (!held_.empty() && room(held_.front()) == 0) {
        full.push_back(held_.front());
        held_.pop_front();
    }
    return full;
}

std::vector<WaveHeader*> InputQueue::takeAll() {
    std::vector<WaveHeader*> all(held_.begin(), held_.end());
    held_.clear();
    backlog_.clear();
    return all;
}

}  // namespace platform
