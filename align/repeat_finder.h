// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Speech read twice in a row: a stretch of the recording that the stretch
// right after it repeats sound for sound. A reader who stumbles reads the
// line again; the first reading is then speech the text does not hold.

#include "align/features.h"
#include "align/pause_finder.h"
#include "align/span_distance.h"

#include <vector>

// The speech between `pauses` (the recording's, in order) within frames
// [0, frames) of a window starting at the recording's frame `firstFrame`.
std::vector<FrameSpan> speechChunks(const std::vector<PauseFinder::Pause>& pauses, int firstFrame, int frames);
// The speech between the quiet stretches of frames whose mean square
// `power` lies 30 dB or more below the loud frames'.
std::vector<FrameSpan> speechChunks(const std::vector<float>& power);

// How alike two readings must be to be one said again: the mean distance
// along the path between them over that of unrelated frames. Measured on
// synthetic speech: 0.04-0.07 for a sentence said again, 0.22 and more for
// any two different stretches.
constexpr float kSameLimit = 0.15f;
constexpr float kLooseSameLimit = 0.3f;  // for the text's own speech, to miss none it says again

// The first readings of stretches read twice in `features` (normalised),
// whose speech lies in `chunks` (in order): each is followed by a stretch of
// about its length whose sound matches it within `sameLimit`.
std::vector<FrameSpan> findRepeats(const FeatureMatrix& features, const std::vector<FrameSpan>& chunks, float sameLimit = kSameLimit);
