// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether each word of a spoken sequence has a counterpart in a recording.
// The words around a word (two each side) are warped onto the stretch of the
// recording that a path over the whole gives them, once with the word and
// once without it; the evidence is how much worse the stretch fits without
// it, per frame of the word, in units of the typical distance between
// unrelated frames: above 0 when the word is there, below 0 when the
// recording fits better without it.

#include "align/features.h"
#include "align/warp_path.h"

#include <utility>
#include <vector>

// words: the first and last row of `rows` of each word, in order. path: rows
// onto `recording`.
std::vector<double> wordEvidence(const FeatureMatrix& rows, const std::vector<std::pair<int, int>>& words,
                                 const FeatureMatrix& recording, const WarpPath& path);

// `recording`'s frames mapped by the affine map that best carries them onto
// the frames of `rows` that `path` pairs them with (least squares, drawn
// towards no change): the two voices made alike before they are compared.
FeatureMatrix mapOnto(const FeatureMatrix& recording, const FeatureMatrix& rows, const WarpPath& path);
