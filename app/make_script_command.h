// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// `parlotype --make-script RECORDING TEXT [-o SCRIPT.htm] [--lang CODE] [--skip SECONDS]`:
// aligns the text's items with the recording and writes the script page
// (default: beside the recording, its name with ".htm"). Prints one line per
// item ("  3    12.50    15.20  text", a '?' before the text of an unsure
// item) and a summary on standard output; the unsure items again on standard
// error, so the author knows what to check by ear.
// Exit status: 0 the page was written; 1 bad input or a failure (the reason
// on standard error, nothing written); 2 a malformed command line.

#include <QStringList>

// args: the arguments after "--make-script".
int runMakeScriptCommand(const QStringList& args);
