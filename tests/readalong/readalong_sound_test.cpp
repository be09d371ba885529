// SPDX-License-Identifier: GPL-3.0-or-later
// Read-along through the real sound server: a link with an end time plays
// WAV files of low and high rates and an MP3 file into the null sink, at 1x
// and (stretched) at 0.5x and 2x, while the page follows. What the sink's
// monitor captured shows where the sound stopped: it must stop within 60 ms
// of wall time after the end time's audio (the moment the program, playing
// the same link on the simulated device, passes the end time). The page must
// move to each item within 60 ms of wall time after its start (measured by
// the position heard when the location changed).
// Needs the private PulseAudio server of scripts/services.sh and a display.
#include "readalong/readalong_window.h"

#include "app/main_frame.h"
#include "audio/replay_file.h"
#include "common/signal_match.h"
#include "common/sink_capture.h"
#include "common/test_audio.h"
#include "platform/message_box.h"
#include "platform/sim_audio.h"
#include "platform/web_view.h"
#include "view/command_ids.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <QAction>
#include <algorithm>
#include <cstdio>

using namespace signaltest;

namespace {

constexpr double kFrom = 0.3, kEnd = 1.6;             // the link's times
constexpr double kStarts[] = {0.5, 0.8, 1.1, 1.4};   // the items' starts
constexpr double kLimitMs = 60;

struct Case {
    const char* name;
    int rate;
    int channels;
    bool mp3;
    double speed;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// Hands the file player its buffers back, as the main frame does.
class BufferReceiver : public QObject {
protected:
    bool event(QEvent* e) override {
        if (e->type() != platform::WaveEvent::OutDone) return QObject::event(e);
        theReplayFile.OnBufferDone();
        return true;
    }
};

// What the file player hands the device for the link (from kFrom at the
// case's speed, on the simulated device), as mono: the link's time line as
// the program plays it; and where on it the position passes the end time.
struct Reference {
    std::vector<int16_t> mono;
    double endAt = -1;  // seconds into the reference
};

Reference ProgramSamples(const QString& path, int channels, double speed) {
    platform::SimAudioBackend sim(platform::SimAudioBackend::Clock::Stepped);
    sim.setKeepPlayed(true);
    platform::setAudioBackend(&sim);
    BufferReceiver receiver;
    Reference ref;
    theReplayFile.SetSpeed(speed);
    if (theReplayFile.Open(path) && theReplayFile.Play(&receiver, kFrom)) {
        for (int ms = 1; ms < 20000 && theReplayFile.IsPlaying(); ++ms) {
            sim.advance(1);
            QCoreApplication::sendPostedEvents(&receiver, platform::WaveEvent::OutDone);
            if (ref.endAt < 0 && theReplayFile.GetPosition() > kEnd) ref.endAt = ms / 1000.0;
        }
        const std::vector<int16_t> all = samplesOf(sim.played());
        for (size_t i = 0; i + size_t(channels) <= all.size(); i += size_t(channels)) {
            int sum = 0;
            for (int c = 0; c < channels; ++c) sum += all[i + size_t(c)];
            ref.mono.push_back(int16_t(sum / channels));
        }
    }
    theReplayFile.Close();
    platform::setAudioBackend(nullptr);
    return ref;
}

// Where the sound in `captured` stops, on the reference's time line: the
// stretch just before its last loud sample is found in `ref` near the end. (A
// machine under load may let the device run dry for a moment, which shifts
// the capture against the file, so the alignment is taken at the end.)
struct Heard {
    double last = -1;  // seconds into the file; -1 when not found
    double score = 0;  // of the alignment
};

Heard LastHeard(const Reference& ref, const std::vector<int16_t>& captured, int rate) {
    Heard heard;
    const long n = rate / 25;  // 40 ms, ending 5 ms before the last sound (or, past a glitch there, earlier)
    long last = long(captured.size()) - 1;
    while (last >= 0 && std::abs(captured[size_t(last)]) < 500) --last;
    for (const long gap : {rate / 200, rate / 40, rate / 16}) {
        const long at = last - gap - n;
        if (at < 0) return heard;
        const Match m =
            bestMatch(ref.mono, captured, at, n, long((ref.endAt - 0.5) * rate), long((ref.endAt + 0.3) * rate));
        heard.score = std::max(heard.score, m.score);
        if (m.score < 0.8) continue;
        heard.last = double(last + m.lag) / rate;
        return heard;
    }
    return heard;
}

class ReadAlongSound : public ::testing::TestWithParam<Case> {
protected:
    static void SetUpTestSuite() { sink = new QuietSink; }
    static void TearDownTestSuite() { delete sink; }
    void SetUp() override {
        platform::SetMessageSink([this](const QString& text) { m_messages << text; });
    }
    void TearDown() override { platform::SetMessageSink({}); }

