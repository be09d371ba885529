// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/web_rendering.h"

#include <QByteArray>
#include <QByteArrayList>

namespace platform {

void chooseWebRendering() {
    if (qEnvironmentVariableIsSet("QT_QUICK_BACKEND") || qEnvironmentVariableIsSet("QMLSCENE_DEVICE")) return;
    const QByteArrayList flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").split(' ');
    if (flags.contains("--disable-gpu")) qputenv("QT_QUICK_BACKEND", "software");
}

}  // namespace platform
