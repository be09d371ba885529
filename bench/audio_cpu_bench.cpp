// SPDX-License-Identifier: GPL-3.0-or-later
// CPU load of the sound path on the GUI thread, measured as the process's
// CPU time over wall time while it (1) plays a WAV file through the file
// player and the wave output device, (2) records through the recorder.
// Goal: below 3% of one core while a WAV plays.
//
// Needs a sound server; headless:
//   source scripts/services.sh && build/bench/bench_audio_cpu [seconds]; parlotype_stop_services
// PARLOTYPE_AUDIO=sim measures the simulated device instead.
#include "audio/recorder.h"
#include "audio/file_player.h"
#include "platform/wave_device.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop until `done` or `seconds` pass; returns CPU percent of one core.
double measure(double seconds, const std::function<bool()>& done) {
    QElapsedTimer wall;
    wall.start();
    const double cpu0 = cpuSeconds();
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done() || wall.elapsed() >= seconds * 1000) loop.quit();
    });
    check.start(100);
    loop.exec();
    return 100.0 * (cpuSeconds() - cpu0) / (double(wall.elapsed()) / 1000.0);
}

bool writeWav(const QString& path, int seconds) {
    constexpr int kRate = 44100;
    const uint32_t frames = uint32_t(kRate * seconds), data = frames * 4;
    QByteArray wav("RIFF");
    auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) wav.append(char(v >> (8 * i))); };
    auto u16 = [&](uint16_t v) { wav.append(char(v)); wav.append(char(v >> 8)); };
    u32(36 + data);
    wav.append("WAVEfmt ");
    u32(16); u16(1); u16(2); u32(kRate); u32(kRate * 4); u16(4); u16(16);
    wav.append("data");
    u32(data);
    for (uint32_t i = 0; i < frames; ++i) {
        const auto s = int16_t(std::lround(6000 * std::sin(2 * M_PI * 440 * i / kRate)));
        u16(uint16_t(s));
        u16(uint16_t(s));
    }
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(wav) == wav.size();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(2, atoi(argv[1])) : 20;
    const std::unique_ptr<platform::AudioBackend> backend = platform::createAudioBackend();
    FilePlayer player(*backend);
    Recorder recorder(*backend);
    QTemporaryDir dir;
    const QString wav = dir.filePath("tone.wav");
    if (!writeWav(wav, seconds) || !player.open(wav)) {
        std::fprintf(stderr, "cannot make or open the test WAV file\n");
        return 1;
    }
    std::printf("idle event loop:            %5.2f%% CPU\n", measure(2, [] { return false; }));

    if (!player.play(0)) return 1;
    const double play = measure(seconds + 5, [&player] { return !player.isPlaying(); });
    std::printf("playing 44.1 kHz stereo WAV: %5.2f%% CPU (goal below 3%%), %d s\n", play, seconds);
    player.close();

    if (!recorder.start(22050)) return 1;
    const double record = measure(seconds, [] { return false; });
    recorder.stop();
    std::printf("recording 22.05 kHz stereo:  %5.2f%% CPU, %d blocks kept\n", record,
                recorder.count() / SampleBlock::kSamples);
    recorder.clear();
    return 0;
}
