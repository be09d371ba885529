// SPDX-License-Identifier: GPL-3.0-or-later
// End to end through the real sound server (the private PulseAudio of
// scripts/services.sh): links with end times play a WAV and an MP3 stretch
// into the null sink at 0.5x and 2x while the page follows its items,
// and what the sink's monitor heard shows where the sound started and
// stopped. It must stop within 60 ms of wall time after the end time's audio
// (where the program, playing the same link on the simulated device, passes
// the end time), and the page must reach each item within 60 ms of its start.
// Then a minute's worth of recording is made short: a known stereo signal
// played into the sink is recorded from the loop-back microphone while a file
// plays, and Play Recorded must give back its left channel without a gap.
#include "gui/window.h"

#include "app/main_frame.h"
#include "audio/replay_file.h"
#include "common/signal_match.h"
#include "common/sink_capture.h"
#include "common/test_audio.h"
#include "platform/message_box.h"
#include "platform/qt_audio_backend.h"
#include "platform/sim_audio.h"
#include "platform/web_view.h"
#include "view/command_ids.h"

#include <QAction>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <gtest/gtest.h>

using namespace signaltest;

namespace {

constexpr int kRate = 44100;
constexpr double kFrom = 0.3, kEnd = 1.6;            // the links' times
constexpr double kStarts[] = {0.5, 0.8, 1.1, 1.4};  // the items' starts
constexpr double kLimitMs = 60;

// Hands the file player its buffers back, as the main frame does.
class BufferReceiver : public QObject {
protected:
    bool event(QEvent* e) override {
        if (e->type() != platform::WaveEvent::OutDone) return QObject::event(e);
        theReplayFile.OnBufferDone();
        return true;
    }
};

// What the file player hands the device for a link (on the simulated device,
// left channel), and where on it the position passes the end time.
struct Reference {
    std::vector<int16_t> left;
    double endAt = -1;  // seconds into the reference
};

Reference ProgramSamples(const QString& path, double speed) {
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
        for (size_t i = 0; i + 1 < all.size(); i += 2) ref.left.push_back(all[i]);
    }
    theReplayFile.Close();
    theReplayFile.SetSpeed(1.0);
    platform::setAudioBackend(nullptr);
    return ref;
}

// Where on the reference the sound of `captured` begins and ends: 40 ms
// stretches next to its first and last loud samples, found in the reference
// (seconds; -1 when not found).
struct Heard {
    double first = -1, last = -1;
};

Heard Align(const Reference& ref, const std::vector<int16_t>& captured) {
    Heard heard;
    const long n = kRate / 25;
    long first = 0, last = long(captured.size()) - 1;
    while (first < last && std::abs(captured[size_t(first)]) < 500) ++first;
    while (last > first && std::abs(captured[size_t(last)]) < 500) --last;
    const Match start = bestMatch(ref.left, captured, first + kRate / 200, n, 0, kRate / 5);
    if (start.score > 0.8) heard.first = double(first + start.lag) / kRate;
    // A machine under load may let the device run dry for a moment, so the
    // end is aligned on its own, a little before the last sound if need be.
    for (const long gap : {kRate / 200, kRate / 40, kRate / 16}) {
        const long at = last - gap - n;
        const Match end = bestMatch(ref.left, captured, at, n, long((ref.endAt - 0.5) * kRate),
                                    long((ref.endAt + 0.3) * kRate));
        if (end.score < 0.8) continue;
        heard.last = double(last + end.lag) / kRate;
        break;
    }
    return heard;
}

// Runs the program's own event loop for `ms`: nothing else wakes it.
void RunFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

