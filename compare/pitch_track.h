// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pitch of speech with aubio's YIN computed through the FFT (yinfast): one value
// per 10 ms frame of 16 kHz samples, lined up with the aligner's feature
// frames (frame i centred 12.5 ms after sample 160 i); unvoiced frames hold 0.

#include <vector>

// F0 in Hz of each frame of `samples` (16 kHz).
std::vector<float> trackPitch(const std::vector<float>& samples);

// The voiced frames in semitones around their median (NaN where unvoiced).
std::vector<float> toSemitones(const std::vector<float>& hz);
