// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The items of a script page, with their text, for writing the script in
// other forms. An item is a named anchor whose link plays a stretch of an
// audio file ("talk.wav#12.5#20"); its text is the link's text or, when the
// link holds none, the text after it on its line. Word timings are spans
// inside the item: <span data-begin="12.5" data-end="12.9">word</span>.

#include <QString>
#include <vector>

struct TimedWord {
    double begin = 0, end = 0;
    QString text;
};

struct ScriptItem {
    QString id;     // the anchor's name
    QString file;   // the link's file part, as written (decoded)
    double start = 0;
    double end = 0;  // a link without an end time ends where the next item starts
    QString text;
    std::vector<TimedWord> words;
};

struct ScriptReading {
    QString title;                  // the page's <title>, or its file's base name
    QString audio;                  // the absolute path of the file the items play
    std::vector<ScriptItem> items;  // in page order
    QString error;                  // a sentence for the user; empty when read
    bool ok() const { return error.isEmpty(); }
};

// Reads the page's bytes; `pagePath` places the links' files.
ScriptReading readScriptItems(const QByteArray& page, const QString& pagePath);
ScriptReading readScriptPage(const QString& pagePath);
