// SPDX-License-Identifier: GPL-3.0-or-later
#include "align/item_recheck.h"

#include "align/span_distance.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace {

constexpr int kCohort = 3;           // the items on each side whose speech a stretch is also matched with
constexpr double kBeside = 1.5;      // how far from an item extra speech may end or start, seconds
constexpr double kMaxMisfit = 0.4;   // a stretch is at most this far off the item's length (log)
constexpr double kMinLength = 0.05;  // the shortest stretch an item is moved to, seconds
// An item moves when it fits the other stretch this much better, relative to
// its neighbours, than its own. On the benchmark's readings every item placed
// in a sentence added scored 0.87-0.94, every item rightly placed 0.98 or more.
constexpr double kClearlyBetter = 0.96;
// A step off the diagonal of the path between two stretches costs this share
// of the distance between unrelated frames more, so that speech unlike an
// item's cannot match it by lingering on the few frames that do.
constexpr float kStepCost = 1.0f;

using Pause = PauseFinder::Pause;

struct Stretch {
    double from, to;
};

bool overlaps(Stretch s, const std::vector<ExtraSpeech>& spans) {
    return std::any_of(spans.begin(), spans.end(), [&](const ExtraSpeech& x) { return s.from < x.end && s.to > x.start; });
}

}  // namespace

void recheckBesideExtra(std::vector<ItemMatch>& window, size_t count, const std::vector<SynthItem>& spoken,
                        const FeatureMatrix& synth, const FeatureMatrix& real, int column,
                        const std::vector<Pause>& pauses, std::vector<ExtraSpeech>& extra,
                        const std::vector<ExtraSpeech>& keepOff) {
    if (extra.empty() || synth.rows() == 0 || real.rows() == 0) return;
    constexpr float kNoLimit = std::numeric_limits<float>::infinity();
    const float stepCost = kStepCost * typicalDistance(synth, real, 4096, 7);
    const double pace = readingPace(window);
    auto rowsOf = [&](size_t k) {
        return FrameSpan{std::clamp(int(spoken[k].from / kHopSamples), 0, synth.rows()),
                         std::clamp(int(spoken[k].to / kHopSamples), 0, synth.rows())};
    };
    auto colsOf = [&](Stretch s) {
        return FrameSpan{std::clamp(int(std::lround(s.from / kFrameSeconds)) - column, 0, real.rows()),
                         std::clamp(int(std::lround(s.to / kFrameSeconds)) - column, 0, real.rows())};
    };
    // Item k's distance to the stretch over its neighbours' mean distance to it.
    auto score = [&](size_t k, Stretch s) {
        const FrameSpan cols = colsOf(s);
        double others = 0;
        int n = 0;
        for (size_t j = size_t(std::max<long>(0, long(k) - kCohort)); j < std::min(spoken.size(), k + kCohort + 1); ++j)
            if (j != k) others += spanDistance(synth, rowsOf(j), real, cols, kNoLimit, stepCost), ++n;
        return n ? spanDistance(synth, rowsOf(k), real, cols, kNoLimit, stepCost) * n / others : 1.0;
    };
    // The item moves to the stretch, its words to where its synthetic speech's
    // path through the stretch puts them (spread evenly if it is too long to find).
    auto placeWords = [&](ItemMatch& m, const SynthItem& item, FrameSpan rows, Stretch s) {
        const FrameSpan cols = colsOf(s);
        const std::vector<int> path = spanPath(synth, rows, real, cols, stepCost);
        auto at = [&](long sample) {
            const int row = int(sample / kHopSamples) - rows.from;
            if (path.empty()) return s.from + (s.to - s.from) * double(sample - item.from) / double(std::max(1L, item.to - item.from));
            return row >= int(path.size()) ? s.to : (column + cols.from + path[size_t(std::max(0, row))]) * kFrameSeconds;
        };
        for (size_t w = 0; w < m.words.size() && w < item.words.size(); ++w)
            m.words[w] = {at(item.words[w].first), at(item.words[w].second)};
        m.start = s.from, m.end = s.to;
    };
    for (size_t k = 0; k < count; ++k) {
        ItemMatch& m = window[k];
        if (!m.found) continue;
        const double want = pace * m.synthetic;  // the item's length at the reader's pace
        auto fits = [&](Stretch s) {
            return s.to - s.from >= kMinLength && std::abs(std::log((s.to - s.from) / want)) <= kMaxMisfit &&
                   !overlaps(s, keepOff);
        };
        for (ExtraSpeech& x : extra) {
            const double previous = k > 0 ? window[k - 1].end : -1e300, next = k + 1 < window.size() ? window[k + 1].start : 1e300;
            const bool before = x.end <= m.start + 0.05 && m.start - x.end < kBeside && x.start >= previous - 0.05;
            const bool after = x.start >= m.end - 0.05 && x.start - m.end < kBeside && x.end <= next + 0.05;
            if (!before && !after) continue;
            // The stretches of the extra speech between its edges and the
            // pauses in it or beyond it: the stall that found it may have
            // ended anywhere in the item's own reading.
            std::vector<double> starts{x.start}, ends{x.end};
            const double low = std::max(x.start - want, previous), high = std::min(x.end + want, next);
            auto p = std::lower_bound(pauses.begin(), pauses.end(), low, [](const Pause& q, double t) { return q.end() < t; });
            for (; p != pauses.end() && p->start() <= high; ++p) {
                if (p->end() < x.end) starts.push_back(p->end());
                if (p->start() > x.start) ends.push_back(p->start());
            }
            const Stretch own{m.start, m.end};
            double best = kClearlyBetter * score(k, own);
            std::optional<Stretch> to;
            for (double a : starts)
                for (double b : ends)
                    if (const Stretch s{a, b}; fits(s))
                        if (const double v = score(k, s); v < best) best = v, to = s;
            if (!to) break;
            // The item and its words move; what it leaves is extra speech. The
            // rest of the extra speech, beyond the item, is found again when
            // the items are placed, if it is speech.
            placeWords(m, spoken[k], rowsOf(k), *to);
            x = before ? ExtraSpeech{to->to, own.to} : ExtraSpeech{own.from, to->from};
            break;
        }
    }
}
