// SPDX-License-Identifier: GPL-3.0-or-later
// End to end through the real sound server's null sink (which resamples, so stretches are found by
// correlation). What a person hears is timed on the wall clock: stretches heard from their start to within
// 60 ms of their end time (as found on the simulated device), a speed change without a gap. What is the
// program's own is judged against the program or the server: the page made each item current within 60 ms
// of file time after its start (the player's position when the program marked it), and the recording holds
// what the server delivered to another client of the same source, its replay what the program handed the
// device, so a stretch the server lost fails nothing.
#include "gui/window.h"

#include "audio/file_player.h"
#include "platform/qt_audio_backend.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <random>
#include <time.h>

namespace {

using Samples = std::vector<int16_t>;
constexpr int kRate = 44100;
constexpr double kFrom = 0.3, kEnd = 1.6, kStarts[] = {0.5, 0.8, 1.1, 1.4};  // the link's times, the items'

// Low-passed noise (corner near 1.5 kHz at 22050 Hz): no two stretches alike, little for resampling to alter.
Samples noise(size_t n, unsigned seed) {
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

Samples samplesOf(const QByteArray& raw) {  // little-endian, as the machine
    Samples out(size_t(raw.size()) / 2);
    std::memcpy(out.data(), raw.constData(), out.size() * 2);
    return out;
}

// Normalised correlation of a[ai..ai+n) with b[bi..bi+n); 0 when out of range or silent.
double correlation(const Samples& a, long ai, const Samples& b, long bi, long n) {
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
Match bestMatch(const Samples& ref, const Samples& probe, long at, long n, long from, long to) {
    Match best;
    for (long lag = std::max(0L, from); lag < to; ++lag)
        if (const double c = correlation(ref, lag, probe, at, n); c > best.score) best = {lag - at, c};
    return best;
}

std::pair<long, long> LoudSpan(const Samples& s) {  // the first and last loud samples
    long first = 0, last = long(s.size()) - 1;
    while (first < last && std::abs(s[size_t(first)]) < 500) ++first;
    while (last > first && std::abs(s[size_t(last)]) < 500) --last;
    return {first, last};
}

// Where stretches of `probe` (n long, every n samples in [from, to)) lie in `ref`, each found following on from
// the last: first where continuity puts it, else from 0.5 s before to 1 s after; -1 where none matches.
constexpr double kSame = 0.85;
constexpr long kPhase = 20;  // samples a found stretch may move by the resampling's phase; a lost buffer moves thousands
std::vector<long> follow(const Samples& probe, long from, long to, long n, const Samples& ref, int rate) {
    std::vector<long> at;
    long expect = -1;
    for (long p = from; p + n <= to; p += n, expect = expect < 0 ? -1 : expect + n) {
        Match m = expect < 0 ? Match{} : bestMatch(ref, probe, p, n, expect - 4, expect + 5);
        if (m.score < kSame) m = bestMatch(ref, probe, p, n, expect < 0 ? 0 : expect - rate / 2,
                                           expect < 0 ? long(ref.size()) : expect + rate);
        at.push_back(m.score < kSame ? -1 : p + m.lag);
        if (at.back() >= 0) expect = at.back();
    }
    return at;
}

// The longest time the GUI thread, which feeds the sound devices, waited for the processor while `during` ran:
// between two ticks of a 2 ms timer, the wall time it neither ran nor slept for that timer. The server holds
// 100 ms, so a thread kept waiting 20 ms or more on a busy machine may leave it short: a gap in the sound then
// is the machine's, not the program's.
double longestWaitMs(const std::function<void()>& during) {
    const auto cpuNs = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
    };
    QElapsedTimer wall;
    wall.start();
    qint64 lastWall = 0, lastCpu = cpuNs(), longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = wall.nsecsElapsed(), cpu = cpuNs();
        longest = std::max(longest, (now - lastWall) - (cpu - lastCpu) - 2000000);
        lastWall = now, lastCpu = cpu;
    });
    tick.start(2);
    during();
    return longest / 1e6;
}

// The sound server's command-line clients, run as child processes.
void startClient(QProcess& p, const QString& program, const QStringList& args) {
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(program, args);
    p.waitForStarted(5000);
}
void stopClient(QProcess& p) {
    p.terminate();
    if (!p.waitForFinished(3000)) p.kill(), p.waitForFinished(3000);
}

// An idle null sink renders up to 2 s ahead, so `keeper` plays silence to hold it at a short latency, as a real
// sink with rewinds is; a server's first monitor capture may miss its start, so a throw-away one comes first.
void holdSink(QProcess& keeper) {
    startClient(keeper, "pacat", {"--playback", "--raw", "--latency-msec=20", "/dev/zero"});
    QProcess warmUp;
    startClient(warmUp, "parecord", {"--device=nullsink.monitor", "--raw", "/dev/null"});
    warmUp.waitForFinished(300);
    stopClient(warmUp);
}

