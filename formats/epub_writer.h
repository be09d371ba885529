// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An EPUB 3 of a script: its items as one XHTML page, the audio, and a media
// overlay (SMIL) that plays each item's stretch (clipBegin, clipEnd) while
// the reading system highlights it. Audio other than MP3 goes in as MP3.

#include "formats/script_items.h"

#include <QString>

// False, with `error` set and nothing written, when the book could not be made.
bool writeEpub(const QString& path, const ScriptReading& script, QString& error);

// The audio media types every EPUB reading system plays, by file suffix;
// empty for a suffix it need not.
QString epubAudioType(const QString& audioPath);
