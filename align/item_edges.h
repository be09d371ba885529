// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Item edges from the warping path: each synthesized item's span mapped into
// the recording, then moved to the pause that covers the mapped edge, with a
// confidence from the path's cost and whether the pauses were found.

#include "align/aligner.h"
#include "align/pause_finder.h"
#include "align/warp_path.h"

#include <utility>
#include <vector>

// spans: each item's samples in the synthetic speech (16 kHz). The path's
// columns start `skipFrames` frames, `skip` seconds, into the recording.
std::vector<AlignedItem> placeItems(const WarpPath& path, const std::vector<std::pair<long, long>>& spans,
                                    const PauseFinder& finder, double skip, int skipFrames);
