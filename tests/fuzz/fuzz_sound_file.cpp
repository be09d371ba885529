// SPDX-License-Identifier: GPL-3.0-or-later
// The FLAC, Ogg Vorbis and Opus decoder on any bytes: no crash, no read out of
// bounds; an open file has a plausible format, reads never give more frames
// than asked, and a seek within the audio lands where it was asked to.
#include "common/memory_source.h"
#include "platform/sound_file_decoder.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemorySource src(std::string(reinterpret_cast<const char*>(data), size));
    platform::SoundFileDecoder decoder;
    if (!decoder.open(src)) {
        if (decoder.isOpen() || decoder.errorString().isEmpty()) std::abort();
        return 0;
    }
    if (decoder.channels() < 1 || decoder.channels() > 8 || decoder.sampleRate() < 1000 || decoder.frames() <= 0)
        std::abort();
    std::vector<int16_t> buffer(size_t(1024) * size_t(decoder.channels()));
    // A bounded share of the audio: declared lengths may be huge.
    for (int block = 0; block < 64; ++block) {
        const int64_t got = decoder.readFrames(buffer.data(), 1024);
        if (got < 0 || got > 1024) std::abort();
        if (got == 0) break;
    }
    for (int64_t frame : {decoder.frames() / 2, int64_t(0), decoder.frames()}) {
        if (decoder.seekToFrame(frame) && decoder.position() != frame) std::abort();
        if (decoder.readFrames(buffer.data(), 1024) > 1024) std::abort();
    }
    if (decoder.seekToFrame(decoder.frames() + 1)) std::abort();
    return 0;
}
