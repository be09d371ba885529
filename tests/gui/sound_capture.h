// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Signals for the real-sound test and what the null sink of
// scripts/services.sh heard: the server resamples, so stretches are matched
// by correlation, not by equality.
#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace signaltest {

// Low-passed noise (corner near 1.5 kHz at 22050 Hz): no two stretches alike,
// and little near the Nyquist frequency for resampling to alter.
inline std::vector<int16_t> noise(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<int16_t> out(n);
    double a = 0, b = 0;
    for (int16_t& s : out) {
        a += 0.35 * (g(rng) - a);
        b += 0.35 * (a - b);
        s = int16_t(std::lround(std::clamp(b * 12000.0, -32000.0, 32000.0)));
    }
    return out;
}
inline std::vector<int16_t> tone(size_t n, double hz, int rate, double amplitude) {
    std::vector<int16_t> out(n);
    for (size_t i = 0; i < n; ++i) out[i] = int16_t(std::lround(amplitude * std::sin(2 * M_PI * hz * double(i) / rate)));
    return out;
}
inline std::vector<int16_t> samplesOf(const QByteArray& raw) {
    std::vector<int16_t> out(size_t(raw.size()) / 2);
    std::memcpy(out.data(), raw.constData(), out.size() * 2);  // little-endian, as the machine
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
        ab += x * y, aa += x * x, bb += y * y;
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}
struct Match {
    long lag = 0;  // index in the reference matching index 0 of the probe
    double score = 0;
};
// The best place in ref[from, to) for the stretch probe[at..at+n).
inline Match bestMatch(const std::vector<int16_t>& ref, const std::vector<int16_t>& probe, long at, long n, long from, long to) {
    Match best;
    for (long lag = std::max(0L, from); lag < to; ++lag)
        if (const double c = correlation(ref, lag, probe, at, n); c > best.score) best = {lag - at, c};
    return best;
}
// The best correlation of probe[at..at+n) with ref at lag + at, within +-slack.
inline double scoreNear(const std::vector<int16_t>& ref, long lag, const std::vector<int16_t>& probe, long at, long n, long slack) {
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
    p.terminate();
    if (!p.waitForFinished(3000)) p.kill(), p.waitForFinished(3000);
}

// An idle null sink renders up to 2 s ahead, so a silent stream is kept
// playing to hold it at a short latency, as a real sink with rewinds is; and
// the first capture of the monitor in a server's life may miss its first
// milliseconds, so a throw-away capture comes first.
class QuietSink {
public:
    QuietSink() {
        startClient(m_keeper, "pacat", {"--playback", "--raw", "--latency-msec=20", "/dev/zero"});
        QProcess warmUp;
        startClient(warmUp, "parecord", {"--device=nullsink.monitor", "--raw", "/dev/null"});
        warmUp.waitForFinished(300);
        stopClient(warmUp);
    }
    ~QuietSink() { stopClient(m_keeper); }

private:
    QProcess m_keeper;
};

// The sink's monitor as mono 16-bit samples at `rate`, through a raw file.
// The client gets 300 ms to connect before the sound starts and 300 ms to
// hear its end; `wait` spends them (running the test's event loop).
class SinkCapture {
public:
    explicit SinkCapture(void (*wait)(int ms)) : m_wait(wait) {}
    ~SinkCapture() { stopClient(m_client); }
    bool start(const QString& path, int rate) {
        m_path = path;
        startClient(m_client, "parecord", {"--device=nullsink.monitor", "--raw", "--format=s16le", "--channels=1",
                                           QStringLiteral("--rate=%1").arg(rate), "--latency-msec=20", path});
        m_wait(300);
        return m_client.state() == QProcess::Running;
    }
    bool stop(std::vector<int16_t>& samples) {
        m_wait(300);
        stopClient(m_client);
        QFile f(m_path);
        if (!f.open(QIODevice::ReadOnly)) return false;
        samples = samplesOf(f.readAll());
        return true;
    }

private:
    void (*m_wait)(int ms);
    QProcess m_client;
    QString m_path;
};

}  // namespace signaltest
