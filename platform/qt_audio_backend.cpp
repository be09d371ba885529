// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt_audio_backend.h"

#include "platform/qt_wave_in.h"
#include "platform/qt_wave_out.h"

namespace platform {
namespace {
class QtAudioBackend : public AudioBackend {
public:
    std::unique_ptr<WaveOut> createWaveOut() override { return createQtWaveOut(); }
    std::unique_ptr<WaveIn> createWaveIn() override { return createQtWaveIn(); }
};
}  // namespace

std::unique_ptr<AudioBackend> createQtAudioBackend() { return std::make_unique<QtAudioBackend>(); }

}  // namespace platform
