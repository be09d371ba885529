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
// its neighbours, than its own. On the benchmark's readings every item moved
// out of speech not in the text scored 0.65-0.93 there; no item rightly placed
// scored under 1.12 anywhere but its own reading. An item not found takes a
// neighbour's stretch when it lies this share of the neighbour's distance
// from it: 0.86 for the one wrong pair there, 1.13 or more for the others.
constexpr double kClearlyBetter = 0.96;
// An item with an edge inside running speech, this far from any pause, was
// cut out of something longer: a stretch between two pauses elsewhere takes
// it unless it fits this much worse. So does such a stretch that neither an
// item nor extra speech holds: speech the path left to no one. On the
// benchmark's readings no item rightly placed lay more than 0.28 s from a
// pause, and items cut out fitted their own readings up to 1.45 times worse
// than where they were cut out; of three stretches left to no one beside an
// item, the item's own readings fitted 1.09 and 1.10 times worse, another
// line's 1.92 times.
constexpr double kInsideSpeech = 0.3;
constexpr double kCutOutWorse = 1.5;
// A step off the diagonal of the path between two stretches costs this share
// of the distance between unrelated frames more, so that speech unlike an
// item's cannot match it by lingering on the few frames that do.
constexpr float kStepCost = 1.0f;

using Pause = PauseFinder::Pause;

struct Stretch {
    double from, to;
};

// How far `t` lies from the nearest pause (0 inside one).
double fromPause(double t, const std::vector<Pause>& pauses) {
    auto p = std::lower_bound(pauses.begin(), pauses.end(), t, [](const Pause& q, double u) { return q.end() < u; });
    double d = std::numeric_limits<double>::infinity();
    if (p != pauses.end()) d = std::max(0.0, p->start() - t);
    if (p != pauses.begin()) d = std::min(d, t - std::prev(p)->end());
    return d;
}

bool overlaps(Stretch s, const std::vector<ExtraSpeech>& spans) {
    return std::any_of(spans.begin(), spans.end(), [&](const ExtraSpeech& x) { return s.from < x.end && s.to > x.start; });
}

}  // namespace

