#pragma once
// The script index: the HTML page beside the executable that Go Home and the
// "index:" link lead to.

#include <QString>

// The executable's path with the extension of its file name replaced by
// ".htm", or ".htm" appended when the file name has none. Both '/' and '\'
// separate folders; a '.' in a folder name, or one that only begins the
// file name (".name"), is no extension.
QString ScriptIndexPath(const QString& executablePath);
