// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reads WebVTT, SRT and Audacity label files into cues.
//
// WebVTT is read as browsers read it: cue settings are ignored, tags (voice,
// class, bold, ...) leave their text, NOTE, STYLE and REGION blocks are
// skipped, timestamps may leave out the hours. SRT may start with a byte
// order mark, use CRLF, a comma or a dot before the milliseconds, and lack the
// final blank line. Labels are Audacity's: start, end and text separated by
// tabs, one label a line (its spectral-selection lines are skipped). A sync
// map is the JSON that writeSyncMap() writes.
// A file that is not what it claims gives an error naming the line.

#include "formats/cue.h"

#include <QByteArray>
#include <QStringList>
#include <QString>

enum class CueFormat { WebVtt, Srt, Labels, SyncMap, Unknown };

// The format a file's name claims: .vtt, .srt, .txt (labels, also .labels.txt),
// .json (the sync map script_export.h writes).
CueFormat cueFormatOfPath(const QString& path);

CueReading readCues(const QByteArray& data, CueFormat format);
// Reads the file at `path` in the format its name claims; the error names it.
CueReading readCueFile(const QString& path);

// The audio beside a cue file: same base name ("talk" for talk.vtt and
// talk.labels.txt), any suffix the program plays, case not minding.
struct AudioBeside {
    enum class Found { One, None, Several };
    Found found = Found::None;
    QStringList paths;  // what was found, sorted
};
AudioBeside findAudioBeside(const QString& cuePath);

// The audio suffixes the program plays (lower case, without the dot).
const QStringList& audioSuffixes();
bool hasAudioSuffix(const QString& path);
