// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/script_index.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString scriptIndexPath(const QString& executablePath) {
    const qsizetype nameStart =
        std::max(executablePath.lastIndexOf(u'/'), executablePath.lastIndexOf(u'\\')) + 1;
    const qsizetype dot = executablePath.lastIndexOf(u'.');
    const bool hasExtension = dot > nameStart;
    return (hasExtension ? executablePath.left(dot) : executablePath) + QLatin1String(".htm");
}

QString findScriptIndex(const QString& executablePath, const QString& userDataFolder) {
    const QFileInfo beside(scriptIndexPath(executablePath));
    const QString name = beside.fileName();
    const QString candidates[] = {
        beside.filePath(),
        userDataFolder + u'/' + name,
        QDir::cleanPath(beside.path() + QLatin1String("/../share/parlotype/") + name),
    };
    for (const QString& path : candidates)
        if (QFileInfo(path).isFile()) return path;
    return beside.filePath();
}

QString userScriptFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QLatin1String("/parlotype");
}
