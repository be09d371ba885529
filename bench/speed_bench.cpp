// SPDX-License-Identifier: GPL-3.0-or-later
// Speed with the pitch kept:
//  (1) CPU of playing a 44.1 kHz stereo WAV at 0.75x and 1.5x against 1x,
//      as process CPU time over wall time on the device in use. Goal: the
//      stretcher adds at most 2% of one core.
//  (2) Position error against file time over a 10-minute file at 0.5x and
//      2x: tone bursts every 30 s of the file are found in what the
//      device played, and the position the player reports for that moment
//      of output is compared with the burst's file time. Goal: at most 20 ms
//      at the end of the file. Runs on the simulated device (stepped clock).
//  (3) Changing speed while playing, on the sound server: the longest
//      silence heard around five changes (goal: none, against the sound's own
//      shortest quiet) and the largest jump of the position over 10 ms.
//      Captures the null sink's monitor of scripts/services.sh with parecord.
//
// Needs a sound server for (1) and (3); headless:
//   source scripts/services.sh && build/bench/bench_speed [seconds]; parlotype_stop_services
// PARLOTYPE_AUDIO=sim measures (1) on the simulated device.
#include "audio/file_player.h"
#include "platform/sim_audio.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kFrameBytes = 4;          // 16-bit stereo
constexpr double kBurstEvery = 30.0;    // seconds of file between bursts
constexpr double kBurstSeconds = 0.1;  // longer than a stretcher sequence, so none is skipped

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// CPU percent of one core while the event loop runs for `seconds`.
double measureCpu(double seconds) {
    QElapsedTimer wall;
    wall.start();
    const double cpu0 = cpuSeconds();
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    return 100.0 * (cpuSeconds() - cpu0) / (double(wall.elapsed()) / 1000.0);
}

// A WAV file of `seconds`: a speech-band mix of tones, or (bursts) silence
// with a 100 ms 1 kHz burst at 15 s and then every 30 s.
bool writeWav(const QString& path, double seconds, bool bursts) {
    const auto frames = uint32_t(kRate * seconds), data = frames * kFrameBytes;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    QByteArray head("RIFF");
    auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) head.append(char(v >> (8 * i))); };
    auto u16 = [&](uint16_t v) { head.append(char(v)); head.append(char(v >> 8)); };
    u32(36 + data);
    head.append("WAVEfmt ");
    u32(16); u16(1); u16(2); u32(kRate); u32(kRate * kFrameBytes); u16(kFrameBytes); u16(16);
    head.append("data");
    u32(data);
    f.write(head);
    std::vector<int16_t> block;
    for (uint32_t i = 0; i < frames; ++i) {
        const double t = double(i) / kRate;
        double v;
        if (bursts) {
            const double inBurst = std::fmod(t + kBurstEvery / 2, kBurstEvery);
            v = inBurst < kBurstSeconds ? 12000 * std::sin(2 * M_PI * 1000 * t) : 0;
        } else {
            v = 4000 * (std::sin(2 * M_PI * 220 * t) + std::sin(2 * M_PI * 700 * t) + std::sin(2 * M_PI * 1900 * t));
        }
        const auto s = int16_t(std::lround(v));
        block.push_back(s);
        block.push_back(s);
        if (block.size() >= 65536 || i + 1 == frames) {
            f.write(reinterpret_cast<const char*>(block.data()), qint64(block.size() * 2));
            block.clear();
        }
    }
    return f.error() == QFileDevice::NoError;
}

void cpuAtSpeeds(FilePlayer& player, const QString& wav, int seconds) {
    if (!player.open(wav)) return;
    double base = 0;
    for (double speed : {1.0, 0.75, 1.5}) {
        player.setSpeed(speed);
        if (!player.play(0)) return;
        const double cpu = measureCpu(seconds);
        player.stop();
        if (speed == 1.0) base = cpu;
        std::printf("playing at %4.2fx: %5.2f%% CPU (%+5.2f%% against 1x; goal at most +2%%), %d s\n", speed, cpu,
                    cpu - base, seconds);
    }
    player.close();
    player.setSpeed(1.0);
}

