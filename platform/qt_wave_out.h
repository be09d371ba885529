// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Wave output on the sound server through QAudioSink.

#include "platform/wave_device.h"

namespace platform {

std::unique_ptr<WaveOut> createQtWaveOut();

}  // namespace platform
