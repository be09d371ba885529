// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A rough pitch of speech, enough to tell a high voice from a low one: over
// 40 ms decimated to 4 kHz, the shortest lag whose normalised autocorrelation
// comes near the strongest, between 70 and 500 Hz.

#include <cstddef>
#include <vector>

constexpr int kPitchSamples = 640;  // 40 ms at 16 kHz: two periods of the lowest pitch

// The pitch of the first `count` (at most kPitchSamples) samples at 16 kHz
// in Hz, or 0 when they are not voiced.
double framePitch(const float* samples, int count);

// The median pitch of the voiced 40 ms windows of `samples` (16 kHz, every
// 10 ms), or 0 when too few are voiced.
double typicalPitch(const std::vector<float>& samples);
