// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: the RIFF WAVE parser on arbitrary bytes.
#include "audio/wave_parser.h"
#include "common/memory_source.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemorySource src(std::string(reinterpret_cast<const char*>(data), size));
    WaveLayout layout;
    if (ParseWave(src, layout)) {
        // The samples lie within the file, after the headers.
        if (layout.dataOffset < 20 || layout.dataOffset > layout.dataEnd || layout.dataEnd > size)
            std::abort();
    }
    return 0;
}
