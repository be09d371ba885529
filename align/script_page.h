// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writes the script page for an aligned recording: the text's paragraphs,
// each item a named anchor whose link plays its stretch of the recording
// ("talk.wav#12.50#15.20", relative to the page), the unsure ones marked.
// The page is written to a temporary file and renamed, so a failure leaves
// nothing behind. It carries a generator mark (kScriptPageGenerator), by
// which a later run knows a page it may replace.

#include "align/aligner.h"
#include "align/script_text.h"

#include <QString>
#include <vector>

inline constexpr char kScriptPageGenerator[] = "Parlotype Make Script";

// False, with `error` set, when the page could not be written.
bool WriteScriptPage(const QString& pagePath, const QString& recording, const ScriptText& text,
                     const std::vector<AlignedItem>& items, QString& error);

// The same page for items that come with no text file (a subtitle's cues):
// `title` heads the page (no link), then one item per line, each its own
// paragraph, with times to the millisecond.
bool WriteScriptPage(const QString& pagePath, const QString& recording, const QString& title,
                     const QStringList& lines, const std::vector<AlignedItem>& items, QString& error);

// The page's default path: the recording's, with ".htm" for its suffix.
QString DefaultPagePath(const QString& recording);

// Why no page can be made for `recording`, or empty when one can: a '#' in
// its path would end the file part of every link to it.
QString RecordingPathProblem(const QString& recording);

// Why the page may not go to `pagePath`, or empty when it may: it is the
// recording or the text (the same path, a link to it or a hard link).
QString PagePathProblem(const QString& pagePath, const QString& recording, const QString& text);

// True when `pagePath` holds a page with the generator mark.
bool IsMadeScriptPage(const QString& pagePath);
