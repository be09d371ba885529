// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt_audio_backend.h"
#include "platform/sim_audio.h"
#include "platform/wave_device.h"

namespace platform {
namespace {
AudioBackend* overridden = nullptr;

AudioBackend& defaultBackend() {
    static const std::unique_ptr<AudioBackend> backend =
        qgetenv("PARLOTYPE_AUDIO") == "sim" ? std::unique_ptr<AudioBackend>(new SimAudioBackend())
                                            : createQtAudioBackend();
    return *backend;
}
}  // namespace

AudioBackend& audioBackend() { return overridden ? *overridden : defaultBackend(); }

void setAudioBackend(AudioBackend* backend) { overridden = backend; }

}  // namespace platform
