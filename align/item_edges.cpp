// SPDX-License-Identifier: GPL-3.0-or-later
#include "align/item_edges.h"

#include "align/features.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace {

constexpr double kSnapReach = 0.35;      // how far a mapped edge may lie from its pause
constexpr double kMaxCostRatio = 2.2;    // an item's path cost over the median: beyond, unsure
constexpr double kMinStretch = 0.45;     // the item's length in the recording over its synthetic
constexpr double kMaxStretch = 2.5;      // length, beyond which it is unsure (below the first: not found);
                                         // the first is taken of a fast reader's pace
constexpr double kMinSpeechShare = 0.3;  // speech in the item's stretch over its synthetic sound: below, not found
constexpr double kMinItem = 0.05;        // an item shorter than this in the recording is not found
constexpr double kMinWordPause = 0.12;   // shortest pause a word edge may snap to (a stop's closure is shorter)
constexpr double kMinWord = 0.04;        // the shortest a word is made, when its neighbours allow
constexpr double kWordReach = 0.06;      // how far a mapped word edge may lie from its pause
constexpr int kStallFrames = 50;         // a stall is judged over this many recording frames (0.5 s)
constexpr double kStallAdvance = 0.15;   // synthetic frames per recording frame below which the path stalls
constexpr double kMinExtra = 1.0;        // the shortest speech not in the text that is reported, seconds
constexpr double kMinExtraLoud = 0.5;    // the share of it that must be louder than the pauses
constexpr double kMaxMisfit = 0.4;       // an item moved out of extra speech is at most this far off its length (log)
// Speech between the pauses by two neighbouring items' edges that is longer
// than this is neither item's. On the benchmark's readings the first sound of
// an item before a stop's closure was at most 0.18 s; a short line's first
// reading, read again after, 0.44 s.
constexpr double kMinBetween = 0.3;

using Pause = PauseFinder::Pause;

struct Mapped {
    double start, end, cost, stretch, synthetic;
    bool startSnapped = false, endSnapped = false;
    size_t index = 0;
};

double distanceTo(const Pause& p, double t) { return t < p.start() ? p.start() - t : t > p.end() ? t - p.end() : 0.0; }

// The pause nearest to `t` within `reach` (the longer one on a tie), or null.
// `pauses` is in order.
const Pause* nearestPause(const std::vector<Pause>& pauses, double t, double reach = kSnapReach) {
    const Pause* best = nullptr;
    auto p = std::lower_bound(pauses.begin(), pauses.end(), t - reach, [](const Pause& q, double v) { return q.end() < v; });
    for (; p != pauses.end() && p->start() <= t + reach; ++p) {
        const double d = distanceTo(*p, t);
        if (d > reach) continue;
        if (!best || d < distanceTo(*best, t) - 1e-9 || (d < distanceTo(*best, t) + 1e-9 && p->length() > best->length()))
            best = &*p;
    }
    return best;
}

// The nearest pause within reach that holds `t` or lies after it (before it
// unless `later`), else nearestPause(): an item's edge toward speech not in
// the text goes there, leaving no speech between the two to neither.
const Pause* pauseToward(const std::vector<Pause>& pauses, double t, bool later) {
    const Pause* best = nullptr;
    for (auto p = std::lower_bound(pauses.begin(), pauses.end(), t - kSnapReach, [](const Pause& q, double v) { return q.end() < v; });
         p != pauses.end() && p->start() <= t + kSnapReach; ++p)
        if ((later ? p->end() >= t : p->start() <= t) && distanceTo(*p, t) <= kSnapReach && (!best || distanceTo(*p, t) < distanceTo(*best, t)))
            best = &*p;
    return best ? best : nearestPause(pauses, t);
}

// How long the recording is loud in [from, to), seconds.
double loudTime(const PauseFinder& finder, double from, double to) {
    int loud = 0;
    for (int b = int(from / kFrameSeconds); b < int(to / kFrameSeconds); ++b) loud += finder.isLoud(b);
    return loud * kFrameSeconds;
}

