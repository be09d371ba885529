// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// `parlotype --export FORMAT SOURCE -o OUT [--force] [--audio FILE]`: writes a
// script in another form. SOURCE is a script page (.htm, .html) or timed
// text (.vtt, .srt, labels .txt, a .json sync map); FORMAT is one of
//   vtt, srt, labels, json   timed text
//   epub                     an EPUB 3 with a media overlay
//   web                      a read-along page (OUT.htm/.html: one file with
//                            the audio inside; otherwise a folder)
//   html                     a script page, as Make Script writes one
// The audio of timed text is the file beside it with the same base name, or
// the one --audio names. OUT never replaces SOURCE or the audio, nor any
// existing file or folder without --force.
// Exit status: 0 written; 1 a file problem (the reason on standard error,
// nothing written); 2 a malformed command line.

#include "formats/cue.h"
#include "formats/script_items.h"

#include <QStringList>

// args: the arguments after "--export".
int runExportCommand(const QStringList& args);

// Writes `source` (a script page or timed text, with `audio` or the recording
// beside it) to `out` in `format` (vtt, srt, labels, json, epub, web, html);
// an existing `out` is replaced only with `force`. Returns why it could not,
// or an empty string (and the number of items written).
QString exportScript(const QString& format, const QString& source, const QString& audio, const QString& out,
                     bool force, int* itemCount = nullptr);

// Whether `path` names subtitles or labels the window opens as a script.
bool isTimedTextPath(const QString& path);

// The script page for timed text (the window's "Save as Script Page"):
// writes `pagePath` with one item per cue, playing `recording`. Returns why
// it could not, or an empty string when the page was written.
QString writeScriptPageFromCues(const QString& pagePath, const QString& recording, const QString& title,
                                const std::vector<Cue>& cues);

// Reads SOURCE as the command does: a script page's items, or timed text's
// cues as items (ids "c1", "c2", ...) with `audio` (or the file beside it).
ScriptReading readExportSource(const QString& source, const QString& audio, bool needAudio);
