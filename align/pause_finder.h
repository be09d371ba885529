// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pauses in a recording: stretches whose energy stays near the noise floor,
// found from short-time energy, with edges placed to a few milliseconds.
// The samples stream in; their energies go to a scratch file, and only a
// loud/quiet bit per 10 ms block stays in memory.

#include "align/scratch_file.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class PauseFinder {
public:
    // The energies go to `file` until they are needed.
    explicit PauseFinder(ScratchFile& file);
    // Takes the next samples (16 kHz).
    void push(const float* samples, size_t count);
    // After the last samples: sets the threshold between the noise floor and
    // the speech level, both estimated from the energy distribution.
    void finish();
    double seconds() const { return m_seconds; }
    // After finish(): how far the noise floor lies below the speech level, dB.
    double floorBelowSpeech() const { return m_floorBelowSpeech; }

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
    bool isLoud(int block) const { return block >= 0 && size_t(block) < m_loud.size() && loud(block); }

private:
    bool loud(int block) const { return m_loud[size_t(block)]; }
    // Where speech louder than `threshold` starts near the start of `block`, or ends near its end.
    double refineStart(int block, double threshold) const;
    double refineEnd(int block, double threshold) const;
    float percentile(int rank) const;     // the block energy at `rank` in ascending order

    std::vector<float> m_pending;  // samples from m_pendingStart on
    long m_pendingStart = 0;
    ScratchArray<float> m_db;        // energy of each 10 ms block, dB
    ScratchArray<int16_t> m_fineDb;  // energy of 5 ms windows every 2 ms, hundredths of a dB
    std::vector<quint32> m_dbCounts;  // block energies by their upper 16 bits as sort keys
    std::vector<bool> m_loud;         // after finish(): each block louder than the threshold
    std::vector<bool> m_nearFloor;    // and each no louder than the edge threshold
    double m_threshold = 0, m_seconds = 0;
    double m_edgeThreshold = 0;  // nearer the floor: weak speech at a pause's edges
    double m_floorBelowSpeech = 0;
};
