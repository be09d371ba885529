// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writes the script page for an aligned recording: the text's paragraphs,
// each item a named anchor whose link plays its stretch of the recording
// ("talk.wav#12.50#15.20", relative to the page), the unsure ones marked.
// The page is written to a temporary file and renamed, so a failure leaves
// nothing behind.

#include "align/aligner.h"
#include "align/script_text.h"

#include <QString>
#include <vector>

// False, with `error` set, when the page could not be written.
bool WriteScriptPage(const QString& pagePath, const QString& recording, const ScriptText& text,
                     const std::vector<AlignedItem>& items, QString& error);

// The page's default path: the recording's, with ".htm" for its suffix.
QString DefaultPagePath(const QString& recording);
