// SPDX-License-Identifier: GPL-3.0-or-later
#include "align/word_path.h"

#include "align/span_distance.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

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

// The best path from the first frames of `a` and `b` to their last, within
// kReach columns of `guide` (a column of `b` for each row of `a`), steps
// weighed as by spanPath(): for each row, the first column it meets.
std::vector<int> bandPath(const FeatureMatrix& a, const FeatureMatrix& b, const std::vector<int>& guide, float stepCost) {
    const int n = a.rows(), m = b.rows();
    std::vector<int> lo(static_cast<size_t>(n)), hi(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) lo[size_t(i)] = std::max(0, guide[size_t(i)] - kReach), hi[size_t(i)] = std::min(m - 1, guide[size_t(i)] + kReach);
    lo[0] = 0, hi[size_t(n - 1)] = m - 1;
    for (int i = 1; i < n; ++i) lo[size_t(i)] = std::max(lo[size_t(i)], lo[size_t(i - 1)]);  // the band only moves on
    for (int i = n - 2; i >= 0; --i) hi[size_t(i)] = std::min(hi[size_t(i)], hi[size_t(i + 1)]);
    for (int i = 1; i < n; ++i) hi[size_t(i)] = std::max(hi[size_t(i)], lo[size_t(i)]), lo[size_t(i)] = std::min(lo[size_t(i)], hi[size_t(i - 1)] + 1);
    std::vector<size_t> offset(size_t(n) + 1, 0);
    for (int i = 0; i < n; ++i) offset[size_t(i) + 1] = offset[size_t(i)] + size_t(hi[size_t(i)] - lo[size_t(i)] + 1);
    enum Step : uint8_t { Diagonal, Down, Right };  // down: the next row of a; right: the next column of b
    std::vector<uint8_t> steps(offset.back());
    constexpr float kInf = std::numeric_limits<float>::infinity();
    std::vector<float> prev, cur;
    for (int i = 0; i < n; ++i) {
        cur.assign(size_t(hi[size_t(i)] - lo[size_t(i)] + 1), kInf);
        auto before = [&](int j) { return i > 0 && j >= lo[size_t(i - 1)] && j <= hi[size_t(i - 1)] ? prev[size_t(j - lo[size_t(i - 1)])] : kInf; };
        for (int j = lo[size_t(i)]; j <= hi[size_t(i)]; ++j) {
            const float c = frameDistance(a.row(i), b.row(j), a.dims());
            float best = i == 0 && j == 0 ? c : kInf;
            Step step = Diagonal;
            if (before(j - 1) + 2 * c < best) best = before(j - 1) + 2 * c, step = Diagonal;
            if (before(j) + c + stepCost < best) best = before(j) + c + stepCost, step = Down;
            if (j > lo[size_t(i)] && cur[size_t(j - 1 - lo[size_t(i)])] + c + stepCost < best)
                best = cur[size_t(j - 1 - lo[size_t(i)])] + c + stepCost, step = Right;
            cur[size_t(j - lo[size_t(i)])] = best;
            steps[offset[size_t(i)] + size_t(j - lo[size_t(i)])] = step;
        }
        std::swap(prev, cur);
    }
    std::vector<int> first(size_t(n), 0);
    for (int i = n - 1, j = m - 1; i >= 0;) {
        first[size_t(i)] = j;
        if (i == 0 && j == 0) break;
        const uint8_t step = steps[offset[size_t(i)] + size_t(j - lo[size_t(i)])];
        if (step != Right) --i;
        if (step != Down) --j;
    }
    return first;
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
        const std::vector<int> path = bandPath(said, heard, guideOf(knots, said.rows(), heard.rows()), stepCost);
        auto at = [&](long sample) {
            const int r = int(sample / kHopSamples) - rows.from;
            return r >= int(path.size()) ? m.end : (column + cols.from + path[size_t(std::max(0, r))]) * kFrameSeconds;
        };
        for (size_t w = 0; w < m.words.size(); ++w) m.words[w] = {at(item.words[w].first), at(item.words[w].second)};
    }
}