void recheckItems(std::vector<ItemMatch>& window, size_t count, const std::vector<SynthItem>& spoken,
                  const FeatureMatrix& synth, const FeatureMatrix& real, int column, const std::vector<Pause>& pauses,
                  std::vector<ExtraSpeech>& extra, const std::vector<ExtraSpeech>& keepOff) {
    // Nothing to look at again in a window read as the text has it.
    const bool allFound = std::all_of(window.begin(), window.begin() + long(count), [](const ItemMatch& m) { return m.found; });
    if ((extra.empty() && allFound) || synth.rows() == 0 || real.rows() == 0) return;
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
    // Each item's synthetic speech, centred, made when first needed.
    std::vector<std::optional<FeatureMatrix>> said(spoken.size());
    auto saidOf = [&](size_t k) -> const FeatureMatrix& {
        if (!said[k]) said[k] = centred(synth, rowsOf(k));
        return *said[k];
    };
    // How far item k's synthetic speech lies from `heard`, a stretch centred.
    auto distance = [&](size_t k, const FeatureMatrix& heard) {
        return spanDistance(saidOf(k), {0, saidOf(k).rows()}, heard, {0, heard.rows()}, kNoLimit, stepCost);
    };
    // Item k's distance to the stretch over its neighbours' mean distance to it.
    auto score = [&](size_t k, Stretch s) {
        const FeatureMatrix heard = centred(real, colsOf(s));
        double others = 0;
        int n = 0;
        for (size_t j = size_t(std::max<long>(0, long(k) - kCohort)); j < std::min(spoken.size(), k + kCohort + 1); ++j)
            if (j != k) others += distance(j, heard), ++n;
        return n ? distance(k, heard) * n / others : 1.0;
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
    // An item not found takes the stretch of a neighbour beside it that it
    // fits clearly better than the neighbour does, and the neighbour is not
    // found: the path chose the wrong one of two lines, one left out.
    for (size_t k = 0; k < count; ++k) {
        if (window[k].found) continue;
        for (const size_t j : {k - 1, k + 1}) {
            if (j >= count || !window[j].found) continue;
            const Stretch s{window[j].start, window[j].end};
            if (std::abs(std::log((s.to - s.from) / (pace * window[k].synthetic))) > kMaxMisfit) continue;
            const FeatureMatrix heard = centred(real, colsOf(s));
            const double ratio = distance(k, heard) / distance(j, heard);
            if (!(ratio < kClearlyBetter)) continue;
            placeWords(window[k], spoken[k], rowsOf(k), s);
            window[k].found = true, window[k].cost = window[j].cost * ratio;
            window[j].found = false;
            break;
        }
    }
    for (size_t k = 0; k < count; ++k) {
        ItemMatch& m = window[k];
        if (!m.found) continue;
        const double previous = k > 0 ? window[k - 1].end : -1e300, next = k + 1 < window.size() ? window[k + 1].start : 1e300;
        const Stretch own{m.start, m.end};
        std::vector<ExtraSpeech*> beside;
        for (ExtraSpeech& x : extra)
            if ((x.end <= own.from + 0.05 && own.from - x.end < kBeside && x.start >= previous - 0.05) ||
                (x.start >= own.to - 0.05 && x.start - own.to < kBeside && x.end <= next + 0.05))
                beside.push_back(&x);
        if (beside.empty()) continue;
        const double want = pace * m.synthetic;  // the item's length at the reader's pace
        // Not the item's own stretch with more speech beside it: that is the
        // item and extra speech, never the item somewhere else.
        auto fits = [&](Stretch s) {
            const double length = s.to - s.from;
            return !(s.from <= own.from + 0.05 && s.to >= own.to - 0.05) && length >= kMinLength &&
                   std::abs(std::log(length / want)) <= kMaxMisfit && !overlaps(s, keepOff);
        };
        const double ownScore = score(k, own);
        const bool cutOut = std::max(fromPause(own.from, pauses), fromPause(own.to, pauses)) > kInsideSpeech;
        // The score a stretch must beat to take the item.
        auto bar = [&](Stretch s) {
            const bool apart = s.to <= own.from || s.from >= own.to;
            const bool whole = fromPause(s.from, pauses) == 0 && fromPause(s.to, pauses) == 0;
            return (apart && whole && (cutOut || !overlaps(s, extra)) ? kCutOutWorse : kClearlyBetter) * ownScore;
        };
        double best = std::numeric_limits<double>::infinity();
        std::optional<Stretch> to;
        ExtraSpeech* left = nullptr;  // the extra speech the item moves into
        for (ExtraSpeech* x : beside) {
            // The stretches between pauses and the item's and the extra
            // speech's edges, around both: the path may have put the item in
            // the extra speech, run it on into that, or ended the extra
            // speech inside the item's reading.
            std::vector<double> starts{x->start, own.from}, ends{x->end, own.to};
            const double low = std::max(std::min(x->start, own.from) - want - kBeside, previous),
                         high = std::min(std::max(x->end, own.to) + want + kBeside, next);
            auto p = std::lower_bound(pauses.begin(), pauses.end(), low, [](const Pause& q, double t) { return q.end() < t; });
            for (; p != pauses.end() && p->start() <= high; ++p) {
                if (p->end() < high) starts.push_back(p->end());
                if (p->start() > low) ends.push_back(p->start());
            }
            for (std::vector<double>* edges : {&starts, &ends}) {
                std::sort(edges->begin(), edges->end());
                edges->erase(std::unique(edges->begin(), edges->end()), edges->end());
            }
            for (double a : starts)
                for (double b : ends)
                    if (const Stretch s{a, b}; fits(s))
                        if (const double v = score(k, s); v < best && v < bar(s)) best = v, to = s, left = x;
        }
        if (!to) continue;
        // The item and its words move. The extra speech and the item's old
        // stretch, less the new one on the side the old one lay, are extra
        // speech; the rest, if speech, is found again when the items are placed.
        placeWords(m, spoken[k], rowsOf(k), *to);
        const double from = std::min(left->start, own.from), until = std::max(left->end, own.to);
        *left = to->to < own.to - 0.05 ? ExtraSpeech{std::max(to->to, from), until} : ExtraSpeech{from, std::min(to->from, until)};
    }
}
