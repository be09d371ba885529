// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// RIFF WAVE files holding PCM samples: where the samples are and their format.

#include "platform/audio_file.h"
#include "platform/wave_device.h"

#include <cstdint>

// The sample rates a WAV file is played and read at. A rate outside them is a
// damaged or crafted header: no sound device plays it, and it would ask the
// readers for absurd buffers.
constexpr uint32_t kMinWaveRate = 1000;
constexpr uint32_t kMaxWaveRate = 384000;

struct WaveLayout {
    platform::WaveFormat format;  // from the fmt chunk, handed to the device as is
    uint64_t dataOffset = 0;      // first sample byte
    uint64_t dataEnd = 0;         // one past the last sample byte
};

// Parses a RIFF WAVE file from offset 0. Chunks other than "fmt " and "data"
// are skipped; "fmt " must come before "data", hold 16 to 20 bytes with
// format tag 1 (PCM) or 40 with the extensible tag and the PCM subformat, and
// have a rate from kMinWaveRate to kMaxWaveRate. The
// samples end with the data chunk when its size is plausible (non-zero and
// within the file), else at the end of the file.
// After an odd-sized chunk one pad byte is skipped when it is 0.
// False when the file is not such a file (no message).
bool parseWave(platform::ByteSource& src, WaveLayout& out);
