// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Timed text read from subtitles and labels, and how a read went.

#include <QString>
#include <vector>

// One stretch of the recording and what is said in it.
struct Cue {
    double start = 0;  // seconds
    double end = 0;    // seconds, never before start
    QString text;      // one line, as a reader sees it
};

// The result of reading a file: the cues, or the reason there are none.
// Nothing is half-read: on an error the list is empty.
struct CueReading {
    std::vector<Cue> cues;
    QString error;  // a sentence for the user; empty when the file was read
    int line = 0;   // the line the error lies on (1 = the first); 0 for none

    bool ok() const { return error.isEmpty(); }
};
