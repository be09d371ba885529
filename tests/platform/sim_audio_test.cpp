// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated wave devices: clocks, notification order, reset, pause,
// position and injected faults.
#include "platform/sim_audio.h"
#include "wave_test_util.h"

#include <gtest/gtest.h>

#include <array>

using namespace platform;
using namespace wavetest;
using Clock = SimAudioBackend::Clock;

namespace {

// Output buffers of distinct content; buffer i holds bytes 'a'+i.
struct OutBuffers {
    explicit OutBuffers(std::vector<uint32_t> lengths) {
        for (size_t i = 0; i < lengths.size(); ++i) {
            data.emplace_back(lengths[i], char('a' + i));
            WaveHeader h;
            h.bufferLength = lengths[i];
            headers.push_back(h);
        }
        for (size_t i = 0; i < lengths.size(); ++i) headers[i].data = data[i].data();
    }
    QByteArray joined() const {
        QByteArray all;
        for (const auto& d : data) all.append(d.data(), qsizetype(d.size()));
        return all;
    }
    std::vector<Note> done(std::initializer_list<int> which) {
        std::vector<Note> v;
        for (int i : which) v.push_back({WaveEvent::OutDone, &headers[size_t(i)]});
        return v;
    }
    std::vector<std::string> data;
    std::vector<WaveHeader> headers;
};

struct OutFixture {
    explicit OutFixture(Clock clock, WaveFormat format = pcm16(1, 8000)) : sim(clock) {
        sim.setKeepPlayed(true);
        out = sim.createWaveOut();
        EXPECT_TRUE(out->open(format, &rx));
    }
    bool writeAll(OutBuffers& b) {
        for (auto& h : b.headers)
            if (!out->write(&h)) return false;
        return true;
    }
    SimAudioBackend sim;
    Receiver rx;
    std::unique_ptr<WaveOut> out;
};

}  // namespace

TEST(SimWaveOut, UntimedPlaysEachBufferAtOnceButPostsTheNotification) {
    OutFixture f(Clock::Untimed);
    OutBuffers b({100, 0, 50, 8});
    ASSERT_TRUE(f.writeAll(b));
    EXPECT_TRUE(f.rx.notes.empty()) << "notifications must be posted, not sent";
    EXPECT_EQ(f.out->position(), 158u);
    pump();
    EXPECT_EQ(f.rx.notes, b.done({0, 1, 2, 3}));
    EXPECT_EQ(f.sim.played(), b.joined());
    for (auto& h : b.headers) EXPECT_EQ(h.flags, WHDR_PREPARED | WHDR_DONE);
}

TEST(SimWaveOut, SteppedConsumesByteRateAndReturnsOnlyWholeBuffers) {
    OutFixture f(Clock::Stepped, pcm16(2, 10000));  // 40 bytes per ms
    OutBuffers b({400, 400, 400});
    ASSERT_TRUE(f.writeAll(b));
    struct Step { int ms; uint64_t position; size_t notes; };
    const Step steps[] = {{0, 0, 0}, {5, 200, 0}, {5, 400, 1}, {1, 440, 1}, {14, 1000, 2}, {100, 1200, 3}};
    for (const Step& s : steps) {
        f.sim.advance(s.ms);
        pump();
        EXPECT_EQ(f.out->position(), s.position) << "after +" << s.ms << " ms";
        EXPECT_EQ(f.rx.notes.size(), s.notes) << "after +" << s.ms << " ms";
    }
    EXPECT_EQ(f.rx.notes, b.done({0, 1, 2}));
    EXPECT_EQ(f.sim.played(), b.joined());
    // The queue ran dry: time passing with nothing queued is not banked.
    OutBuffers more({40});
    ASSERT_TRUE(f.writeAll(more));
    EXPECT_EQ(f.out->position(), 1200u);
    f.sim.advance(1);
    EXPECT_EQ(f.out->position(), 1240u);
}

TEST(SimWaveOut, FractionalMillisecondsAddUpInWholeFrames) {
    OutFixture f(Clock::Stepped, pcm16(1, 22050));  // 44.1 bytes per ms
    OutBuffers b({100000});
    ASSERT_TRUE(f.writeAll(b));
    for (int i = 0; i < 1000; ++i) f.sim.advance(1);
    EXPECT_EQ(f.out->position(), 44100u);
}

