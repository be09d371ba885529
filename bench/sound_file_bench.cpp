// SPDX-License-Identifier: GPL-3.0-or-later
// The FLAC and Opus decoder's goals, on files made here (by sox, flac and
// opusenc, in the temporary folder, removed afterwards):
//   - the first seek on a 3-hour file (a fresh decoder: open, seek, first
//     block read) within 50 ms, and later seeks;
//   - decoding the whole file at most 1.15 times the CPU time of `flac -d` /
//     `opusdec` writing to /dev/null.
// Usage: bench_sound_file [hours, default 3]
#include "platform/sound_file_decoder.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sys/resource.h>
#include <vector>

namespace {

double cpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void run(const QString& command) {
    if (QProcess::execute(QStringLiteral("bash"), {QStringLiteral("-c"), command}) != 0) {
        std::fprintf(stderr, "failed: %s\n", qPrintable(command));
        std::exit(1);
    }
}

double ms(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

void measure(const char* name, const QString& path, const QString& reference) {
    // First seeks: a fresh decoder each time, to places spread over the file.
    std::vector<double> first, later;
    std::mt19937 random(7);
    std::vector<int16_t> block(4096 * 2);
    for (int i = 0; i < 9; ++i) {
        QElapsedTimer t;
        t.start();
        platform::SoundFileDecoder decoder;
        if (!decoder.open(path)) std::fprintf(stderr, "%s\n", qPrintable(decoder.errorString())), std::exit(1);
        const int64_t target = i == 0 ? decoder.frames() - 48000 : int64_t(random() % uint64_t(decoder.frames() - 4096));
        if (!decoder.seekToFrame(target) || decoder.readFrames(block.data(), 1024) != 1024) std::exit(1);
        first.push_back(ms(t));
        for (int j = 0; j < 5; ++j) {
            t.restart();
            if (!decoder.seekToFrame(int64_t(random() % uint64_t(decoder.frames() - 4096))) ||
                decoder.readFrames(block.data(), 1024) != 1024)
                std::exit(1);
            later.push_back(ms(t));
        }
    }
    std::sort(first.begin(), first.end());
    std::sort(later.begin(), later.end());
    std::printf("%s first seek (open + seek + 1024 frames): median %.1f ms, worst %.1f ms (goal 50 ms)\n", name,
                first[first.size() / 2], first.back());
    std::printf("%s later seeks: median %.1f ms, worst %.1f ms\n", name, later[later.size() / 2], later.back());

    // Decoding CPU against the reference decoder.
    const double before = cpuSeconds(RUSAGE_SELF);
    platform::SoundFileDecoder decoder;
    decoder.open(path);
    int64_t frames = 0;
    std::vector<int16_t> pcm(size_t(4096) * size_t(decoder.channels()));
    for (int64_t got; (got = decoder.readFrames(pcm.data(), 4096)) > 0;) frames += got;
    const double ours = cpuSeconds(RUSAGE_SELF) - before;
    const double childBefore = cpuSeconds(RUSAGE_CHILDREN);
    run(reference);
    const double theirs = cpuSeconds(RUSAGE_CHILDREN) - childBefore;
    std::printf("%s decoding %.1f h: %.2f s CPU, reference %.2f s (%s): %.2fx (goal 1.15x)\n", name,
                double(frames) / decoder.sampleRate() / 3600, ours, theirs, qPrintable(reference.section(' ', 0, 0)),
                ours / theirs);
}

}  // namespace

int main(int argc, char** argv) {
    const double hours = argc > 1 ? std::atof(argv[1]) : 3.0;
    QTemporaryDir dir;
    const QString seconds = QString::number(int(hours * 3600));
    const QString flac = dir.filePath("long.flac"), opus = dir.filePath("long.opus");
    // A slow sweep with a tremolo: no stretch is silence, none repeats.
    const QString signal = QStringLiteral("sox -n -r %1 -c 1 -b 16 -t wav - synth %2 sine 200-3000 tremolo 3 60");
    std::printf("making %s s of FLAC (44.1 kHz) and Opus (48 kHz)...\n", qPrintable(seconds));
    run(signal.arg(44100).arg(seconds) + " | flac -s -5 -o " + flac + " -");
    run(signal.arg(48000).arg(seconds) + " | opusenc --quiet --bitrate 32 - " + opus);
    measure("FLAC", flac, "flac -d -s -c " + flac + " > /dev/null");
    measure("Opus", opus, "opusdec --quiet " + opus + " /dev/null");
    return 0;
}
