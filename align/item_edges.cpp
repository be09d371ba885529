// SPDX-License-Identifier: GPL-3.0-or-later
#include "align/item_edges.h"

#include "align/features.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMinPause = 0.08;       // shortest pause an item edge may snap to, seconds
constexpr double kSnapReach = 0.35;      // how far a mapped edge may lie from its pause
constexpr double kMaxCostRatio = 1.6;    // an item's path cost over the median: beyond, unsure
constexpr double kMinStretch = 0.45;     // the item's length in the recording over its synthetic
constexpr double kMaxStretch = 2.5;      // length, beyond which it is unsure

using Pause = PauseFinder::Pause;

struct Mapped {
    double start, end, cost, stretch, synthetic;
    bool startSnapped = false, endSnapped = false;
};

double distanceTo(const Pause& p, double t) { return t < p.start() ? p.start() - t : t > p.end() ? t - p.end() : 0.0; }

// The pause nearest to `t` within kSnapReach (the longer one on a tie), or null.
const Pause* nearestPause(const std::vector<Pause>& pauses, double t) {
    const Pause* best = nullptr;
    for (const Pause& p : pauses) {
        const double d = distanceTo(p, t);
        if (d > kSnapReach) continue;
        if (!best || d < distanceTo(*best, t) - 1e-9 || (d < distanceTo(*best, t) + 1e-9 && p.length() > best->length()))
            best = &p;
    }
    return best;
}

double median(std::vector<float> v) {
    if (v.empty()) return 1.0;
    std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
    return std::max(1e-6, double(v[v.size() / 2]));
}

// The path's first and last items are the least certain at their outer
// edges: audio not in the text may lie beside them, and the path may enter
// the item late or leave it early. Their outer edge goes to the pause that
// gives them the length the other items have relative to their synthetic one.
void fixOuterEdges(std::vector<Mapped>& items, const std::vector<Pause>& pauses) {
    if (items.size() < 3) return;
    std::vector<float> stretches;
    for (size_t k = 1; k + 1 < items.size(); ++k) stretches.push_back(float((items[k].end - items[k].start) / items[k].synthetic));
    const double typical = median(stretches);
    auto misfit = [&](double length, const Mapped& m) { return std::abs(std::log(std::max(1e-3, length) / (typical * m.synthetic))); };
    Mapped& first = items.front();
    for (const Pause& p : pauses)
        if (p.end() < first.end && misfit(first.end - p.end(), first) < misfit(first.end - first.start, first) - 0.1)
            first.start = p.end(), first.startSnapped = true;
    Mapped& last = items.back();
    for (const Pause& p : pauses)
        if (p.start() > last.start && misfit(p.start() - last.start, last) < misfit(last.end - last.start, last) - 0.1)
            last.end = p.start(), last.endSnapped = true;
}

// An item far shorter in the recording than spoken (a line the reader left
// out) holds at most a scrap of a neighbour: the scrap goes back to the
// neighbour it lies closer to, and the item keeps no length.
void returnScraps(std::vector<Mapped>& items) {
    for (size_t k = 1; k + 1 < items.size(); ++k) {
        Mapped& m = items[k];
        if (m.end <= m.start || (m.end - m.start) / m.synthetic >= kMinStretch) continue;
        if (m.start - items[k - 1].end <= items[k + 1].start - m.end)
            items[k - 1].end = m.end, m.start = m.end;
        else
            items[k + 1].start = m.start, m.end = m.start;
    }
}

}  // namespace

std::vector<AlignedItem> placeItems(const WarpPath& path, const std::vector<std::pair<long, long>>& spans,
                                    const PauseFinder& finder, double skip, int skipFrames) {
    const int rows = path.rows();
    auto rowOf = [&](long sample) { return std::clamp(int(sample / kHopSamples), 0, rows - 1); };
    auto timeOf = [&](int column) { return (column + skipFrames) * kFrameSeconds; };
    std::vector<Mapped> items;
    for (const auto& [from, to] : spans) {
        const int a = rowOf(from), b = std::max(a, rowOf(to) - 1);
        double cost = 0;
        for (int r = a; r <= b; ++r) cost += path.rowCost(r);
        const double start = timeOf(path.firstColumn(a)), end = timeOf(path.lastColumn(b) + 1);
        const double synthetic = std::max(kFrameSeconds, double(to - from) / kAnalysisRate);
        items.push_back({start, end, cost / (b - a + 1), (end - start) / synthetic, synthetic});
    }
    // Each item's mean distance on the path against the typical item's.
    std::vector<float> costs;
    for (const Mapped& m : items) costs.push_back(float(m.cost));
    const double typical = median(costs);
    for (Mapped& m : items) m.cost /= typical;

    std::vector<Pause> pauses;
    for (const Pause& p : finder.pauses(kMinPause))
        if (p.end() > skip) pauses.emplace_back(std::max(p.start(), skip), p.end());
    if (!items.empty()) {
        if (const Pause* p = nearestPause(pauses, items.front().start)) items.front().start = p->end(), items.front().startSnapped = true;
        if (const Pause* p = nearestPause(pauses, items.back().end)) items.back().end = p->start(), items.back().endSnapped = true;
    }
    for (size_t k = 0; k + 1 < items.size(); ++k) {
        Mapped &left = items[k], &right = items[k + 1];
        const Pause* p = nearestPause(pauses, 0.5 * (left.end + right.start));
        if (!p) continue;
        left.end = p->start(), left.endSnapped = true;
        right.start = p->end(), right.startSnapped = true;
    }

    fixOuterEdges(items, pauses);
    returnScraps(items);

    std::vector<AlignedItem> out;
    for (const Mapped& m : items) {
        const bool sure = m.startSnapped && m.endSnapped && m.cost <= kMaxCostRatio && m.end > m.start + 0.05 &&
                          m.stretch >= kMinStretch && m.stretch <= kMaxStretch;
        const double confidence = std::clamp(2.0 - m.cost, 0.0, 1.0) * (m.startSnapped && m.endSnapped ? 1.0 : 0.5);
        out.emplace_back(m.start, std::max(m.start, m.end), confidence, sure);
    }
    return out;
}
