// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Character references in a page's text, as browsers read old pages.

#include <QString>

// Replaces the character references of `s`: "&#233;" and "&#xE9;" (the ';'
// may be left out), the five of XML and the Latin-1 names ("&eacute;"). Others
// stay as written; a number that is no character becomes U+FFFD.
QString decodeCharacterReferences(const QString& s);