// Plays the burst file at `speed` on a stepped simulated device and reports
// the largest position error over all bursts and the error at the last one.
void positionError(const QString& wav, double fileSeconds, double speed) {
    platform::SimAudioBackend sim(platform::SimAudioBackend::Clock::Stepped);
    FilePlayer player(sim);
    sim.setKeepPlayed(true);
    player.setSpeed(speed);
    if (!player.open(wav) || !player.play(0)) return;
    uint64_t outFrames = 0;  // output frames before what sim.played() holds
    uint64_t quietUntil = 0;  // after an onset, the burst's own output is skipped
    double worst = 0, last = 0;
    int found = 0;
    while (player.isPlaying()) {
        sim.advance(500);
        QCoreApplication::sendPostedEvents(&player, platform::WaveEvent::OutDone);
        const QByteArray& out = sim.played();
        const qsizetype frames = out.size() / kFrameBytes;
        for (qsizetype i = 0; i < frames; ++i) {
            const uint64_t frame = outFrames + uint64_t(i);
            const auto s = int16_t(uint8_t(out[i * kFrameBytes]) | uint8_t(out[i * kFrameBytes + 1]) << 8);
            if (frame < quietUntil || std::abs(s) <= 3000) continue;
            // The onset: what the player reports for this output moment
            // against where the burst lies in the file.
            const double reported = player.position() - double(outFrames + uint64_t(frames) - frame) / kRate * speed;
            const double actual = kBurstEvery / 2 + kBurstEvery * found++;
            last = reported - actual;
            worst = std::max(worst, std::abs(last));
            quietUntil = frame + uint64_t(kRate * kBurstEvery / 2 / speed);
        }
        outFrames += uint64_t(frames);
        sim.clearPlayed();
    }
    std::printf("%.0f-minute file at %3.1fx: %d bursts found of %d, largest position error %.1f ms, "
                "at the end %+.1f ms (goal at most 20 ms)\n",
                fileSeconds / 60, speed, found, int(fileSeconds / kBurstEvery), worst * 1000, last * 1000);
    player.close();
}

// Lets the event loop run for `ms`.
void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The longest run of near-silent samples in `pcm` between its first and last
// sound, in ms.
double longestQuietMs(const QByteArray& pcm) {
    const auto* s = reinterpret_cast<const int16_t*>(pcm.constData());
    const qsizetype n = pcm.size() / 2;
    qsizetype first = 0, last = n - 1, run = 0, longest = 0;
    while (first < n && std::abs(s[first]) < 300) ++first;
    while (last > first && std::abs(s[last]) < 300) --last;
    for (qsizetype i = first; i <= last; ++i) {
        run = std::abs(s[i]) < 300 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return 1000.0 * double(longest) / kRate;
}

void gapAtSpeedChanges(FilePlayer& player, const QString& wav, const QString& capture) {
    QProcess rec;
    rec.start("parecord", {"--device=nullsink.monitor", "--raw", "--format=s16le", "--channels=1",
                           QStringLiteral("--rate=%1").arg(kRate), "--latency-msec=20", capture});
    if (!rec.waitForStarted() || !player.open(wav)) return;
    runFor(300);
    if (!player.play(0)) return;
    double worstJump = 0, old = 1.0;
    const double speeds[] = {1.5, 0.75, 2.0, 0.5, 1.0};
    for (double speed : speeds) {
        runFor(700);
        QElapsedTimer wall;
        wall.start();
        double before = player.position();
        qint64 then = 0;
        player.setSpeed(speed);
        while (wall.elapsed() < 300) {
            runFor(10);
            const double now = player.position();
            // Until the server's short buffer has played out, the old speed
            // is still heard: a jump is a step outside both speeds' advance.
            const double dt = double(wall.elapsed() - then) / 1000.0, step = now - before;
            worstJump = std::max({worstJump, dt * std::min(old, speed) - step, step - dt * std::max(old, speed)});
            before = now;
            then = wall.elapsed();
        }
        old = speed;
    }
    runFor(500);
    player.close();
    runFor(300);
    rec.terminate();
    rec.waitForFinished();
    QFile f(capture);
    if (!f.open(QIODevice::ReadOnly)) return;
    std::printf("speed changes while playing (%zu): longest silence heard %.1f ms, position off both speeds' "
                "advance by at most %.1f ms\n",
                std::size(speeds), longestQuietMs(f.readAll()), worstJump * 1000);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(2, atoi(argv[1])) : 20;
    QTemporaryDir dir;
    const QString tones = dir.filePath("tones.wav"), bursts = dir.filePath("bursts.wav");
    constexpr double kLongSeconds = 600;
    if (!writeWav(tones, seconds + 1, false) || !writeWav(bursts, kLongSeconds, true)) {
        std::fprintf(stderr, "cannot write the test WAV files\n");
        return 1;
    }
    const std::unique_ptr<platform::AudioBackend> backend = platform::createAudioBackend();
    FilePlayer player(*backend);
    cpuAtSpeeds(player, tones, seconds);
    if (qgetenv("PARLOTYPE_AUDIO") != "sim") gapAtSpeedChanges(player, tones, dir.filePath("capture.raw"));
    for (double speed : {0.5, 2.0}) positionError(bursts, kLongSeconds, speed);
    return 0;
}
