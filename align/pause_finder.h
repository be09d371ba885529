// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pauses in a recording: stretches whose energy stays near the noise floor,
// found from short-time energy, with edges placed to a few milliseconds.
// The samples stream in; only their energies are kept.

#include <cstddef>
#include <cstdint>
#include <vector>

class PauseFinder {
public:
    // Takes the next samples (16 kHz).
    void push(const float* samples, size_t count);
    // After the last samples: sets the threshold between the noise floor and
    // the speech level, both estimated from the energy distribution.
    void finish();
    double seconds() const { return m_seconds; }

    // A pause from `start` to `end` (seconds).
    class Pause {
    public:
        Pause(double start, double end) : m_start(start), m_end(end) {}
        double start() const { return m_start; }
        double end() const { return m_end; }
        double length() const { return m_end - m_start; }

    private:
        double m_start, m_end;
    };

    // Every pause of at least `minSeconds`, in order; the recording's start
    // and end count as pauses when silence (or nothing) lies there.
    std::vector<Pause> pauses(double minSeconds) const;
    // True when some stretch of at least `seconds`, after `from` seconds, is
    // louder than the threshold.
    bool hasSpeech(double seconds, double from) const;

    // True when the 10 ms block `block` (from the start) is louder than the threshold.
    bool isLoud(int block) const { return block >= 0 && size_t(block) < m_db.size() && loud(block); }

private:
    bool loud(int block) const { return m_db[size_t(block)] > m_threshold; }
    double refineStart(int block) const;  // where speech starts near the start of `block`
    double refineEnd(int block) const;    // where speech ends near the end of `block`

    std::vector<float> m_pending;  // samples from m_pendingStart on
    long m_pendingStart = 0;
    std::vector<float> m_db;      // energy of each 10 ms block, dB
    std::vector<int16_t> m_fineDb;  // energy of 5 ms windows every 2 ms, hundredths of a dB
    double m_threshold = 0, m_seconds = 0;
};
