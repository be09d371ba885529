// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/mpeg_seek_index.h"

#include "audio/mpeg_frame.h"

#include <algorithm>

namespace {
constexpr uint64_t kReserveLimit = 1 << 20;  // frames; a 7-hour file at 44100 Hz
}  // namespace

void MpegSeekIndex::Reset(uint64_t firstFrame) {
    frames_.clear();
    nextOffset_ = firstFrame;
    nextStart_ = 0.0;
    walkEnded_ = false;
}

bool MpegSeekIndex::WalkOneFrame(platform::ByteSource& src, uint8_t* scratch) {
    src.seek(nextOffset_);
    MpegFrameHeader h;
    if (!ReadFrameHeader(src, scratch, h) || BitrateKbps(h) == 0) {
        walkEnded_ = true;
        return false;
    }
    // The header may lie past a region without frames: the frame is where its
    // header was found, and the region counts no time.
    const uint64_t offset = src.position() - uint64_t(HeaderBytes(h));
    const double end = nextStart_ + FrameDuration(h);
    if (frames_.empty()) {  // room for a whole file of frames like the first, within reason
        const uint64_t guess = src.size() / uint64_t(FrameLength(h)) + 1;
        frames_.reserve(size_t(std::min<uint64_t>(guess, kReserveLimit)));
    }
    frames_.push_back({offset, end});
    nextOffset_ = offset + uint64_t(FrameLength(h));
    nextStart_ = end;
    return true;
}

MpegSeekIndex::Place MpegSeekIndex::Find(platform::ByteSource& src, uint8_t* scratch,
                                         double seconds) {
    while (!walkEnded_ && (frames_.empty() || !(frames_.back().end > seconds)))
        WalkOneFrame(src, scratch);
    const auto it = std::upper_bound(frames_.begin(), frames_.end(), seconds,
                                     [](double t, const Frame& f) { return t < f.end; });
    if (it == frames_.end()) return {nextOffset_, nextStart_};
    return {it->offset, it == frames_.begin() ? 0.0 : std::prev(it)->end};
}

uint64_t MpegSeekIndex::PrerollStart(platform::ByteSource& src, uint8_t* scratch,
                                     uint64_t offset) const {
    // The target's overlap and filter history come from the two granules
    // before it, which must decode whole: so must the frames holding them.
    constexpr int kOverlapSamples = 1152;
    const auto it = std::lower_bound(frames_.begin(), frames_.end(), offset,
                                     [](const Frame& f, uint64_t o) { return f.offset < o; });
    if (it == frames_.end() || it->offset != offset) return offset;
    size_t first = size_t(it - frames_.begin());
    MpegFrameHeader h;
    for (int samples = 0, held = 0, n = 0; first > 0 && n < kMaxPrerollFrames; ++n) {
        src.seek(frames_[first - 1].offset);
        if (!ReadFrameHeader(src, scratch, h)) break;
        if (samples < kOverlapSamples) {
            samples += SamplesPerFrame(h);
        } else if (held < ReservoirBytes(h)) {
            held += MainDataBytes(h);
        } else {
            break;
        }
        --first;
    }
    return frames_[first].offset;
}
