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
    const double end = nextStart_ + FrameDuration(h);
    if (frames_.empty()) {  // room for a whole file of frames like the first, within reason
        const uint64_t guess = src.size() / uint64_t(FrameLength(h)) + 1;
        frames_.reserve(size_t(std::min<uint64_t>(guess, kReserveLimit)));
    }
    frames_.push_back({nextOffset_, end});
    nextOffset_ += uint64_t(FrameLength(h));
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
