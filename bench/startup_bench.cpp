// SPDX-License-Identifier: GPL-3.0-or-later
// bench_startup: start-up of the program, from process start to the built-in
// home page loaded, against a minimal program of our own that only shows a
// QWebEngineView loading the same page (target: at most 1.3 times its time).
// Runs the two in turn, alternating which goes first, and prints each time,
// the medians and their ratio, and the resident memory of each program's own
// process once the page has loaded (the web engine's helpers not counted).
// Needs a display: under Xvfb,
//   source scripts/services.sh; build/bench/bench_startup [runs, default 10]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Program {
    const char* name;
    QString path;
    QStringList args;
    std::vector<double> ms;
    std::vector<long> rssKb;
};

// Starts the program and waits for its "loaded <rss>" line; false on failure.
bool runOnce(Program& p) {
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(p.path, p.args);
    QByteArray out;
    while (!out.contains('\n') && process.waitForReadyRead(60000)) out += process.readAllStandardOutput();
    const double ms = clock.nsecsElapsed() / 1e6;
    if (!process.waitForFinished(10000)) process.kill();
    const QList<QByteArray> words = out.trimmed().split(' ');
    if (words.value(0) != "loaded") return false;
    p.ms.push_back(ms);
    p.rssKb.push_back(words.value(1).toLong());
    return true;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    const QString dir = QCoreApplication::applicationDirPath();
    Program programs[] = {
        {"parlotype", dir + QStringLiteral("/bench_startup_program"), {}, {}, {}},
        {"minimal", dir + QStringLiteral("/bench_startup_minimal"),
         {QStringLiteral(PARLOTYPE_SOURCE_DIR "/app/resources/home/home.htm")}, {}, {}},
    };
    // One unmeasured start of each warms the file caches.
    for (Program& p : programs) {
        if (!runOnce(p)) {
            std::fprintf(stderr, "%s did not load its page (is there a display?)\n", p.name);
            return 1;
        }
        p.ms.clear();
        p.rssKb.clear();
    }
    for (int i = 0; i < runs; ++i) {
        for (int k = 0; k < 2; ++k) {
            Program& p = programs[(i + k) % 2];
            if (!runOnce(p)) {
                std::fprintf(stderr, "%s failed\n", p.name);
                return 1;
            }
        }
    }
    for (const Program& p : programs) {
        std::printf("%-10s", p.name);
        for (double ms : p.ms) std::printf(" %6.0f", ms);
        std::printf("  median %6.0f ms, RSS %ld kB\n", median(p.ms), p.rssKb.back());
    }
    const double ratio = median(programs[0].ms) / median(programs[1].ms);
    std::printf("start-up ratio parlotype/minimal: %.2f (target <= 1.30)\n", ratio);
    return 0;
}
