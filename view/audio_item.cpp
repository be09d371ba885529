// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/audio_item.h"

#include "html/html_tokenizer.h"
#include "view/audio_link.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

bool IsSlash(char c) { return c == '/' || c == '\\'; }

void ToBackslashesUpper(char* p, qsizetype n) {
    for (char* end = p + n; p < end; ++p) {
        if (*p == '/') *p = '\\';
        else if (*p >= 'a' && *p <= 'z') *p = char(*p - ('a' - 'A'));
    }
}

// The value of one escape digit: ch - 55 above '9', ch - 48 otherwise, with
// bytes read as signed, as the escapes of old scripts were decoded.
int EscapeDigit(char ch) {
    const int v = static_cast<signed char>(ch);
    return v > '9' ? v - 55 : v - 48;
}

// Decodes the %XX escapes of `s` in place. A decoded '%' starts an escape
// with the bytes after it. A '%' with fewer than two bytes after it ends the
// decoding; the rest is kept as it is.
void DecodeEscapes(QByteArray& s) {
    char* d = s.data();
    const qsizetype n = s.size();
    qsizetype r = 0, w = 0;
    while (r < n) {
        if (d[r] != '%') {
            d[w++] = d[r++];
        } else if (n - r < 3) {
            while (r < n) d[w++] = d[r++];
        } else {
            const unsigned high = static_cast<unsigned>(EscapeDigit(d[r + 1]));
            const unsigned low = static_cast<unsigned>(EscapeDigit(d[r + 2]));
            r += 2;
            d[r] = static_cast<char>((high << 4) | low);  // looked at again
        }
    }
    s.resize(w);
}

bool Less(double a, double b) { return a < b || (std::isnan(b) && !std::isnan(a)); }

int CompareTimes(double a, double b) { return Less(a, b) ? -1 : Less(b, a) ? 1 : 0; }

int CompareRecords(const AudioItem& x, const AudioItem& y) {
    if (int c = CompareTimes(x.start, y.start)) return c;
    if (int c = CompareTimes(x.end, y.end)) return c;
    for (size_t i = 0; i < sizeof x.name; ++i) {
        const unsigned char cx = x.name[i], cy = y.name[i];
        if (cx != cy) return cx < cy ? -1 : 1;
        if (cx == 0) break;
    }
    return 0;
}

bool ItemLess(const AudioItem& a, const AudioItem& b) { return CompareRecords(a, b) < 0; }

// What an anchor's attributes say, pointing into the token's strings.
struct AnchorTexts {
    const QByteArray* name = nullptr;
    const char* start = nullptr;  // NUL-terminated; null when the start text is empty
    const char* end = nullptr;
};

void ReadHref(const QByteArray& value, CLinkMatcher& matcher, AnchorTexts& texts) {
    const qsizetype first = value.indexOf('#');
    const qsizetype last = value.lastIndexOf('#');
    if (!matcher.Matches(value.constData(), first < 0 ? value.size() : first)) return;
    // The start text runs from after the first '#' (for two or more '#' up to
    // the last one, where reading the number stops anyway).
    const bool noStart = first >= 0 && first == last && first + 1 == value.size();
    texts.start = first < 0 ? "0" : noStart ? nullptr : value.constData() + first + 1;
    texts.end = first == last ? "0" : value.constData() + last + 1;
}

void FillItem(AudioItem& item, const AnchorTexts& texts) {
    item.start = Atof(texts.start);
    item.end = Atof(texts.end);
    std::memset(item.name, 0, sizeof item.name);
    std::memcpy(item.name, texts.name->constData(),
                std::min<qsizetype>(texts.name->size(), sizeof item.name - 1));
}

}  // namespace

int CompareItems(const void* a, const void* b) {
    return CompareRecords(*static_cast<const AudioItem*>(a), *static_cast<const AudioItem*>(b));
}

