// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A second look at items beside speech not in the text. The warping path
// may match an item into a sentence added beside it and leave the item's own
// reading as the extra speech: a reader whose voice lies far from the
// synthetic one matches their own line worse than a nearer voice matches any
// line. Which stretch is the item's is judged by how much better the item's
// synthetic speech matches each than its neighbours' synthetic speech does,
// each stretch's mean taken off so that the voice counts less. An item cut
// out of running speech, an edge far from any pause, is readier to move to
// a stretch between pauses.

#include "align/features.h"
#include "align/item_edges.h"
#include "align/pause_finder.h"

#include <vector>

// Items [0, count) of `window`, whose synthetic speech is `spoken` in
// `synth`, matched in `real` (the recording from its frame `column` on):
// an item that `extra` lies beside moves to a stretch around the two, between
// their edges and pauses, that it fits clearly better, and the extra speech
// becomes what it leaves. No item moves onto `keepOff`.
void recheckBesideExtra(std::vector<ItemMatch>& window, size_t count, const std::vector<SynthItem>& spoken,
                        const FeatureMatrix& synth, const FeatureMatrix& real, int column,
                        const std::vector<PauseFinder::Pause>& pauses, std::vector<ExtraSpeech>& extra,
                        const std::vector<ExtraSpeech>& keepOff);
