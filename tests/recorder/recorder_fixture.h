// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared by the recorder tests: a simulated backend installed for the test,
// collected messages, and receivers that drive the recorder and the
// recording player the way the script view does.

#include "audio/recorder.h"
#include "audio/replay_buffer.h"
#include "platform/message_box.h"
#include "platform/sim_audio.h"

#include <QCoreApplication>
#include <QObject>
#include <QStringList>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace rectest {

using platform::SimAudioBackend;
using platform::WaveEvent;

// Left and right channel of the simulated input: distinct, never silent.
inline int16_t left(uint64_t frame) { return int16_t(frame * 7 + 1); }
inline int16_t right(uint64_t frame) { return int16_t(-int(frame % 1000) - 5); }

struct SimFixture : ::testing::Test {
    explicit SimFixture(SimAudioBackend::Clock clock = SimAudioBackend::Clock::Stepped) : sim(clock) {
        sim.setInputSignal([](uint64_t f, int c) { return c == 0 ? left(f) : right(f); });
        sim.setKeepPlayed(true);
        platform::setAudioBackend(&sim);
        platform::SetMessageSink([this](const QString& m) { messages << m; });
    }
    ~SimFixture() override {
        platform::SetMessageSink({});
        platform::setAudioBackend(nullptr);
        SetSampleBlockLimit(-1);
    }
    static void pump() { QCoreApplication::sendPostedEvents(); }
    SimAudioBackend sim;
    QStringList messages;
};

// Hands every InData to the recorder, with the view's sample limit when set.
class RecorderRx : public QObject {
public:
    explicit RecorderRx(CRecorder& r, int limit = 0) : rec(r), limit(limit) {}
    bool event(QEvent* e) override {
        if (e->type() != WaveEvent::InData) return QObject::event(e);
        ++data;
        if (limit == 0 || rec.GetCount() <= limit) rec.OnData();
        else rec.Stop();
        return true;
    }
    CRecorder& rec;
    int limit;
    int data = 0;
};

// The view's replay of a joined recording: two writes, then one per OutDone
// while samples remain.
class ReplayDriver : public QObject {
public:
    explicit ReplayDriver(CReplayBuffer& p) : player(p) {}
    int play(const int16_t* s, int n) {
        samples = s;
        count = n;
        pos = 0;
        if (!player.Open(this, 22050)) return 0;
        replaying = true;
        writeMore();
        if (pos < count) writeMore();
        return 1;
    }
    bool event(QEvent* e) override {
        if (e->type() == WaveEvent::OutDone) {
            ++done;
            EXPECT_TRUE(player.Owns(static_cast<WaveEvent*>(e)->header));
            player.OnDone();
            if (replaying && pos < count) writeMore();
            return true;
        }
        if (e->type() == WaveEvent::OutClose) {
            ++closes;
            replaying = false;
            return true;
        }
        return QObject::event(e);
    }
    void writeMore() {
        const int k = player.Write(reinterpret_cast<const char*>(samples + pos), (count - pos) * 2);
        if (k > 0) ++writes;
        pos += k / 2;
    }
    CReplayBuffer& player;
    const int16_t* samples = nullptr;
    int count = 0, pos = 0, writes = 0, done = 0, closes = 0;
    bool replaying = false;
};

struct Samples {
    explicit Samples(CRecorder& r) : n(r.GetCount()), p(r.GetSamples()) {}
    ~Samples() { std::free(p); }
    Samples(const Samples&) = delete;
    Samples& operator=(const Samples&) = delete;
    std::vector<int16_t> vec() const { return std::vector<int16_t>(p, p + n); }
    int n;
    int16_t* p;
};

inline std::vector<int16_t> leftFrames(uint64_t from, uint64_t count) {
    std::vector<int16_t> v;
    for (uint64_t f = from; f < from + count; ++f) v.push_back(left(f));
    return v;
}

}  // namespace rectest
