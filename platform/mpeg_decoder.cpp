// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mpeg_decoder.h"

#include <algorithm>
#include <cstring>
#include <mpg123.h>

namespace platform {

MpegDecoder::MpegDecoder() = default;

MpegDecoder::~MpegDecoder() { close(); }

bool MpegDecoder::open(long rate, int channels) {
    close();
    static const bool initialised = mpg123_init() == MPG123_OK;
    if (!initialised || (channels != 1 && channels != 2)) return false;
    int err = MPG123_OK;
    m_handle = mpg123_new(nullptr, &err);
    if (!m_handle) return false;
    // Frames arrive whole, so no read-ahead is needed to trust a header; the
    // Info frame is audio like any other and nothing is trimmed (no gapless).
    const long flags = MPG123_QUIET | MPG123_IGNORE_INFOFRAME | MPG123_NO_READAHEAD |
                       MPG123_AUTO_RESAMPLE |
                       (channels == 1 ? MPG123_MONO_MIX : MPG123_FORCE_STEREO);
    const bool ok = mpg123_param(m_handle, MPG123_FLAGS, flags, 0) == MPG123_OK &&
                    mpg123_format_none(m_handle) == MPG123_OK &&
                    mpg123_format(m_handle, rate, channels == 1 ? MPG123_MONO : MPG123_STEREO,
                                  MPG123_ENC_SIGNED_16) == MPG123_OK &&
                    start();
    if (!ok) close();
    return ok;
}

void MpegDecoder::close() {
    if (!m_handle) return;
    mpg123_delete(m_handle);  // also closes the feed
    m_handle = nullptr;
}

bool MpegDecoder::start() { return mpg123_open_feed(m_handle) == MPG123_OK; }

void MpegDecoder::reset() {
    if (m_handle && !start()) close();
}

uint32_t MpegDecoder::decode(const uint8_t* frame, uint32_t frameBytes, uint8_t* dst,
                             uint32_t dstBytes, uint32_t minBytes) {
    uint32_t got = 0;
    if (m_handle && mpg123_feed(m_handle, frame, frameBytes) == MPG123_OK) {
        int result = MPG123_OK;
        while (got < dstBytes) {
            size_t done = 0;
            result = mpg123_read(m_handle, dst + got, dstBytes - got, &done);
            got += uint32_t(done);
            if (result != MPG123_NEW_FORMAT && (result != MPG123_OK || done == 0)) break;
        }
        // Anything but "frame used up" leaves input or output behind that
        // would play with the next frame: start clean instead.
        if (result != MPG123_NEED_MORE) reset();
    } else {
        reset();
    }
    const uint32_t least = std::min(minBytes, dstBytes);
    if (got < least) {
        std::memset(dst + got, 0, least - got);
        got = least;
    }
    return got;
}

}  // namespace platform
