// SPDX-License-Identifier: GPL-3.0-or-later
#include "align/span_distance.h"

#include <algorithm>
#include <cstdint>
#include <vector>

float spanDistance(const FeatureMatrix& fa, FrameSpan a, const FeatureMatrix& fb, FrameSpan b, float limit, float stepCost) {
    constexpr float kInf = std::numeric_limits<float>::infinity();
    const int n = (a.to - a.from + 1) / 2, m = (b.to - b.from + 1) / 2;
    if (n <= 0 || m <= 0) return kInf;
    const float bound = limit * float(n + m);
    std::vector<float> prev(size_t(m) + 1, kInf), cur(prev.size());
    prev[0] = 0;
    for (int i = 1; i <= n; ++i) {
        cur[0] = kInf;
        float least = kInf;
        const float* x = fa.row(a.from + 2 * (i - 1));
        for (int j = 1; j <= m; ++j) {
            const float c = frameDistance(x, fb.row(b.from + 2 * (j - 1)), fa.dims());
            cur[size_t(j)] = std::min({prev[size_t(j - 1)] + 2 * c, prev[size_t(j)] + c + stepCost, cur[size_t(j - 1)] + c + stepCost});
            least = std::min(least, cur[size_t(j)]);
        }
        if (least > bound) return kInf;  // every path on from here costs more
        std::swap(prev, cur);
    }
    return prev[size_t(m)] / float(n + m);
}

std::vector<int> spanPath(const FeatureMatrix& fa, FrameSpan a, const FeatureMatrix& fb, FrameSpan b, float stepCost, long maxCells) {
    const int n = a.to - a.from, m = b.to - b.from;
    if (n <= 0 || m <= 0 || long(n) * m > maxCells) return {};
    return bandPath(fa, a, fb, b, std::vector<int>(size_t(n), 0), std::vector<int>(size_t(n), m - 1), stepCost);
}

std::vector<int> bandPath(const FeatureMatrix& fa, FrameSpan a, const FeatureMatrix& fb, FrameSpan b, std::vector<int> lo,
                          std::vector<int> hi, float stepCost) {
    const int n = a.to - a.from, m = b.to - b.from;
    if (n <= 0 || m <= 0 || lo.size() != size_t(n) || hi.size() != size_t(n)) return {};
    // The band made to run from the first cell to the last, never back, each row touching the one before.
    for (int i = 0; i < n; ++i) lo[size_t(i)] = std::clamp(lo[size_t(i)], 0, m - 1), hi[size_t(i)] = std::clamp(hi[size_t(i)], 0, m - 1);
    lo[0] = 0, hi[size_t(n - 1)] = m - 1;
    for (int i = 1; i < n; ++i) lo[size_t(i)] = std::max(lo[size_t(i)], lo[size_t(i - 1)]);
    for (int i = n - 2; i >= 0; --i) hi[size_t(i)] = std::min(hi[size_t(i)], hi[size_t(i + 1)]);
    for (int i = 1; i < n; ++i) hi[size_t(i)] = std::max(hi[size_t(i)], lo[size_t(i)]), lo[size_t(i)] = std::min(lo[size_t(i)], hi[size_t(i - 1)] + 1);
    std::vector<size_t> offset(size_t(n) + 1, 0);
    for (int i = 0; i < n; ++i) offset[size_t(i) + 1] = offset[size_t(i)] + size_t(hi[size_t(i)] - lo[size_t(i)] + 1);
    constexpr float kInf = std::numeric_limits<float>::infinity();
    enum Step : uint8_t { Diagonal, Down, Right };  // down: the next row of a; right: the next row of b
    std::vector<uint8_t> steps(offset.back());
    std::vector<float> prev, cur;
    for (int i = 0; i < n; ++i) {
        const float* x = fa.row(a.from + i);
        const int low = lo[size_t(i)];
        cur.assign(size_t(hi[size_t(i)] - low + 1), kInf);
        auto before = [&](int j) { return i > 0 && j >= lo[size_t(i - 1)] && j <= hi[size_t(i - 1)] ? prev[size_t(j - lo[size_t(i - 1)])] : kInf; };
        for (int j = low; j <= hi[size_t(i)]; ++j) {
            const float c = frameDistance(x, fb.row(b.from + j), fa.dims());
            float best = i == 0 && j == 0 ? c : kInf;
            Step step = Diagonal;
            if (before(j - 1) + 2 * c < best) best = before(j - 1) + 2 * c, step = Diagonal;
            if (before(j) + c + stepCost < best) best = before(j) + c + stepCost, step = Down;
            if (j > low && cur[size_t(j - 1 - low)] + c + stepCost < best) best = cur[size_t(j - 1 - low)] + c + stepCost, step = Right;
            cur[size_t(j - low)] = best;
            steps[offset[size_t(i)] + size_t(j - low)] = step;
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

FeatureMatrix centred(const FeatureMatrix& f, FrameSpan span) {
    const int n = std::max(0, span.to - span.from), dims = f.dims();
    FeatureMatrix out(n, dims);
    std::vector<double> mean(size_t(dims), 0.0);
    for (int i = 0; i < n; ++i)
        for (int d = 0; d < dims; ++d) mean[size_t(d)] += f.row(span.from + i)[d];
    for (double& m : mean) m /= std::max(1, n);
    for (int i = 0; i < n; ++i)
        for (int d = 0; d < dims; ++d) out.row(i)[d] = f.row(span.from + i)[d] - float(mean[size_t(d)]);
    return out;
}
