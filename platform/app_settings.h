#pragma once
// The program's settings in the user's settings store.

#include <QSettings>

namespace platform {

inline QSettings AppSettings() {
    return QSettings(QStringLiteral("Phonic Ledger Suite"), QStringLiteral("Parlotype"));
}

}  // namespace platform
