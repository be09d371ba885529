// SPDX-License-Identifier: GPL-3.0-or-later
#include "message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

namespace platform {
namespace {
MessageSink& sink() {
    static MessageSink s;
    return s;
}
}  // namespace

void showMessage(const QString& text) {
    if (sink()) {
        sink()(text);
    } else if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        QMessageBox::warning(QApplication::activeWindow(), QCoreApplication::translate("platform::MessageBox", "Parlotype"), text);
    } else {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    }
}

void setMessageSink(MessageSink s) { sink() = std::move(s); }

}  // namespace platform
