// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/mpeg_seek_index.h"

#include "audio/mpeg_frame.h"

#include <algorithm>

namespace {
constexpr uint64_t kReserveLimit = 1 << 20;  // frames; a 7-hour file at 44100 Hz
}  // namespace

void MpegSeekIndex::reset(uint64_t firstFrame) {
    m_frames.clear();
    m_nextOffset = firstFrame;
    m_nextStart = 0.0;
    m_walkEnded = false;
}

bool MpegSeekIndex::walkOneFrame(platform::ByteSource& src, uint8_t* scratch) {
    src.seek(m_nextOffset);
    MpegFrameHeader h;
    if (!readFrameHeader(src, scratch, h) || bitrateKbps(h) == 0) {
        m_walkEnded = true;
        return false;
    }
    // The header may lie past a region without frames: the frame is where its
    // header was found, and the region counts no time.
    const uint64_t offset = src.position() - uint64_t(headerBytes(h));
    const double end = m_nextStart + frameDuration(h);
    if (m_frames.empty()) {  // room for a whole file of frames like the first, within reason
        const uint64_t guess = src.size() / uint64_t(frameLength(h)) + 1;
        m_frames.reserve(size_t(std::min<uint64_t>(guess, kReserveLimit)));
    }
    m_frames.push_back({offset, end});
    m_nextOffset = offset + uint64_t(frameLength(h));
    m_nextStart = end;
    return true;
}

MpegSeekIndex::Place MpegSeekIndex::find(platform::ByteSource& src, uint8_t* scratch,
                                         double seconds) {
    while (!m_walkEnded && (m_frames.empty() || !(m_frames.back().end > seconds)))
        walkOneFrame(src, scratch);
    const auto it = std::upper_bound(m_frames.begin(), m_frames.end(), seconds,
                                     [](double t, const Frame& f) { return t < f.end; });
    if (it == m_frames.end()) return {m_nextOffset, m_nextStart};
    return {it->offset, it == m_frames.begin() ? 0.0 : std::prev(it)->end};
}

uint64_t MpegSeekIndex::prerollStart(platform::ByteSource& src, uint8_t* scratch,
                                     uint64_t offset) const {
    // The target's overlap and filter history come from the two granules
    // before it, which must decode whole: so must the frames holding them.
    constexpr int kOverlapSamples = 1152;
    const auto it = std::lower_bound(m_frames.begin(), m_frames.end(), offset,
                                     [](const Frame& f, uint64_t o) { return f.offset < o; });
    if (it == m_frames.end() || it->offset != offset) return offset;
    size_t first = size_t(it - m_frames.begin());
    MpegFrameHeader h;
    for (int samples = 0, held = 0, n = 0; first > 0 && n < kMaxPrerollFrames; ++n) {
        src.seek(m_frames[first - 1].offset);
        if (!readFrameHeader(src, scratch, h)) break;
        if (samples < kOverlapSamples) {
            samples += samplesPerFrame(h);
        } else if (held < reservoirBytes(h)) {
            held += mainDataBytes(h);
        } else {
            break;
        }
        --first;
    }
    return m_frames[first].offset;
}
