// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt Multimedia devices against the real sound server: what is played
// reaches the null sink, buffers come back once heard, reset stops at once.
// Needs the private PulseAudio server of scripts/services.sh.
#include "common/signal_match.h"
#include "common/sink_capture.h"
#include "platform/qt_audio_backend.h"
#include "wave_test_util.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace platform;
using namespace signaltest;
using namespace wavetest;

namespace {
constexpr int kRate = 22050;

class SoundOut : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sink = new QuietSink; }
    static void TearDownTestSuite() { delete sink; }
    void SetUp() override {
        backend = createQtAudioBackend();
        out = backend->createWaveOut();
        ASSERT_TRUE(out->open(pcm16(1, kRate), &rx));
    }
    void TearDown() override {
        out->close();
        pump();
    }
    // Starts capturing what the null sink plays, as mono at kRate.
    void startCapture() {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(capture.start(dir.filePath("capture.raw"), kRate));
    }
    std::vector<int16_t> stopCapture() {
        std::vector<int16_t> captured;
        EXPECT_TRUE(capture.stop(captured));
        return captured;
    }
    static WaveHeader header(std::vector<int16_t>& s) {
        WaveHeader h;
        h.data = reinterpret_cast<char*>(s.data());
        h.bufferLength = uint32_t(s.size() * 2);
        return h;
    }

    static QuietSink* sink;
    std::unique_ptr<AudioBackend> backend;
    std::unique_ptr<WaveOut> out;
    Receiver rx;
    QTemporaryDir dir;
    SinkCapture capture;
};
QuietSink* SoundOut::sink = nullptr;
}  // namespace

