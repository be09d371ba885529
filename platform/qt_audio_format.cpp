// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt_audio_format.h"

namespace platform {

std::optional<QAudioFormat> toQtFormat(const WaveFormat& f) {
    if (f.formatTag != 1 || f.channels == 0 || f.samplesPerSec == 0 ||
        f.blockAlign != f.channels * f.bitsPerSample / 8 || f.avgBytesPerSec != f.samplesPerSec * f.blockAlign)
        return std::nullopt;
    QAudioFormat q;
    if (f.bitsPerSample == 8)
        q.setSampleFormat(QAudioFormat::UInt8);
    else if (f.bitsPerSample == 16)
        q.setSampleFormat(QAudioFormat::Int16);
    else
        return std::nullopt;
    q.setChannelCount(f.channels);
    q.setSampleRate(int(f.samplesPerSec));
    return q;
}

uint64_t bytesForUsecs(const WaveFormat& f, int64_t usecs) {
    if (usecs <= 0) return 0;
    const uint64_t u = uint64_t(usecs);
    const uint64_t frames = u / 1'000'000 * f.samplesPerSec + u % 1'000'000 * f.samplesPerSec / 1'000'000;
    return frames * f.blockAlign;
}

std::optional<QAudioFormat> formatOn(const QAudioDevice& device, const WaveFormat& format) {
    const auto qf = toQtFormat(format);
    if (!qf || device.isNull() || !device.isFormatSupported(*qf)) return std::nullopt;
    return qf;
}

bool startedFine(QAudio::State state, QAudio::Error error) {
    return error == QAudio::NoError && state != QAudio::StoppedState;
}

bool serverFailed(QAudio::State state, QAudio::Error error) {
    return state == QAudio::StoppedState &&
           (error == QAudio::OpenError || error == QAudio::IOError || error == QAudio::FatalError);
}

}  // namespace platform
