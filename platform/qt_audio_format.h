#pragma once
// Conversions shared by the Qt Multimedia devices.

#include "platform/wave_device.h"

#include <QAudioFormat>
#include <optional>

namespace platform {

// The Qt format for a PCM format the program hands over; none for a format
// Qt cannot play (only 8-bit unsigned and 16-bit signed PCM are taken).
std::optional<QAudioFormat> toQtFormat(const WaveFormat& format);

// Whole frames of `format` in `usecs` microseconds, in bytes.
uint64_t bytesForUsecs(const WaveFormat& format, int64_t usecs);

}  // namespace platform
