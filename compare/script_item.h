// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The items of a script page with their words: every named anchor whose link
// plays a stretch of a WAV or MP3 file, in page order, with the text the
// anchor holds. The page is read as UTF-8 with character references decoded
// (the pages Make Script writes).

#include <QString>
#include <vector>

struct ModelItem {
    QString name;   // the anchor's name
    QString audio;  // the linked file, a local path resolved against the page's folder
    double start = 0, end = 0;  // seconds; end 0 when the link gives none
    QString text;   // the anchor's text, white space collapsed
};

// False, with `error` set, when the page cannot be read.
bool readModelItems(const QString& pagePath, std::vector<ModelItem>& items, QString& error);

// The item named by `key`: its number on the page from 1, or its anchor's
// name. -1 when there is none.
int findModelItem(const std::vector<ModelItem>& items, const QString& key);
