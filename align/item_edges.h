// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Item and word edges from the warping path: each synthesized item's span
// mapped into the recording, then moved to the pause that covers the mapped
// edge, with a confidence from the path's cost and whether the pauses were
// found. Where the path stalls over speech, the recording holds something the
// text does not; where an item's speech maps onto next to nothing, it was not
// read.

#include "align/aligner.h"
#include "align/pause_finder.h"
#include "align/warp_path.h"

#include <utility>
#include <vector>

// One item in the synthetic speech (samples at 16 kHz): its span and the
// sound of each of its words.
struct SynthItem {
    long from, to;
    std::vector<std::pair<long, long>> words;
};

// The path's columns start `skipFrames` frames, `skip` seconds, into the
// recording. Fills `extra` with the speech no item covers.
std::vector<AlignedItem> placeItems(const WarpPath& path, const std::vector<SynthItem>& spoken, const PauseFinder& finder,
                                    double skip, int skipFrames, std::vector<ExtraSpeech>& extra);
