// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The warping path between synthetic speech (rows) and a recording (columns):
// dynamic time warping that may start and end anywhere in the recording,
// computed coarse to fine. The coarsest level is solved in full; each finer
// level only within a band around the path above it, so time and memory grow
// linearly with the length.

#include "align/features.h"

#include <atomic>
#include <cstddef>
#include <vector>

class WarpPath {
public:
    // Finds the path. `cancel`, when set, stops the work early (an empty path).
    // `openRows`, when given, says for each synthetic frame whether the
    // recording may hold speech not in the text there (between items): only
    // there does the path stall over recording frames for no more than a frame
    // left out costs; inside items up to three times that. A run of closed
    // frames (an item) may also be passed over whole: an item not read. With `openEnd` the
    // path may also end before the last synthetic frame (the text goes on past
    // the recording's stretch): the frames past its end lie on its last column.
    // `readAgain`, when given, marks the recording frames that the frames
    // after them repeat (a stretch read twice): the path stalls over them
    // between items for little, and matches them only at a cost.
    bool compute(const FeatureMatrix& synth, const FeatureMatrix& real, const std::atomic<bool>& cancel,
                 const std::vector<bool>& openRows = {}, bool openEnd = false, const std::vector<bool>& readAgain = {});

    // For each synthetic frame, the first and last recording frame on the path.
    int firstColumn(int row) const { return m_first[size_t(row)]; }
    int lastColumn(int row) const { return m_last[size_t(row)]; }
    // True for a synthetic frame of an item the path passes over (not read).
    bool passedOver(int row) const { return m_passedOver[size_t(row)]; }
    // The local distance on the path at each synthetic frame (mean over its cells).
    float rowCost(int row) const { return m_cost[size_t(row)]; }
    int rows() const { return int(m_first.size()); }
    // For each recording frame, the last synthetic frame on the path, or -1
    // before the path starts and after it ends.
    int rowAt(int column) const { return m_rowAt[size_t(column)]; }
    int columns() const { return int(m_rowAt.size()); }

private:
    std::vector<int> m_first, m_last, m_rowAt;
    std::vector<float> m_cost;
    std::vector<bool> m_passedOver;
};
