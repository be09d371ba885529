// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// `parlotype --play LINK [--speed X]`: plays one audio link through the file
// player (at speed X, 0.5 to 2, with the pitch kept), for
// scripts and tests. LINK is written as in a script: FILE, FILE#START or
// FILE#START#END (seconds). Prints the position as the time pane shows it
// (timeText) at least every half second on standard output while playing.
// Exit status: 0 played to the end time or the end of the data; 1 the file
// or the device failed, or the device stalled with sound queued (a message
// on standard error); 2 a malformed command line (the message on standard
// error). The link is read
// as the script view reads audio links (splitAudioLink).

class CommandLine;

// argc and argv go to the QCoreApplication this command runs in.
int runPlayCommand(const CommandLine& commandLine, int argc, char** argv);