    // Writes the audio file (and a copy for the reference) and the page.
    QString WriteFiles(const Case& c) {
        const double seconds = 2.5;
        const std::vector<int16_t> mono = noise(size_t(seconds * c.rate), 7);
        std::vector<int16_t> frames;
        for (int16_t s : mono)
            for (int ch = 0; ch < c.channels; ++ch) frames.push_back(s);
        const std::string wav = testaudio::WaveFile(uint16_t(c.channels), uint32_t(c.rate), 16, testaudio::PcmBytes(frames));
        QString audio = QStringLiteral("speech.wav");
        EXPECT_TRUE(testaudio::WriteFile(m_folder.Path(audio), wav));
        if (c.mp3) {
            audio = QStringLiteral("speech.mp3");
            EXPECT_TRUE(testaudio::EncodeMp3(m_folder.Path(QStringLiteral("speech.wav")), m_folder.Path(audio),
                                             {"-b", "128"}));
        }
        QFile::copy(m_folder.Path(audio), m_folder.Path(QStringLiteral("reference.") + audio.section('.', 1)));
        QByteArray page = "<html><body><p><a id=play href='" + audio.toLatin1() + "#0.3#1.6'>play</a>\n";
        for (int i = 0; i < 4; ++i)
            page += "<p><a name=i" + QByteArray::number(i + 1) + " href='" + audio.toLatin1() + "#" +
                    QByteArray::number(kStarts[i]) + "'>item</a>\n";
        m_folder.Write(QStringLiteral("script.htm"), page + "</body></html>\n");
        return audio;
    }

    static QuietSink* sink;
    PageFolder m_folder;
    QStringList m_messages;
};
QuietSink* ReadAlongSound::sink = nullptr;

TEST_P(ReadAlongSound, StopsAtTheEndTimeAndThePageFollows) {
    const Case c = GetParam();
    const QString audio = WriteFiles(c);
    const Reference ref =
        ProgramSamples(m_folder.Path(QStringLiteral("reference.") + audio.section('.', 1)), c.channels, c.speed);
    ASSERT_GT(ref.mono.size(), size_t(c.rate));
    ASSERT_GT(ref.endAt, 0);

    ReadAlongWindow w({m_folder.Path(QStringLiteral("script.htm"))});
    theReplayFile.SetSpeed(c.speed);  // after the window has taken the speed of its settings
    ASSERT_TRUE(w.WaitForPage(m_folder.Url(QStringLiteral("script.htm"))));
    struct Move {
        QString anchor;
        double position;
    };
    std::vector<Move> moves;
    const auto tracking = QObject::connect(w.Web(), &QWebEngineView::urlChanged, w.Web(), [&](const QUrl& url) {
        moves.push_back({url.fragment(), theReplayFile.GetPosition()});
    });

    QTemporaryDir dir;
    SinkCapture capture;
    ASSERT_TRUE(capture.start(dir.filePath(QStringLiteral("capture.raw")), c.rate));

    ASSERT_TRUE(w.Click(QStringLiteral("play")));
    // The program's own event loop, as in use: nothing else wakes it.
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (!theReplayFile.IsPlaying()) loop.quit();
    });
    check.start(500);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(tracking);
    ASSERT_FALSE(theReplayFile.IsPlaying());
    std::vector<int16_t> captured;
    ASSERT_TRUE(capture.stop(captured));

    const Heard heard = LastHeard(ref, captured, c.rate);
    ASSERT_GT(heard.last, 0) << "the end of the played stretch was not found in the capture: alignment "
                             << heard.score << ", " << captured.size() << " samples";
    const double stopLagMs = (heard.last - ref.endAt) * 1000;
    std::printf("%s: heard until %.1f ms after the end time\n", c.name, stopLagMs);
    EXPECT_GE(stopLagMs, -5.0) << "stopped before the end time";
    EXPECT_LT(stopLagMs, kLimitMs);

    ASSERT_EQ(moves.size(), 4u);
    for (size_t i = 0; i < moves.size(); ++i) {
        const double lagMs = (moves[i].position - kStarts[i]) / c.speed * 1000;
        std::printf("%s: page at i%zu %.1f ms after its start\n", c.name, i + 1, lagMs);
        EXPECT_EQ(moves[i].anchor, QStringLiteral("i%1").arg(i + 1));
        EXPECT_GE(lagMs, 0.0);
        EXPECT_LT(lagMs, kLimitMs) << "i" << i + 1;
    }
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join('\n').toStdString();
    theReplayFile.SetSpeed(1.0);
}

