// SPDX-License-Identifier: GPL-3.0-or-later
#include "align/repeat_finder.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMaxChunks = 12;             // a reading holds at most this many stretches between pauses
constexpr int kMaxFrames = 2000;           // and lasts at most 20 s
constexpr int kMinFrames = 30;             // and at least 0.3 s
constexpr int kPrefixFrames = 60;          // the two readings' starts are compared first
constexpr double kLengthTolerance = 0.25;  // the two readings' lengths differ by at most this share
constexpr int kMinQuiet = 8;               // a quiet stretch between chunks lasts this many frames, as a pause
constexpr float kQuietDb = 30;             // and lies this far below the loud frames

}  // namespace

std::vector<FrameSpan> speechChunks(const std::vector<PauseFinder::Pause>& pauses, int firstFrame, int frames) {
    std::vector<FrameSpan> out;
    auto p = std::lower_bound(pauses.begin(), pauses.end(), firstFrame * kFrameSeconds,
                              [](const PauseFinder::Pause& q, double t) { return q.end() < t; });
    int from = 0;
    for (; p != pauses.end() && p->start() < (firstFrame + frames) * kFrameSeconds; ++p) {
        const int start = int(std::lround(p->start() / kFrameSeconds)) - firstFrame;
        if (start > from) out.push_back({from, std::min(start, frames)});
        from = std::max(from, int(std::lround(p->end() / kFrameSeconds)) - firstFrame);
    }
    if (from < frames) out.push_back({from, frames});
    return out;
}

std::vector<FrameSpan> speechChunks(const std::vector<float>& power) {
    std::vector<float> sorted = power;
    if (sorted.empty()) return {};
    std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() * 95 / 100), sorted.end());
    const float quiet = sorted[sorted.size() * 95 / 100] * std::pow(10.0f, -kQuietDb / 10);
    std::vector<FrameSpan> out;
    const int frames = int(power.size());
    int from = 0;  // where the current chunk starts
    for (int f = 0; f < frames;) {
        if (power[size_t(f)] >= quiet) {
            ++f;
            continue;
        }
        int end = f;
        while (end < frames && power[size_t(end)] < quiet) ++end;
        if (end - f >= kMinQuiet || f == 0 || end == frames) {
            if (f > from) out.push_back({from, f});
            from = end;
        }
        f = end;
    }
    if (from < frames) out.push_back({from, frames});
    return out;
}

std::vector<FrameSpan> findRepeats(const FeatureMatrix& features, const std::vector<FrameSpan>& chunks, float sameLimit) {
    const float limit = sameLimit * typicalDistance(features, features, 4096, 7);
    std::vector<FrameSpan> out;
    // A second reading starting at chunk k repeats the m chunks before it.
    for (size_t k = 1; k < chunks.size(); ++k)
        for (size_t m = 1; m <= std::min<size_t>(k, kMaxChunks); ++m) {
            const FrameSpan first{chunks[k - m].from, chunks[k - 1].to};
            const int length = first.to - first.from;
            if (length > kMaxFrames) break;
            if (length < kMinFrames) continue;
            const int prefix = std::min({kPrefixFrames, length, features.rows() - chunks[k].from});
            if (spanDistance(features, {first.from, first.from + prefix}, features, {chunks[k].from, chunks[k].from + prefix}, 2 * limit) > 2 * limit)
                continue;
            // The second reading ends where a chunk ends nearest the first one's length.
            size_t end = k;
            for (size_t j = k; j < chunks.size() && chunks[j].to - chunks[k].from < length * (1 + kLengthTolerance); ++j)
                if (std::abs(chunks[j].to - chunks[k].from - length) < std::abs(chunks[end].to - chunks[k].from - length)) end = j;
            const FrameSpan second{chunks[k].from, chunks[end].to};
            if (std::abs(second.to - second.from - length) > kLengthTolerance * length) continue;
            if (spanDistance(features, first, features, second, limit) < limit) {
                out.push_back(first);
                k = end;  // the second reading may itself be read again
                break;
            }
        }
    return out;
}
