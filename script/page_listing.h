// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two listings of a page: its source text line by line, and the tokens
// the program's tokenizer reads from it. Every line ends with CR LF; nothing
// is escaped. Both read `stream` to its end.

#include <QByteArray>

class ByteStream;

// Each line of the page without its line end, then CR LF.
QByteArray sourceListing(ByteStream& stream);

// One entry per token: a text token as its text between double quotes; a
// tag as "<NAME>", or "<NAME:" followed by one line per attribute ("  NAME",
// with ="value" when the value is not empty) and a closing ">".
QByteArray parsedListing(ByteStream& stream);
