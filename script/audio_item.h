// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The audio item table of a script page: the named anchors whose links lead
// to the audio file being played, sorted by time, and the lookup of the item
// sounding at a position.

#include <QByteArray>
#include <QString>

class ByteStream;

struct AudioItem {
    double start = 0;  // seconds
    double end = 0;    // seconds; 0 when the link gives none
    QString name;      // the anchor's NAME, decoded as the page's text is
};

// The most items a page yields, the limit old scripts were made under; the
// anchors past it are dropped.
constexpr int kMaxAudioItems = 25000;

// Orders items by start, then end, then name (UTF-16 code units), as a
// three-way comparison. A NaN time sorts after every number, so the order
// stays consistent whatever a page holds.
int compareItems(const void* a, const void* b);

// Decides whether links found on one page lead to one file. Paths are
// compared with '/' read as '\', upper-cased (ASCII letters), and the link's
// %XX escapes decoded after upper-casing: as old scripts' were (a decoded '%'
// starts another escape), or else once, as a URL's are. A page address
// "file:///D:/..." gives the folder "D:\...", "file:///home/..." the folder
// "\home\...". A link is resolved against the page's folder: leading "../"
// steps go up; a link with a drive ("D:...") stands alone; one that begins
// with '/' takes the page's drive, or nothing on a page without one.
class LinkMatcher {
public:
    // pageUrl: the page's address (encoded; its '#' fragment is set aside).
    // fileName: the path the file player opened, taken as it is.
    LinkMatcher(const QByteArray& pageUrl, const QByteArray& fileName);
    // href: the link without its fragment.
    bool matches(const char* href, qsizetype len);

private:
    QByteArray m_folder;  // the page's folder, '\' separated, no trailing '\'
    QByteArray m_file;    // the file name, '\' separated, upper-cased
    QByteArray m_link;    // working copy of the link being compared
};

bool linkMatchesFile(const QByteArray& pageUrl, const QByteArray& href, const QByteArray& fileName);

// Reads the page from `stream` and fills items with the anchors (A tags)
// that have a NAME and an HREF leading to fileName, at most maxItems of them
// in page order (later ones are dropped), then sorts them with compareItems.
// Names are decoded as a browser decodes the page: in the charset a META tag
// declares (UTF-8 when none does, or when Qt does not know the one declared),
// then their character references (numeric ones, and by name the five of XML
// and those of the Latin-1 letters and signs).
// pageUrl is the page's address as linkMatchesFile takes it. Returns the
// number of items. Records past that number are left as they were.
int scanItemsFromStream(ByteStream& stream, const QString& pageUrl, const QString& fileName,
                        AudioItem* items, int maxItems);

// The item sounding at `seconds`: the one with the latest start not after it,
// provided that start is less than 1000 seconds before; among equal starts
// the first in table order. Returns its index, or -1 when none qualifies.
int findCurrentItem(const AudioItem* items, int itemCount, double seconds);