// The longest quiet stretch (no sample above 300 for whole milliseconds)
// between the first and the last sound of `captured`, in ms.
double LongestQuietMs(const std::vector<int16_t>& captured, int rate) {
    const long ms = rate / 1000;
    long first = 0, last = long(captured.size()) - 1, quiet = 0, longest = 0;
    while (first < last && std::abs(captured[size_t(first)]) < 500) ++first;
    while (last > first && std::abs(captured[size_t(last)]) < 500) --last;
    for (long i = first; i + ms <= last; i += ms) {
        const bool still =
            std::all_of(captured.begin() + i, captured.begin() + i + ms, [](int16_t v) { return std::abs(v) < 300; });
        quiet = still ? quiet + ms : 0;
        longest = std::max(longest, quiet);
    }
    return 1000.0 * double(longest) / rate;
}

// Audio > Repeat: the stretch plays again from its start with a gap under
// 100 ms; a speed change while playing leaves a gap under 100 ms too.
TEST_F(ReadAlongSound, RepeatAndSpeedChangesKeepTheSoundGoing) {
    const Case c{"wav_44k_stereo", 44100, 2, false, 1.0};
    WriteFiles(c);
    const Reference ref = ProgramSamples(m_folder.Path(QStringLiteral("reference.wav")), c.channels, 1.0);
    ReadAlongWindow w({m_folder.Path(QStringLiteral("script.htm"))});
    ASSERT_TRUE(w.WaitForPage(m_folder.Url(QStringLiteral("script.htm"))));
    auto runFor = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    };
    QTemporaryDir dir;
    SinkCapture capture;
    std::vector<int16_t> captured;

    // Half speed, then twice the speed, while the stretch plays.
    ASSERT_TRUE(capture.start(dir.filePath(QStringLiteral("speed.raw")), c.rate));
    ASSERT_TRUE(w.Click(QStringLiteral("play")));
    runFor(300);
    w.Frame()->OnCommand(ID_AUDIO_SPEED1);
    runFor(300);
    w.Frame()->OnCommand(ID_AUDIO_SPEED1 + 7);
    runFor(200);
    EXPECT_TRUE(theReplayFile.IsPlaying());
    w.LetIdle();
    w.Frame()->Action(ID_AUDIO_STOP)->trigger();
    w.Frame()->OnCommand(ID_AUDIO_SPEED1 + 4);
    ASSERT_TRUE(capture.stop(captured));
    const double speedGap = LongestQuietMs(captured, c.rate);
    std::printf("speed change: longest quiet stretch %.1f ms\n", speedGap);
    EXPECT_LT(speedGap, 100.0);

    // Repeat: the stretch again and again.
    w.LetIdle();
    w.Frame()->Action(ID_AUDIO_REPEAT)->trigger();
    ASSERT_TRUE(w.Frame()->Action(ID_AUDIO_REPEAT)->isChecked());
    ASSERT_TRUE(capture.start(dir.filePath(QStringLiteral("repeat.raw")), c.rate));
    ASSERT_TRUE(w.Click(QStringLiteral("play")));
    runFor(3400);  // two ends of the 1.3 s stretch
    EXPECT_TRUE(theReplayFile.IsPlaying());
    w.LetIdle();
    w.Frame()->Action(ID_AUDIO_STOP)->trigger();
    w.Frame()->Action(ID_AUDIO_REPEAT)->trigger();
    ASSERT_TRUE(capture.stop(captured));
    const double repeatGap = LongestQuietMs(captured, c.rate);
    std::printf("repeat: longest quiet stretch %.1f ms\n", repeatGap);
    EXPECT_LT(repeatGap, 100.0);
    // Each repetition starts at the link's start: the reference's first
    // 40 ms (the link's start) are found in the capture more than once.
    long repeats = 0;
    for (long at = 0; at + c.rate / 25 < long(captured.size()); ++at) {
        if (correlation(ref.mono, 0, captured, at, c.rate / 25) < 0.8) continue;
        ++repeats;
        at += c.rate;  // well into this repetition
    }
    EXPECT_GE(repeats, 2);
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Files, ReadAlongSound,
                         ::testing::Values(Case{"wav_8k_mono", 8000, 1, false, 1.0},
                                           Case{"wav_44k_stereo", 44100, 2, false, 1.0},
                                           Case{"mp3_44k_stereo", 44100, 2, true, 1.0},
                                           Case{"wav_44k_stereo_half_speed", 44100, 2, false, 0.5},
                                           Case{"wav_44k_stereo_double_speed", 44100, 2, false, 2.0},
                                           Case{"mp3_44k_stereo_double_speed", 44100, 2, true, 2.0}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
