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

// One item as a warping path maps it into the recording (seconds), before
// its edges are placed: its mean distance on the path, its synthetic length,
// whether its speech maps onto enough of the recording's, and its words.
struct ItemMatch {
    double start, end, cost, synthetic;
    bool found;
    std::vector<WordTime> words;
};

// The first `count` of `spoken` as `path` maps them; the path's columns start
// `skipFrames` frames into the recording.
std::vector<ItemMatch> matchItems(const WarpPath& path, const std::vector<SynthItem>& spoken, size_t count,
                                  const PauseFinder& finder, int skipFrames);

// The median of the found items' lengths in the recording over their
// synthetic ones: the reader's pace against the synthetic voice's.
double readingPace(const std::vector<ItemMatch>& matches);

// Where the path stalls (the synthetic speech hardly advances while the
// recording goes on, or the path has not begun or has ended) over more than a
// second of speech, before column `untilColumn`: the recording holds
// something the text does not.
std::vector<ExtraSpeech> findExtraSpeech(const WarpPath& path, const PauseFinder& finder, int skipFrames, int untilColumn);

// The shortest pause an item edge may snap to, seconds.
constexpr double kItemPause = 0.08;

// Every item's edges and words from its match, the recording's first `skip`
// seconds left out, `pauses` being the finder's of kItemPause or more; no
// item keeps `extra`, which a line read twice may add to.
std::vector<AlignedItem> placeItems(const std::vector<ItemMatch>& matches, const PauseFinder& finder,
                                    const std::vector<PauseFinder::Pause>& pauses, double skip,
                                    std::vector<ExtraSpeech>& extra);
