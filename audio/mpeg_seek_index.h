// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where an MPEG audio stream's frames start, in bytes and in seconds, learnt
// by walking the frame headers from the first frame and kept, so that a seek
// walks only the part of the file no earlier seek has walked.
//
// The walk reads frames as continuous playback does: each frame is where its
// header is found, searching from the end of the frame before it, so a region
// without frames (a tag in the middle, a run of zeros) is skipped once; a
// frame's start time is the sum of the earlier frames' durations
// (frameDuration()), added in order, and a skipped region counts no time. The
// walk ends where no valid frame header follows (or a free-format one, whose
// length is unknown).

#include "platform/audio_file.h"

#include <cstdint>
#include <vector>

class MpegSeekIndex {
public:
    // Forgets everything; the first frame is at `firstFrame`.
    void reset(uint64_t firstFrame);

    struct Place {
        uint64_t offset;   // where to read the next frame from
        double startTime;  // seconds at which that frame starts
    };
    // The frame whose span holds `seconds` (start <= seconds < end): a time
    // equal to a frame's end is in the next frame. Past the last frame: the
    // offset after it, and the whole duration. Reads headers from `src` with
    // `scratch` (kMaxFrameBytes) as far as the walk has to go.
    Place find(platform::ByteSource& src, uint8_t* scratch, double seconds);

    // Where decoding has to begin for the frame at `offset` (an offset find()
    // gave) to decode as continuous playback decodes it: at the frames of the
    // two granules before it, whose output overlaps its start, or earlier, so
    // that the frames before those hold a whole bit reservoir; at most
    // kMaxPrerollFrames frames back. `offset` itself at the first frame and
    // past the last. Reads headers from `src` with `scratch`.
    uint64_t prerollStart(platform::ByteSource& src, uint8_t* scratch, uint64_t offset) const;
    // MPEG-1 at 32 kbit/s needs 9 frames, MPEG-2 at 8 kbit/s and 22050 Hz 22.
    static constexpr int kMaxPrerollFrames = 32;

    size_t framesKnown() const { return m_frames.size(); }

private:
    struct Frame {
        uint64_t offset;
        double end;  // start time of the next frame
    };
    bool walkOneFrame(platform::ByteSource& src, uint8_t* scratch);

    std::vector<Frame> m_frames;
    uint64_t m_nextOffset = 0;  // where the walk goes on
    double m_nextStart = 0.0;   // start time of the frame there
    bool m_walkEnded = false;
};
