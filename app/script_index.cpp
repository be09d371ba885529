#include "app/script_index.h"

QString ScriptIndexPath(const QString& executablePath) {
    const qsizetype nameStart =
        std::max(executablePath.lastIndexOf(u'/'), executablePath.lastIndexOf(u'\\')) + 1;
    const qsizetype dot = executablePath.lastIndexOf(u'.');
    const bool hasExtension = dot > nameStart;
    return (hasExtension ? executablePath.left(dot) : executablePath) + QLatin1String(".htm");
}
