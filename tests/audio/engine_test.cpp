// SPDX-License-Identifier: GPL-3.0-or-later
// The audio engine on the simulated devices (stepped clock): what the file player hands the device and the
// position it reports, what the recorder keeps, device faults, the file formats; the real devices with no server.
#include "audio/mpeg_frame.h"
#include "audio/file_player.h"
#include "audio/recorder.h"
#include "audio/recording_player.h"
#include "audio/sample_block.h"
#include "audio/wave_parser.h"
#include "common/memory_source.h"
#include "common/test_audio.h"
#include "platform/qt_audio_backend.h"
#include "platform/sound_file_decoder.h"
#include "platform/sim_audio.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <tuple>

using namespace testaudio;
using platform::WaveEvent;

namespace {

constexpr int kRate = 44100, kFrameBytes = 4, kRecordRate = 22050;  // the sweep's (16-bit stereo); the recorder's

constexpr double kSeconds = 3.0;
const std::string kPcm = pcmBytes(sweep(kRate, 2, kSeconds));

size_t at(double seconds) { return size_t(seconds * kRate) * kFrameBytes; }

int16_t sampleAt(const std::string& s, size_t i) { return int16_t(uint8_t(s[2 * i]) | uint8_t(s[2 * i + 1]) << 8); }

// The largest difference between two runs of 16-bit samples; 65536 when their lengths differ.
int maxDifference(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return 65536;
    int most = 0;
    for (size_t i = 0; i < a.size() / 2; ++i) most = std::max(most, std::abs(sampleAt(a, i) - sampleAt(b, i)));
    return most;
}

// The sweep's frequency over the last 200 ms played (upward zero crossings),
// told as the time in the file where the sweep has it.
double fileTimeOfPitch(const std::string& played) {
    const size_t frames = played.size() / kFrameBytes, from = frames - kRate / 5;
    double first = -1, last = -1;
    int n = 0;
    for (size_t f = from + 1; f < frames; ++f) {
        const double a = sampleAt(played, 2 * (f - 1)), b = sampleAt(played, 2 * f);
        if (a >= 0 || b < 0) continue;
        last = double(f - 1) + a / (a - b);
        if (first < 0) first = last;
        ++n;
    }
    return ((n - 1) * kRate / (last - first) - 300.0) / 150.0;
}

int16_t left(uint64_t frame) { return int16_t(frame * 7 + 1); }

std::vector<int16_t> leftFrames(size_t n) {
    std::vector<int16_t> out(n);
    for (size_t f = 0; f < n; ++f) out[f] = left(f);
    return out;
}

class Engine : public ::testing::Test {
protected:
    void SetUp() override {
        sim.setInputSignal([](uint64_t f, int c) { return c == 0 ? left(f) : int16_t(-1000 - int(f % 500)); });
        sim.setKeepPlayed(true);
        const auto keep = [this](const QString& text) { messages << text; };
        QObject::connect(&player, &FilePlayer::failed, keep);
        QObject::connect(&recorder, &Recorder::failed, keep);
    }
    void TearDown() override { setSampleBlockLimit(-1); }
    QString file(const QString& name, const std::string& bytes) {
        EXPECT_TRUE(writeFile(dir.filePath(name), bytes));
        return dir.filePath(name);
    }
    QString sweep() {  // with a chunk after the samples that must not be heard
        return file("sweep.wav", riff(chunk("fmt ", fmtBody(2, kRate, 16)) + chunk("data", kPcm) + chunk("LIST", "x")));
    }
    bool play(double t) {
        sim.clearPlayed();
        return player.play(t);
    }
    void advance(int ms) {
        for (; ms > 0; ms -= 50) {
            sim.advance(std::min(ms, 50));
            QCoreApplication::sendPostedEvents();
        }
    }
    void runToEnd() { for (int i = 0; i < 4000 && player.isPlaying(); ++i) advance(50); }
    std::string played() const { return sim.played().toStdString(); }