CLinkMatcher::CLinkMatcher(const QByteArray& pageUrl, const QByteArray& fileName)
    : m_folder(pageUrl), m_file(fileName) {
    const qsizetype fragment = m_folder.indexOf('#');
    if (fragment >= 0) m_folder.truncate(fragment);
    if (m_folder.startsWith("file:///")) {
        const bool drive = m_folder.size() > 9 && m_folder[9] == ':';
        m_folder.remove(0, drive ? 8 : 7);  // "/home/..." keeps its root
    }
    m_folder.replace('/', '\\');
    const qsizetype slash = m_folder.lastIndexOf('\\');
    m_folder.truncate(std::max<qsizetype>(slash, 0));
    ToBackslashesUpper(m_file.data(), m_file.size());
}

bool CLinkMatcher::Matches(const char* href, qsizetype len) {
    const char* h = href;
    const char* const hEnd = href + len;
    qsizetype folderLen = m_folder.size();
    while (hEnd - h >= 3 && h[0] == '.' && h[1] == '.' && IsSlash(h[2])) {
        folderLen = std::max<qsizetype>(QByteArrayView(m_folder.constData(), folderLen).lastIndexOf('\\'), 0);
        h += 3;
    }

    // The link made absolute: a drive path alone, a rooted one after the
    // page's drive (if it has one), any other after the page's folder.
    qsizetype prefix = folderLen + 1;
    if (hEnd - h >= 2 && h[1] == ':') prefix = 0;
    else if (h < hEnd && IsSlash(*h)) prefix = folderLen >= 2 && m_folder[1] == ':' ? 2 : 0;
    const qsizetype hLen = hEnd - h;
    if (prefix + hLen < m_file.size()) return false;  // decoding only shortens it
    m_link.resize(prefix + hLen);
    char* d = m_link.data();
    std::memcpy(d, m_folder.constData(), std::min(prefix, folderLen));
    if (prefix == folderLen + 1) d[folderLen] = '\\';
    if (hLen) std::memcpy(d + prefix, h, hLen);

    ToBackslashesUpper(m_link.data(), m_link.size());
    if (!m_link.contains('%')) return m_link == m_file;
    const QByteArray encoded = m_link;
    DecodeEscapes(m_link);
    // Decoded as URLs are, once, a '%' in a file name (written %25) stays a '%'.
    return m_link == m_file || QByteArray::fromPercentEncoding(encoded) == m_file;
}

bool LinkMatchesFile(const QByteArray& pageUrl, const QByteArray& href, const QByteArray& fileName) {
    CLinkMatcher matcher(pageUrl, fileName);
    return matcher.Matches(href.constData(), href.size());
}

int ScanItemsFromStream(CByteStream& stream, const QString& pageUrl, const QString& fileName,
                        AudioItem* pItems, int nMaxItems) {
    CLinkMatcher matcher(pageUrl.toUtf8(), fileName.toUtf8());
    CHtmlTokenizer tokenizer(&stream);
    int nItems = 0;
    while (nItems < nMaxItems) {
        const CHtmlToken* t = tokenizer.NextToken();
        if (!t) break;
        if (t->m_nKind != TOKEN_TAG || t->m_strText != "A") continue;
        AnchorTexts texts;
        for (int i = 0; i + 1 < t->m_nAttr; i += 2) {
            if (t->m_pAttr[i] == "HREF") ReadHref(t->m_pAttr[i + 1], matcher, texts);
            else if (t->m_pAttr[i] == "NAME") texts.name = &t->m_pAttr[i + 1];
        }
        if (texts.name && !texts.name->isEmpty() && texts.start)
            FillItem(pItems[nItems++], texts);
    }
    // Scripts list their items in time order: check before sorting.
    if (!std::is_sorted(pItems, pItems + nItems, ItemLess)) std::sort(pItems, pItems + nItems, ItemLess);
    return nItems;
}

int FindCurrentItem(const AudioItem* pItems, int nItems, double seconds) {
    int k = -1;
    double best = 1000.0;
    for (int i = 0; i < nItems; ++i) {
        const double d = seconds - pItems[i].start;
        if (d >= 0 && d < best) {
            best = d;
            k = i;
        }
    }
    return k;
}
