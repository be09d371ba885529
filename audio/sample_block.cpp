// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/sample_block.h"

#include <cstdlib>

namespace {
int blocksLeft = -1;  // allocations still allowed; negative = no limit
}

SampleBlock* newSampleBlock() {
    if (blocksLeft == 0) return nullptr;
    if (blocksLeft > 0) --blocksLeft;
    return static_cast<SampleBlock*>(std::calloc(1, sizeof(SampleBlock)));
}

void freeSampleBlock(SampleBlock* block) { std::free(block); }

void setSampleBlockLimit(int n) { blocksLeft = n < 0 ? -1 : n; }