// Three half-second buffers of distinct noise: each is found in the capture,
// from its first to its last 100 ms, right behind the one before. (parecord
// leaves out stretches of pure silence, so only the played audio is compared;
// and a monitor may lose the first milliseconds of a new stream, where the
// sink rewound, so the first buffer is checked from 100 ms on.)
TEST_F(SoundOut, PlaysWhatWasWrittenAndReturnsEachBufferOnceHeard) {
    constexpr long kPart = 11025;
    std::vector<std::vector<int16_t>> parts = {noise(kPart, 1), noise(kPart, 2), noise(kPart, 3)};
    std::vector<int16_t> all;
    for (auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    std::vector<WaveHeader> headers;
    for (auto& p : parts) headers.push_back(header(p));
    startCapture();

    QElapsedTimer t;
    t.start();
    for (auto& h : headers) ASSERT_TRUE(out->write(&h));
    // While playing, the position moves at the byte rate.
    ASSERT_TRUE(waitFor([&] { return out->position() > 4000; }, 3000));
    const uint64_t p0 = out->position();
    QElapsedTimer between;
    between.start();
    waitFor([] { return false; }, 500);
    const double rate = double(out->position() - p0) * 1000.0 / double(between.elapsed());
    EXPECT_NEAR(rate, 2.0 * kRate, 0.15 * 2 * kRate);

    ASSERT_TRUE(waitFor([&] { return rx.notes.size() == 3; }, 5000));
    // A buffer comes back once heard, so three half-second buffers take 1.5 s.
    EXPECT_GE(t.elapsed(), 1400);
    std::vector<Note> expected;
    for (auto& h : headers) expected.push_back({WaveEvent::OutDone, &h});
    EXPECT_EQ(rx.notes, expected);
    EXPECT_EQ(out->position(), uint64_t(all.size() * 2));
    out->close();  // at once on the last OutDone, as the players do
    const auto captured = stopCapture();

    const Match m = bestMatch(captured, all, 2000, 2000, 0, long(captured.size()));
    ASSERT_GT(m.score, 0.9) << "the first part is not in the capture";
    for (long at : {2205L, kPart - 2205, kPart, 2 * kPart - 2205, 2 * kPart, 3 * kPart - 2205})
        EXPECT_GT(scoreNear(captured, m.lag, all, at, 2205), 0.9) << "at sample " << at << ", lag " << m.lag;
}

TEST_F(SoundOut, ResetStopsAtOnceAndReturnsEveryBuffer) {
    auto first = noise(22050, 4);            // 1 s
    auto second = tone(44100, 1320, kRate);  // 2 s, must not be heard
    WaveHeader a = header(first), b = header(second);
    startCapture();
    ASSERT_TRUE(out->write(&a));
    ASSERT_TRUE(out->write(&b));
    ASSERT_TRUE(waitFor([&] { return out->position() > 11025 * 2; }, 3000));  // half of the first
    out->reset();
    EXPECT_EQ(out->position(), 0u);
    pump();
    EXPECT_EQ(rx.notes, (std::vector<Note>{{WaveEvent::OutDone, &a}, {WaveEvent::OutDone, &b}}));
    waitFor([] { return false; }, 1000);
    EXPECT_EQ(out->position(), 0u);
    const auto captured = stopCapture();
    // What was heard is the start of the first buffer, and no more than the
    // half played and what the server held (100 ms) besides.
    const Match m = bestMatch(captured, first, 0, 2000, 0, long(captured.size()));
    EXPECT_GT(m.score, 0.9);
    long loud = 0;
    for (long i = 0; i + 441 <= long(captured.size()); i += 441)
        loud += firstLoud(std::vector<int16_t>(captured.begin() + i, captured.begin() + i + 441), 441, 300) >= 0;
    EXPECT_LE(loud * 441, 11025 + 2205 + 4410) << "the output went on after the reset";
    // The device plays again after a reset.
    ASSERT_TRUE(out->write(&a));
    ASSERT_TRUE(waitFor([&] { return rx.notes.size() == 3; }, 3000));
    EXPECT_EQ(out->position(), uint64_t(first.size() * 2));
}

TEST_F(SoundOut, PauseHoldsThePositionAndTheBuffers) {
    auto s = tone(22050, 440, kRate);  // 1 s
    WaveHeader h = header(s);
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(out->write(&h));
    ASSERT_TRUE(waitFor([&] { return out->position() > 8000; }, 3000));
    out->pause();
    const uint64_t held = out->position();
    waitFor([] { return false; }, 800);
    EXPECT_EQ(out->position(), held);
    EXPECT_TRUE(rx.notes.empty());
    out->restart();
    ASSERT_TRUE(waitFor([&] { return rx.notes.size() == 1; }, 3000));
    EXPECT_GE(t.elapsed(), 1000 + 800 - 100);
    EXPECT_EQ(out->position(), uint64_t(s.size() * 2));
}

TEST_F(SoundOut, CloseReturnsQueuedBuffersThenPostsClose) {
    auto s = tone(22050, 440, kRate);
    WaveHeader h = header(s);
    ASSERT_TRUE(out->write(&h));
    out->close();
    EXPECT_EQ(out->position(), 0u);
    EXPECT_FALSE(out->write(&h));
    pump();
    EXPECT_EQ(rx.notes, (std::vector<Note>{{WaveEvent::OutDone, &h}, {WaveEvent::OutClose, nullptr}}));
    EXPECT_TRUE(out->open(pcm16(2, 44100), &rx));
}

TEST(SoundIn, RecordsWhatIsPlayedIntoTheSinkInFullBuffers) {
    auto backend = createQtAudioBackend();
    auto in = backend->createWaveIn();
    Receiver rx;
    std::vector<std::vector<char>> store(2, std::vector<char>(8000));
    WaveHeader h[2];
    for (int i = 0; i < 2; ++i) {
        h[i].data = store[size_t(i)].data();
        h[i].bufferLength = 8000;
    }
    std::vector<uint32_t> recorded, flags;
    rx.onNote = [&](const Note& n) {
        recorded.push_back(n.header->bytesRecorded);
        flags.push_back(n.header->flags);
        if (rx.notes.size() < 20) in->addBuffer(n.header);
    };
    ASSERT_TRUE(in->open(pcm16(2, kRate), &rx));
    ASSERT_TRUE(in->addBuffer(&h[0]));
    in->start();
    ASSERT_TRUE(in->addBuffer(&h[1]));
    QProcess player;
    startClient(player, "pacat", {"--playback", "--raw", "--rate=22050", "--channels=1", "--format=s16le",
                                  "--latency-msec=50", "/dev/urandom"});
    ASSERT_TRUE(waitFor([&] { return rx.notes.size() >= 20; }, 10000));
    stopClient(player);
    for (size_t i = 0; i < rx.notes.size(); ++i) {
        EXPECT_EQ(rx.notes[i].type, WaveEvent::InData);
        EXPECT_EQ(rx.notes[i].header, &h[i % 2]) << "buffers come back in the order handed over";
    }
    for (size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(recorded[i], 8000u);
        EXPECT_EQ(flags[i], WHDR_PREPARED | WHDR_DONE);
    }
    // What the 20th buffer holds is the noise played, not silence.
    EXPECT_GE(firstLoud(samplesOf(QByteArray(h[1].data, 8000)), 200, 1000), 0);
    in->reset();
    pump();
    EXPECT_EQ(rx.notes.size(), 21u);  // the last one handed over comes back, full or on reset
    in->close();
}
