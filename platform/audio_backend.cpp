// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt_audio_backend.h"
#include "platform/sim_audio.h"
#include "platform/wave_device.h"

namespace platform {

std::unique_ptr<AudioBackend> createAudioBackend() {
    if (qgetenv("PARLOTYPE_AUDIO") == "sim") return std::make_unique<SimAudioBackend>();
    return createQtAudioBackend();
}

}  // namespace platform
