#include "platform/qt_audio_backend.h"

#include <QtGlobal>

namespace platform {

// Temporary: the Qt Multimedia devices land in the next commits.
std::unique_ptr<AudioBackend> createQtAudioBackend() {
    qFatal("Qt Multimedia sound backend not built yet; run with PARLOTYPE_AUDIO=sim");
}

}  // namespace platform