double median(std::vector<float> v) {
    if (v.empty()) return 1.0;
    std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
    return std::max(1e-6, double(v[v.size() / 2]));
}

// The path's first and last items are the least certain at their outer
// edges: audio not in the text may lie beside them, and the path may enter
// the item late or leave it early. Their outer edge goes to the pause (after
// `low`, before `high`) that gives them the length the other items have
// relative to their synthetic one.
void fixOuterEdges(std::vector<Mapped>& items, const std::vector<Pause>& pauses, double low, double high) {
    if (items.size() < 3) return;
    std::vector<float> stretches;
    for (size_t k = 1; k + 1 < items.size(); ++k) stretches.push_back(float((items[k].end - items[k].start) / items[k].synthetic));
    const double typical = median(stretches);
    auto misfit = [&](double length, const Mapped& m) { return std::abs(std::log(std::max(1e-3, length) / (typical * m.synthetic))); };
    Mapped& first = items.front();
    for (const Pause& p : pauses)
        if (p.end() < first.end && p.end() >= low && misfit(first.end - p.end(), first) < misfit(first.end - first.start, first) - 0.1)
            first.start = p.end(), first.startSnapped = true;
    Mapped& last = items.back();
    for (const Pause& p : pauses)
        if (p.start() > last.start && p.start() <= high && misfit(p.start() - last.start, last) < misfit(last.end - last.start, last) - 0.1)
            last.end = p.start(), last.endSnapped = true;
}

// From the first to the last loud frame of frames [from, to), when that
// lasts a second or more and is mostly loud: speech not in the text.
std::optional<ExtraSpeech> extraSpeechIn(const PauseFinder& finder, int from, int to) {
    int first = -1, last = -1, loud = 0;
    for (int k = from; k < to; ++k)
        if (finder.isLoud(k)) first = first < 0 ? k : first, last = k, ++loud;
    if (first < 0 || (last + 1 - first) * kFrameSeconds < kMinExtra || loud < kMinExtraLoud * (last + 1 - first)) return std::nullopt;
    return ExtraSpeech{first * kFrameSeconds, (last + 1) * kFrameSeconds};
}

}  // namespace

double readingPace(const std::vector<ItemMatch>& matches) {
    std::vector<float> stretches;
    for (const ItemMatch& m : matches)
        if (m.found) stretches.push_back(float((m.end - m.start) / m.synthetic));
    return median(stretches);
}

std::vector<ExtraSpeech> findExtraSpeech(const WarpPath& path, const PauseFinder& finder, int skipFrames, int untilColumn) {
    const int cols = std::min(path.columns(), untilColumn);
    std::vector<int> marks(size_t(cols) + 1, 0);  // +1 where a stalled stretch begins, -1 past its end
    for (int c = 0; c < cols; ++c)
        if (path.rowAt(c) < 0) ++marks[size_t(c)], --marks[size_t(c) + 1];
    for (int c = 0; c + kStallFrames < cols; ++c) {
        const int r0 = path.rowAt(c), r1 = path.rowAt(c + kStallFrames);
        if (r0 >= 0 && r1 >= 0 && r1 - r0 < kStallAdvance * kStallFrames) ++marks[size_t(c)], --marks[size_t(c + kStallFrames) + 1];
    }
    std::vector<ExtraSpeech> out;
    std::vector<bool> stalled(static_cast<size_t>(cols));
    for (int c = 0, depth = 0; c < cols; ++c) stalled[size_t(c)] = (depth += marks[size_t(c)]) > 0;
    for (int c = 0; c < cols;) {
        if (!stalled[size_t(c)]) {
            ++c;
            continue;
        }
        int e = c;
        while (e < cols && stalled[size_t(e)]) ++e;
        // The stretch is judged over half a second: it starts and ends where the path stands still.
        auto still = [&](int k) { return path.rowAt(k) < 0 || (k + 1 < cols && path.rowAt(k + 1) == path.rowAt(k)) || (k > 0 && path.rowAt(k - 1) == path.rowAt(k)); };
        int from = c, to = e;
        while (from < to && !still(from)) ++from;
        while (to > from && !still(to - 1)) --to;
        if (const auto x = extraSpeechIn(finder, from + skipFrames, to + skipFrames)) out.push_back(*x);
        c = e;
    }
    return out;
}

