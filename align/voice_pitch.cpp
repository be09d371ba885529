// SPDX-License-Identifier: GPL-3.0-or-later
#include "align/voice_pitch.h"

#include "align/features.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kDecimate = 4;       // 16 kHz to 4 kHz
constexpr int kMinLag = 8;         // 500 Hz at 4 kHz
constexpr int kMaxLag = 57;        // 70 Hz
constexpr double kVoiced = 0.6;    // the correlation a voiced frame reaches
constexpr double kOctave = 0.9;    // a lag this share as strong as the strongest may be the period
constexpr int kMinVoiced = 20;     // frames needed for a typical pitch

}  // namespace

double framePitch(const float* samples, int count) {
    const int n = std::min(count, kPitchSamples) / kDecimate;
    if (n < kMaxLag + 20) return 0;
    float x[kPitchSamples / kDecimate];
    for (int i = 0; i < n; ++i) {
        float sum = 0;
        for (int k = 0; k < kDecimate; ++k) sum += samples[i * kDecimate + k];
        x[i] = sum;
    }
    // Energies of x[0, k) by prefix sums: each lag needs only its products.
    double energy[kPitchSamples / kDecimate + 1] = {};
    for (int i = 0; i < n; ++i) energy[i + 1] = energy[i] + double(x[i]) * x[i];
    auto correlation = [&](int l) {
        double xy = 0;
        for (int i = 0; i + l < n; ++i) xy += double(x[i]) * x[i + l];
        const double xx = energy[n - l], yy = energy[n] - energy[l];
        return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0.0;
    };
    double r[kMaxLag + 2] = {};
    double best = 0;
    for (int l = kMinLag; l <= kMaxLag + 1; ++l) best = std::max(best, r[l] = correlation(l));
    if (best < kVoiced) return 0.0;
    // The shortest lag nearly as strong as the strongest, at a peak: a period's
    // multiples correlate as well as the period itself.
    for (int l = kMinLag + 1; l <= kMaxLag; ++l)
        if (r[l] >= kOctave * best && r[l] >= r[l - 1] && r[l] >= r[l + 1]) return double(kAnalysisRate) / kDecimate / l;
    return 0.0;
}

double typicalPitch(const std::vector<float>& samples) {
    std::vector<double> voiced;
    for (size_t at = 0; at + kPitchSamples <= samples.size(); at += kHopSamples)
        if (const double f = framePitch(samples.data() + at, kPitchSamples); f > 0) voiced.push_back(f);
    if (int(voiced.size()) < kMinVoiced) return 0;
    std::nth_element(voiced.begin(), voiced.begin() + long(voiced.size() / 2), voiced.end());
    return voiced[voiced.size() / 2];
}
