// SPDX-License-Identifier: GPL-3.0-or-later
#include "align/word_path.h"

#include "align/span_distance.h"

#include <algorithm>
#include <cmath>

void followWords(std::vector<ItemMatch>& window, size_t count, const std::vector<SynthItem>& spoken,
                 const FeatureMatrix& synth, const FeatureMatrix& real, int column) {
    if (synth.rows() == 0 || real.rows() == 0) return;
    // A step off the diagonal costs a typical distance between unrelated
    // frames more, as in the window's path inside an item.
    const float stepCost = typicalDistance(synth, real, 4096, 7);
    for (size_t k = 0; k < count && k < spoken.size(); ++k) {
        ItemMatch& m = window[k];
        const SynthItem& item = spoken[k];
        if (!m.found || m.words.size() < 2) continue;
        const FrameSpan rows{std::clamp(int(item.from / kHopSamples), 0, synth.rows()), std::clamp(int(item.to / kHopSamples), 0, synth.rows())};
        const FrameSpan cols{std::clamp(int(std::lround(m.start / kFrameSeconds)) - column, 0, real.rows()),
                             std::clamp(int(std::lround(m.end / kFrameSeconds)) - column, 0, real.rows())};
        if (rows.to - rows.from < 2 || cols.to - cols.from < 2) continue;
        const FeatureMatrix said = centred(synth, rows), heard = centred(real, cols);
        const std::vector<int> path = spanPath(said, {0, said.rows()}, heard, {0, heard.rows()}, stepCost);
        if (path.empty()) continue;  // too long to follow: the window's path stands
        auto at = [&](long sample) {
            const int row = int(sample / kHopSamples) - rows.from;
            return row >= int(path.size()) ? m.end : (column + cols.from + path[size_t(std::max(0, row))]) * kFrameSeconds;
        };
        for (size_t w = 0; w < m.words.size() && w < item.words.size(); ++w) m.words[w] = {at(item.words[w].first), at(item.words[w].second)};
    }
}
