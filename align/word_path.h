// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Each item's words followed again within its own stretch: the item's
// synthetic speech and its stretch of the recording, each with its mean
// taken off, matched frame by frame. The window's path normalises over the
// whole window, whatever voices it holds; within one item, what the
// reader's voice adds to every frame drops out.

#include "align/features.h"
#include "align/item_edges.h"

#include <vector>

// The words of found items [0, count) of `window`, whose synthetic speech is
// `spoken` in `synth`, from the path between that speech and the item's
// stretch of `real` (the recording from its frame `column` on).
void followWords(std::vector<ItemMatch>& window, size_t count, const std::vector<SynthItem>& spoken,
                 const FeatureMatrix& synth, const FeatureMatrix& real, int column);
