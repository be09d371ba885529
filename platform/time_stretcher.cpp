// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/time_stretcher.h"

#include <soundtouch/SoundTouch.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform {

namespace {

// Speech keeps its rhythm best with short sequences (SoundTouch's guidance).
constexpr int kSequenceMs = 40;
constexpr int kSeekWindowMs = 15;
constexpr int kOverlapMs = 8;

// Little-endian integer PCM of 1 to 4 bytes, 8-bit unsigned, to -1 .. 1.
float toFloat(const uint8_t* p, int bytes) {
    if (bytes == 1) return (int(p[0]) - 128) / 128.0f;
    int32_t v = 0;
    std::memcpy(reinterpret_cast<char*>(&v) + (4 - bytes), p, size_t(bytes));
    return float(v / 2147483648.0);
}

void fromFloat(float f, uint8_t* p, int bytes) {
    const double clamped = std::clamp(double(f), -1.0, 1.0);
    if (bytes == 1) {
        p[0] = uint8_t(std::lround(std::min(clamped * 128.0 + 128.0, 255.0)));
        return;
    }
    const auto v = int32_t(std::lround(std::clamp(clamped * 2147483648.0, -2147483648.0, 2147483647.0)));
    std::memcpy(p, reinterpret_cast<const char*>(&v) + (4 - bytes), size_t(bytes));
}

}  // namespace

TimeStretcher::TimeStretcher() : m_stretch(std::make_unique<soundtouch::SoundTouch>()) {}

TimeStretcher::~TimeStretcher() = default;

bool TimeStretcher::start(const WaveFormat& format, double tempo) {
    const int sampleBytes = format.bitsPerSample / 8;
    if (format.formatTag != 1 || format.bitsPerSample % 8 != 0 || sampleBytes < 1 || sampleBytes > 4 ||
        format.channels < 1 || format.channels > 8 || format.samplesPerSec == 0 ||
        format.blockAlign != format.channels * sampleBytes)
        return false;
    m_channels = format.channels;
    m_sampleBytes = sampleBytes;
    m_stretch->clear();
    m_stretch->setChannels(uint(m_channels));
    m_stretch->setSampleRate(format.samplesPerSec);
    m_stretch->setSetting(SETTING_SEQUENCE_MS, kSequenceMs);
    m_stretch->setSetting(SETTING_SEEKWINDOW_MS, kSeekWindowMs);
    m_stretch->setSetting(SETTING_OVERLAP_MS, kOverlapMs);
    m_stretch->setTempo(tempo);
    m_tempo = tempo;
    return true;
}

void TimeStretcher::put(const char* pcm, uint32_t bytes) {
    const uint32_t samples = bytes / uint32_t(m_sampleBytes);
    m_samples.resize(samples);
    const auto* p = reinterpret_cast<const uint8_t*>(pcm);
    for (uint32_t i = 0; i < samples; ++i) m_samples[i] = toFloat(p + size_t(i) * m_sampleBytes, m_sampleBytes);
    m_stretch->putSamples(m_samples.data(), samples / uint32_t(m_channels));
}

void TimeStretcher::finish() { m_stretch->flush(); }

uint32_t TimeStretcher::take(char* pcm, uint32_t maxBytes) {
    const uint32_t frameBytes = uint32_t(m_channels * m_sampleBytes);
    m_samples.resize(size_t(maxBytes / frameBytes) * m_channels);
    const uint32_t frames = m_stretch->receiveSamples(m_samples.data(), maxBytes / frameBytes);
    auto* p = reinterpret_cast<uint8_t*>(pcm);
    for (size_t i = 0; i < size_t(frames) * m_channels; ++i) fromFloat(m_samples[i], p + i * m_sampleBytes, m_sampleBytes);
    return frames * frameBytes;
}

uint32_t TimeStretcher::readyFrames() const { return m_stretch->numSamples(); }

double TimeStretcher::averageLead() const { return (1.0 - m_tempo) * (kSequenceMs - kOverlapMs) / 2 / 1000.0; }

}  // namespace platform