TEST(SimWaveOut, ResetReturnsEveryQueuedBufferInOrderAndRestartsTheCount) {
    OutFixture f(Clock::Stepped);
    OutBuffers b({160, 160, 160, 160});
    ASSERT_TRUE(f.writeAll(b));
    f.sim.advance(15);  // first buffer played, second half played
    f.out->reset();
    EXPECT_EQ(f.out->position(), 0u);
    pump();
    EXPECT_EQ(f.rx.notes, b.done({0, 1, 2, 3}));
    EXPECT_EQ(f.sim.played(), b.joined().left(240));
    // The device keeps working after a reset.
    OutBuffers again({16});
    ASSERT_TRUE(f.writeAll(again));
    f.sim.advance(1);
    EXPECT_EQ(f.out->position(), 16u);
}

TEST(SimWaveOut, PauseHoldsTheQueueUntilRestart) {
    for (Clock clock : {Clock::Stepped, Clock::Untimed}) {
        SCOPED_TRACE(int(clock));
        OutFixture f(clock);
        f.out->pause();
        OutBuffers b({160, 160});
        ASSERT_TRUE(f.writeAll(b));
        f.sim.advance(100);
        pump();
        EXPECT_EQ(f.out->position(), 0u);
        EXPECT_TRUE(f.rx.notes.empty());
        f.out->restart();
        f.sim.advance(20);
        pump();
        EXPECT_EQ(f.out->position(), 320u);
        EXPECT_EQ(f.rx.notes, b.done({0, 1}));
    }
}

TEST(SimWaveOut, CloseReturnsQueuedBuffersThenPostsClose) {
    OutFixture f(Clock::Stepped);
    EXPECT_EQ(f.sim.openOutputs(), 1);
    auto second = f.sim.createWaveOut();
    ASSERT_TRUE(second->open(pcm16(2, 44100), &f.rx));
    EXPECT_EQ(f.sim.openOutputs(), 2);
    EXPECT_EQ(f.sim.lastOutFormat().samplesPerSec, 44100u);
    second->close();
    OutBuffers b({160, 160});
    ASSERT_TRUE(f.writeAll(b));
    f.out->close();
    f.out->close();  // a second close does nothing
    EXPECT_EQ(f.sim.openOutputs(), 0);
    EXPECT_EQ(f.out->position(), 0u);
    EXPECT_FALSE(f.out->write(&b.headers[0]));
    pump();
    auto expected = std::vector<Note>{{WaveEvent::OutClose, nullptr}};
    auto done = b.done({0, 1});
    expected.insert(expected.end(), done.begin(), done.end());
    expected.push_back({WaveEvent::OutClose, nullptr});
    EXPECT_EQ(f.rx.notes, expected);
    // Reopening works.
    EXPECT_TRUE(f.out->open(pcm16(1, 8000), &f.rx));
}

TEST(SimWaveOut, RefusesFormatsNoDeviceTakes) {
    SimAudioBackend sim(Clock::Stepped);
    Receiver rx;
    WaveFormat badAlign = pcm16(2, 8000);
    badAlign.blockAlign = 2;
    WaveFormat bits24 = pcm16(1, 8000);
    bits24.bitsPerSample = 24;
    WaveFormat noChannels = pcm16(1, 8000);
    noChannels.channels = 0;
    WaveFormat notPcm = pcm16(1, 8000);
    notPcm.formatTag = 3;
    for (const WaveFormat& f : {badAlign, bits24, noChannels, notPcm, pcm16(1, 0)}) {
        EXPECT_FALSE(sim.createWaveOut()->open(f, &rx));
        EXPECT_FALSE(sim.createWaveIn()->open(f, &rx));
    }
    EXPECT_EQ(sim.openOutputs(), 0);
}

TEST(SimFaults, FailOpenRefusesBothDevices) {
    SimAudioBackend sim(Clock::Untimed);
    Receiver rx;
    sim.setFailOpen(true);
    EXPECT_FALSE(sim.createWaveOut()->open(pcm16(1, 8000), &rx));
    EXPECT_FALSE(sim.createWaveIn()->open(pcm16(2, 8000), &rx));
    sim.setFailOpen(false);
    EXPECT_TRUE(sim.createWaveOut()->open(pcm16(1, 8000), &rx));
}

