// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A script's items written as WebVTT, SRT, Audacity labels or a JSON sync
// map, times to the millisecond. Reading the result back (cue_reader.h) gives
// the same items: their text on one line, their times within a millisecond.

#include "formats/script_items.h"

#include <QByteArray>

QByteArray writeWebVtt(const std::vector<ScriptItem>& items);
QByteArray writeSrt(const std::vector<ScriptItem>& items);
QByteArray writeLabels(const std::vector<ScriptItem>& items);
// {"audio": FILE, "items": [{"id", "begin", "end", "text", "words": [...]}]},
// "words" only for items with word timings.
QByteArray writeSyncMap(const std::vector<ScriptItem>& items, const QString& audioName);

// Milliseconds, rounded, of a time in seconds.
qint64 toMilliseconds(double seconds);
// "hh:mm:ss.mmm" (WebVTT) or "hh:mm:ss,mmm" (SRT).
QString clockTime(double seconds, QChar decimalSign);
