// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Audio links: "file.wav#start#end". Recognising them, reading their times,
// and re-rooting links that pass through the "\Microsoft\CD Burning\" folder.

#include <QString>

// The number at the front of a NUL-terminated text, read as C's atof reads it
// in the "C" locale, whatever the process locale: leading white space, a
// sign, decimal digits with a point and exponent (or a hexadecimal number,
// "inf", "nan"); reading stops at the first byte that cannot continue it.
// A text without a number reads as 0.
double atofC(const char* text);

// True when the link's text before its first '#' ends in exactly ".wav",
// ".mp3", ".flac", ".ogg" or ".opus", all in lower or all in upper case, and
// does not begin with "http:" or "mailto:". (Old scripts wrote ".WAV" or
// ".wav", never ".Wav": mixed case is left to the web view.)
bool isAudioLink(const QString& url);

// An audio link taken apart: the file part (everything before the first '#'),
// the start time (after the first '#'; 0 without one) and the end time (after
// the last '#', only when there are two or more; 0 otherwise).
struct AudioLinkParts {
    QString file;
    double start = 0;
    double end = 0;
};
AudioLinkParts splitAudioLink(const QString& url);

// Kept for old scripts burned to CD, whose links still go through Windows' "\Microsoft\CD Burning\".
// If url contains that marker, returns the script's folder (documentPath up
// to its last '\'), a '\', and the text after the marker. Returns url
// unchanged when it has no marker, or when the folder or the rewritten link
// would be longer than 255 characters.
QString rerootBurnedLink(const QString& url, const QString& documentPath);