TEST(SimFaults, NthWriteAndEveryLaterOneFail) {
    OutFixture f(Clock::Stepped);
    auto in = f.sim.createWaveIn();
    ASSERT_TRUE(in->open(pcm16(2, 8000), &f.rx));
    OutBuffers b({16, 16, 16, 16});
    f.sim.setFailWriteAfter(3);
    EXPECT_TRUE(f.out->write(&b.headers[0]));
    EXPECT_TRUE(in->addBuffer(&b.headers[1]));  // counted across devices
    EXPECT_FALSE(f.out->write(&b.headers[2]));
    EXPECT_FALSE(in->addBuffer(&b.headers[3]));
    f.sim.setFailWriteAfter(0);
    EXPECT_TRUE(f.out->write(&b.headers[2]));
    f.sim.advance(10);
    pump();
    EXPECT_EQ(f.rx.notes, b.done({0, 2}));
}

TEST(SimFaults, HeldBuffersNeverComeBack) {
    OutFixture f(Clock::Stepped);
    f.sim.setHoldBuffers(true);
    OutBuffers b({16, 16, 16});
    ASSERT_TRUE(f.writeAll(b));
    f.sim.advance(1);
    EXPECT_EQ(f.out->position(), 16u);
    f.out->reset();
    f.out->close();
    pump();
    EXPECT_EQ(f.rx.notes, (std::vector<Note>{{WaveEvent::OutClose, nullptr}}));
}

TEST(SimAudio, NotificationsToADeletedReceiverAreDropped) {
    SimAudioBackend sim(Clock::Untimed);
    auto rx = std::make_unique<Receiver>();
    auto out = sim.createWaveOut();
    ASSERT_TRUE(out->open(pcm16(1, 8000), rx.get()));
    OutBuffers b({16});
    ASSERT_TRUE(out->write(&b.headers[0]));
    rx.reset();
    out->close();
    pump();  // nothing to crash on
}

TEST(SimAudio, DevicesOutlivingTheBackendAreClosed) {
    Receiver rx;
    std::unique_ptr<WaveOut> out;
    {
        SimAudioBackend sim(Clock::Untimed);
        out = sim.createWaveOut();
        ASSERT_TRUE(out->open(pcm16(1, 8000), &rx));
    }
    WaveHeader h;
    EXPECT_FALSE(out->write(&h));
    EXPECT_EQ(out->position(), 0u);
    out->close();
}

// --- input ---

namespace {
struct InFixture {
    explicit InFixture(Clock clock, int buffers, uint32_t bytes) : sim(clock) {
        sim.setInputSignal([](uint64_t frame, int channel) { return int16_t(frame * 2 + channel); });
        in = sim.createWaveIn();
        EXPECT_TRUE(in->open(pcm16(2, 8000), &rx));  // 32 bytes per ms
        store.assign(size_t(buffers), std::vector<char>(bytes));
        headers.resize(size_t(buffers));
        for (size_t i = 0; i < headers.size(); ++i) {
            headers[i].data = store[i].data();
            headers[i].bufferLength = bytes;
        }
    }
    // The first frame index held by a buffer, from its left-channel sample.
    int firstFrame(size_t i) const {
        return int(int16_t(uint8_t(store[i][0]) | uint8_t(store[i][1]) << 8)) / 2;
    }
    bool framesRunOn(size_t i, int from) const {
        for (uint32_t k = 0; k < headers[i].bytesRecorded / 4; ++k) {
            const int16_t l = int16_t(uint8_t(store[i][4 * k]) | uint8_t(store[i][4 * k + 1]) << 8);
            const int16_t r = int16_t(uint8_t(store[i][4 * k + 2]) | uint8_t(store[i][4 * k + 3]) << 8);
            if (l != int16_t((from + int(k)) * 2) || r != int16_t(l + 1)) return false;
        }
        return true;
    }
    SimAudioBackend sim;
    Receiver rx;
    std::unique_ptr<WaveIn> in;
    std::vector<std::vector<char>> store;
    std::vector<WaveHeader> headers;
};
}  // namespace

