// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A second look at items the warping path may have put in the wrong
// stretch. It may match an item into a sentence added beside it and leave
// the item's own reading as extra speech: a reader whose voice lies far from
// the synthetic one matches their own line worse than a nearer voice matches
// any line. Or, of two lines one of which was left out, it may give the
// reading to the wrong one. Which stretch is an item's is judged by how much
// better its synthetic speech matches it than other items' synthetic speech
// does, each stretch's mean taken off so that the voice counts less. An item
// cut out of running speech, an edge far from any pause, is readier to move
// to a stretch between pauses; so is any item to such a stretch that holds
// speech no item and no extra speech does.

#include "align/features.h"
#include "align/item_edges.h"
#include "align/pause_finder.h"

#include <vector>

// Items [0, count) of `window`, whose synthetic speech is `spoken` in
// `synth`, matched in `real` (the recording from its frame `column` on). An
// item not found takes a neighbour's stretch that it fits clearly better than
// the neighbour, which is then not found. An item that `extra` lies beside
// moves to a stretch around the two, between their edges and pauses, that it
// fits clearly better, and the extra speech becomes what it leaves. No item
// moves onto `keepOff`.
void recheckItems(std::vector<ItemMatch>& window, size_t count, const std::vector<SynthItem>& spoken,
                  const FeatureMatrix& synth, const FeatureMatrix& real, int column,
                  const std::vector<PauseFinder::Pause>& pauses, std::vector<ExtraSpeech>& extra,
                  const std::vector<ExtraSpeech>& keepOff);
