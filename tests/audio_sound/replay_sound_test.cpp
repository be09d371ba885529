// SPDX-License-Identifier: GPL-3.0-or-later
// The file player through the Qt Multimedia backend and the private
// PulseAudio server of scripts/services.sh: a stretch of a WAV and of an MP3
// file is played from a start time to an end time, captured from the null
// sink's monitor, and located in the file's own samples by correlation.
#include "audio/replay_file.h"
#include "audio/replay_receiver.h"
#include "common/replay_file_probe.h"
#include "common/signal_match.h"
#include "common/sink_capture.h"
#include "common/test_audio.h"
#include "platform/message_box.h"
#include "platform/mpeg_decoder.h"
#include "platform/qt_audio_backend.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

using namespace signaltest;
using Probe = ReplayFileProbe;

namespace {

constexpr int kRate = 44100;
constexpr double kSeconds = 6.0;

// Stereo samples with the same noise in both channels, and that noise.
std::vector<int16_t> Stereo(const std::vector<int16_t>& mono) {
    std::vector<int16_t> out;
    out.reserve(mono.size() * 2);
    for (int16_t s : mono) out.insert(out.end(), {s, s});
    return out;
}

// The whole MP3 decoded frame by frame, as the player decodes it, in mono.
std::vector<int16_t> DecodeMp3(const QString& path) {
    platform::AudioFile file;
    file.open(path);
    platform::MpegDecoder decoder;
    decoder.open(kRate, 2);
    std::vector<int16_t> mono;
    std::vector<uint8_t> pcm(65536);
    uint8_t frame[kMaxFrameBytes];
    MpegFrameHeader h;
    while (ReadFrameHeader(file, frame, h)) {
        const uint32_t n = ReadFrame(file, frame, h);
        if (!n) break;
        const uint32_t bytes = decoder.decode(frame, n, pcm.data(), 65536, 1152 * 4);
        const auto* s = reinterpret_cast<const int16_t*>(pcm.data());
        for (uint32_t i = 0; i < bytes / 4; ++i) mono.push_back(int16_t((s[2 * i] + s[2 * i + 1]) / 2));
    }
    return mono;
}

class ReplaySound : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sink = new QuietSink; }
    static void TearDownTestSuite() { delete sink; }
    void SetUp() override {
        backend = platform::createQtAudioBackend();
        platform::setAudioBackend(backend.get());
        platform::SetMessageSink([this](const QString& text) { messages << text; });
        noise = signaltest::noise(size_t(kSeconds * kRate), 7);
        wav = dir.filePath("noise.wav");
        ASSERT_TRUE(testaudio::WriteFile(wav, testaudio::WaveFile(2, kRate, 16, testaudio::PcmBytes(Stereo(noise)))));
    }
    void TearDown() override {
        player.Close();
        platform::setAudioBackend(nullptr);
        platform::SetMessageSink({});
    }

    // Plays from `start` until the position passes `end` and returns what the
    // monitor heard (mono). The position is checked every 5 ms: the time
    // pane's 20 ms would add up to 20 ms to the player's own lateness.
    std::vector<int16_t> PlayAndCapture(double start, double end) {
        SinkCapture capture;
        EXPECT_TRUE(capture.start(dir.filePath("capture.raw"), kRate));
        CReplayReceiver receiver(player);
        EXPECT_EQ(player.Play(&receiver, start), 1);
        QElapsedTimer t;
        t.start();
        while (player.IsPlaying() && t.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(5);
            if (player.GetPosition() > end) player.CloseDevice();
        }
        EXPECT_EQ(player.IsPlaying(), 0);
        std::vector<int16_t> captured;
        EXPECT_TRUE(capture.stop(captured));
        return captured;
    }

    // The captured sound is the reference from one time to another: it
    // begins, with the reference's own samples, at a time in [from, to], and
    // ends, with the reference's own samples, at a time in [endFrom, endTo].
    // Start and end are placed in the file each by a match of its own, since
    // the sound server may drop a few milliseconds under load in between.
    void ExpectStretch(const std::vector<int16_t>& ref, const std::vector<int16_t>& captured, double from,
                       double to, double endFrom, double endTo) {
        long first = firstLoud(captured, 441, 500);
        ASSERT_GE(first, 0) << "nothing was heard";
        // The loud window may begin before the sound: move to its first loud sample.
        for (const long end = first + 441; first < end && std::abs(captured[size_t(first)]) < 300;) ++first;
        const long probeAt = first + kRate / 5;  // past the stream's first milliseconds
        const Match m = bestMatch(ref, captured, probeAt, 2205, 0, long(ref.size()));
        ASSERT_GT(m.score, 0.9) << "the capture is not in the file";
        EXPECT_GT(scoreNear(ref, m.lag, captured, first, 441), 0.9) << "the first 10 ms heard are not the file's";
        const double heardFrom = double(m.lag + first) / kRate;
        EXPECT_GE(heardFrom, from) << "lag " << m.lag;
        EXPECT_LE(heardFrom, to) << "lag " << m.lag;

        long last = long(captured.size()) - 1;
        while (last > probeAt && std::abs(captured[size_t(last)]) < 300) --last;
        const long endProbe = last - 441 - 2205;
        const Match e = bestMatch(ref, captured, endProbe, 2205, m.lag + endProbe - kRate / 2,
                                  m.lag + endProbe + kRate / 2);
        ASSERT_GT(e.score, 0.9) << "the end heard is not in the file";
        EXPECT_NEAR(e.lag, m.lag, kRate / 20) << "the sound jumped between start and end";
        EXPECT_GT(scoreNear(ref, e.lag, captured, last + 1 - 441, 441), 0.9) << "the last 10 ms heard are not the file's";
        const double heardTo = double(e.lag + last + 1) / kRate;
        EXPECT_GE(heardTo, endFrom) << "stopped early";
        EXPECT_LE(heardTo, endTo) << "played on past the end time";
    }

    static QuietSink* sink;
    std::unique_ptr<platform::AudioBackend> backend;
    CReplayFile player;
    QStringList messages;
    QTemporaryDir dir;
    std::vector<int16_t> noise;
    QString wav;
};
QuietSink* ReplaySound::sink = nullptr;

