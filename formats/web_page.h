// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A read-along web page of a script that plays in any current browser from
// the disk, with no server and no network: an <audio> element plays the
// recording; clicking an item plays its stretch; the item sounding has the
// class "parlotype-current" (a timed word "parlotype-current-word") and the
// page follows it; a speed control and Repeat (the clicked stretch again and
// again). Plain HTML, CSS and a small script of its own.

#include "formats/script_items.h"

#include <QString>

// The most audio a single-file page carries inside itself (as a data: URL).
inline constexpr qint64 kMaxEmbeddedAudioBytes = 20 * 1024 * 1024;

// The page's HTML; `audioUrl` is what its <audio> element plays (a path
// relative to the page, or a data: URL).
QString webPageHtml(const ScriptReading& script, const QString& audioUrl);

// Writes `out`: ending in .htm or .html, one page with the audio inside it
// (up to kMaxEmbeddedAudioBytes); otherwise a folder holding index.html and
// a copy of the audio. False, with `error` set and nothing left behind, on
// failure.
bool writeWebPage(const QString& out, const ScriptReading& script, QString& error);
