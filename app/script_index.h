// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The script index: the HTML page that Go Home and the "index:" link lead to.

#include <QString>

// The executable's path with the extension of its file name replaced by
// ".htm", or ".htm" appended when the file name has none. Both '/' and '\'
// separate folders; a '.' in a folder name, or one that only begins the
// file name (".name"), is no extension.
QString scriptIndexPath(const QString& executablePath);

// The index the program uses, the first of these that exists (each named as
// the one beside the executable, "parlotype.htm"):
//   1. beside the executable (a build tree),
//   2. in `userDataFolder` (the user's own index),
//   3. in the installed share folder, ../share/parlotype/ from the executable's folder.
// When none exists, the path beside the executable.
QString findScriptIndex(const QString& executablePath, const QString& userDataFolder);

// The user's data folder for FindScriptIndex: ~/.local/share/parlotype.
QString userScriptFolder();