namespace {

// Each word's mapped stretch within the item, its edges moved to the short
// pauses between words where there are any.
std::vector<WordTime> placeWords(const std::vector<WordTime>& mapped, const Mapped& item, const std::vector<Pause>& pauses) {
    std::vector<WordTime> w = mapped;
    if (w.empty()) return w;
    // Words the path put past an item's edge (into the pause beside it) are
    // drawn in, together with as much of the item as they stick out, not
    // squeezed onto the edge.
    const double mid = 0.5 * (item.start + item.end);
    const double from = std::min(item.start, w.front().start), to = std::max(item.end, w.back().end);
    const double lowKnot = std::min(mid, 2 * item.start - from), highKnot = std::max(mid, 2 * item.end - to);
    auto drawIn = [&](double t) {
        if (t < lowKnot) return lowKnot - (lowKnot - t) * (lowKnot - item.start) / (lowKnot - from);
        if (t > highKnot) return highKnot + (t - highKnot) * (item.end - highKnot) / (to - highKnot);
        return t;
    };
    for (WordTime& t : w) t = {drawIn(t.start), drawIn(t.end)};
    for (WordTime& t : w) t.start = std::clamp(t.start, item.start, item.end), t.end = std::clamp(t.end, item.start, item.end);
    w.front().start = item.start, w.back().end = item.end;
    for (size_t k = 0; k + 1 < w.size(); ++k) {
        WordTime &left = w[k], &right = w[k + 1];
        if (right.start < left.end) left.end = right.start = 0.5 * (left.end + right.start);
        const Pause* p = nearestPause(pauses, 0.5 * (left.end + right.start), kWordReach + 0.5 * (right.start - left.end));
        if (p && p->start() > left.start && p->end() < right.end && p->start() > item.start && p->end() < item.end)
            left.end = p->start(), right.start = p->end();
    }
    for (size_t k = 0; k < w.size(); ++k) {
        if (k > 0) w[k].start = std::max(w[k].start, w[k - 1].end);
        w[k].end = std::min(item.end, std::max(w[k].end, w[k].start));
    }
    // No word without length: one squeezed shorter than kMinWord takes the
    // rest from the longer of its neighbours, when that one can spare it.
    auto length = [&](size_t k) { return w[k].end - w[k].start; };
    for (size_t k = 0; k < w.size(); ++k) {
        const double lack = kMinWord - length(k);
        if (lack <= 0) continue;
        const bool next = k + 1 < w.size() && (k == 0 || length(k + 1) > length(k - 1));
        if (next && length(k + 1) > kMinWord + lack) w[k].end += lack, w[k + 1].start = std::max(w[k + 1].start, w[k].end);
        else if (!next && k > 0 && length(k - 1) > kMinWord + lack) w[k].start -= lack, w[k - 1].end = std::min(w[k - 1].end, w[k].start);
    }
    return w;
}

}  // namespace