// What `clients` clients of `device` each hear (the left channel at `rate`) while `during` runs, from 300 ms
// before to 300 ms after.
std::vector<Samples> capture(int rate, const std::function<void()>& during, const char* device = "nullsink.monitor",
                             int clients = 1) {
    QTemporaryDir dir;
    std::vector<std::unique_ptr<QProcess>> procs;
    for (int i = 0; i < clients; ++i) {
        procs.push_back(std::make_unique<QProcess>());
        startClient(*procs.back(), "parecord", {QStringLiteral("--device=") + device, "--raw", "--format=s16le",
                                                "--channels=2", QStringLiteral("--rate=%1").arg(rate), "--latency-msec=20",
                                                dir.filePath(QString::number(i))});
    }
    runFor(300);
    for (const auto& p : procs)
        if (p->state() != QProcess::Running) return std::vector<Samples>(size_t(clients));
    during();
    runFor(300);
    std::vector<Samples> heard;
    for (int i = 0; i < clients; ++i) {
        stopClient(*procs[size_t(i)]);
        QFile f(dir.filePath(QString::number(i)));
        const Samples both = f.open(QIODevice::ReadOnly) ? samplesOf(f.readAll()) : Samples{};
        heard.emplace_back();
        for (size_t k = 0; k + 1 < both.size(); k += 2) heard.back().push_back(both[k]);
    }
    return heard;
}

// The link's stretch as the file player plays it on the simulated device (left channel); when it passes kEnd.
std::pair<Samples, double> ProgramSamples(const QString& path, double speed) {
    platform::SimAudioBackend sim(platform::SimAudioBackend::Clock::Stepped);
    sim.setKeepPlayed(true);
    FilePlayer player(sim);
    double endAt = -1;
    player.setSpeed(speed);
    if (player.open(path) && player.play(kFrom)) {
        for (int ms = 1; ms < 20000 && player.isPlaying(); ++ms) {
            sim.advance(1);
            QCoreApplication::sendPostedEvents(&player, platform::WaveEvent::OutDone);
            if (endAt < 0 && player.position() > kEnd) endAt = ms / 1000.0;
        }
    }
    Samples left, all = samplesOf(sim.played());
    for (size_t i = 0; i + 1 < all.size(); i += 2) left.push_back(all[i]);
    return {left, endAt};
}

// Plays and records on whichever device the test points it at.
class SwitchBackend : public platform::AudioBackend {
public:
    explicit SwitchBackend(platform::AudioBackend* to) : m_to(to) {}
    void point(platform::AudioBackend* to) { m_to = to; }
    std::unique_ptr<platform::WaveOut> createWaveOut() override { return m_to->createWaveOut(); }
    std::unique_ptr<platform::WaveIn> createWaveIn() override { return m_to->createWaveIn(); }

private:
    platform::AudioBackend* m_to;
};

