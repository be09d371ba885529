// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TimeStretcher: changes the tempo of PCM audio and keeps its pitch
// (SoundTouch, tuned for speech). Takes and gives interleaved integer PCM of
// 8, 16, 24 or 32 bits in the device's byte layout.

#include "platform/wave_device.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace soundtouch {
class SoundTouch;
}

namespace platform {

class TimeStretcher {
public:
    TimeStretcher();
    ~TimeStretcher();
    TimeStretcher(const TimeStretcher&) = delete;
    TimeStretcher& operator=(const TimeStretcher&) = delete;

    // Starts a new stream of `format` at `tempo` (0.5 plays twice as long);
    // false for a format it cannot take (not PCM, or another sample size).
    bool start(const WaveFormat& format, double tempo);
    // Hands over `bytes` of PCM (whole frames).
    void put(const char* pcm, uint32_t bytes);
    // The end of the stream: what is held back is made ready.
    void finish();
    // Moves up to `maxBytes` (whole frames) of ready output to `pcm`; returns
    // the bytes written.
    uint32_t take(char* pcm, uint32_t maxBytes);
    // Output frames ready to take.
    uint32_t readyFrames() const;
    // How far, on average, the file time of the output sounding runs ahead
    // of output time x tempo (negative: behind), in seconds. Each output
    // sequence is a stretch of the input at its own pace, placed so that
    // its start keeps to the tempo; over a sequence the content thus drifts
    // from the tempo's line by up to (tempo - 1) x its length, half that on
    // average.
    double averageLead() const;

private:
    std::unique_ptr<soundtouch::SoundTouch> m_stretch;
    std::vector<float> m_samples;  // one conversion's worth of float samples
    int m_channels = 0;
    int m_sampleBytes = 0;
    double m_tempo = 1.0;
};

}  // namespace platform
