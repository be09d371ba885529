// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writes the script page for an aligned recording: the text's paragraphs,
// each item a named anchor whose link plays its stretch of the recording
// ("talk.wav#12.50#15.20", relative to the page), the unsure ones marked.
// Inside the link each word carries its own times:
//   <span class="w" data-begin="12.500" data-end="12.820">word</span>
// An item not found in the recording is plain text in <span class="missing">;
// speech that no item covers shows as <span class="extra" title="speech not
// in the text: 1:02.3–1:05.0">, between the items around it.
// The page is written to a temporary file and renamed, so a failure leaves
// nothing behind. It carries a generator mark (kScriptPageGenerator), by
// which a later run knows a page it may replace.

#include "align/aligner.h"
#include "align/script_text.h"

#include <QString>
#include <vector>

inline constexpr char kScriptPageGenerator[] = "Parlotype Make Script";

// False, with `error` set, when the page could not be written.
bool writeScriptPage(const QString& pagePath, const QString& recording, const ScriptText& text,
                     const std::vector<AlignedItem>& items, const std::vector<ExtraSpeech>& extra, QString& error);

// A time as the program shows it: minutes, seconds and tenths ("12:03.4").
QString clockTime(double seconds);

// One word of an item as a page's word markup gives it.
struct PageWord {
    QString text;
    double start, end;
};
struct PageItemWords {
    QString anchor;  // the item's anchor name
    std::vector<PageWord> words;
};
// The timed words of each item of a script page (its bytes, UTF-8), in page
// order, read with the program's HTML tokenizer; items without word markup
// are left out.
std::vector<PageItemWords> readPageWords(const QByteArray& html);

// The same page for items that come with no text file (a subtitle's cues):
// `title` heads the page (no link), then one item per line, each its own
// paragraph, with times to the millisecond.
bool writeScriptPage(const QString& pagePath, const QString& recording, const QString& title,
                     const QStringList& lines, const std::vector<AlignedItem>& items, QString& error);

// The page's default path: the recording's, with ".htm" for its suffix.
QString defaultPagePath(const QString& recording);

// Why no page can be made for `recording`, or empty when one can: a '#' in
// its path would end the file part of every link to it.
QString recordingPathProblem(const QString& recording);

// Why the page may not go to `pagePath`, or empty when it may: it is the
// recording or the text (the same path, a link to it or a hard link).
QString pagePathProblem(const QString& pagePath, const QString& recording, const QString& text);

// True when `pagePath` holds a page with the generator mark.
bool isMadeScriptPage(const QString& pagePath);
