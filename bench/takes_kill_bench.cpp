// SPDX-License-Identifier: GPL-3.0-or-later
// Takes when the program is killed: a child process makes 100 takes the way
// the window does (the drill's turns through RecordingSession on the simulated
// sound device, each take saved by TakeStore in the script's folder, found
// through its index) and is killed with SIGKILL at a random moment of its run.
// Then every take the child had finished (it prints each path once save()
// has returned) must be listed, and every take listed must decode whole with
// the program's own reader: as many samples as the child recorded, each the
// simulated input's (frame * 7 + 3), none missing. Goal: every finished take
// there and playable, no half take listed, in every run.
// Run: build/bench/bench_takes_kill [runs, default 20] [seed, default from the clock]
// Exit status 0 when every run passes.
#include "audio/pcm_reader.h"
#include "platform/sim_audio.h"
#include "session/recording_session.h"
#include "takes/take_store.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <set>

namespace {

constexpr int kTakes = 100;

QString itemName(int i) { return QStringLiteral("s%1").arg(i + 1); }

// The child: the drill with Record on, one take per item, each printed when saved.
int makeTakes(const QString& page, const QString& root) {
    platform::SimAudioBackend sim{platform::SimAudioBackend::Clock::Stepped};
    sim.setInputSignal([](uint64_t frame, int) { return int16_t(frame * 7 + 3); });
    Recorder recorder{sim};
    RecordingPlayer player{sim};
    RecordingSession recording(recorder, player);
    std::unique_ptr<TakeStore> store = TakeStore::forScript(page, root);
    if (!store) return 2;
    QObject::connect(&recording, &RecordingSession::takeFinished, [&](const QString& item, const std::vector<int16_t>& samples) {
        QString error;
        const QString path = store->save(item, samples, RecordingSession::kRate, error);
        if (path.isEmpty()) std::fprintf(stderr, "%s\n", qPrintable(error)), std::exit(2);
        std::printf("%zu %s\n", samples.size(), qPrintable(path));
        std::fflush(stdout);
    });
    auto pass = [&](int ms) {
        for (int t = 0; t < ms; t += 40) sim.advance(40), QCoreApplication::sendPostedEvents();
    };
    recording.toggleRecord();
    for (int i = 0; i < kTakes; ++i) {
        recording.setCurrentItem(itemName(i));
        pass(400);  // hearing the item
        recording.startTurn();
        pass(500 + 100 * (i % 10));  // the reader's turn: 0.5 to 1.4 s
        recording.endTurn();
    }
    recording.toggleRecord();
    return 0;
}

class CheckSink : public PcmSink {
public:
    void start(int, size_t) override {}
    void write(const float* s, size_t count) override {
        for (size_t i = 0; i < count; ++i) {
            const auto v = int16_t(std::lround(s[i] * 32768.0f));
            if (m_count > 0 && int16_t(m_last + 7) != v) ++m_wrong;
            m_last = v, ++m_count;
        }
    }
    size_t m_count = 0, m_wrong = 0;
    int16_t m_last = 0;
};

struct RunResult {
    int finished = 0, listed = 0, lost = 0, broken = 0, parts = 0;
    double killedAt = 0, ms = 0;
};

// The takes the child reported, against those the store lists and what they decode to.
RunResult check(const QString& page, const QString& root, const QByteArray& out) {
    RunResult r;
    std::map<QString, size_t> reported;
    for (const QByteArray& line : out.split('\n')) {
        const qsizetype space = line.indexOf(' ');
        if (space > 0) reported[QString::fromLocal8Bit(line.mid(space + 1))] = line.left(space).toULong();
    }
    r.finished = int(reported.size());
    std::unique_ptr<TakeStore> store = TakeStore::forScript(page, root);
    std::set<QString> listed;
    for (int i = 0; i < kTakes; ++i)
        for (const QString& take : store->takes(itemName(i))) listed.insert(take);
    r.listed = int(listed.size());
    for (const auto& [path, samples] : reported) r.lost += listed.count(path) ? 0 : 1;
    for (const QString& take : listed) {
        CheckSink sink;
        const bool whole = readMonoPcm(take, sink) == PcmReadResult::Ok && sink.m_count > 0 && sink.m_wrong == 0 &&
                           QFileInfo(take).size() == qint64(44 + 2 * sink.m_count) &&
                           (!reported.count(take) || reported[take] == sink.m_count);
        r.broken += whole ? 0 : 1;
    }
    r.parts = int(QDir(store->folder()).entryList({QStringLiteral("*.part")}, QDir::Files).size());
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == QLatin1String("--make-takes")) return makeTakes(args.value(2), args.value(3));
    const int runs = args.size() > 1 ? args[1].toInt() : 20;
    const unsigned seed = args.size() > 2 ? args[2].toUInt() : unsigned(QDateTime::currentMSecsSinceEpoch());
    std::mt19937 gen(seed);

    QTemporaryDir dir;
    const QString page = dir.filePath(QStringLiteral("script.htm"));
    QFile file(page);
    if (!file.open(QIODevice::WriteOnly) || file.write("<html><body><a name=s1 href='a.wav#0#1'>one</a></body></html>\n") < 0)
        return std::fprintf(stderr, "cannot write %s\n", qPrintable(page)), 1;
    file.close();

    // Runs the child into `root`, killed after `killAfter` ms (negative: runs to its end).
    auto runChild = [&](const QString& root, double killAfter) {
        QProcess child;
        QElapsedTimer clock;
        clock.start();
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--make-takes"), page, root});
        if (killAfter >= 0) {
            child.waitForFinished(int(killAfter));
            if (child.state() != QProcess::NotRunning) ::kill(pid_t(child.processId()), SIGKILL);
        }
        child.waitForFinished(-1);
        RunResult r = check(page, root, child.readAllStandardOutput());
        r.ms = double(clock.nsecsElapsed()) / 1e6;
        r.killedAt = killAfter;
        return r;
    };

    std::printf("bench_takes_kill: %d takes per run, %d runs, seed %u\n", kTakes, runs, seed);
    const RunResult whole = runChild(dir.filePath(QStringLiteral("whole")), -1);
    std::printf("uninterrupted run: %d takes finished, %d listed, %d broken, %.0f ms\n", whole.finished, whole.listed,
                whole.broken, whole.ms);
    bool ok = whole.finished == kTakes && whole.listed == kTakes && whole.broken == 0;
    std::uniform_real_distribution<double> moment(0, whole.ms);
    std::printf("%4s %10s %9s %7s %5s %7s %6s\n", "run", "killed at", "finished", "listed", "lost", "broken", ".part");
    int finished = 0, listed = 0, lost = 0, broken = 0, parts = 0;
    for (int run = 1; run <= runs; ++run) {
        const RunResult r = runChild(dir.filePath(QStringLiteral("run%1").arg(run)), moment(gen));
        std::printf("%4d %7.0f ms %9d %7d %5d %7d %6d\n", run, r.killedAt, r.finished, r.listed, r.lost, r.broken, r.parts);
        finished += r.finished, listed += r.listed, lost += r.lost, broken += r.broken, parts += r.parts;
        // A take renamed into place just before the kill may be listed without having been reported.
        ok = ok && r.lost == 0 && r.broken == 0 && r.listed - r.finished <= 1;
    }
    std::printf("total: %d takes finished, %d listed, %d lost, %d broken, %d half takes left as .part (never listed)\n",
                finished, listed, lost, broken, parts);
    std::printf("%s\n", ok ? "PASS: every finished take is listed and decodes whole" : "FAIL");
    return ok ? 0 : 1;
}
