// SPDX-License-Identifier: GPL-3.0-or-later
#include "compare/pitch_track.h"

#include "align/features.h"

#include <aubio/aubio.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace {

constexpr int kBuffer = 1024;            // 64 ms: two periods of a 32 Hz voice
constexpr float kMinHz = 60, kMaxHz = 500;  // speaking voices
constexpr float kMinConfidence = 0.7f;   // YIN's periodicity: 1 less the dip of its difference function
constexpr float kSilenceDb = -50;        // quieter frames count as unvoiced

}  // namespace

std::vector<float> trackPitch(const std::vector<float>& samples) {
    const int frames = samples.size() >= size_t(kWindowSamples)
                           ? int((samples.size() - kWindowSamples) / kHopSamples) + 1 : 0;
    std::vector<float> hz(size_t(frames), 0.0f);
    if (frames == 0) return hz;
    std::unique_ptr<aubio_pitch_t, void (*)(aubio_pitch_t*)> pitch(
        new_aubio_pitch("yinfast", kBuffer, kHopSamples, kAnalysisRate), del_aubio_pitch);
    std::unique_ptr<fvec_t, void (*)(fvec_t*)> in(new_fvec(kHopSamples), del_fvec), out(new_fvec(1), del_fvec);
    aubio_pitch_set_unit(pitch.get(), "Hz");
    aubio_pitch_set_silence(pitch.get(), kSilenceDb);
    // aubio's estimate after hop k comes from the kBuffer samples that end at
    // sample 160 (k + 1); YIN compares the buffer's first half with what
    // follows, so the estimate speaks for the time a quarter into the buffer,
    // nearest the centre of feature frame k - lag.
    const int lag = int(std::lround(double(kBuffer * 3 / 4 + kWindowSamples / 2) / kHopSamples)) - 1;
    const size_t hops = samples.size() / kHopSamples + size_t(lag) + 1;
    for (size_t k = 0; k < hops; ++k) {
        for (int n = 0; n < kHopSamples; ++n) {
            const size_t at = k * kHopSamples + size_t(n);
            fvec_set_sample(in.get(), at < samples.size() ? samples[at] : 0.0f, uint_t(n));
        }
        aubio_pitch_do(pitch.get(), in.get(), out.get());
        const long frame = long(k) - lag;
        if (frame < 0 || frame >= frames) continue;
        const float f = fvec_get_sample(out.get(), 0);
        if (f >= kMinHz && f <= kMaxHz && aubio_pitch_get_confidence(pitch.get()) >= kMinConfidence)
            hz[size_t(frame)] = f;
    }
    return hz;
}

std::vector<float> toSemitones(const std::vector<float>& hz) {
    std::vector<float> voiced;
    for (float f : hz)
        if (f > 0) voiced.push_back(f);
    std::vector<float> st(hz.size(), std::numeric_limits<float>::quiet_NaN());
    if (voiced.empty()) return st;
    std::nth_element(voiced.begin(), voiced.begin() + long(voiced.size() / 2), voiced.end());
    const float median = voiced[voiced.size() / 2];
    for (size_t i = 0; i < hz.size(); ++i)
        if (hz[i] > 0) st[i] = 12.0f * std::log2(hz[i] / median);
    return st;
}
