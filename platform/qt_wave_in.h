// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Wave input from the sound server through QAudioSource.

#include "platform/wave_device.h"

namespace platform {

std::unique_ptr<WaveIn> createQtWaveIn();

}  // namespace platform
