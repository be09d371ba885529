// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bookkeeping of the real devices' buffers, kept apart from the sound
// server so that it can be tested on its own.
//
// OutputQueue: the stream an output device is fed. Queued buffers in order,
// and silence whenever they have run dry, so that the server never starves
// (a starved server would wait to prebuffer again and hold back a short tail).
// The silence is remembered, so that a count of stream bytes played can be
// turned back into a count of buffer bytes heard.
//
// InputQueue: fills added buffers in order from what the server records;
// what arrives while no buffer is free waits in a bounded backlog.

#include "platform/wave_device.h"

#include <cstdint>
#include <deque>
#include <vector>

namespace platform {

class OutputQueue {
public:
    explicit OutputQueue(char silence = 0) : m_silence(silence) {}
    void push(WaveHeader* header);
    // Fills `out` with the next `len` stream bytes: buffer bytes not yet given,
    // then silence.
    void read(char* out, uint64_t len);
    // Buffer bytes among the first `streamBytes` bytes of the stream (at most
    // the bytes given so far).
    uint64_t dataWithin(uint64_t streamBytes) const;
    // Forgets the silence before `streamBytes` (which never decreases again).
    void forget(uint64_t streamBytes);
    // Removes and returns, in order, the buffers lying wholly within the first
    // `dataBytes` buffer bytes.
    std::vector<WaveHeader*> takeDone(uint64_t dataBytes);
    // Removes and returns every buffer; counts start again at 0.
    std::vector<WaveHeader*> takeAll();
    // Removes and returns every buffer, dropping what was not given yet; the
    // counts go on, and the next buffer pushed follows what was given.
    std::vector<WaveHeader*> cut();
    // Buffer bytes given so far.
    uint64_t given() const { return m_given; }
    bool empty() const { return m_entries.empty(); }
    uint64_t streamBytes() const { return m_stream; }

private:
    struct Entry {
        WaveHeader* header;
        uint64_t start, end;  // data offsets
    };
    struct Gap {
        uint64_t start, length;  // stream offsets of silence
    };
    char m_silence;
    std::deque<Entry> m_entries;
    std::deque<Gap> m_gaps;
    uint64_t m_queued = 0;        // data offset after the last queued buffer
    uint64_t m_given = 0;         // data offset of the next byte to give
    uint64_t m_stream = 0;        // stream bytes given
    uint64_t m_forgotSilence = 0;
};

class InputQueue {
public:
    InputQueue(uint32_t frameBytes, uint64_t backlogLimit) : m_frame(frameBytes), m_limit(backlogLimit) {}
    // Adds a buffer (bytesRecorded set to 0), at once filled from the backlog.
    void push(WaveHeader* header);
    // Records `len` bytes: into the held buffers in order, then the backlog;
    // beyond its limit they are dropped.
    void write(const char* data, uint64_t len);
    // Removes and returns, in order, the buffers that have no room for another frame.
    std::vector<WaveHeader*> takeFull();
    // Removes and returns every held buffer with what it holds; empties the backlog.
    std::vector<WaveHeader*> takeAll();
    uint64_t dropped() const { return m_dropped; }
    uint64_t backlog() const { return m_backlog.size(); }

private:
    uint32_t room(const WaveHeader* h) const;
    uint64_t fill(const char* data, uint64_t len);
    void drain();
    uint32_t m_frame;
    uint64_t m_limit;
    std::deque<WaveHeader*> m_held;
    std::vector<char> m_backlog;
    uint64_t m_dropped = 0;
};

}  // namespace platform
