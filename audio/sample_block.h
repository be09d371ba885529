// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SampleBlock: the left-channel samples of one recorded input buffer. The
// recorder keeps them as a list, newest first.

#include <cstdint>

struct SampleBlock {
    static constexpr int kSamples = 2000;
    int16_t samples[kSamples];
    int32_t count;      // valid samples; always kSamples
    SampleBlock* next;  // the block stored before this one; null for the first
};

// A zero-filled block from the heap, or null when memory runs out. Release
// with freeSampleBlock.
SampleBlock* newSampleBlock();
void freeSampleBlock(SampleBlock* block);

// Test seam: after `n` more successful allocations every newSampleBlock fails;
// a negative `n` lifts the limit.
void setSampleBlockLimit(int n);
