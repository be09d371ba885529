// SPDX-License-Identifier: GPL-3.0-or-later
#include "compare/word_check.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr int kContext = 2;    // words each side
constexpr int kMargin = 10;    // recording frames added each side of the context's stretch

// The cost of the best path from (first row, c0) to (last row, c1),
// steps weighted as WarpPath weighs them (a diagonal 2, a bend 1 plus `bend`).
double pathCost(const FeatureMatrix& a, const std::vector<int>& rows, const FeatureMatrix& b, int c0, int c1, float bend) {
    const int cols = c1 - c0 + 1, dims = a.dims();
    constexpr double kInf = std::numeric_limits<double>::infinity();
    std::vector<double> prev(static_cast<size_t>(cols), kInf), cur(static_cast<size_t>(cols));
    for (size_t i = 0; i < rows.size(); ++i) {
        for (int j = 0; j < cols; ++j) {
            const double c = frameDistance(a.row(rows[i]), b.row(c0 + j), dims);
            double best = i == 0 && j == 0 ? 2 * c : kInf;
            if (i > 0 && j > 0) best = std::min(best, prev[size_t(j - 1)] + 2 * c);
            if (i > 0) best = std::min(best, prev[size_t(j)] + c + bend);
            if (j > 0) best = std::min(best, cur[size_t(j - 1)] + c + bend);
            cur[size_t(j)] = best;
        }
        prev.swap(cur);
    }
    return prev[size_t(cols - 1)];
}

}  // namespace

std::vector<double> wordEvidence(const FeatureMatrix& rows, const std::vector<std::pair<int, int>>& words,
                                 const FeatureMatrix& recording, const WarpPath& path) {
    std::vector<double> evidence;
    if (rows.rows() == 0 || recording.rows() == 0 || path.rows() != rows.rows()) return evidence;
    // A bend costs more than a typical frame: squeezing a word that is not
    // there into the frames at its neighbours' edge, or stretching the
    // neighbours over a word that is there, weighs clearly against the
    // hypothesis, while a voice unlike the model's (frames near the typical
    // distance throughout) moves both paths' costs alike.
    const float typical = std::max(1e-6f, typicalDistance(rows, recording, 2048, 7)), bend = 1.125f * typical;
    const int n = int(words.size());
    for (int k = 0; k < n; ++k) {
        const int from = std::max(0, k - kContext), to = std::min(n - 1, k + kContext);
        const int c0 = std::max(0, path.firstColumn(words[size_t(from)].first) - kMargin);
        const int c1 = std::min(recording.rows() - 1, path.lastColumn(words[size_t(to)].second) + kMargin);
        std::vector<int> with, without;
        for (int w = from; w <= to; ++w)
            for (int r = words[size_t(w)].first; r <= words[size_t(w)].second; ++r) {
                with.push_back(r);
                if (w != k) without.push_back(r);
            }
        if (without.empty()) {  // a single word: no context to judge it against
            evidence.push_back(1.0);
            continue;
        }
        const int length = words[size_t(k)].second - words[size_t(k)].first + 1;
        evidence.push_back((pathCost(rows, without, recording, c0, c1, bend) - pathCost(rows, with, recording, c0, c1, bend)) /
                           (typical * length));
    }
    return evidence;
}

FeatureMatrix mapOnto(const FeatureMatrix& recording, const FeatureMatrix& rows, const WarpPath& path) {
    const int d = recording.dims(), n = d + 1;
    if (path.rows() != rows.rows() || rows.dims() != d) return recording;
    // Normal equations (X'X + lambda I) A' = X'Y, X the recording's frames with a 1 appended.
    constexpr double kLambda = 20;  // frames' worth of pull towards the identity
    std::vector<double> xx(size_t(n * n), 0.0), xy(size_t(n * d), 0.0);
    std::vector<double> x(static_cast<size_t>(n));
    for (int r = 0; r < path.rows(); ++r) {
        const int c = std::clamp((path.firstColumn(r) + path.lastColumn(r)) / 2, 0, recording.rows() - 1);
        for (int i = 0; i < d; ++i) x[size_t(i)] = recording.row(c)[i];
        x[size_t(d)] = 1;
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < n; ++j) xx[size_t(i * n + j)] += x[size_t(i)] * x[size_t(j)];
            for (int j = 0; j < d; ++j) xy[size_t(i * d + j)] += x[size_t(i)] * rows.row(r)[j];
        }
    }
    for (int i = 0; i < d; ++i) xx[size_t(i * n + i)] += kLambda, xy[size_t(i * d + i)] += kLambda;
    xx[size_t(d * n + d)] += 1e-6;
    // Gauss-Jordan with partial pivoting on [xx | xy].
    for (int col = 0; col < n; ++col) {
        int pivot = col;
        for (int i = col + 1; i < n; ++i)
            if (std::abs(xx[size_t(i * n + col)]) > std::abs(xx[size_t(pivot * n + col)])) pivot = i;
        if (std::abs(xx[size_t(pivot * n + col)]) < 1e-12) return recording;
        for (int j = 0; j < n; ++j) std::swap(xx[size_t(col * n + j)], xx[size_t(pivot * n + j)]);
        for (int j = 0; j < d; ++j) std::swap(xy[size_t(col * d + j)], xy[size_t(pivot * d + j)]);
        const double p = xx[size_t(col * n + col)];
        for (int j = 0; j < n; ++j) xx[size_t(col * n + j)] /= p;
        for (int j = 0; j < d; ++j) xy[size_t(col * d + j)] /= p;
        for (int i = 0; i < n; ++i) {
            if (i == col) continue;
            const double f = xx[size_t(i * n + col)];
            if (f == 0) continue;
            for (int j = 0; j < n; ++j) xx[size_t(i * n + j)] -= f * xx[size_t(col * n + j)];
            for (int j = 0; j < d; ++j) xy[size_t(i * d + j)] -= f * xy[size_t(col * d + j)];
        }
    }
    FeatureMatrix out(recording.rows(), d);
    for (int c = 0; c < recording.rows(); ++c)
        for (int j = 0; j < d; ++j) {
            double v = xy[size_t(d * d + j)];
            for (int i = 0; i < d; ++i) v += recording.row(c)[i] * xy[size_t(i * d + j)];
            out.row(c)[j] = float(v);
        }
    return out;
}
