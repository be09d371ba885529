// SPDX-License-Identifier: GPL-3.0-or-later
#include "align/warp_path.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

constexpr int kCoarsestFrames = 4000;  // the level solved in full has at most this many rows and columns
constexpr float kOpenBend = 0.5f;      // a step off the diagonal between items costs this share of skipCost more
constexpr float kItemBend = 1.0f;      // and inside an item this share: a word is not squeezed for a slightly closer match
constexpr float kClosedStall = 3.0f;   // a recording frame on a synthetic frame inside an item costs at most this many skipCosts
constexpr float kItemSkip = 1.5f;      // passing over an item not read costs this many skipCosts per synthetic frame
constexpr int kRadius = 24;            // band half-width around the projected path, in frames
constexpr float kAgainStall = 0.2f;    // a frame read again costs this many skipCosts stalled over between items
constexpr float kAgainMatch = 0.5f;    // and this many more matched (less than passing over an item)

struct Cell {
    int row, col;
};

// Allowed columns [lo, hi] of each row.
struct Band {
    std::vector<int> lo, hi;
};

enum class Step : uint8_t { Start, Diagonal, Down, Right, Jump };

// DTW within `band`, steps (1,1) weighted 2 and (1,0), (0,1) weighted 1, so
// every path weighs rows + columns and none is favoured for its shape. The
// path may begin and end in any column; the recording's frames before and
// after it cost `skipCost` each (audio that is not in the text). With
// `openEnd` it may end before the last row too, each row left costing
// `skipCost` (text past the recording's stretch). A recording frame read
// `again` costs kAgainStall skipCosts stalled over between items and
// kAgainMatch more on any other step. Cancelled: an empty path.
std::vector<Cell> bandedDtw(const FeatureMatrix& a, const FeatureMatrix& b, const Band& band, float skipCost,
                            const std::vector<bool>& open, const std::vector<bool>& again, bool openEnd,
                            const std::atomic<bool>& cancel) {
    const int rows = a.rows(), dims = a.dims();
    const bool anyAgain = std::find(again.begin(), again.end(), true) != again.end();
    // A frame on one side that matches nothing on the other (speech not in
    // the text, a line not read) costs at most a skipped frame between items,
    // and up to kClosedStall of them inside one.
    auto offDiagonal = [&](int row, float c) {
        return open[size_t(row)] ? std::min(c + kOpenBend * skipCost, skipCost) : std::min(c + kItemBend * skipCost, kClosedStall * skipCost);
    };
    std::vector<size_t> offset(size_t(rows) + 1, 0);
    for (int i = 0; i < rows; ++i) offset[size_t(i) + 1] = offset[size_t(i)] + size_t(band.hi[size_t(i)] - band.lo[size_t(i)] + 1);
    std::vector<Step> steps(offset.back());
    constexpr float kInf = std::numeric_limits<float>::infinity();
    std::vector<float> prev, cur;
    int prevLo = 0, prevHi = -1;
    // An item not read is passed over whole: from the row before it to the
    // row after it, in one column, for kItemSkip skipCosts per row.
    std::vector<float> before;
    int beforeRow = -1, beforeLo = 0, beforeHi = -1;
    std::vector<int> jumpFrom(size_t(rows), -1);
    float endCost = kInf;
    Cell end{rows - 1, 0};
    for (int i = 0; i < rows; ++i) {
        if (cancel) return {};
        const int lo = band.lo[size_t(i)], hi = band.hi[size_t(i)];
        cur.assign(size_t(hi - lo + 1), kInf);
        Step* step = steps.data() + offset[size_t(i)];
        auto prevAt = [&](int j) { return j >= prevLo && j <= prevHi ? prev[size_t(j - prevLo)] : kInf; };
        const bool afterItem = i > 0 && open[size_t(i)] && !open[size_t(i) - 1] && beforeRow >= 0;
        const float jump = afterItem ? kItemSkip * skipCost * float(i - 1 - beforeRow) : kInf;
        if (afterItem) jumpFrom[size_t(i)] = beforeRow;
        for (int j = lo; j <= hi; ++j) {
            const float c = frameDistance(a.row(i), b.row(j), dims);
            const bool readAgain = anyAgain && again[size_t(j)];
            const float matched = readAgain ? kAgainMatch * skipCost : 0.0f;
            float best = i == 0 ? skipCost * float(j) + 2 * c + matched : kInf;
            Step how = Step::Start;
            if (i > 0) {
                const float diag = prevAt(j - 1) + 2 * c + matched, down = prevAt(j) + offDiagonal(i, c) + matched;
                if (diag <= down) best = diag, how = Step::Diagonal;
                else best = down, how = Step::Down;
                if (afterItem && j >= beforeLo && j <= beforeHi && before[size_t(j - beforeLo)] + jump + c + matched < best)
                    best = before[size_t(j - beforeLo)] + jump + c + matched, how = Step::Jump;
            }
            const float stall = readAgain && open[size_t(i)] ? kAgainStall * skipCost : offDiagonal(i, c) + matched;
            const float right = j > lo ? cur[size_t(j - 1 - lo)] + stall : kInf;
            if (right < best) best = right, how = Step::Right;
            cur[size_t(j - lo)] = best;
            step[j - lo] = how;
        }
        if (openEnd || i == rows - 1)
            for (int j = lo; j <= hi; ++j)
                if (const float total = cur[size_t(j - lo)] + skipCost * float(b.rows() - 1 - j + rows - 1 - i); total < endCost)
                    endCost = total, end = {i, j};
        if (open[size_t(i)] && i + 1 < rows && !open[size_t(i) + 1]) before = cur, beforeRow = i, beforeLo = lo, beforeHi = hi;
        prev.swap(cur);
        prevLo = lo, prevHi = hi;
    }
    std::vector<Cell> path;
    for (int i = end.row, j = end.col; i >= 0;) {
        path.push_back({i, j});
        const Step how = steps[offset[size_t(i)] + size_t(j - band.lo[size_t(i)])];
        if (how == Step::Start) break;
        if (how == Step::Diagonal) --i, --j;
        else if (how == Step::Down) --i;
        else if (how == Step::Jump) i = jumpFrom[size_t(i)];
        else --j;
    }
    std::reverse(path.begin(), path.end());
    return path;
}