std::vector<ItemMatch> matchItems(const WarpPath& path, const std::vector<SynthItem>& spoken, size_t count,
                                  const PauseFinder& finder, int skipFrames) {
    const int rows = path.rows();
    auto rowOf = [&](long sample) { return std::clamp(int(sample / kHopSamples), 0, rows - 1); };
    auto timeOf = [&](int column) { return (column + skipFrames) * kFrameSeconds; };
    auto mapSpan = [&](long from, long to) {
        const int a = rowOf(from), b = std::max(a, rowOf(to) - 1);
        return WordTime{timeOf(path.firstColumn(a)), timeOf(path.lastColumn(b) + 1)};
    };
    // Each item mapped; those whose speech maps onto next to nothing were not read.
    std::vector<ItemMatch> out;
    for (size_t i = 0; i < count && i < spoken.size(); ++i) {
        const SynthItem& s = spoken[i];
        const int a = rowOf(s.from), b = std::max(a, rowOf(s.to) - 1);
        double cost = 0;
        for (int r = a; r <= b; ++r) cost += path.rowCost(r);
        const WordTime span = mapSpan(s.from, s.to);
        const double synthetic = std::max(kFrameSeconds, double(s.to - s.from) / kAnalysisRate);
        double sound = 0;
        for (const auto& [ws, we] : s.words) sound += double(we - ws) / kAnalysisRate;
        ItemMatch m{span.start, span.end, cost / (b - a + 1), synthetic,
                    !path.passedOver((a + b) / 2) && loudTime(finder, span.start, span.end) >= kMinSpeechShare * std::max(sound, kFrameSeconds), {}};
        for (const auto& [ws, we] : s.words) m.words.push_back(mapSpan(ws, we));
        out.push_back(std::move(m));
    }
    // Nor were those squeezed far shorter than the reader's pace makes the others.
    const double least = kMinStretch * std::min(1.0, readingPace(out));
    for (ItemMatch& m : out) m.found = m.found && (m.end - m.start) / m.synthetic >= least;
    // An item passed over while the speech between its neighbours is left
    // uncovered was read in a voice too unlike the synthetic one to match:
    // it keeps that stretch, unsure, its words spread as they were spoken.
    for (size_t i = 1; i + 1 < out.size(); ++i) {
        ItemMatch& m = out[i];
        const SynthItem& s = spoken[i];
        if (m.found || !path.passedOver((rowOf(s.from) + rowOf(s.to)) / 2) || !out[i - 1].found || !out[i + 1].found) continue;
        const double from = out[i - 1].end, to = out[i + 1].start, sound = double(s.to - s.from) / kAnalysisRate;
        if (to - from < least * sound || loudTime(finder, from, to) < kMinSpeechShare * sound) continue;
        m.start = from, m.end = to, m.found = true, m.cost = std::numeric_limits<double>::infinity();
        auto at = [&](long sample) { return from + (to - from) * double(sample - s.from) / double(std::max(1L, s.to - s.from)); };
        for (size_t k = 0; k < s.words.size(); ++k) m.words[k] = {at(s.words[k].first), at(s.words[k].second)};
    }
    return out;
}