TEST(Sound, StretchesStopAtTheirEndTimeAndThePageFollows) {
    const QuietSink sink;
    const auto backend = platform::createQtAudioBackend();
    QStringList messages;
    platform::SetMessageSink([&](const QString& text) { messages << text; });
    PageFolder folder;
    const std::vector<int16_t> noiseMono = noise(size_t(2.5 * kRate), 7);
    std::vector<int16_t> stereo;
    for (int16_t s : noiseMono) stereo.insert(stereo.end(), {s, s});
    ASSERT_TRUE(testaudio::WriteFile(folder.Path("speech.wav"), testaudio::WaveFile(2, kRate, 16, testaudio::PcmBytes(stereo))));
    ASSERT_TRUE(testaudio::EncodeMp3(folder.Path("speech.wav"), folder.Path("speech.mp3"), {"-b", "128"}));
    QByteArray page = "<html><body>";
    for (const char* audio : {"speech.wav", "speech.mp3"}) {
        QFile::copy(folder.Path(QLatin1String(audio)), folder.Path(QLatin1String("reference-") + QLatin1String(audio)));
        page += "<p><a id='" + QByteArray(audio).replace('.', '-') + "' href='" + audio + "#0.3#1.6'>play</a>";
    }
    for (int i = 0; i < 4; ++i)
        page += "<p><a name=i" + QByteArray::number(i + 1) + " href='speech.wav#" + QByteArray::number(kStarts[i]) +
                "'>item</a><a name=m" + QByteArray::number(i + 1) + " href='speech.mp3#" +
                QByteArray::number(kStarts[i]) + "'>item</a>";
    folder.Write("script.htm", page + "</body></html>");

    struct Case {
        const char* audio;
        double speed;
        const char* anchor;  // the items' prefix
    };
    TestWindow w({folder.Path("script.htm")});
    platform::setAudioBackend(backend.get());
    ASSERT_TRUE(w.WaitForPage(folder.Url("script.htm")));
    QTemporaryDir dir;
    for (const Case& c : {Case{"speech.wav", 0.5, "i"}, Case{"speech.mp3", 2.0, "m"}}) {
        SCOPED_TRACE(testing::Message() << c.audio << " at " << c.speed);
        const Reference ref = ProgramSamples(folder.Path(QLatin1String("reference-") + QLatin1String(c.audio)), c.speed);
        ASSERT_GT(ref.endAt, 0);
        platform::setAudioBackend(backend.get());
        w.Frame()->Action(ID_AUDIO_SPEED1 + (c.speed == 0.5 ? 0 : 7))->trigger();

        std::vector<std::pair<QString, double>> moves;  // anchor, position when the page moved
        const auto tracking = QObject::connect(w.Web(), &QWebEngineView::urlChanged, w.Web(), [&](const QUrl& url) {
            moves.emplace_back(url.fragment(), theReplayFile.GetPosition());
        });
        SinkCapture capture(RunFor);
        ASSERT_TRUE(capture.start(dir.filePath(QStringLiteral("capture.raw")), kRate));
        ASSERT_TRUE(w.Click(QLatin1Char('#') + QString::fromLatin1(c.audio).replace('.', '-')));
        RunFor(int((kEnd - kFrom) / c.speed * 1000));
        for (int i = 0; i < 20 && theReplayFile.IsPlaying(); ++i) RunFor(500);
        QObject::disconnect(tracking);
        EXPECT_FALSE(theReplayFile.IsPlaying());
        std::vector<int16_t> captured;
        ASSERT_TRUE(capture.stop(captured));

        const Heard heard = Align(ref, captured);
        std::printf("%s at %gx: heard from %.1f ms, until %.1f ms after the end time\n", c.audio, c.speed,
                    heard.first * 1000, (heard.last - ref.endAt) * 1000);
        // Stretched sound repeats short stretches of the file, so an
        // alignment may land one such stretch off.
        EXPECT_NEAR(heard.first, 0.0, 0.015) << "the sound did not start at the link's start";
        ASSERT_GT(heard.last, 0) << "the end of the stretch was not found in the capture";
        EXPECT_GE((heard.last - ref.endAt) * 1000, -20.0) << "stopped before the end time";
        EXPECT_LT((heard.last - ref.endAt) * 1000, kLimitMs);
        EXPECT_EQ(moves.size(), 4u);
        for (size_t i = 0; i < std::min(moves.size(), size_t(4)); ++i) {
            const double lagMs = (moves[i].second - kStarts[i]) / c.speed * 1000;
            EXPECT_EQ(moves[i].first, QLatin1String(c.anchor) + QString::number(i + 1));
            EXPECT_GE(lagMs, 0.0);
            EXPECT_LT(lagMs, kLimitMs) << "the page reached item " << i + 1 << " late";
        }
        w.Web()->moveToAnchor(w.Web()->location().section('#', 0, 0) + QStringLiteral("#top"));
        ASSERT_TRUE(w.WaitForFragment(QStringLiteral("top")));
    }
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    platform::SetMessageSink({});
    platform::setAudioBackend(nullptr);
}

