// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How alike two stretches of speech sound: the mean frame distance along the
// best warping path between them, and that path.

#include "align/features.h"

#include <limits>
#include <vector>

// Frames [from, to).
struct FrameSpan {
    int from, to;
};

// The mean distance along the best warping path between rows `a` of `fa`
// and rows `b` of `fb`, every second frame taken: steps (1,1) weighted 2,
// (1,0) and (0,1) 1, so that every path weighs the same. Work stops as soon
// as the mean must exceed `limit` (then infinity).
float spanDistance(const FeatureMatrix& fa, FrameSpan a, const FeatureMatrix& fb, FrameSpan b,
                   float limit = std::numeric_limits<float>::infinity(), float stepCost = 0);

// The best warping path between rows `a` of `fa` and rows `b` of `fb`, frame
// by frame, steps weighed as by spanDistance(): for each row of `a`, the
// first row of `b` it meets (relative to a.from and b.from). Empty when the
// two hold more than `maxCells` frame pairs.
std::vector<int> spanPath(const FeatureMatrix& fa, FrameSpan a, const FeatureMatrix& fb, FrameSpan b, float stepCost,
                          long maxCells = 16'000'000);

// The same path kept within a band: for each row of `a`, the first and last
// row of `b` (relative, as the result) that it may meet. The band is widened
// where it must be for a path from the first pair to the last to exist.
std::vector<int> bandPath(const FeatureMatrix& fa, FrameSpan a, const FeatureMatrix& fb, FrameSpan b, std::vector<int> lo,
                          std::vector<int> hi, float stepCost);

// Rows `span` of `f`, each dimension less its mean over them: what the
// voice and the room add to every frame alike drops out.
FeatureMatrix centred(const FeatureMatrix& f, FrameSpan span);
