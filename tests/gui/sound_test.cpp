// SPDX-License-Identifier: GPL-3.0-or-later
// End to end through the real sound server's null sink (which resamples, so stretches are found by
// correlation): stretches heard from their start to within 60 ms of their end time (as found on the simulated
// device), the page at each item within 60 ms, a speed change without a gap, a loop-back recording replayed.
#include "gui/window.h"

#include "audio/replay_receiver.h"
#include "platform/qt_audio_backend.h"

#include <QElapsedTimer>
#include <QProcess>
#include <cstdio>
#include <cstring>
#include <random>

namespace {

using Samples = std::vector<int16_t>;
constexpr int kRate = 44100;
constexpr double kFrom = 0.3, kEnd = 1.6, kStarts[] = {0.5, 0.8, 1.1, 1.4};  // the link's times, the items'

// Low-passed noise (corner near 1.5 kHz at 22050 Hz): no two stretches alike, little for resampling to alter.
Samples Noise(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> g(0.0, 1.0);
    Samples out(n);
    double a = 0, b = 0;
    for (int16_t& s : out) {
        a += 0.35 * (g(rng) - a);
        b += 0.35 * (a - b);
        s = int16_t(std::lround(std::clamp(b * 12000.0, -32000.0, 32000.0)));
    }
    return out;
}

Samples SamplesOf(const QByteArray& raw) {  // little-endian, as the machine
    Samples out(size_t(raw.size()) / 2);
    std::memcpy(out.data(), raw.constData(), out.size() * 2);
    return out;
}

// Normalised correlation of a[ai..ai+n) with b[bi..bi+n); 0 when out of range or silent.
double Correlation(const Samples& a, long ai, const Samples& b, long bi, long n) {
    if (ai < 0 || bi < 0 || ai + n > long(a.size()) || bi + n > long(b.size())) return 0;
    double ab = 0, aa = 0, bb = 0;
    for (long i = 0; i < n; ++i) {
        const double x = a[size_t(ai + i)], y = b[size_t(bi + i)];
        ab += x * y, aa += x * x, bb += y * y;
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

struct Match { long lag = 0; double score = 0; };  // lag: the index in the reference matching the probe's 0

// The best place in ref[from, to) for the stretch probe[at..at+n).
Match BestMatch(const Samples& ref, const Samples& probe, long at, long n, long from, long to) {
    Match best;
    for (long lag = std::max(0L, from); lag < to; ++lag)
        if (const double c = Correlation(ref, lag, probe, at, n); c > best.score) best = {lag - at, c};
    return best;
}

std::pair<long, long> LoudSpan(const Samples& s) {  // the first and last loud samples
    long first = 0, last = long(s.size()) - 1;
    while (first < last && std::abs(s[size_t(first)]) < 500) ++first;
    while (last > first && std::abs(s[size_t(last)]) < 500) --last;
    return {first, last};
}

// The sound server's command-line clients, run as child processes.
void StartClient(QProcess& p, const QString& program, const QStringList& args) {
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(program, args);
    p.waitForStarted(5000);
}
void StopClient(QProcess& p) {
    p.terminate();
    if (!p.waitForFinished(3000)) p.kill(), p.waitForFinished(3000);
}

// An idle null sink renders up to 2 s ahead, so `keeper` plays silence to hold it at a short latency, as a real
// sink with rewinds is; a server's first monitor capture may miss its start, so a throw-away one comes first.
void HoldSink(QProcess& keeper) {
    StartClient(keeper, "pacat", {"--playback", "--raw", "--latency-msec=20", "/dev/zero"});
    QProcess warmUp;
    StartClient(warmUp, "parecord", {"--device=nullsink.monitor", "--raw", "/dev/null"});
    warmUp.waitForFinished(300);
    StopClient(warmUp);
}

// What the sink's monitor hears (mono at `rate`) while `during` runs, from 300 ms before to 300 ms after.
Samples Capture(int rate, const std::function<void()>& during) {
    QTemporaryDir dir;
    QProcess client;
    StartClient(client, "parecord", {"--device=nullsink.monitor", "--raw", "--format=s16le", "--channels=1",
                                     QStringLiteral("--rate=%1").arg(rate), "--latency-msec=20", dir.filePath("c.raw")});
    RunFor(300);
    if (client.state() != QProcess::Running) return {};
    during();
    RunFor(300);
    StopClient(client);
    QFile f(dir.filePath("c.raw"));
    return f.open(QIODevice::ReadOnly) ? SamplesOf(f.readAll()) : Samples{};
}

// The link's stretch as the file player plays it on the simulated device (left channel); when it passes kEnd.
std::pair<Samples, double> ProgramSamples(const QString& path, double speed) {
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
    Samples left, all = SamplesOf(sim.played());
    for (size_t i = 0; i + 1 < all.size(); i += 2) left.push_back(all[i]);
    theReplayFile.Close();
    platform::setAudioBackend(nullptr);
    return {left, endAt};
}

TEST(Sound, StretchesSpeedChangeAndRecording) {
    QProcess sink;
    HoldSink(sink);
    const auto backend = platform::createQtAudioBackend();
    QStringList messages;
    platform::SetMessageSink([&](const QString& text) { messages << text; });
    PageFolder folder;
    Samples stereo;
    for (int16_t s : Noise(size_t(2.5 * kRate), 7)) stereo.insert(stereo.end(), {s, s});
    ASSERT_TRUE(testaudio::WriteFile(folder.Path("a.wav"), testaudio::WaveFile(2, kRate, 16, testaudio::PcmBytes(stereo))));
    ASSERT_TRUE(testaudio::EncodeMp3(folder.Path("a.wav"), folder.Path("a.mp3"), {"-b", "128"}));
    QByteArray page = "<a id=signal href='signal.wav#0'>signal</a>";
    for (const char* audio : {"a.wav", "a.mp3"}) {
        QFile::copy(folder.Path(audio), folder.Path(QStringLiteral("ref-") + audio));  // another name for the reference
        page += "<p><a id=a" + QByteArray(audio + 2) + " href='" + audio + "#0.3#1.6'>play</a>";
        for (int i = 0; i < 4; ++i)
            page += QStringLiteral("<p><a name=%1%2 href='%3#%4'>item</a>").arg(audio + 2).arg(i + 1).arg(audio).arg(kStarts[i]).toUtf8();
    }
    folder.Write("script.htm", page);
    TestWindow w({folder.Path("script.htm")});
    ASSERT_TRUE(w.WaitForPage(folder.Url("script.htm")));
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
        const Samples heard = Capture(kRate, [&] {
            ASSERT_TRUE(w.Click(QStringLiteral("#a") + (audio + 2)));
            RunFor(int((kEnd - kFrom) / speed * 1000));
            for (int i = 0; i < 20 && theReplayFile.IsPlaying(); ++i) RunFor(500);
        });
        QObject::disconnect(tracking);

        // 40 ms at the first and last loud samples found in the reference (the end earlier if the device ran dry).
        const auto [first, last] = LoudSpan(heard);
        const Match start = BestMatch(ref, heard, first + kRate / 200, kRate / 25, 0, kRate / 5);
        EXPECT_GT(start.score, 0.8);
        EXPECT_NEAR(double(first + start.lag) / kRate, 0.0, 0.015) << "the sound did not start at the link's start";
        Match end;
        for (const long gap : {kRate / 200, kRate / 40, kRate / 16})
            if ((end = BestMatch(ref, heard, last - gap - kRate / 25, kRate / 25, long((endAt - 0.5) * kRate),
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
    const Samples heard = Capture(kRate, [&] {
        w.Frame()->Action(ID_AUDIO_SPEED1)->trigger();
        ASSERT_TRUE(w.Click(QStringLiteral("#awav")));
        RunFor(1000);
        w.Frame()->Action(ID_AUDIO_SPEED1 + 4)->trigger();
        EXPECT_TRUE(WaitUntil([] { return !theReplayFile.IsPlaying(); }));
    });
    auto [first, last] = LoudSpan(heard);
    long silent = 0, longest = 0;
    for (long i = first; i <= last; ++i) longest = std::max(longest, silent = std::abs(heard[size_t(i)]) < 300 ? silent + 1 : 0);
    std::printf("speed change: longest near-silence %.1f ms\n", longest * 1000.0 / kRate);
    EXPECT_LT(longest, kRate / 200) << "a gap at the speed change";
    EXPECT_GT(last - first, kRate) << "the stretch was not heard";

    // A signal, each channel different, played and recorded from the loop-back; its left channel replays unbroken.
    constexpr int kRecRate = 22050, kSeconds = 3;
    const Samples left = Noise(size_t(kRecRate) * (kSeconds + 2), 31), right = Noise(left.size(), 32);
    stereo.clear();
    for (size_t i = 0; i < left.size(); ++i) stereo.insert(stereo.end(), {left[i], right[i]});
    stereo.resize(stereo.size() + size_t(kRecRate) * 2 * 10);  // then silence, playing on under the replay
    ASSERT_TRUE(testaudio::WriteFile(folder.Path("signal.wav"), testaudio::WaveFile(2, kRecRate, 16, testaudio::PcmBytes(stereo))));
    ASSERT_TRUE(w.Click("#signal") && WaitUntil([] { return theReplayFile.IsPlaying(); }));
    RunFor(1000);
    QElapsedTimer playing;
    const double from = theReplayFile.GetPosition();
    playing.start();
    ASSERT_TRUE(w.Choose(ID_AUDIO_RECORD));
    RunFor(kSeconds * 1000);
    ASSERT_TRUE(w.Choose(ID_AUDIO_RECORD));
    RunFor(1500);  // into the silence
    const Samples got = Capture(kRecRate, [&] {
        ASSERT_TRUE(w.Choose(ID_AUDIO_PLAYREC));
        EXPECT_TRUE(WaitUntil([&] { return !w.Action(ID_AUDIO_PLAYREC)->isChecked(); }, (kSeconds + 3) * 1000));
    });
    // Recording and its replay leave the file player playing on at its pace.
    EXPECT_NEAR(theReplayFile.GetPosition() - from, playing.elapsed() / 1000.0, 0.3);
    ASSERT_TRUE(w.Choose(ID_AUDIO_STOP)) << "recording or its replay stopped the file player";
    // The signal's place in the replay; every stretch after must follow on.
    std::tie(first, last) = LoudSpan(got);
    const long block = 2000, probe = first + kRecRate;
    const Match m = BestMatch(left, got, probe, block, 0, long(left.size()) - block);
    ASSERT_GT(m.score, 0.85) << "the replay is not the signal's left channel";
    EXPECT_LT(std::abs(Correlation(right, m.lag + probe, got, probe, block)), 0.3) << "the right channel was kept";
    long at = first + block;
    for (; at + 2 * block < last; at += block)
        EXPECT_GT(BestMatch(left, got, at, block, m.lag + at - 4, m.lag + at + 5).score, 0.85)
            << "at " << double(at - first) / kRecRate << " s the replay breaks off";
    std::printf("recorded and replayed %.2f s of the signal\n", double(at - first) / kRecRate);
    EXPECT_GT(at - first, long(kSeconds - 1) * kRecRate);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    platform::SetMessageSink({});
    platform::setAudioBackend(nullptr);
    StopClient(sink);
}

}  // namespace
