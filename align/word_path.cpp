// SPDX-License-Identifier: GPL-3.0-or-later
#include "align/word_path.h"

#include "align/span_distance.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr int kReach = 40;  // frames the path may stray from the window's on either side (0.4 s)

// For each of `rows` synthetic frames, the column of `columns` that the
// knots (synthetic frame, column; in order) put it at, linearly between them.
std::vector<int> guideOf(std::vector<std::pair<double, double>> knots, int rows, int columns) {
    std::vector<int> guide(static_cast<size_t>(rows));
    for (size_t k = 1; k < knots.size(); ++k) knots[k].second = std::max(knots[k].second, knots[k - 1].second);
    size_t k = 0;
    for (int r = 0; r < rows; ++r) {
        while (k + 2 < knots.size() && knots[k + 1].first <= r) ++k;
        const auto [r0, c0] = knots[k];
        const auto [r1, c1] = knots[std::min(k + 1, knots.size() - 1)];
        const double c = r1 > r0 ? c0 + (c1 - c0) * std::clamp((r - r0) / (r1 - r0), 0.0, 1.0) : c0;
        guide[size_t(r)] = std::clamp(int(std::lround(c)), 0, columns - 1);
    }
    return guide;
}

}  // namespace

void followWords(std::vector<ItemMatch>& window, size_t count, const std::vector<SynthItem>& spoken,
                 const FeatureMatrix& synth, const FeatureMatrix& real, int column) {
    if (synth.rows() == 0 || real.rows() == 0) return;
    // A step off the diagonal costs a typical distance between unrelated
    // frames more, as in the window's path inside an item.
    const float stepCost = typicalDistance(synth, real, 4096, 7);
    for (size_t k = 0; k < count && k < spoken.size(); ++k) {
        ItemMatch& m = window[k];
        const SynthItem& item = spoken[k];
        if (!m.found || m.words.size() < 2 || m.words.size() != item.words.size()) continue;
        const FrameSpan rows{std::clamp(int(item.from / kHopSamples), 0, synth.rows()), std::clamp(int(item.to / kHopSamples), 0, synth.rows())};
        const FrameSpan cols{std::clamp(int(std::lround(m.start / kFrameSeconds)) - column, 0, real.rows()),
                             std::clamp(int(std::lround(m.end / kFrameSeconds)) - column, 0, real.rows())};
        if (rows.to - rows.from < 2 || cols.to - cols.from < 2) continue;
        // The band follows the window's path through the item's words.
        auto row = [&](long sample) { return double(sample / kHopSamples - rows.from); };
        auto col = [&](double t) { return t / kFrameSeconds - column - cols.from; };
        std::vector<std::pair<double, double>> knots{{0.0, 0.0}};
        for (size_t w = 0; w < m.words.size(); ++w)
            knots.insert(knots.end(), {{row(item.words[w].first), col(m.words[w].start)}, {row(item.words[w].second), col(m.words[w].end)}});
        knots.emplace_back(rows.to - rows.from - 1, cols.to - cols.from - 1);
        const FeatureMatrix said = centred(synth, rows), heard = centred(real, cols);
        std::vector<int> lo = guideOf(knots, said.rows(), heard.rows()), hi = lo;
        for (size_t r = 0; r < lo.size(); ++r) lo[r] -= kReach, hi[r] += kReach;
        const std::vector<int> path = bandPath(said, {0, said.rows()}, heard, {0, heard.rows()}, std::move(lo), std::move(hi), stepCost);
        // A sample between two rows' starts goes as far between their columns.
        auto at = [&](long sample) {
            const double x = double(sample) / kHopSamples - rows.from;
            const int r = int(std::floor(x));
            if (r >= int(path.size())) return m.end;
            const double c = r < 0 || r + 1 == int(path.size()) ? path[size_t(std::max(0, r))]
                                                               : path[size_t(r)] + (x - r) * (path[size_t(r) + 1] - path[size_t(r)]);
            return (column + cols.from + c) * kFrameSeconds;
        };
        for (size_t w = 0; w < m.words.size(); ++w) m.words[w] = {at(item.words[w].first), at(item.words[w].second)};
    }
}
