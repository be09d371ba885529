// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Test signals and their matching, for the tests that play or record through
// the sound server (which resamples, so matching is by correlation, not by
// equality).

#include <QByteArray>
#include <QProcess>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace signaltest {

// Low-passed noise (two one-pole stages, corner near 1.5 kHz at 22050 Hz):
// no two stretches alike, and little content near the Nyquist frequency that
// resampling would alter.
inline std::vector<int16_t> noise(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<int16_t> out(n);
    double a = 0, b = 0;
    const double k = 0.35;
    for (size_t i = 0; i < n; ++i) {
        a += k * (g(rng) - a);
        b += k * (a - b);
        out[i] = int16_t(std::lround(std::clamp(b * 12000.0, -32000.0, 32000.0)));
    }
    return out;
}

inline std::vector<int16_t> tone(size_t n, double hz, int rate, double amplitude = 8000) {
    std::vector<int16_t> out(n);
    for (size_t i = 0; i < n; ++i) out[i] = int16_t(std::lround(amplitude * std::sin(2 * M_PI * hz * double(i) / rate)));
    return out;
}

inline std::vector<int16_t> samplesOf(const QByteArray& raw) {
    std::vector<int16_t> out(size_t(raw.size()) / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = int16_t(uint8_t(raw[qsizetype(2 * i)]) | uint8_t(raw[qsizetype(2 * i + 1)]) << 8);
    return out;
}

inline QByteArray bytesOf(const std::vector<int16_t>& s) {
    return QByteArray(reinterpret_cast<const char*>(s.data()), qsizetype(s.size() * 2));
}

// Normalised correlation of a[ai..ai+n) with b[bi..bi+n); 0 when out of range or silent.
inline double correlation(const std::vector<int16_t>& a, long ai, const std::vector<int16_t>& b, long bi, long n) {
    if (ai < 0 || bi < 0 || ai + n > long(a.size()) || bi + n > long(b.size())) return 0;
    double ab = 0, aa = 0, bb = 0;
    for (long i = 0; i < n; ++i) {
        const double x = a[size_t(ai + i)], y = b[size_t(bi + i)];
        ab += x * y;
        aa += x * x;
        bb += y * y;
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

struct Match {
    long lag = 0;  // index in the reference matching index 0 of the probe's stretch
    double score = 0;
};

// The best offset in `ref` (searched over [from, to)) for the stretch
// probe[at..at+n).
inline Match bestMatch(const std::vector<int16_t>& ref, const std::vector<int16_t>& probe, long at, long n,
                       long from, long to) {
    Match best;
    for (long lag = std::max(0L, from); lag < to; ++lag) {
        const double c = correlation(ref, lag, probe, at, n);
        if (c > best.score) best = {lag - at, c};
    }
    return best;
}

// The best correlation of probe[at..at+n) with ref at lag + at, within +-slack.
inline double scoreNear(const std::vector<int16_t>& ref, long lag, const std::vector<int16_t>& probe, long at, long n,
                        long slack = 2) {
    double best = 0;
    for (long d = -slack; d <= slack; ++d) best = std::max(best, correlation(ref, lag + at + d, probe, at, n));
    return best;
}


// The sound server's command-line clients, run as child processes.
inline void startClient(QProcess& p, const QString& program, const QStringList& args) {
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(program, args);
    p.waitForStarted(5000);
}

inline void stopClient(QProcess& p) {
    if (p.state() == QProcess::NotRunning) return;
    p.terminate();
    if (!p.waitForFinished(3000)) {
        p.kill();
        p.waitForFinished(3000);
    }
}

}  // namespace signaltest