// The band at the next finer level: the coarse path's cells doubled, widened
// by kRadius in both directions. The path visits every coarse row up to its
// end; the rows after it get the columns of its last row.
Band projectBand(const std::vector<Cell>& coarse, int rows, int cols) {
    Band band{std::vector<int>(size_t(rows), cols), std::vector<int>(size_t(rows), -1)};
    for (const Cell& c : coarse)
        for (int r = 2 * c.row; r <= std::min(2 * c.row + 1, rows - 1); ++r) {
            band.lo[size_t(r)] = std::min(band.lo[size_t(r)], 2 * c.col);
            band.hi[size_t(r)] = std::max(band.hi[size_t(r)], std::min(2 * c.col + 1, cols - 1));
        }
    for (int r = 1; r < rows; ++r)
        if (band.lo[size_t(r)] > band.hi[size_t(r)]) band.lo[size_t(r)] = band.lo[size_t(r) - 1], band.hi[size_t(r)] = band.hi[size_t(r) - 1];
    Band wide = band;
    for (int r = 0; r < rows; ++r) {
        const int from = std::max(0, r - kRadius), to = std::min(rows - 1, r + kRadius);
        // lo and hi are non-decreasing along the path, so the ends of the window bound them.
        wide.lo[size_t(r)] = std::max(0, band.lo[size_t(from)] - kRadius);
        wide.hi[size_t(r)] = std::min(cols - 1, band.hi[size_t(to)] + kRadius);
    }
    return wide;
}

// The cost of a recording frame left out: 3/4 of the typical distance between
// unrelated frames, so a frame is matched when it fits better than that.
float skipCostOf(const FeatureMatrix& a, const FeatureMatrix& b) { return 0.75f * typicalDistance(a, b, 4096, 1); }

}  // namespace

