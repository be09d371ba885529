// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The real sound backend: devices of the sound server (PulseAudio) through
// Qt Multimedia's QAudioSink and QAudioSource.

#include "platform/wave_device.h"

namespace platform {

std::unique_ptr<AudioBackend> createQtAudioBackend();

}  // namespace platform
