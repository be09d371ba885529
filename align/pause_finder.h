#pragma once
// Pauses in a recording: stretches whose energy stays near the noise floor,
// found from short-time energy, with edges placed to a few milliseconds.

#include <cstddef>
#include <vector>

class PauseFinder {
public:
    // Analyses `samples` (16 kHz). The threshold lies between the noise floor
    // and the speech level, both estimated from the energy distribution.
    explicit PauseFinder(const std::vector<float>& samples);

    // A pause from `start` to `end` (seconds).
    class Pause {
    public:
        Pause(double start, double end) : m_dStart(start), m_dEnd(end) {}
        double start() const { return m_dStart; }
        double end() const { return m_dEnd; }
        double length() const { return m_dEnd - m_dStart; }

    private:
        double m_dStart, m_dEnd;
    };

    // Every pause of at least `minSeconds`, in order; the recording's start
    // and end count as pauses when silence (or nothing) lies there.
    std::vector<Pause> pauses(double minSeconds) const;
    // True when some stretch of at least `seconds`, after `from` seconds, is
    // louder than the threshold.
    bool hasSpeech(double seconds, double from) const;

private:
    bool loud(int block) const { return m_db[size_t(block)] > m_dThreshold; }
    double refineStart(int block) const;  // where speech starts near the start of `block`
    double refineEnd(int block) const;    // where speech ends near the end of `block`

    const std::vector<float>& m_samples;
    std::vector<float> m_db;  // energy of each 10 ms block, dB
    double m_dThreshold = 0;
};
