// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/app_identity.h"

#include <QCoreApplication>
#include <QGuiApplication>

void setApplicationIdentity() {
    QCoreApplication::setOrganizationName(QStringLiteral("Phonic Ledger Suite"));
    QCoreApplication::setApplicationName(QStringLiteral("Parlotype"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PARLOTYPE_VERSION));
    // Lets the desktop match the window to parlotype.desktop and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("parlotype"));
}
