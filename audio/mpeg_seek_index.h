// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where an MPEG audio stream's frames start, in bytes and in seconds, learnt
// by walking the frame headers from the first frame and kept, so that a seek
// walks only the part of the file no earlier seek has walked.
//
// The walk takes frames to follow each other without gaps: a frame's offset
// is the first frame's offset plus the lengths of the frames before it, and
// its start time the sum of their durations (FrameDuration), added in order.
// The walk ends at the first offset where no valid frame header is found (or
// a free-format one, whose length is unknown).

#include "platform/audio_file.h"

#include <cstdint>
#include <vector>

class MpegSeekIndex {
public:
    // Forgets everything; the first frame is at `firstFrame`.
    void Reset(uint64_t firstFrame);

    struct Place {
        uint64_t offset;   // where to read the next frame from
        double startTime;  // seconds at which that frame starts
    };
    // The frame whose span holds `seconds` (start <= seconds < end): a time
    // equal to a frame's end is in the next frame. Past the last frame: the
    // offset after it, and the whole duration. Reads headers from `src` with
    // `scratch` (kMaxFrameBytes) as far as the walk has to go.
    Place Find(platform::ByteSource& src, uint8_t* scratch, double seconds);

    size_t FramesKnown() const { return frames_.size(); }

private:
    struct Frame {
        uint64_t offset;
        double end;  // start time of the next frame
    };
    bool WalkOneFrame(platform::ByteSource& src, uint8_t* scratch);

    std::vector<Frame> frames_;
    uint64_t nextOffset_ = 0;  // where the walk goes on
    double nextStart_ = 0.0;   // start time of the frame there
    bool walkEnded_ = false;
};
