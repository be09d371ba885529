// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// `parlotype --compare SCRIPT ITEM TAKE`: compares a take (a WAV or MP3 file)
// with an item of a script (ITEM: its number on the page from 1, or its
// anchor's name) and prints three lines:
//   missing: WORD ...      the item's words without counterpart in the take
//   pace: ...              the take's length against the model's
//   melody: ...            how closely the take's pitch follows the model's
// Exit status: 0 compared; 1 a file that cannot be read, an unknown item or no
// speech (the reason on standard error); 2 a malformed command line.

#include <QStringList>

// args: the arguments after "--compare".
int runCompareCommand(const QStringList& args);