bool WarpPath::compute(const FeatureMatrix& synth, const FeatureMatrix& real, const std::atomic<bool>& cancel,
                       const std::vector<bool>& openRows, bool openEnd, const std::vector<bool>& readAgain) {
    m_first.clear(), m_last.clear(), m_cost.clear(), m_rowAt.clear(), m_passedOver.clear();
    if (synth.rows() == 0 || real.rows() == 0) return false;
    // Level 0 is the input itself (not copied); each level above it halves the one below.
    std::vector<FeatureMatrix> halvedA, halvedB;
    // A row of a halved level is open where either of its two rows is.
    std::vector<std::vector<bool>> open{openRows.empty() ? std::vector<bool>(size_t(synth.rows()), true) : openRows};
    // A column of a halved level is read again where both of its columns are.
    std::vector<std::vector<bool>> again{readAgain.empty() ? std::vector<bool>(size_t(real.rows()), false) : readAgain};
    auto a = [&](int level) -> const FeatureMatrix& { return level == 0 ? synth : halvedA[size_t(level - 1)]; };
    auto b = [&](int level) -> const FeatureMatrix& { return level == 0 ? real : halvedB[size_t(level - 1)]; };
    int top = 0;
    for (; std::max(a(top).rows(), b(top).rows()) > kCoarsestFrames && std::min(a(top).rows(), b(top).rows()) > 1; ++top) {
        if (cancel) return false;
        FeatureMatrix nextA = a(top).halved(), nextB = b(top).halved();
        halvedA.push_back(std::move(nextA)), halvedB.push_back(std::move(nextB));
        std::vector<bool> nextOpen(size_t(halvedA.back().rows()));
        for (size_t r = 0; r < nextOpen.size(); ++r) nextOpen[r] = open.back()[2 * r] || (2 * r + 1 < open.back().size() && open.back()[2 * r + 1]);
        open.push_back(std::move(nextOpen));
        std::vector<bool> nextAgain(size_t(halvedB.back().rows()));
        for (size_t c = 0; c < nextAgain.size(); ++c) nextAgain[c] = again.back()[2 * c] && (2 * c + 1 >= again.back().size() || again.back()[2 * c + 1]);
        again.push_back(std::move(nextAgain));
    }
    Band full{std::vector<int>(size_t(a(top).rows()), 0), std::vector<int>(size_t(a(top).rows()), b(top).rows() - 1)};
    // Averaged frames lie closer together: each level weighs a skipped frame by its own distances.
    std::vector<Cell> path = bandedDtw(a(top), b(top), full, skipCostOf(a(top), b(top)), open[size_t(top)], again[size_t(top)], openEnd, cancel);
    for (int level = top - 1; level >= 0 && !cancel; --level) {
        const Band band = projectBand(path, a(level).rows(), b(level).rows());
        path = bandedDtw(a(level), b(level), band, skipCostOf(a(level), b(level)), open[size_t(level)], again[size_t(level)], openEnd,
                         cancel);
    }
    if (cancel) return false;
    const int rows = synth.rows();
    m_first.assign(size_t(rows), -1), m_last.assign(size_t(rows), -1), m_cost.assign(size_t(rows), 0.0f);
    std::vector<int> cells(size_t(rows), 0);
    m_rowAt.assign(size_t(real.rows()), -1);
    for (const Cell& c : path) {
        m_rowAt[size_t(c.col)] = c.row;
        if (m_first[size_t(c.row)] < 0) m_first[size_t(c.row)] = c.col;
        m_last[size_t(c.row)] = c.col;
        m_cost[size_t(c.row)] += frameDistance(synth.row(c.row), real.row(c.col), synth.dims());
        ++cells[size_t(c.row)];
    }
    for (int i = 0; i < rows; ++i) m_cost[size_t(i)] /= float(std::max(1, cells[size_t(i)]));
    // Rows passed over (an item not read) lie on the column the path goes on
    // from; rows past its end (text past the recording's stretch) on its last.
    m_passedOver.assign(size_t(rows), false);
    for (int i = path.back().row; i >= 0; --i)
        if (m_first[size_t(i)] < 0) m_first[size_t(i)] = m_last[size_t(i)] = m_first[size_t(i) + 1], m_passedOver[size_t(i)] = true;
    for (int i = path.back().row + 1; i < rows; ++i) m_first[size_t(i)] = m_last[size_t(i)] = path.back().col;
    return true;
}
