// SPDX-License-Identifier: GPL-3.0-or-later
// The recorder and the recording player on the simulated devices: the left
// channel of every full buffer kept in recording order and replayed as
// recorded; what stops a recording, and that what was kept stays.
#include "audio/recorder.h"
#include "audio/replay_buffer.h"
#include "audio/replay_file.h"
#include "audio/sample_block.h"
#include "platform/message_box.h"
#include "platform/qt_audio_backend.h"
#include "platform/sim_audio.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <functional>

namespace {

using platform::WaveEvent;
constexpr int kRate = 22050;

int16_t Left(uint64_t frame) { return int16_t(frame * 7 + 1); }

std::vector<int16_t> LeftFrames(size_t n) {
    std::vector<int16_t> out(n);
    for (size_t f = 0; f < n; ++f) out[f] = Left(f);
    return out;
}

// Hands every InData to the recorder.
class RecorderRx : public QObject {
public:
    explicit RecorderRx(CRecorder& r) : m_rec(r) {}
    bool event(QEvent* e) override {
        if (e->type() != WaveEvent::InData) return QObject::event(e);
        m_rec.OnData();
        return true;
    }

private:
    CRecorder& m_rec;
};

// Replays samples the way the script view does: two buffers' worth, then
// the next part each time a buffer comes back; counts the closes.
class ReplayRx : public QObject {
public:
    ReplayRx(CReplayBuffer& p, std::vector<int16_t> s) : m_player(p), m_samples(std::move(s)) {}
    bool start() {
        if (!m_player.Open(this, kRate)) return false;
        writeMore();
        writeMore();
        return true;
    }
    bool event(QEvent* e) override {
        if (e->type() == WaveEvent::OutClose) ++closes;
        if (e->type() != WaveEvent::OutDone) return QObject::event(e);
        EXPECT_TRUE(m_player.Owns(static_cast<WaveEvent*>(e)->header));
        m_player.OnDone();
        writeMore();
        return true;
    }
    int closes = 0;

private:
    void writeMore() {
        const auto* from = reinterpret_cast<const char*>(m_samples.data() + m_pos);
        m_pos += size_t(m_player.Write(from, int(m_samples.size() - m_pos) * 2) / 2);
    }
    CReplayBuffer& m_player;
    std::vector<int16_t> m_samples;
    size_t m_pos = 0;
};

class Recording : public ::testing::Test {
protected:
    void SetUp() override {
        sim.setInputSignal([](uint64_t f, int c) { return c == 0 ? Left(f) : int16_t(-1000 - int(f % 500)); });
        sim.setKeepPlayed(true);
        platform::setAudioBackend(&sim);
        platform::SetMessageSink([this](const QString& text) { messages << text; });
    }
    void TearDown() override {
        recorder.Close();
        replay.Close();
        SetSampleBlockLimit(-1);
        platform::setAudioBackend(nullptr);
        platform::SetMessageSink({});
    }
    void Advance(int ms) {
        for (; ms > 0; ms -= 50) {
            sim.advance(50);
            QCoreApplication::sendPostedEvents();
        }
    }

