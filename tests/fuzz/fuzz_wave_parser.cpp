// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: the RIFF WAVE parser on arbitrary bytes; the samples it
// finds lie within the file, after the headers.
#include "audio/wave_parser.h"
#include "common/memory_source.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemorySource src(std::string(reinterpret_cast<const char*>(data), size));
    WaveLayout w;
    if (parseWave(src, w) && (w.dataOffset < 20 || w.dataOffset > w.dataEnd || w.dataEnd > size)) std::abort();
    return 0;
}