    platform::SimAudioBackend sim{platform::SimAudioBackend::Clock::Stepped};
    FilePlayer player{sim};
    Recorder recorder{sim};
    QTemporaryDir dir;
    QStringList messages;
};

TEST_F(Engine, WavPlaysFromWhereAskedAndTheClockFollows) {
    ASSERT_TRUE(player.open(sweep()));
    EXPECT_DOUBLE_EQ(player.length(), kSeconds);
    for (double start : {0.0, 1.25, -3.0, std::nan("")}) {
        const double from = start > 0 ? start : 0.0;
        ASSERT_TRUE(play(start)) << start;
        EXPECT_EQ(player.position(), from) << start;
        advance(500);
        EXPECT_DOUBLE_EQ(player.position(), from + 0.5) << start;
        EXPECT_EQ(played(), kPcm.substr(at(from), at(0.5))) << start;
        runToEnd();
        EXPECT_EQ(sim.openOutputs(), 0) << start;
        EXPECT_EQ(played(), kPcm.substr(at(from))) << start;
    }
    // Paused, neither the clock nor the sound moves on; a jump keeps the device.
    ASSERT_TRUE(play(0.0));
    advance(500);
    ASSERT_TRUE(player.pause());
    advance(1000);
    EXPECT_TRUE(player.isPaused());
    EXPECT_DOUBLE_EQ(player.position(), 0.5);
    ASSERT_TRUE(player.resume());
    advance(250);
    ASSERT_TRUE(player.playFrom(2.0));
    advance(250);
    EXPECT_DOUBLE_EQ(player.position(), 2.25);
    EXPECT_EQ(played(), kPcm.substr(0, at(0.75)) + kPcm.substr(at(2.0), at(0.25)));
    runToEnd();
    EXPECT_FALSE(player.playFrom(1.0));  // nothing plays
    // From the end of the data on: the device is open, nothing is queued or heard.
    for (double start : {kSeconds, 30.0}) {
        ASSERT_TRUE(play(start));
        advance(1000);
        EXPECT_TRUE(player.isPlaying() && !player.hasQueuedAudio()) << start;
        EXPECT_EQ(player.position(), start);
        EXPECT_TRUE(played().empty()) << start;
        EXPECT_TRUE(player.stop());
    }
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    // A file that cannot be opened closes the last one: nothing is left to play.
    EXPECT_FALSE(player.open(dir.path()) || play(0.0) || player.isLoaded());
}

// FLAC, Ogg Vorbis and Opus play from where asked, sample for sample what continuous decoding gives there,
// and to the end of the data; the length is the file's.
TEST_F(Engine, SoundFilesPlayFromWhereAsked) {
    const QString wav = sweep();
    for (const auto& [name, program, args] :
         {std::tuple{"t.flac", "sox", QStringList{wav, dir.filePath("t.flac")}}, {"t.ogg", "sox", QStringList{wav, dir.filePath("t.ogg")}},
          {"t.opus", "opusenc", QStringList{"--quiet", wav, dir.filePath("t.opus")}}}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(QProcess::execute(QLatin1String(program), args), 0);
        platform::SoundFileDecoder decoder;
        ASSERT_TRUE(decoder.open(dir.filePath(name)));
        std::string all(size_t(decoder.frames()) * size_t(decoder.channels()) * 2, '\0');
        all.resize(size_t(decoder.readFrames(reinterpret_cast<int16_t*>(all.data()), decoder.frames())) * size_t(decoder.channels()) * 2);
        const size_t frameBytes = size_t(decoder.channels()) * 2, from = size_t(1.25 * decoder.sampleRate()) * frameBytes;
        ASSERT_TRUE(player.open(dir.filePath(name)));
        EXPECT_NEAR(player.length(), double(decoder.frames()) / decoder.sampleRate(), 1e-9);
        ASSERT_TRUE(play(1.25));
        advance(250);
        EXPECT_DOUBLE_EQ(player.position(), 1.5);
        runToEnd();
        EXPECT_TRUE(played() == all.substr(from)) << played().size() << " bytes played of " << all.size() - from;
        if (QLatin1String(name) == QLatin1String("t.flac")) EXPECT_TRUE(all == kPcm) << "lossless";
    }
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

TEST_F(Engine, DeviceFaultsStopPlaybackWithOneMessage) {
    ASSERT_TRUE(player.open(sweep()));
    const QString failed = "The replay device failed: playback stopped";
    struct Case { const char* name; bool failOpen; int failWrite; bool plays; QString message; } cases[] = {
        {"cannot open", true, 0, false, "Failed to open replay device"},
        {"refused while priming", false, 3, false, failed},
        {"refused on a refill", false, 9, true, failed},
    };
    for (const auto& c : cases) {
        messages.clear();
        sim.setFailOpen(c.failOpen);
        sim.setFailWriteAfter(c.failWrite);
        EXPECT_EQ(play(0.0), c.plays) << c.name;
        runToEnd();
        EXPECT_FALSE(player.isPlaying()) << c.name;
        EXPECT_EQ(sim.openOutputs(), 0) << c.name;
        EXPECT_EQ(player.deviceFailed(), c.message == failed) << c.name;
        EXPECT_EQ(messages, QStringList{c.message}) << c.name;
        EXPECT_LT(played().size(), kPcm.size()) << c.name;
    }
}

// Continuous playback's timeline of an MPEG file: where each frame starts
// in the file and in time (and where the last ends), and one frame's PCM bytes.
struct Frames { std::vector<uint64_t> offsets; std::vector<double> starts{0.0}; size_t pcmBytes = 0; };
Frames walk(const QString& path) {
    platform::AudioFile file;
    EXPECT_TRUE(file.open(path));
    uint8_t buf[kMaxFrameBytes];
    MpegFrameHeader h;
    Frames f;
    while (readFrameHeader(file, buf, h) && readFrame(file, buf, h)) {
        f.offsets.push_back(file.position() - uint64_t(frameLength(h)));
        f.starts.push_back(f.starts.back() + double(samplesPerFrame(h)) / sampleRate(h));
        f.pcmBytes = size_t(samplesPerFrame(h) * channelCount(h) * 2);
    }
    return f;
}

// MP3 files made by lame from the sweep; each also with a tag in front and a
// region without frames in the middle, and with a damaged frame.
TEST_F(Engine, Mp3PlaysEveryFrameAndSeeksWhereContinuousPlaybackIs) {
    const QString wav = file("sweep.wav", waveFile(2, kRate, 16, kPcm));
    struct Case { const char* name; QStringList lame; int rate, channels; } encodings[] = {
        {"128 kbit/s", {"-b", "128"}, 44100, 2},
        {"VBR", {"-V", "4"}, 44100, 2},
        {"MPEG-2 mono", {"--resample", "22.05", "-m", "m", "-b", "32"}, 22050, 1},
    };
    for (const auto& e : encodings) {
        const QString mp3 = dir.filePath(QString::number(&e - encodings) + ".mp3");
        ASSERT_TRUE(encodeMp3(wav, mp3, e.lame)) << e.name;
        const Frames frames = walk(mp3);
        ASSERT_GT(frames.starts.size(), 50u) << e.name;
        const std::string bytes = readFile(mp3);
        const size_t middle = frames.offsets[frames.offsets.size() / 2];
        std::string damaged = bytes;
        damaged.replace(middle + 8, 40, std::string(40, '\x55'));
        const std::string gap = id3v2Tag(500) + bytes.substr(0, middle) + std::string(3000, '\0') + bytes.substr(middle);
        const QString variants[] = {mp3, file("gap.mp3", gap), file("damaged.mp3", damaged)};
        for (const QString& path : variants) {
            const std::string what = std::string(e.name) + " " + path.toStdString();
            ASSERT_TRUE(player.open(path)) << what;
            ASSERT_TRUE(play(0.0)) << what;
            runToEnd();
            const std::string whole = played();
            const platform::WaveFormat f = sim.lastOutFormat();
            EXPECT_EQ(std::tuple(f.samplesPerSec, f.channels), std::tuple(uint32_t(e.rate), e.channels)) << what;
            EXPECT_EQ(whole.size(), (frames.starts.size() - 1) * frames.pcmBytes) << what;
            int loudest = 0;  // a third of the way in: the sweep, not silence
            for (size_t i = whole.size() / 6; i < whole.size() / 6 + 2000; ++i)
                loudest = std::max(loudest, std::abs(sampleAt(whole, i)));
            EXPECT_GT(loudest, 6000) << what;
            for (double t : {1.234, 0.5, frames.starts[frames.starts.size() / 2], 2.9}) {  // back and forth
                const auto after = std::upper_bound(frames.starts.begin(), frames.starts.end(), t);
                const size_t k = size_t(after - frames.starts.begin()) - 1;
                ASSERT_TRUE(play(t)) << what;
                EXPECT_DOUBLE_EQ(player.position(), frames.starts[k]) << what << " at " << t;
                runToEnd();
                if (path == variants[2]) continue;  // a damaged frame decodes as it may
                EXPECT_LE(maxDifference(played(), whole.substr(k * frames.pcmBytes)), 1) << what << " at " << t;
            }
        }
    }
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

// Speed keeps the file's time: the position and the pitch heard agree, and
// a change while playing is heard at once from where playback was.
TEST_F(Engine, SpeedKeepsFileTime) {
    ASSERT_TRUE(player.open(sweep()));
    for (double speed : {0.5, 2.0}) {
        ASSERT_TRUE(player.setSpeed(speed));
        ASSERT_TRUE(play(0.5));
        advance(1000);
        EXPECT_NEAR(player.position(), 0.5 + speed, 0.02) << speed;
        EXPECT_NEAR(fileTimeOfPitch(played()), player.position() - 0.1 * speed, 0.02) << speed;
        runToEnd();
        EXPECT_NEAR(double(played().size()) / (kRate * kFrameBytes), (kSeconds - 0.5) / speed, 0.05) << speed;
    }
    ASSERT_TRUE(player.setSpeed(1.0));
    ASSERT_TRUE(play(0.5));
    advance(500);
    ASSERT_TRUE(player.setSpeed(2.0));
    EXPECT_NEAR(player.position(), 1.0, 1e-9);
    advance(500);
    EXPECT_NEAR(player.position(), 2.0, 0.02);
    EXPECT_NEAR(fileTimeOfPitch(played()), player.position() - 0.2, 0.02);
    // Paused, a change waits for Resume.
    ASSERT_TRUE(player.pause());
    ASSERT_TRUE(player.setSpeed(0.5));
    EXPECT_NEAR(player.position(), 2.0, 0.02);
    ASSERT_TRUE(player.resume());
    advance(500);
    EXPECT_NEAR(player.position(), 2.25, 0.03);
    for (double bad : {0.49, 2.01, std::nan("")}) EXPECT_FALSE(player.setSpeed(bad)) << bad;
    EXPECT_EQ(player.speed(), 0.5);
}

// With speed the file goes to the stretcher read by read: a frame of three
// channels, which does not divide a read, keeps its channels apart from block to block.
TEST_F(Engine, SpeedKeepsEveryChannelWhereTheFrameDoesNotDivideARead) {
    std::vector<int16_t> levels;
    for (int f = 0; f < 2 * kRate; ++f) levels.insert(levels.end(), {1000, 2000, 3000});
    ASSERT_TRUE(player.open(file("three.wav", waveFile(3, kRate, 16, pcmBytes(levels)))));
    ASSERT_TRUE(player.setSpeed(1.5));
    ASSERT_TRUE(play(0.0));
    runToEnd();
    const std::string out = played();
    const size_t frames = out.size() / 6, edge = kRate / 20;  // the stretcher's first and last overlap aside
    ASSERT_GT(frames, size_t(kRate));  // several reads' worth
    size_t wrong = 0, first = 0;
    for (size_t f = edge; f + edge < frames; ++f)
        for (int c = 0; c < 3; ++c)
            if (std::abs(sampleAt(out, 3 * f + size_t(c)) - 1000 * (c + 1)) > 20 && !wrong++) first = f;
    EXPECT_EQ(wrong, 0u) << "first at frame " << first << " of " << frames;
}

// A device that keeps the buffers it has played: playback waits for them and
// plays on to the end when they come back late. A speed change that cannot
// take them back is a device failure, said once; their late return neither
// ends nor blocks the next playback.
TEST_F(Engine, BuffersTheDeviceKeepsComeBackLate) {
    ASSERT_TRUE(player.open(sweep()));
    sim.setHoldBuffers(true);
    ASSERT_TRUE(play(0.0));
    advance(5000);  // what was queued is heard, nothing comes back
    EXPECT_TRUE(player.isPlaying() && player.position() < kSeconds);
    sim.setHoldBuffers(false);
    runToEnd();
    EXPECT_TRUE(!player.isPlaying() && sim.openOutputs() == 0 && played() == kPcm);
    sim.setHoldBuffers(true);
    ASSERT_TRUE(play(0.5));
    advance(500);
    EXPECT_DOUBLE_EQ(player.position(), 1.0);
    EXPECT_FALSE(player.setSpeed(2.0));
    EXPECT_TRUE(!player.isPlaying() && player.deviceFailed() && sim.openOutputs() == 0);
    EXPECT_EQ(messages, QStringList{"The replay device failed: playback stopped"});
    sim.setHoldBuffers(false);
    QCoreApplication::sendPostedEvents();
    ASSERT_TRUE(play(1.0));
    advance(500);
    EXPECT_NEAR(player.position(), 2.0, 0.02);  // at the new speed
    runToEnd();
    EXPECT_EQ(sim.openOutputs(), 0);
}

// The recorder keeps the left channel in order until stopped; what stops it
// early keeps what was recorded. Replaying it is the window test's (Play Recorded).
TEST_F(Engine, RecorderKeepsTheLeftChannelUntilStoppedOrAFault) {
    const QString failed = "Failed to open record device";
    struct Case { const char* name; std::function<void()> fault; int rate; QStringList messages; int kept; } cases[] = {
        {"stopped", [] {}, kRecordRate, {}, 44000},  // 2 s: 22 full buffers of 2000
        {"out of memory", [] { setSampleBlockLimit(5); }, kRecordRate, {"Out of memory for recording"}, 5 * 2000},
        {"the 8th buffer refused", [this] { sim.setFailWriteAfter(8); }, kRecordRate,
         {"The record device failed: recording stopped"}, 6 * 2000},
        {"no device", [this] { sim.setFailOpen(true); }, kRecordRate, {failed}, 0},
        {"rate 0", [] {}, 0, {failed}, 0},
        {"a short buffer back", [this] {  // the third buffer comes back at frame 5000 of its 6000: not kept
             sim.setInputSignal([this](uint64_t f, int c) {
                 if (f == 5000 && c == 0) QCoreApplication::postEvent(&recorder, new WaveEvent(WaveEvent::InData, nullptr));
                 return left(f);
             });
         }, kRecordRate, {"The record device failed: recording stopped"}, 2 * 2000},
    };
    for (const auto& c : cases) {
        recorder.clear();
        messages.clear();
        c.fault();
        EXPECT_EQ(recorder.start(c.rate), c.kept > 0) << c.name;
        EXPECT_FALSE(c.kept > 0 && recorder.start(c.rate)) << c.name;  // already recording
        advance(2000);
        EXPECT_EQ(recorder.isRecording(), c.messages.isEmpty()) << c.name;
        recorder.stop();
        EXPECT_EQ(messages, c.messages) << c.name;
        EXPECT_EQ(recorder.samples(), leftFrames(size_t(c.kept))) << c.name;
        sim.setFailOpen(false);
        sim.setFailWriteAfter(0);
        setSampleBlockLimit(-1);
    }
}

// With no sound server to reach (PULSE_SERVER names no socket), every open
// of the real devices fails at once with its message.
TEST_F(Engine, RealDevicesFailToOpenWithNoServer) {
    const auto backend = platform::createQtAudioBackend();
    Recorder realRecorder(*backend);
    RecordingPlayer realReplay(*backend);
    FilePlayer realPlayer(*backend);
    const auto keep = [this](const QString& text) { messages << text; };
    QObject::connect(&realRecorder, &Recorder::failed, keep);
    QObject::connect(&realReplay, &RecordingPlayer::failed, keep);
    QObject::connect(&realPlayer, &FilePlayer::failed, keep);
    EXPECT_FALSE(realRecorder.start(kRecordRate));
    EXPECT_FALSE(realReplay.play(leftFrames(100), kRecordRate));
    ASSERT_TRUE(realPlayer.open(sweep()));
    EXPECT_FALSE(realPlayer.play(0.0));
    EXPECT_EQ(messages, QStringList({"Failed to open record device", "Failed to open replay device",
                                     "Failed to open replay device"}));
}

// What the file player reads with: where a WAV file's samples are, and
// which MPEG frame streams are read and how far.
TEST(WaveParser, FindsTheSamplesOrRefusesTheFile) {
    const std::string pcm(400, 'x'), data = chunk("data", pcm);
    const auto fmt = [](uint32_t size = 16, uint16_t tag = 1) { return chunk("fmt ", fmtBody(1, 8000, 8, size, tag)); };
    const auto dataSized = [&](uint32_t size) { return "data" + U32(size) + pcm; };
    struct Case { const char* name; std::string file; uint64_t offset, end; } cases[] = {  // 0, 0: refused
        {"plain", riff(fmt() + data), 44, 444},
        {"padded odd chunks around",
         riff(chunk("LIST", "abc") + fmt() + chunk("junk", "12345") + data + chunk("LIST", "tail")), 70, 470},
        {"unpadded odd chunk", riff(fmt() + chunk("junk", "12345", false) + data), 57, 457},
        {"fmt of 20 bytes", riff(fmt(20) + data), 48, 448},
        {"data size 0: to the end", riff(fmt() + dataSized(0)), 44, 444},
        {"data size past the end", riff(fmt() + dataSized(401)), 44, 444},
        {"data shorter than the file", riff(fmt() + dataSized(100)), 44, 144},
        {"fmt of 14 bytes", riff(fmt(14) + data), 0, 0},
        {"fmt of 22 bytes", riff(fmt(22) + data), 0, 0},
        {"float samples", riff(fmt(16, 3) + data), 0, 0},
        {"data before fmt", riff(data + fmt()), 0, 0},
        {"no data", riff(fmt()), 0, 0},
        {"not WAVE", "RIFF" + U32(100) + "AVI " + fmt() + data, 0, 0},
    };
    for (const auto& c : cases) {
        MemorySource src(c.file);
        WaveLayout layout;
        ASSERT_EQ(parseWave(src, layout), c.end != 0) << c.name;
        if (c.end == 0) continue;
        EXPECT_EQ(std::tuple(layout.dataOffset, layout.dataEnd), std::tuple(c.offset, c.end)) << c.name;
        const platform::WaveFormat& f = layout.format;  // as stored
        EXPECT_EQ(std::tuple(f.channels, f.samplesPerSec, f.blockAlign, f.bitsPerSample), std::tuple(1, 8000u, 1, 8));
    }
    for (size_t n = 0; n < 44; ++n) {  // cut inside its headers
        MemorySource cut(cases[0].file.substr(0, n));
        WaveLayout layout;
        EXPECT_FALSE(parseWave(cut, layout)) << n;
    }
}

// How many frames and bytes playback reads one after the other until the stream ends.
std::tuple<int, uint64_t> ReadStream(const std::string& bytes) {
    MemorySource src(bytes);
    uint8_t buf[kMaxFrameBytes];
    MpegFrameHeader h;
    int frames = 0;
    uint64_t total = 0;
    for (uint32_t n; readFrameHeader(src, buf, h) && (n = readFrame(src, buf, h)) > 0; total += n) ++frames;
    return {frames, total};
}

TEST(MpegFrames, StreamsAreReadFrameByFrameOrRefused) {
    const std::string l3 = mpegFrame(0xFB, 0x90, 417) + mpegFrame(0xFB, 0x92, 418);  // 128 kbit/s, padded
    const auto thrice = [](const std::string& s) { return s + s + s; };
    struct Case { const char* name; std::string stream; int frames; uint64_t bytes; } cases[] = {
        {"MPEG-1 Layer III", thrice(l3), 6, 3 * 835},
        {"MPEG-2 Layer III, 64 kbit/s at 22050 Hz", thrice(mpegFrame(0xF3, 0x80, 208)), 3, 3 * 208},
        {"MPEG-1 Layer II, 128 kbit/s at 48 kHz", thrice(mpegFrame(0xFD, 0x84, 384)), 3, 3 * 384},
        {"Layer I with CRC, 288 kbit/s", thrice(mpegFrame(0xFE, 0x90, 312)), 3, 3 * 312},
        {"junk before the first frame", "ab\xFF\x01" + l3, 2, 835},
        {"a region without frames between", l3 + std::string(5000, '\0') + l3, 4, 2 * 835},
        {"a run of 0xFF bytes", std::string(8, '\xFF') + l3, 0, 0},
        {"bit rate index 15", mpegFrame(0xFB, 0xF0, 417) + l3, 0, 0},
        {"sampling rate index 3", mpegFrame(0xFB, 0x9C, 417) + l3, 0, 0},
        {"layer 0", mpegFrame(0xF9, 0x90, 417) + l3, 0, 0},
        {"free format ends the stream", l3 + mpegFrame(0xFB, 0x00, 417) + l3, 2, 835},
        {"a bad header ends the stream", l3 + mpegFrame(0xFB, 0xF0, 417) + l3, 2, 835},
        {"a cut frame ends the stream", l3 + l3.substr(0, 300), 2, 835},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadStream(c.stream), std::tuple(c.frames, c.bytes)) << c.name;
}

}  // namespace
