// SPDX-License-Identifier: GPL-3.0-or-later
// The file player's performance goals, measured on files generated here (in
// the temporary folder, removed afterwards):
//   - MP3 seek on a 3-hour file, CBR 128 kbit/s, VBR, and CBR with 3 MB of
//     zeros in the middle: the first seek to the end within 50 ms, every
//     later seek within 1 ms;
//   - decoding a whole MP3 through the ring (simulated device, no pacing) at
//     most 1.15 times the CPU time of `mpg123 -t` on the same file;
//   - Play, from a loaded file to the first buffers queued, within 5 ms for
//     WAV and MP3.
// Usage: bench_file_player [minutes of MP3 for the decode run, default 10]
#include "audio/file_player.h"
#include "bench/file_player_probe.h"
#include "common/test_audio.h"
#include "platform/sim_audio.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <sys/resource.h>
#include <vector>

namespace {

using Probe = FilePlayerProbe;

double msSince(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

double cpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The frames of an MP3 made by lame from `seconds` of the sweep, its Info frame left out.
std::vector<std::string> encodedFrames(const QString& dir, double seconds, const QStringList& args) {
    const QString wav = dir + "/src.wav", mp3 = dir + "/src.mp3";
    testaudio::writeFile(wav, testaudio::waveFile(2, 44100, 16, testaudio::pcmBytes(testaudio::sweep(44100, 2, seconds))));
    if (!testaudio::encodeMp3(wav, mp3, args)) {
        std::fprintf(stderr, "lame failed\n");
        std::exit(1);
    }
    platform::AudioFile file;
    file.open(mp3);
    std::vector<std::string> frames;
    uint8_t buf[kMaxFrameBytes];
    MpegFrameHeader h;
    while (readFrameHeader(file, buf, h)) {
        const uint32_t n = readFrame(file, buf, h);
        if (!n) break;
        frames.emplace_back(reinterpret_cast<char*>(buf), n);
    }
    frames.erase(frames.begin());
    return frames;
}

// An MP3 of `minutes`, made by repeating encoded frames; with `gapBytes`
// zeros in the middle, as a broken download leaves them.
QString repeatedMp3(const QString& path, const std::vector<std::string>& frames, double minutes,
                    size_t gapBytes = 0) {
    QFile out(path);
    out.open(QIODevice::WriteOnly | QIODevice::Truncate);
    const double frameSeconds = 1152 / 44100.0;
    const auto count = size_t(minutes * 60 / frameSeconds);
    std::string block;
    for (size_t i = 0; i < count; ++i) {
        if (i == count / 2) block.append(gapBytes, '\0');
        block += frames[i % frames.size()];
        if (block.size() > (1 << 20)) {
            out.write(block.data(), qint64(block.size()));
            block.clear();
        }
    }
    out.write(block.data(), qint64(block.size()));
    return path;
}

void seekBench(const char* name, const QString& path) {
    platform::SimAudioBackend sim(platform::SimAudioBackend::Clock::Untimed);
    FilePlayer player(sim);
    std::vector<double> first;
    for (int round = 0; round < 5; ++round) {
        player.open(path);  // a fresh index each time
        QElapsedTimer t;
        t.start();
        Probe::seek(player, 3 * 3600.0);
        first.push_back(msSince(t));
    }
    std::sort(first.begin(), first.end());
    const double duration = Probe::startTime(player);
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> anywhere(0, duration);
    constexpr int kSeeks = 2000;
    std::vector<double> later;
    for (int i = 0; i < kSeeks; ++i) {
        QElapsedTimer t;
        t.start();
        Probe::seek(player, anywhere(rng));
        later.push_back(msSince(t));
    }
    std::sort(later.begin(), later.end());
    std::printf("%-28s %.1f MB, %.0f s; first seek to the end: median %.2f ms, worst of 5 %.2f ms (goal <= 50 ms)\n",
                name, QFile(path).size() / 1e6, duration, first[2], first[4]);
    std::printf("%-28s %d later seeks anywhere: median %.4f ms, 99%% %.4f ms, worst %.4f ms (goal <= 1 ms)\n", "",
                kSeeks, later[kSeeks / 2], later[kSeeks * 99 / 100], later.back());
}

// CPU seconds to decode the whole file through Play and the ring.
double playerCpu(const QString& path, platform::SimAudioBackend& sim) {
    FilePlayer player(sim);
    const double before = cpuSeconds(RUSAGE_SELF);
    player.open(path);
    player.play(0);
    for (int n = 0; player.isPlaying(); ++n) {
        QCoreApplication::sendPostedEvents();  // as the event loop does
        if (n % 64 == 0) sim.clearPlayed();
    }
    const double cpu = cpuSeconds(RUSAGE_SELF) - before;
    sim.clearPlayed();
    return cpu;
}

double mpg123Cpu(const QString& path) {
    const double before = cpuSeconds(RUSAGE_CHILDREN);
    const QByteArray command = "mpg123 -q -t '" + QFile::encodeName(path) + "'";
    if (std::system(command.constData()) != 0) {
        std::fprintf(stderr, "mpg123 failed\n");
        std::exit(1);
    }
    return cpuSeconds(RUSAGE_CHILDREN) - before;
}

void decodeBench(const QString& path, double minutes) {
    platform::SimAudioBackend sim(platform::SimAudioBackend::Clock::Untimed);
    double ours = 1e9, theirs = 1e9;
    for (int round = 0; round < 3; ++round) {  // side by side, best of three each
        ours = std::min(ours, playerCpu(path, sim));
        theirs = std::min(theirs, mpg123Cpu(path));
    }
    std::printf("decode %.0f min MP3: player %.3f s CPU, mpg123 -t %.3f s CPU, ratio %.3f (goal <= 1.15)\n", minutes,
                ours, theirs, ours / theirs);
}

void playStartBench(const char* name, const QString& path, double seconds) {
    platform::SimAudioBackend sim(platform::SimAudioBackend::Clock::Stepped);
    FilePlayer player(sim);
    player.open(path);
    std::mt19937 rng(2);
    std::uniform_real_distribution<double> anywhere(0, seconds - 5);
    std::vector<double> ms;
    for (int i = 0; i < 200; ++i) {
        const double start = i == 0 ? 0.0 : anywhere(rng);
        QElapsedTimer t;
        t.start();
        player.play(start);
        ms.push_back(msSince(t));
        if (Probe::queued(player) != 7) std::printf("  (only %d buffers at %.1f s)\n", Probe::queued(player), start);
        player.stop();
    }
    player.close();
    const double firstPlay = ms.front();
    std::sort(ms.begin(), ms.end());
    std::printf("%-28s play start: first %.3f ms, median %.3f ms, worst %.3f ms (goal <= 5 ms)\n", name, firstPlay,
                ms[ms.size() / 2], ms.back());
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const double decodeMinutes = argc > 1 ? std::atof(argv[1]) : 10.0;
    QTemporaryDir dir(QDir::tempPath() + "/parlotype-bench-XXXXXX");
    const QString d = dir.path();

    const auto cbr = encodedFrames(d, 20, {"-b", "128"});
    const auto vbr = encodedFrames(d, 20, {"-V", "2"});
    seekBench("3 h MP3, CBR 128 kbit/s", repeatedMp3(d + "/cbr.mp3", cbr, 180));
    seekBench("3 h MP3, VBR (lame -V 2)", repeatedMp3(d + "/vbr.mp3", vbr, 180));
    seekBench("3 h MP3, 3 MB of zeros inside", repeatedMp3(d + "/gap.mp3", cbr, 180, 3 << 20));
    QFile::remove(d + "/cbr.mp3");
    QFile::remove(d + "/vbr.mp3");
    QFile::remove(d + "/gap.mp3");

    decodeBench(repeatedMp3(d + "/decode.mp3", cbr, decodeMinutes), decodeMinutes);

    const QString wav = d + "/start.wav";
    testaudio::writeFile(wav, testaudio::waveFile(2, 44100, 16, testaudio::pcmBytes(testaudio::sweep(44100, 2, 600))));
    playStartBench("WAV 44100 Hz stereo, 10 min", wav, 600);
    playStartBench("MP3 128 kbit/s, 10 min", d + "/decode.mp3", decodeMinutes * 60);
    return 0;
}