TEST(Sound, StretchesSpeedChangeAndRecording) {
    QProcess sink;
    holdSink(sink);
    const auto backend = platform::createQtAudioBackend();
    SwitchBackend device(backend.get());
    QStringList messages;
    PageFolder folder;
    Samples stereo;
    for (int16_t s : noise(size_t(2.5 * kRate), 7)) stereo.insert(stereo.end(), {s, s});
    ASSERT_TRUE(testaudio::writeFile(folder.path("a.wav"), testaudio::waveFile(2, kRate, 16, testaudio::pcmBytes(stereo))));
    ASSERT_TRUE(testaudio::encodeMp3(folder.path("a.wav"), folder.path("a.mp3"), {"-b", "128"}));
    ASSERT_EQ(QProcess::execute("sox", {folder.path("a.wav"), folder.path("a.flac")}), 0);
    QByteArray page = "<a id=signal href='signal.wav#0'>signal</a>";
    for (const char* audio : {"a.wav", "a.mp3", "a.flac"}) {
        QFile::copy(folder.path(audio), folder.path(QStringLiteral("ref-") + audio));  // another name for the reference
        page += "<p><a id=a" + QByteArray(audio + 2) + " href='" + audio + "#0.3#1.6'>play</a>";
        for (int i = 0; i < 4; ++i)
            page += QStringLiteral("<p><a name=%1%2 href='%3#%4'>item</a>").arg(audio + 2).arg(i + 1).arg(audio).arg(kStarts[i]).toUtf8();
    }
    folder.write("script.htm", page);
    TestWindow w({folder.path("script.htm")}, device, [&](const QString& text) { messages << text; });
    ASSERT_TRUE(w.waitForPage(folder.url("script.htm")));
    for (const auto& [audio, speed] : {std::pair{"a.wav", 0.5}, {"a.mp3", 2.0}, {"a.flac", 1.0}}) {
        SCOPED_TRACE(testing::Message() << audio << " at " << speed);
        const auto [ref, endAt] = ProgramSamples(folder.path(QStringLiteral("ref-") + audio), speed);
        ASSERT_GT(endAt, 0);
        w.frame()->action(speed == 0.5 ? "audioSpeed0" : speed == 2.0 ? "audioSpeed7" : "audioSpeed4")->trigger();
        std::vector<std::pair<QString, double>> moves;  // item, file position when the program made it current
        const auto tracking = QObject::connect(w.web(), &platform::WebView::elementMarked, w.web(), [&](const QString& name) {
            if (!name.isEmpty()) moves.emplace_back(name, w.playback().position());
        });
        const Samples heard = capture(kRate, [&] {
            ASSERT_TRUE(w.click(QStringLiteral("#a") + (audio + 2)));
            runFor(int((kEnd - kFrom) / speed * 1000));
            for (int i = 0; i < 20 && w.playback().isPlaying(); ++i) runFor(500);
        })[0];
        QObject::disconnect(tracking);

        // 40 ms at the first and last loud samples found in the reference (the end earlier if the device ran dry).
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
        w.web()->moveToAnchor(w.web()->location().section('#', 0, 0) + QStringLiteral("#top"));
        ASSERT_TRUE(w.waitForFragment(QStringLiteral("top")));
    }
    // A speed change mid-stretch is spliced on: no run of near-silence over 5 ms.
    double waitedMs = 0;
    const Samples heard = capture(kRate, [&] {
        w.frame()->action("audioSpeed0")->trigger();
        ASSERT_TRUE(w.click(QStringLiteral("#awav")));
        waitedMs = longestWaitMs([&] {
            runFor(1000);
            w.frame()->action("audioSpeed4")->trigger();
            EXPECT_TRUE(waitUntil([&] { return !w.playback().isPlaying(); }));
        });
    })[0];
    auto [first, last] = LoudSpan(heard);
    long silent = 0, longest = 0, endsAt = 0;
    for (long i = first; i <= last; ++i)
        if ((silent = std::abs(heard[size_t(i)]) < 300 ? silent + 1 : 0) > longest) longest = silent, endsAt = i;
    std::printf("speed change: longest near-silence %.1f ms, ending %.3f s after the start; waited %.1f ms\n",
                longest * 1000.0 / kRate, double(endsAt - first) / kRate, waitedMs);
    if (waitedMs < 20) EXPECT_LT(longest, kRate / 200) << "a gap at the speed change";
    EXPECT_GT(last - first, kRate) << "the stretch was not heard";

    // A signal, each channel different, played from a file and recorded from the loop-back while another client
    // records the same source.
    constexpr int kRecRate = 22050, kSeconds = 3;
    const Samples left = noise(size_t(kRecRate) * (kSeconds + 2), 31), right = noise(left.size(), 32);
    stereo.clear();
    for (size_t i = 0; i < left.size(); ++i) stereo.insert(stereo.end(), {left[i], right[i]});
    stereo.resize(stereo.size() + size_t(kRecRate) * 2 * 10);  // then silence, playing on under the replay
    ASSERT_TRUE(testaudio::writeFile(folder.path("signal.wav"), testaudio::waveFile(2, kRecRate, 16, testaudio::pcmBytes(stereo))));
    ASSERT_TRUE(w.click("#signal") && waitUntil([&] { return w.playback().isPlaying(); }));
    runFor(1000);
    QElapsedTimer playing;
    const double from = w.playback().position();
    playing.start();
    const Samples served = capture(kRecRate, [&] {
        ASSERT_TRUE(w.choose("audioRecord"));
        runFor(kSeconds * 1000);
        ASSERT_TRUE(w.choose("audioRecord"));
    }, "loopmic")[0];
    runFor(1000);  // into the silence

    // What the program recorded, as it hands it to a device: Play Recorded on the simulated one, all at once.
    platform::SimAudioBackend sim(platform::SimAudioBackend::Clock::Untimed);
    sim.setKeepPlayed(true);
    device.point(&sim);
    ASSERT_TRUE(w.choose("audioPlayRecorded"));
    EXPECT_TRUE(waitUntil([&] { return !w.action("audioPlayRecorded")->isChecked(); }));
    device.point(backend.get());
    const Samples recorded = samplesOf(sim.played());
    std::tie(first, last) = LoudSpan(recorded);
    const long n = 1000;
    ASSERT_GT(last - first, long(kSeconds - 1) * kRecRate) << "too little was recorded";
    const auto inSignal = follow(recorded, first, last, n, left, kRecRate);
    const auto found = std::find_if(inSignal.begin(), inSignal.end(), [](long at) { return at >= 0; });
    ASSERT_GT(std::count_if(found, inSignal.end(), [](long at) { return at >= 0; }), long(inSignal.size()) / 2)
        << "the recording is not the signal's left channel";
    const long p0 = first + long(found - inSignal.begin()) * n;
    EXPECT_LT(std::abs(correlation(right, *found, recorded, p0, n)), 0.3) << "the right channel was kept";

    // Each loud stretch of the recording follows on from the last in the other client's copy; one that copy
    // lacks must be the signal's (the server lost it there). Left out, repeated or altered stretches fail.
    const auto loud = [&](long p) {
        double sum = 0;
        for (long i = p; i < p + n; ++i) sum += double(recorded[size_t(i)]) * recorded[size_t(i)];
        return std::sqrt(sum / n) > 500;
    };
    const auto inServed = follow(recorded, first, last, n, served, kRecRate);
    long prev = -1, lostMs = 0;
    for (size_t i = 0; i < inServed.size(); ++i) {
        const long p = first + long(i) * n, at = inServed[i];
        const auto where = [&] { return testing::Message() << "at " << double(p - first) / kRecRate << " s of the recording"; };
        if (at < 0) {
            EXPECT_TRUE(inSignal[i] >= 0 || !loud(p)) << where() << ": a stretch that is not the signal";
            continue;
        }
        if (prev >= 0) {
            const long expected = inServed[size_t(prev)] + (long(i) - prev) * n;
            EXPECT_LE(at, expected + kPhase) << where() << ": " << (at - expected) * 1000 / kRecRate << " ms left out";
            EXPECT_GE(at, inServed[size_t(prev)] + n - kPhase) << where() << ": a stretch repeated";
            lostMs += std::max(0L, expected - at) * 1000 / kRecRate;
        }
        prev = long(i);
    }
    EXPECT_GT(std::count_if(inServed.begin(), inServed.end(), [](long at) { return at >= 0; }), long(inServed.size()) / 2)
        << "the other client's copy holds too little of the recording to judge it";
    std::printf("recorded %.2f s; the other client lacked %ld ms of it\n", double(last - first) / kRecRate, lostMs);

    // Its replay on the real device: each loud stretch handed over is heard, in order, by one client or another
    // of the sink's monitor (a client that lost a stretch is not the program's fault); silence the device
    // played between stretches is reported.
    const auto replayed = capture(kRecRate, [&] {
        ASSERT_TRUE(w.choose("audioPlayRecorded"));
        EXPECT_TRUE(waitUntil([&] { return !w.action("audioPlayRecorded")->isChecked(); }, (kSeconds + 3) * 1000));
    }, "nullsink.monitor", 2);
    const auto inFirst = follow(recorded, first, last, n, replayed[0], kRecRate), inSecond = follow(recorded, first, last, n, replayed[1], kRecRate);
    long silentMs = 0;
    // A stretch is heard where found, or where the device played silence across it: the nearest stretches
    // found either side with room for everything between them.
    const auto heardIn = [&](const std::vector<long>& at, size_t i) {
        if (at[i] >= 0) return true;
        size_t a = i, b = i;
        while (a > 0 && at[--a] < 0) {}
        while (b + 1 < at.size() && at[++b] < 0) {}
        return at[a] >= 0 && at[b] >= 0 && a < i && i < b && at[b] - at[a] >= long(b - a) * n - kPhase;
    };
    for (size_t i = 0; i < inFirst.size(); ++i) {
        const long p = first + long(i) * n;
        if (i > 0 && inFirst[i] >= 0 && inFirst[i - 1] >= 0) silentMs += std::max(0L, inFirst[i] - inFirst[i - 1] - n) * 1000 / kRecRate;
        EXPECT_TRUE(heardIn(inFirst, i) || heardIn(inSecond, i) || !loud(p)) << "at " << double(p - first) / kRecRate << " s the replay was not heard";
        for (const auto* at : {&inFirst, &inSecond})
            if (i > 0 && (*at)[i] >= 0 && (*at)[i - 1] >= 0)
                EXPECT_GE((*at)[i], (*at)[i - 1] + n - kPhase) << "at " << double(p - first) / kRecRate << " s the replay went back";
    }
    std::printf("replayed; the device played %ld ms of silence between stretches\n", silentMs);
    // Recording and its replay leave the file player playing on: never ahead of the clock, never stopped (its
    // pace is the server's, which a busy machine slows).
    const double moved = w.playback().position() - from, elapsed = playing.elapsed() / 1000.0;
    std::printf("the file played on: %.2f s of it in %.2f s\n", moved, elapsed);
    EXPECT_TRUE(moved < elapsed + 0.3 && moved > 1) << moved << " s of the file in " << elapsed << " s";
    ASSERT_TRUE(w.choose("audioStop")) << "recording or its replay stopped the file player";
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    stopClient(sink);
}

}  // namespace
