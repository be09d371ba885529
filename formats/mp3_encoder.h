// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Recordings EPUB reading systems need not play (WAV, FLAC, Ogg) turned into
// MP3 for a book, with libsndfile (LAME inside). The encoder's delay (about
// 1,100 samples at the start) shifts the book's audio by a few hundredths of
// a second against the original.

#include <QString>

// Encodes `input` as MP3 at `output`. False, with `error` set, when it cannot
// (a rate MP3 does not carry, more than two channels, unreadable input).
bool encodeMp3(const QString& input, const QString& output, QString& error);
