// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The null sink of scripts/services.sh, for the tests that play through the
// sound server and check what it heard: holding the sink at a short latency,
// and capturing its monitor with parecord.

#include "common/signal_match.h"

#include <QFile>
#include <QProcess>
#include <QString>
#include <QThread>

#include <cstdint>
#include <vector>

namespace signaltest {

// An idle null sink renders up to 2 s ahead, so a stream that starts on it
// waits that long before it is read. A silent stream kept playing holds the
// sink at a short latency, as a real sink with rewinds would be. And the
// first capture of the monitor in a server's life may miss its first
// milliseconds, so a throw-away capture comes first.
class QuietSink {
public:
    QuietSink() {
        startClient(m_keeper, "pacat", {"--playback", "--raw", "--latency-msec=20", "/dev/zero"});
        QProcess warmUp;
        startClient(warmUp, "parecord", {"--device=nullsink.monitor", "--raw", "/dev/null"});
        QThread::msleep(300);
        stopClient(warmUp);
    }
    ~QuietSink() { stopClient(m_keeper); }
    QuietSink(const QuietSink&) = delete;
    QuietSink& operator=(const QuietSink&) = delete;

private:
    QProcess m_keeper;
};

inline void sleepMs(int ms) { QThread::msleep(ulong(ms)); }

// What the null sink plays, captured from its monitor as mono 16-bit samples
// at a given rate into a raw file. The client is given 300 ms to connect
// before the sound starts, and 300 ms to hear its end before it is stopped;
// `wait` spends that time (a test that needs its events handled meanwhile
// passes an event-loop wait).
class SinkCapture {
public:
    explicit SinkCapture(void (*wait)(int ms) = sleepMs) : m_wait(wait) {}
    ~SinkCapture() { stopClient(m_client); }
    SinkCapture(const SinkCapture&) = delete;
    SinkCapture& operator=(const SinkCapture&) = delete;

    // Starts recording into `path`; true when the client runs.
    bool start(const QString& path, int rate) {
        m_path = path;
        startClient(m_client, "parecord", {"--device=nullsink.monitor", "--raw", "--format=s16le",
                                           QStringLiteral("--rate=%1").arg(rate), "--channels=1",
                                           "--latency-msec=20", path});
        const bool running = m_client.state() == QProcess::Running;
        m_wait(300);
        return running;
    }

    // Stops recording; true, with what was heard in `samples`, when the
    // client's file could be read.
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