TEST(Sound, RecordingFromTheLoopBackWhileAFilePlays) {
    constexpr int kRecRate = 22050, kSeconds = 3;
    const QuietSink sink;
    const auto backend = platform::createQtAudioBackend();
    platform::setAudioBackend(backend.get());
    QStringList messages;
    platform::SetMessageSink([&](const QString& text) { messages << text; });
    PageFolder folder;
    // The file: a quiet tone, so that the recording still matches the signal.
    ASSERT_TRUE(testaudio::WriteFile(folder.Path("tone.wav"),
                                     testaudio::WaveFile(1, 8000, 16, testaudio::PcmBytes(tone(8000 * 20, 3000, 8000, 300)))));
    folder.Write("script.htm", "<a id=play href='tone.wav#0'>play</a>");
    // The signal: low-passed noise, different in each channel.
    const auto left = noise(size_t(kRecRate) * (kSeconds + 4), 31), right = noise(left.size(), 32);
    std::vector<int16_t> stereo;
    for (size_t i = 0; i < left.size(); ++i) stereo.insert(stereo.end(), {left[i], right[i]});
    folder.Write("signal.raw", bytesOf(stereo));

    TestWindow w({folder.Path("script.htm")});
    ASSERT_TRUE(w.WaitForPage(folder.Url("script.htm")));
    ASSERT_TRUE(w.Click("#play"));
    ASSERT_TRUE(WaitUntil([] { return theReplayFile.IsPlaying(); }));
    QProcess player;
    startClient(player, QStringLiteral("pacat"), {"--playback", "--raw", "--rate=22050", "--channels=2",
                                                  "--format=s16le", "--latency-msec=100", folder.Path("signal.raw")});
    ASSERT_EQ(player.state(), QProcess::Running);
    RunFor(1000);
    ASSERT_TRUE(w.Choose(ID_AUDIO_RECORD));
    EXPECT_EQ(w.Pane(ID_INDICATOR_RECORDING), QStringLiteral("** Recording **"));
    RunFor(kSeconds * 1000);
    ASSERT_TRUE(w.Choose(ID_AUDIO_RECORD));
    EXPECT_TRUE(theReplayFile.IsPlaying()) << "recording stopped the file player";
    ASSERT_TRUE(w.Choose(ID_AUDIO_STOP));
    stopClient(player);

    // What Play Recorded gives the sink.
    QTemporaryDir dir;
    SinkCapture capture(RunFor);
    ASSERT_TRUE(capture.start(dir.filePath(QStringLiteral("replay.raw")), kRecRate));
    ASSERT_TRUE(w.Choose(ID_AUDIO_PLAYREC));
    EXPECT_TRUE(WaitUntil([&] { return !w.Action(ID_AUDIO_PLAYREC)->isChecked(); }, (kSeconds + 3) * 1000));
    std::vector<int16_t> got;
    ASSERT_TRUE(capture.stop(got));
    const long first = firstLoud(got, kRecRate / 100, 1000);
    ASSERT_GE(first, 0) << "nothing was replayed";
    // The signal's place in the replay, then every buffer's length of it
    // must continue there: no buffer lost, none out of order.
    const long block = 2000, probe = first + kRecRate;
    const Match m = bestMatch(left, got, probe, block, 0, long(left.size()) - block);
    ASSERT_GT(m.score, 0.85) << "the replay is not the signal's left channel";
    EXPECT_LT(std::abs(correlation(right, m.lag + probe, got, probe, block)), 0.3) << "the right channel was kept";
    long last = long(got.size()) - 1, continued = 0;
    while (last > first && std::abs(got[size_t(last)]) < 500) --last;
    for (long at = first + block; at + 2 * block < last; at += block) {
        const double score = scoreNear(left, m.lag, got, at, block, 4);
        if (score < 0.85) ADD_FAILURE() << "at " << double(at - first) / kRecRate << " s the replay breaks off: " << score;
        ++continued;
    }
    std::printf("recorded and replayed %.2f s of the signal\n", double(continued * block) / kRecRate);
    EXPECT_GT(continued * block, long(kSeconds - 1) * kRecRate);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    platform::SetMessageSink({});
    platform::setAudioBackend(nullptr);
}

}  // namespace