TEST(SimWaveIn, SteppedFillsBuffersInOrderFromTheSignal) {
    InFixture f(Clock::Stepped, 2, 320);  // 10 ms each
    ASSERT_TRUE(f.in->addBuffer(&f.headers[0]));
    f.sim.advance(50);  // not started: nothing recorded
    f.in->start();
    ASSERT_TRUE(f.in->addBuffer(&f.headers[1]));
    f.sim.advance(9);
    pump();
    EXPECT_TRUE(f.rx.notes.empty());
    f.sim.advance(1);
    f.sim.advance(10);
    pump();
    EXPECT_EQ(f.rx.notes, (std::vector<Note>{{WaveEvent::InData, &f.headers[0]}, {WaveEvent::InData, &f.headers[1]}}));
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(f.headers[i].bytesRecorded, 320u);
        EXPECT_EQ(f.headers[i].flags, WHDR_PREPARED | WHDR_DONE);
        EXPECT_TRUE(f.framesRunOn(i, int(i) * 80));
    }
}

TEST(SimWaveIn, FramesWithoutABufferAreLostAndLeaveAGap) {
    InFixture f(Clock::Stepped, 1, 320);
    f.in->start();
    f.sim.advance(5);  // 40 frames lost
    ASSERT_TRUE(f.in->addBuffer(&f.headers[0]));
    f.sim.advance(10);
    pump();
    ASSERT_EQ(f.rx.notes.size(), 1u);
    EXPECT_EQ(f.firstFrame(0), 40);
    EXPECT_TRUE(f.framesRunOn(0, 40));
}

TEST(SimWaveIn, ResetReturnsHeldBuffersWithWhatTheyHold) {
    InFixture f(Clock::Stepped, 3, 320);
    for (auto& h : f.headers) ASSERT_TRUE(f.in->addBuffer(&h));
    f.in->start();
    f.sim.advance(12);
    f.in->reset();
    f.sim.advance(100);  // stopped: nothing more
    pump();
    ASSERT_EQ(f.rx.notes.size(), 3u);
    EXPECT_EQ(f.headers[0].bytesRecorded, 320u);
    EXPECT_EQ(f.headers[1].bytesRecorded, 64u);
    EXPECT_EQ(f.headers[2].bytesRecorded, 0u);
    EXPECT_TRUE(f.framesRunOn(1, 80));
    f.in->close();
    pump();
    EXPECT_EQ(f.rx.notes.size(), 3u);
}

TEST(SimWaveIn, UntimedFillsEachBufferWhenHandedOver) {
    InFixture f(Clock::Untimed, 2, 320);
    ASSERT_TRUE(f.in->addBuffer(&f.headers[0]));
    f.in->start();
    ASSERT_TRUE(f.in->addBuffer(&f.headers[1]));
    EXPECT_TRUE(f.rx.notes.empty());
    pump();
    ASSERT_EQ(f.rx.notes.size(), 2u);
    EXPECT_TRUE(f.framesRunOn(0, 0));
    EXPECT_TRUE(f.framesRunOn(1, 80));
    ASSERT_TRUE(f.in->addBuffer(&f.headers[0]));
    pump();
    EXPECT_TRUE(f.framesRunOn(0, 160));
}

TEST(SimWaveIn, HeldBuffersNeverComeBack) {
    InFixture f(Clock::Untimed, 2, 320);
    f.sim.setHoldBuffers(true);
    for (auto& h : f.headers) ASSERT_TRUE(f.in->addBuffer(&h));
    f.in->start();
    f.in->close();
    pump();
    EXPECT_TRUE(f.rx.notes.empty());
}

TEST(SimRealTime, BuffersComeBackAfterTheirPlayingTime) {
    SimAudioBackend sim(Clock::RealTime);
    Receiver rx;
    auto out = sim.createWaveOut();
    ASSERT_TRUE(out->open(pcm16(1, 8000), &rx));
    OutBuffers b({800, 800});  // 50 ms each
    QElapsedTimer t;
    t.start();
    for (auto& h : b.headers) ASSERT_TRUE(out->write(&h));
    ASSERT_TRUE(waitFor([&] { return rx.notes.size() == 2; }, 5000));
    EXPECT_GE(t.elapsed(), 95);
    EXPECT_EQ(out->position(), 1600u);
    EXPECT_EQ(rx.notes, b.done({0, 1}));
}