    platform::SimAudioBackend sim{platform::SimAudioBackend::Clock::Stepped};
    CRecorder recorder;
    CReplayBuffer replay;
    RecorderRx rx{recorder};
    QStringList messages;
};

TEST_F(Recording, KeepsTheLeftChannelInOrderAndReplaysIt) {
    ASSERT_TRUE(recorder.Start(&rx, kRate, 2));
    EXPECT_FALSE(recorder.Start(&rx, kRate, 2));  // already recording
    Advance(2000);                                // 44100 frames: 22 full buffers of 2000
    recorder.Stop();
    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_EQ(recorder.GetSamples(), LeftFrames(44000));
    // A new start adds to what is kept; mode 0 keeps nothing; Clear forgets.
    ASSERT_TRUE(recorder.Start(&rx, kRate, 2));
    Advance(1000);
    recorder.Stop();
    std::vector<int16_t> both = LeftFrames(44000), more = LeftFrames(22000);
    both.insert(both.end(), more.begin(), more.end());
    EXPECT_EQ(recorder.GetSamples(), both);
    ASSERT_TRUE(recorder.Start(&rx, kRate, 0));
    Advance(1000);
    recorder.Stop();
    EXPECT_EQ(recorder.GetCount(), 66000);

    ReplayRx player(replay, both);
    ASSERT_TRUE(player.start());
    EXPECT_FALSE(replay.Open(&player, kRate));  // already open
    for (int ms = 0; ms < 5000 && replay.IsOpen(); ms += 50) Advance(50);
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(replay.IsOpen());
    EXPECT_EQ(player.closes, 1);
    EXPECT_EQ(sim.lastOutFormat().channels, 1);
    EXPECT_EQ(sim.lastOutFormat().samplesPerSec, uint32_t(kRate));
    EXPECT_EQ(sim.played(), QByteArray(reinterpret_cast<const char*>(both.data()), qsizetype(both.size() * 2)));
    platform::WaveHeader foreign;
    EXPECT_FALSE(replay.Owns(&foreign));
    recorder.Clear();
    EXPECT_TRUE(recorder.GetSamples().empty());
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

TEST_F(Recording, WhatStopsARecordingKeepsWhatWasRecorded) {
    struct Case {
        const char* name;
        std::function<void()> fault;
        int rate;
        QString message;
        int kept;
    } cases[] = {
        {"out of memory", [] { SetSampleBlockLimit(5); }, kRate, "Out of memory for recording", 5 * 2000},
        {"the 8th buffer refused", [this] { sim.setFailWriteAfter(8); }, kRate, "The record device failed: recording stopped", 6 * 2000},
        {"no device", [this] { sim.setFailOpen(true); }, kRate, "Failed to open record device", 0},
        {"rate 0", [] {}, 0, "Failed to open record device", 0},
    };
    for (const auto& c : cases) {
        recorder.Clear();
        messages.clear();
        c.fault();
        EXPECT_EQ(recorder.Start(&rx, c.rate, 2), c.kept > 0) << c.name;
        Advance(2000);
        EXPECT_FALSE(recorder.IsRecording()) << c.name;
        EXPECT_EQ(messages, QStringList{c.message}) << c.name;
        EXPECT_EQ(recorder.GetSamples(), LeftFrames(size_t(c.kept))) << c.name;
        sim.setFailOpen(false);
        sim.setFailWriteAfter(0);
        SetSampleBlockLimit(-1);
    }
}

TEST_F(Recording, ReplayDeviceFaultsAndStop) {
    const std::vector<int16_t> samples = LeftFrames(30000);
    sim.setFailOpen(true);
    EXPECT_FALSE(replay.Open(nullptr, kRate));
    sim.setFailOpen(false);
    EXPECT_FALSE(replay.Open(nullptr, 0));
    EXPECT_EQ(messages, QStringList(2, "Failed to open replay device"));
    // A refused write stops the device; Stop takes back both buffers and closes.
    for (bool refuse : {true, false}) {
        sim.setFailWriteAfter(refuse ? 2 : 0);
        ReplayRx player(replay, samples);
        ASSERT_TRUE(player.start());
        EXPECT_EQ(replay.IsOpen(), !refuse);
        replay.Stop();
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(player.closes, 1);
        EXPECT_EQ(sim.openOutputs(), 0);
    }
}

// With no sound server to reach (PULSE_SERVER names no socket), every open
// of the real devices fails at once with its message.
TEST(NoServer, EveryOpenFailsWithItsMessage) {
    const auto backend = platform::createQtAudioBackend();
    platform::setAudioBackend(backend.get());
    QStringList messages;
    platform::SetMessageSink([&](const QString& text) { messages << text; });
    CRecorder recorder;
    CReplayBuffer replay;
    EXPECT_FALSE(recorder.Start(nullptr, kRate, 2));
    EXPECT_FALSE(replay.Open(nullptr, kRate));
    EXPECT_EQ(messages, QStringList({"Failed to open record device", "Failed to open replay device"}));
    platform::SetMessageSink({});
    platform::setAudioBackend(nullptr);
}

}  // namespace
