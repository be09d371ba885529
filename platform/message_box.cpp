// SPDX-License-Identifier: GPL-3.0-or-later
#include "message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

namespace platform {

void Messages::show(const QString& text) const {
    if (m_sink) {
        m_sink(text);
    } else if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        QMessageBox::warning(QApplication::activeWindow(), QCoreApplication::translate("platform::MessageBox", "Parlotype"), text);
    } else {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    }
}

}  // namespace platform
