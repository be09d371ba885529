// SPDX-License-Identifier: GPL-3.0-or-later
// The MPEG frame reader, the seek index and the frame decoder on any bytes, as
// the file player drives them. Inputs are cut to a few frames (4 KB), and each
// output format's decoder is opened once and reset per run: opening one costs
// far more than decoding a few frames.
#include "audio/mpeg_frame.h"
#include "audio/mpeg_seek_index.h"
#include "common/memory_source.h"
#include "platform/mpeg_decoder.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <utility>

namespace {

constexpr size_t kMaxInput = 4096;

platform::MpegDecoder* decoderFor(const platform::WaveFormat& format) {
    static std::map<std::pair<uint32_t, int>, platform::MpegDecoder> decoders;
    platform::MpegDecoder& decoder = decoders[{format.samplesPerSec, format.channels}];
    if (decoder.isOpen()) decoder.reset();
    else decoder.open(long(format.samplesPerSec), format.channels);
    return decoder.isOpen() ? &decoder : nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size = std::min(size, kMaxInput);
    MemorySource src(std::string(reinterpret_cast<const char*>(data), size));
    uint8_t frame[kMaxFrameBytes];
    static uint8_t pcm[65536];
    const uint64_t start = size >= 10 ? id3v2TagSize(data) : 0;
    src.seek(start);
    MpegFrameHeader h;
    if (!readFrameHeader(src, frame, h)) return 0;
    const platform::WaveFormat out = pcmFormatFor(h);
    const uint32_t room = destinationBytes(h, kMaxFrameBytes, sizeof pcm);
    if (frameLength(h) > int(kMaxFrameBytes) || room > sizeof pcm) std::abort();
    platform::MpegDecoder* decoder = decoderFor(out);
    if (!decoder) return 0;
    src.seek(start);
    for (int n = 0; n < 64 && readFrameHeader(src, frame, h); ++n) {
        const uint32_t length = readFrame(src, frame, h);
        const uint32_t least = uint32_t(uint64_t(samplesPerFrame(h)) * out.samplesPerSec / uint64_t(sampleRate(h))) * out.blockAlign;
        if (length == 0) break;
        if (decoder->decode(frame, length, pcm, room, least) > room) std::abort();
    }
    // Seeks in both directions land on a frame start no later than the time.
    MpegSeekIndex index;
    index.reset(start);
    for (const double t : {0.5, 0.0, 1e9, 0.05})
        if (const auto place = index.find(src, frame, t); place.startTime > t || place.offset < start) std::abort();
    return 0;
}
