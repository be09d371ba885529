// SPDX-License-Identifier: GPL-3.0-or-later
// End to end through the real sound server's null sink: stretches heard from
// their start to within 60 ms of their end time (as found on the simulated
// device), the page at each item within 60 ms, a speed change without a gap,
// and a signal recorded from the loop-back replayed unbroken.
#include "gui/window.h"

#include "audio/replay_receiver.h"
#include "gui/sound_capture.h"
#include "platform/qt_audio_backend.h"

#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

using namespace signaltest;

namespace {

constexpr int kRate = 44100;
constexpr double kFrom = 0.3, kEnd = 1.6, kStarts[] = {0.5, 0.8, 1.1, 1.4};  // the link's times, the items'

// What the file player plays for the link on the simulated device (left
// channel), and when the position passes the end time.
std::pair<std::vector<int16_t>, double> ProgramSamples(const QString& path, double speed) {
    platform::SimAudioBackend sim(platform::SimAudioBackend::Clock::Stepped);
    sim.setKeepPlayed(true);
    platform::setAudioBackend(&sim);
    CReplayReceiver receiver;
    double endAt = -1;
    theReplayFile.SetSpeed(speed);
    if (theReplayFile.Open(path) && theReplayFile.Play(&receiver, kFrom)) {
        for (int ms = 1; ms < 20000 && theReplayFile.IsPlaying(); ++ms) {
            sim.advance(1);
            QCoreApplication::sendPostedEvents(&receiver, platform::WaveEvent::OutDone);
            if (endAt < 0 && theReplayFile.GetPosition() > kEnd) endAt = ms / 1000.0;
        }
    }
    std::vector<int16_t> left, all = samplesOf(sim.played());
    for (size_t i = 0; i + 1 < all.size(); i += 2) left.push_back(all[i]);
    theReplayFile.Close();
    platform::setAudioBackend(nullptr);
    return {left, endAt};
}

void RunFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The first and last loud samples of a capture.
std::pair<long, long> LoudSpan(const std::vector<int16_t>& s) {
    long first = 0, last = long(s.size()) - 1;
    while (first < last && std::abs(s[size_t(first)]) < 500) ++first;
    while (last > first && std::abs(s[size_t(last)]) < 500) --last;
    return {first, last};
}

TEST(Sound, StretchesSpeedChangeAndRecording) {
    const QuietSink sink;
    const auto backend = platform::createQtAudioBackend();
    QStringList messages;
    platform::SetMessageSink([&](const QString& text) { messages << text; });
    PageFolder folder;
    std::vector<int16_t> stereo;
    for (int16_t s : noise(size_t(2.5 * kRate), 7)) stereo.insert(stereo.end(), {s, s});
    ASSERT_TRUE(testaudio::WriteFile(folder.Path("a.wav"), testaudio::WaveFile(2, kRate, 16, testaudio::PcmBytes(stereo))));
    ASSERT_TRUE(testaudio::EncodeMp3(folder.Path("a.wav"), folder.Path("a.mp3"), {"-b", "128"}));
    const std::string quiet = testaudio::PcmBytes(tone(8000 * 20, 3000, 8000, 300));  // plays while recording
    ASSERT_TRUE(testaudio::WriteFile(folder.Path("tone.wav"), testaudio::WaveFile(1, 8000, 16, quiet)));
    QByteArray page = "<a id=tone href='tone.wav#0'>tone</a>";
    for (const char* audio : {"a.wav", "a.mp3"}) {
        QFile::copy(folder.Path(audio), folder.Path(QStringLiteral("ref-") + audio));  // another name for the reference
        page += "<p><a id=a" + QByteArray(audio + 2) + " href='" + audio + "#0.3#1.6'>play</a>";
        for (int i = 0; i < 4; ++i)
            page += QStringLiteral("<p><a name=%1%2 href='%3#%4'>item</a>").arg(audio + 2).arg(i + 1).arg(audio).arg(kStarts[i]).toUtf8();
    }
    folder.Write("script.htm", page);
    TestWindow w({folder.Path("script.htm")});
    ASSERT_TRUE(w.WaitForPage(folder.Url("script.htm")));
    QTemporaryDir dir;
    for (const auto& [audio, speed] : {std::pair{"a.wav", 0.5}, {"a.mp3", 2.0}}) {
        SCOPED_TRACE(testing::Message() << audio << " at " << speed);
        const auto [ref, endAt] = ProgramSamples(folder.Path(QStringLiteral("ref-") + audio), speed);
        ASSERT_GT(endAt, 0);
        platform::setAudioBackend(backend.get());
        w.Frame()->Action(ID_AUDIO_SPEED1 + (speed == 0.5 ? 0 : 7))->trigger();
        std::vector<std::pair<QString, double>> moves;  // anchor, file position when the page moved
        const auto tracking = QObject::connect(w.Web(), &QWebEngineView::urlChanged, w.Web(), [&](const QUrl& url) {
            moves.emplace_back(url.fragment(), theReplayFile.GetPosition());
        });
        SinkCapture capture(RunFor);
        ASSERT_TRUE(capture.start(dir.filePath(QStringLiteral("capture.raw")), kRate));
        ASSERT_TRUE(w.Click(QStringLiteral("#a") + (audio + 2)));
        RunFor(int((kEnd - kFrom) / speed * 1000));
        for (int i = 0; i < 20 && theReplayFile.IsPlaying(); ++i) RunFor(500);
        QObject::disconnect(tracking);
        std::vector<int16_t> heard;
        ASSERT_TRUE(capture.stop(heard));

        // 40 ms at the first and last loud samples, found in the reference; the
        // end on its own, a little before if the device ran dry for a moment.
        const auto [first, last] = LoudSpan(heard);
        const Match start = bestMatch(ref, heard, first + kRate / 200, kRate / 25, 0, kRate / 5);
        EXPECT_GT(start.score, 0.8);
        EXPECT_NEAR(double(first + start.lag) / kRate, 0.0, 0.015) << "the sound did not start at the link's start";
        Match end;
        for (const long gap : {kRate / 200, kRate / 40, kRate / 16})
            if ((end = bestMatch(ref, heard, last - gap - kRate / 25, kRate / 25, long((endAt - 0.5) * kRate),
                                 long((endAt + 0.3) * kRate))).score > 0.8)
                break;
        ASSERT_GT(end.score, 0.8) << "the end of the stretch was not found in the capture";
        const double lateMs = (double(last + end.lag) / kRate - endAt) * 1000;
        std::printf("%s at %gx: heard until %.1f ms after the end time\n", audio, speed, lateMs);
        EXPECT_GE(lateMs, -20.0) << "stopped before the end time";
        EXPECT_LT(lateMs, 60.0);
        EXPECT_EQ(moves.size(), 4u);
        for (size_t i = 0; i < std::min(moves.size(), size_t(4)); ++i) {
            const double lagMs = (moves[i].second - kStarts[i]) / speed * 1000;
            EXPECT_EQ(moves[i].first, QLatin1String(audio + 2) + QString::number(i + 1));
            EXPECT_TRUE(lagMs >= 0 && lagMs < 60) << "the page reached item " << i + 1 << " " << lagMs << " ms late";
        }
        w.Web()->moveToAnchor(w.Web()->location().section('#', 0, 0) + QStringLiteral("#top"));
        ASSERT_TRUE(w.WaitForFragment(QStringLiteral("top")));
    }
    // A speed change mid-stretch is spliced on: no run of near-silence over 5 ms.
    SinkCapture capture(RunFor);
    ASSERT_TRUE(capture.start(dir.filePath(QStringLiteral("speed.raw")), kRate));
    w.Frame()->Action(ID_AUDIO_SPEED1)->trigger();
    ASSERT_TRUE(w.Click(QStringLiteral("#awav")));
    RunFor(1000);
    w.Frame()->Action(ID_AUDIO_SPEED1 + 4)->trigger();
    EXPECT_TRUE(WaitUntil([] { return !theReplayFile.IsPlaying(); }));
    std::vector<int16_t> heard;
    ASSERT_TRUE(capture.stop(heard));
    auto [first, last] = LoudSpan(heard);
    long silent = 0, longest = 0;
    for (long i = first; i <= last; ++i) longest = std::max(longest, silent = std::abs(heard[size_t(i)]) < 300 ? silent + 1 : 0);
    std::printf("speed change: longest near-silence %.1f ms\n", longest * 1000.0 / kRate);
    EXPECT_LT(longest, kRate / 200) << "a gap at the speed change";
    EXPECT_GT(last - first, kRate) << "the stretch was not heard";

    // A loud signal, different in each channel, recorded from the loop-back
    // while a quiet file plays; Play Recorded gives back its left channel unbroken.
    constexpr int kRecRate = 22050, kSeconds = 3;
    const auto left = noise(size_t(kRecRate) * (kSeconds + 4), 31), right = noise(left.size(), 32);
    stereo.clear();
    for (size_t i = 0; i < left.size(); ++i) stereo.insert(stereo.end(), {left[i], right[i]});
    folder.Write("signal.raw", bytesOf(stereo));
    ASSERT_TRUE(w.Click("#tone") && WaitUntil([] { return theReplayFile.IsPlaying(); }));
    QProcess player;
    startClient(player, QStringLiteral("pacat"), {"--playback", "--raw", "--rate=22050", "--channels=2",
                                                  "--format=s16le", "--latency-msec=100", folder.Path("signal.raw")});
    RunFor(1000);
    ASSERT_TRUE(w.Choose(ID_AUDIO_RECORD));
    RunFor(kSeconds * 1000);
    ASSERT_TRUE(w.Choose(ID_AUDIO_RECORD));
    ASSERT_TRUE(w.Choose(ID_AUDIO_STOP)) << "recording stopped the file player";
    stopClient(player);
    SinkCapture replay(RunFor);
    ASSERT_TRUE(replay.start(dir.filePath(QStringLiteral("replay.raw")), kRecRate));
    ASSERT_TRUE(w.Choose(ID_AUDIO_PLAYREC));
    EXPECT_TRUE(WaitUntil([&] { return !w.Action(ID_AUDIO_PLAYREC)->isChecked(); }, (kSeconds + 3) * 1000));
    std::vector<int16_t> got;
    ASSERT_TRUE(replay.stop(got));
    // The signal's place in the replay; every buffer's length after must follow on.
    std::tie(first, last) = LoudSpan(got);
    const long block = 2000, probe = first + kRecRate;
    const Match m = bestMatch(left, got, probe, block, 0, long(left.size()) - block);
    ASSERT_GT(m.score, 0.85) << "the replay is not the signal's left channel";
    EXPECT_LT(std::abs(correlation(right, m.lag + probe, got, probe, block)), 0.3) << "the right channel was kept";
    long at = first + block;
    for (; at + 2 * block < last; at += block) {
        const double score = scoreNear(left, m.lag, got, at, block, 4);
        EXPECT_GT(score, 0.85) << "at " << double(at - first) / kRecRate << " s the replay breaks off";
    }
    std::printf("recorded and replayed %.2f s of the signal\n", double(at - first) / kRecRate);
    EXPECT_GT(at - first, long(kSeconds - 1) * kRecRate);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    platform::SetMessageSink({});
    platform::setAudioBackend(nullptr);
}

}  // namespace