TEST_F(ReplaySound, WavStretch) {
    ASSERT_EQ(player.Open(wav), 1);
    const auto captured = PlayAndCapture(2.0, 3.5);
    ExpectStretch(noise, captured, 1.998, 2.01, 3.44, 3.61);  // the monitor may miss a few ms
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ReplaySound, Mp3Stretches) {
    // Playback starts with the frame that holds the start time, and that
    // frame sounds: the frames before it that hold its bit reservoir were
    // decoded first. VBR files use the reservoir most.
    struct Case {
        const char* name;
        QStringList lame;
        double start, end, startSlack, endFrom, endTo;
    } cases[] = {
        {"CBR 192 kbit/s", {"-b", "192"}, 2.0, 3.5, 0.01, 3.46, 3.54},
        {"VBR -V 4", {"-V", "4"}, 1.5, 4.5, 0.04, 4.46, 4.54},
    };
    for (const auto& c : cases) {
        const QString mp3 = dir.filePath(QStringLiteral("noise%1.mp3").arg(c.lame.join(QString())));
        ASSERT_TRUE(testaudio::EncodeMp3(wav, mp3, c.lame)) << c.name;
        ASSERT_EQ(player.Open(mp3), 1) << c.name;
        Probe::Seek(player, c.start);
        const double frameStart = Probe::StartTime(player);
        EXPECT_LE(frameStart, c.start) << c.name;
        const auto captured = PlayAndCapture(c.start, c.end);
        SCOPED_TRACE(c.name);
        ExpectStretch(DecodeMp3(mp3), captured, frameStart - 0.002, frameStart + c.startSlack, c.endFrom, c.endTo);
    }
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ReplaySound, NoSoundServer) {
    // In a process of its own: the sound server connection is made once per process.
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PULSE_SERVER", "unix:/nonexistent");
    env.remove("PARLOTYPE_AUDIO");
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(PARLOTYPE_BINARY_DIR "/parlotype"), {"--play", wav});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(QString::fromLocal8Bit(p.readAllStandardError()).endsWith("Failed to open replay device\n"));
    EXPECT_TRUE(p.readAllStandardOutput().isEmpty());
}

}  // namespace
