// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The MPEG audio converter: libmpg123 in feed mode, one complete frame
// (layer I, II or III) in, its 16-bit PCM out, per call.
//
// The timeline is exact: every frame yields its own frame's worth of samples,
// an encoder's Info/Xing frame included, with no gapless trimming, so times
// computed from frame lengths match what is heard.

#include <cstdint>

struct mpg123_handle_struct;

namespace platform {

class MpegDecoder {
public:
    MpegDecoder();
    ~MpegDecoder();
    MpegDecoder(const MpegDecoder&) = delete;
    MpegDecoder& operator=(const MpegDecoder&) = delete;

    // Prepares to turn frames into native-endian signed 16-bit PCM at `rate` Hz
    // with `channels` (1 or 2); frames of another rate or channel count are
    // converted to that format. False, with nothing open, when the library
    // refuses the format.
    bool open(long rate, int channels);
    void close();
    bool isOpen() const { return m_handle != nullptr; }

    // Decodes one complete frame into `dst` (room for `dstBytes`, which should
    // hold more than one frame's PCM: what does not fit is cut and the decoder
    // restarts) and returns the PCM bytes written. The frame's PCM is never shorter than `minBytes`
    // (its duration in the output format): what the library does not produce
    // (a frame it cannot decode, missing bit reservoir after a seek) is
    // silence, and a frame it refuses resets the decoder.
    uint32_t decode(const uint8_t* frame, uint32_t frameBytes, uint8_t* dst, uint32_t dstBytes,
                    uint32_t minBytes);

    // Forgets all decoder state (bit reservoir, filter history, unread input),
    // so nothing of the audio before a seek leaks into what follows.
    void reset();

private:
    bool start();  // opens a fresh feed on the handle

    ::mpg123_handle_struct* m_handle = nullptr;
};

}  // namespace platform