std::vector<AlignedItem> placeItems(const std::vector<ItemMatch>& matches, const PauseFinder& finder,
                                    const std::vector<Pause>& allPauses, double skip, std::vector<ExtraSpeech>& extra) {
    std::vector<Mapped> found;
    for (size_t i = 0; i < matches.size(); ++i) {
        const ItemMatch& s = matches[i];
        if (!s.found) continue;
        Mapped m{s.start, s.end, s.cost, (s.end - s.start) / s.synthetic, s.synthetic};
        m.index = i;
        found.push_back(m);
    }
    // Each item's mean distance on the path against the typical item's.
    std::vector<float> costs;
    for (const Mapped& m : found) costs.push_back(float(m.cost));
    const double typical = median(costs);
    for (Mapped& m : found) m.cost /= typical;

    // Speech not in the text starts after a pause: where the path stalled
    // on an item's last word, that word goes back to the item.
    for (ExtraSpeech& x : extra) {
        const auto p = std::upper_bound(allPauses.begin(), allPauses.end(), x.start, [](double t, const Pause& q) { return t < q.start(); });
        if (p != allPauses.end() && p->start() < x.start + kSnapReach && p->end() < x.end) x.start = p->end();
    }
    // A stall well inside an item: the path followed the item's first reading
    // into a second one (a line read twice). The item keeps the first reading,
    // up to the longest pause in the stall; the rest is the second.
    for (Mapped& m : found)
        for (ExtraSpeech& x : extra) {
            if (x.start < m.start + 0.1 || x.end > m.end - 0.1) continue;
            const Pause* longest = nullptr;
            for (const Pause& p : allPauses)
                if (p.start() > x.start - kSnapReach && p.end() < x.end && (!longest || p.length() > longest->length())) longest = &p;
            if (!longest) continue;
            x = {longest->end(), m.end};
            m.end = longest->start();
        }
    // No item keeps speech that is not in the text.
    auto cutExtra = [&](Mapped& m) {
        for (const ExtraSpeech& x : extra)
            if (m.start < x.end && m.end > x.start) {
                if (m.start < x.start) m.end = std::min(m.end, x.start);
                else m.start = std::max(m.start, x.end);
            }
    };
    for (Mapped& m : found) cutExtra(m);

    // An item beside a sentence not in the text may have been matched to that
    // sentence, its own reading left over as extra speech: when the extra
    // speech beside it fits the item's length far better than its own stretch
    // does, they change places (its words moved along, scaled).
    std::vector<std::vector<WordTime>> words(matches.size());
    for (const Mapped& m : found) words[m.index] = matches[m.index].words;
    std::vector<float> stretches;
    for (const Mapped& m : found) stretches.push_back(float((m.end - m.start) / m.synthetic));
    const double typicalStretch = median(stretches);
    auto misfit = [&](double length, const Mapped& m) { return std::abs(std::log(std::max(1e-3, length) / (typicalStretch * m.synthetic))); };
    // An item moved to [start, end), its words scaled along.
    auto moveTo = [&](Mapped& m, double start, double end) {
        const double scale = (end - start) / std::max(kFrameSeconds, m.end - m.start);
        for (WordTime& w : words[m.index]) w = {start + (w.start - m.start) * scale, start + (w.end - m.start) * scale};
        m.start = start, m.end = end;
        m.stretch = (m.end - m.start) / m.synthetic;
    };
    for (size_t k = 0; k < found.size(); ++k) {
        Mapped& m = found[k];
        const double before = k > 0 ? found[k - 1].end : -1e300, after = k + 1 < found.size() ? found[k + 1].start : 1e300;
        for (ExtraSpeech& x : extra) {
            const bool beside = (x.start >= m.end - 0.05 && x.start - m.end < 1.5 && x.end <= after + 0.05) ||
                                (x.end <= m.start + 0.05 && m.start - x.end < 1.5 && x.start >= before - 0.05);
            if (!beside || misfit(x.end - x.start, m) >= misfit(m.end - m.start, m) - 0.4) continue;
            const ExtraSpeech own{m.start, m.end};
            moveTo(m, x.start, x.end);
            x = own;
            break;
        }
    }
    // An item with speech not in the text just before and just after it was
    // matched into that speech (a short line before a line read twice or a
    // sentence added): its own reading starts the speech before it. It takes
    // from there to the pause that best gives it its length; the rest is extra.
    for (Mapped& m : found) {
        const auto before = std::find_if(extra.begin(), extra.end(), [&](const ExtraSpeech& x) {
            return x.end <= m.start + 0.05 && x.end >= m.start - kSnapReach;
        });
        const auto after = std::find_if(extra.begin(), extra.end(), [&](const ExtraSpeech& x) {
            return x.start >= m.end - 0.05 && x.start <= m.end + kSnapReach;
        });
        if (before == extra.end() || after == extra.end()) continue;
        const Pause* end = nullptr;
        for (const Pause& p : allPauses)
            if (p.start() > before->start + kMinItem && p.start() < after->end &&
                (!end || misfit(p.start() - before->start, m) < misfit(end->start() - before->start, m)))
                end = &p;
        if (!end || misfit(end->start() - before->start, m) > kMaxMisfit) continue;
        moveTo(m, before->start, end->start());
        *before = *after = {end->end(), after->end};
    }
    std::sort(extra.begin(), extra.end(), [](const ExtraSpeech& a, const ExtraSpeech& b) { return a.start < b.start; });
    std::vector<ExtraSpeech> merged;
    for (const ExtraSpeech& x : extra)
        if (!merged.empty() && x.start <= merged.back().end) merged.back().end = std::max(merged.back().end, x.end);
        else merged.push_back(x);
    extra.swap(merged);
    // Speech between two items that neither holds nor was found stalled over
    // (the path went through it fast) is speech not in the text all the same.
    for (size_t k = 0; k + 1 < found.size(); ++k) {
        const double from = found[k].end, to = found[k + 1].start;
        if (std::any_of(extra.begin(), extra.end(), [&](const ExtraSpeech& x) { return x.start < to && x.end > from; })) continue;
        if (const auto x = extraSpeechIn(finder, int(from / kFrameSeconds), int(to / kFrameSeconds))) extra.push_back(*x);
    }
    std::sort(extra.begin(), extra.end(), [](const ExtraSpeech& a, const ExtraSpeech& b) { return a.start < b.start; });

    std::vector<Pause> pauses;
    for (const Pause& p : allPauses)
        if (p.end() > skip) pauses.emplace_back(std::max(p.start(), skip), p.end());
    if (!found.empty()) {
        if (const Pause* p = nearestPause(pauses, found.front().start)) found.front().start = p->end(), found.front().startSnapped = true;
        if (const Pause* p = nearestPause(pauses, found.back().end)) found.back().end = p->start(), found.back().endSnapped = true;
    }
    for (size_t k = 0; k + 1 < found.size(); ++k) {
        Mapped &left = found[k], &right = found[k + 1];
        const bool apart = std::any_of(extra.begin(), extra.end(), [&](const ExtraSpeech& x) {
            return x.start >= left.end - 0.01 && x.end <= right.start + 0.01;
        });
        // Speech not in the text between them: each edge to the pause beside
        // it, on that side. Otherwise both go to the pause between them,
        // unless each lies by a pause of its own with speech between the two
        // that the path gave to neither (a short line's first reading, too
        // short to report): that speech stays neither's.
        const Pause *own = apart ? nullptr : nearestPause(pauses, left.end), *next = apart ? nullptr : nearestPause(pauses, right.start);
        const bool between = own && next && own != next && left.end <= own->end() && right.start >= next->start() &&
                             loudTime(finder, own->end(), next->start()) >= kMinBetween;
        const Pause* p = apart ? pauseToward(pauses, left.end, true) : between ? own : nearestPause(pauses, 0.5 * (left.end + right.start));
        const Pause* q = apart ? pauseToward(pauses, right.start, false) : between ? next : p;
        if (p) left.end = p->start(), left.endSnapped = true;
        if (q) right.start = q->end(), right.startSnapped = true;
    }
    double low = 0, high = 1e300;
    for (const ExtraSpeech& x : extra) {
        if (!found.empty() && x.end <= found.front().end) low = std::max(low, x.end);
        if (!found.empty() && x.start >= found.back().start) high = std::min(high, x.start);
    }
    fixOuterEdges(found, pauses, low, high);
    for (Mapped& m : found) cutExtra(m);
    // Shorter speech not in the text (a short line's first reading) only kept the items off it.
    extra.erase(std::remove_if(extra.begin(), extra.end(), [](const ExtraSpeech& x) { return x.end - x.start < kMinExtra; }), extra.end());

    const std::vector<Pause> wordPauses = finder.pauses(kMinWordPause);
    std::vector<AlignedItem> out;
    for (size_t i = 0, f = 0; i < matches.size(); ++i) {
        if (!matches[i].found || found[f].end < found[f].start + kMinItem) {
            if (matches[i].found) ++f;
            out.emplace_back(0.0, 0.0, 0.0, AlignedItem::State::NotFound);
            continue;
        }
        const Mapped& m = found[f++];
        const bool sure = m.startSnapped && m.endSnapped && m.cost <= kMaxCostRatio &&
                          m.stretch >= kMinStretch * std::min(1.0, typicalStretch) && m.stretch <= kMaxStretch;
        const double confidence = std::clamp(2.0 - m.cost, 0.0, 1.0) * (m.startSnapped && m.endSnapped ? 1.0 : 0.5);
        out.emplace_back(m.start, m.end, confidence, sure ? AlignedItem::State::Aligned : AlignedItem::State::Unsure,
                         placeWords(words[i], m, wordPauses));
    }
    return out;
}
