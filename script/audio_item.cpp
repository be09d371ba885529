// SPDX-License-Identifier: GPL-3.0-or-later
#include "script/audio_item.h"

#include "html/character_references.h"
#include "html/html_tokenizer.h"
#include "script/audio_link.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <QByteArrayList>
#include <QStringDecoder>

namespace {

bool isSlash(char c) { return c == '/' || c == '\\'; }

// Old scripts hold Windows paths, where case does not count and '/' is '\':
// both sides are compared in that one spelling.
void toBackslashesUpper(char* p, qsizetype n) {
    for (char* end = p + n; p < end; ++p) {
        if (*p == '/') *p = '\\';
        else if (*p >= 'a' && *p <= 'z') *p = char(*p - ('a' - 'A'));
    }
}

// The value of one escape digit: ch - 55 above '9', ch - 48 otherwise, with
// bytes read as signed, as the escapes of old scripts were decoded.
int escapeDigit(char ch) {
    const int v = static_cast<signed char>(ch);
    return v > '9' ? v - 55 : v - 48;
}

// Decodes the %XX escapes of `s` in place. A decoded '%' starts an escape
// with the bytes after it. A '%' with fewer than two bytes after it ends the
// decoding; the rest is kept as it is.
void decodeEscapes(QByteArray& s) {
    char* d = s.data();
    const qsizetype n = s.size();
    qsizetype r = 0, w = 0;
    while (r < n) {
        if (d[r] != '%') {
            d[w++] = d[r++];
        } else if (n - r < 3) {
            while (r < n) d[w++] = d[r++];
        } else {
            const unsigned high = static_cast<unsigned>(escapeDigit(d[r + 1]));
            const unsigned low = static_cast<unsigned>(escapeDigit(d[r + 2]));
            r += 2;
            d[r] = static_cast<char>((high << 4) | low);  // looked at again
        }
    }
    s.resize(w);
}

bool timeLess(double a, double b) { return a < b || (std::isnan(b) && !std::isnan(a)); }

int compareTimes(double a, double b) { return timeLess(a, b) ? -1 : timeLess(b, a) ? 1 : 0; }

int compareRecords(const AudioItem& x, const AudioItem& y) {
    if (int c = compareTimes(x.start, y.start)) return c;
    if (int c = compareTimes(x.end, y.end)) return c;
    const int c = QString::compare(x.name, y.name);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

bool itemLess(const AudioItem& a, const AudioItem& b) { return compareRecords(a, b) < 0; }

// What an anchor's attributes say, pointing into the token's strings.
struct AnchorTexts {
    const QByteArray* name = nullptr;
    const char* start = nullptr;  // NUL-terminated; null when the start text is empty
    const char* end = nullptr;
};

void readHref(const QByteArray& value, LinkMatcher& matcher, AnchorTexts& texts) {
    const qsizetype first = value.indexOf('#');
    const qsizetype last = value.lastIndexOf('#');
    if (!matcher.matches(value.constData(), first < 0 ? value.size() : first)) return;
    // The start text runs from after the first '#' (for two or more '#' up to
    // the last one, where reading the number stops anyway).
    const bool noStart = first >= 0 && first == last && first + 1 == value.size();
    texts.start = first < 0 ? "0" : noStart ? nullptr : value.constData() + first + 1;
    texts.end = first == last ? "0" : value.constData() + last + 1;
}

// The charset a META tag declares: <meta charset=X> or <meta http-equiv=...
// content="text/html; charset=X">; empty when it declares none.
QByteArray declaredCharset(const HtmlToken& t) {
    for (int i = 0; i + 1 < t.attributeCount(); i += 2) {
        const QByteArray value = t.attribute(i + 1).trimmed();
        if (t.attribute(i) == "CHARSET") return value;
        if (t.attribute(i) != "CONTENT") continue;
        const qsizetype at = value.toLower().indexOf("charset=");
        if (at < 0) continue;
        QByteArray name = value.mid(at + 8);
        const qsizetype stop = name.indexOf(';');
        if (stop >= 0) name.truncate(stop);
        name = name.trimmed();
        if (name.size() > 1 && (name[0] == '"' || name[0] == '\'')) name = name.mid(1, name.size() - 2);
        return name;
    }
    return {};
}

QStringDecoder decoderFor(const QByteArray& charset) {
    constexpr auto stateless = QStringConverter::Flag::Stateless;  // each name on its own
    QStringDecoder decoder(charset.isEmpty() ? "UTF-8" : charset.constData(), stateless);
    if (decoder.isValid()) return decoder;
    // Labels browsers read as Latin-1 (or its superset), for a Qt without ICU.
    static const QByteArrayList latin = {"windows-1252", "cp1252", "us-ascii", "ascii", "iso8859-1", "l1"};
    return QStringDecoder(latin.contains(charset.toLower()) ? QStringConverter::Latin1 : QStringConverter::Utf8,
                          stateless);
}

}  // namespace

int compareItems(const void* a, const void* b) {
    return compareRecords(*static_cast<const AudioItem*>(a), *static_cast<const AudioItem*>(b));
}

LinkMatcher::LinkMatcher(const QByteArray& pageUrl, const QByteArray& fileName)
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
    toBackslashesUpper(m_file.data(), m_file.size());
}

bool LinkMatcher::matches(const char* href, qsizetype len) {
    const char* h = href;
    const char* const hEnd = href + len;
    qsizetype folderLen = m_folder.size();
    while (hEnd - h >= 3 && h[0] == '.' && h[1] == '.' && isSlash(h[2])) {
        folderLen = std::max<qsizetype>(QByteArrayView(m_folder.constData(), folderLen).lastIndexOf('\\'), 0);
        h += 3;
    }

    // The link made absolute: a drive path alone, a rooted one after the
    // page's drive (if it has one), any other after the page's folder.
    qsizetype prefix = folderLen + 1;
    if (hEnd - h >= 2 && h[1] == ':') prefix = 0;
    else if (h < hEnd && isSlash(*h)) prefix = folderLen >= 2 && m_folder[1] == ':' ? 2 : 0;
    const qsizetype hLen = hEnd - h;
    if (prefix + hLen < m_file.size()) return false;  // decoding only shortens it
    m_link.resize(prefix + hLen);
    char* d = m_link.data();
    std::memcpy(d, m_folder.constData(), std::min(prefix, folderLen));
    if (prefix == folderLen + 1) d[folderLen] = '\\';
    if (hLen) std::memcpy(d + prefix, h, hLen);

    toBackslashesUpper(m_link.data(), m_link.size());
    if (!m_link.contains('%')) return m_link == m_file;
    const QByteArray encoded = m_link;
    decodeEscapes(m_link);
    // Decoded as URLs are, once, a '%' in a file name (written %25) stays a '%'.
    return m_link == m_file || QByteArray::fromPercentEncoding(encoded) == m_file;
}

bool linkMatchesFile(const QByteArray& pageUrl, const QByteArray& href, const QByteArray& fileName) {
    LinkMatcher matcher(pageUrl, fileName);
    return matcher.matches(href.constData(), href.size());
}

int scanItemsFromStream(ByteStream& stream, const QString& pageUrl, const QString& fileName,
                        AudioItem* items, int maxItems) {
    LinkMatcher matcher(pageUrl.toUtf8(), fileName.toUtf8());
    HtmlTokenizer tokenizer(&stream);
    int itemCount = 0;
    QByteArray charset;
    std::vector<QByteArray> rawNames;
    while (itemCount < maxItems) {
        const HtmlToken* t = tokenizer.nextToken();
        if (!t) break;
        if (t->kind() != HtmlToken::Kind::Tag) continue;
        if (t->text() == "META" && charset.isEmpty()) charset = declaredCharset(*t);
        if (t->text() != "A") continue;
        AnchorTexts texts;
        for (int i = 0; i + 1 < t->attributeCount(); i += 2) {
            if (t->attribute(i) == "HREF") readHref(t->attribute(i + 1), matcher, texts);
            else if (t->attribute(i) == "NAME") texts.name = &t->attribute(i + 1);
        }
        if (texts.name && !texts.name->isEmpty() && texts.start) {
            items[itemCount] = {atofC(texts.start), atofC(texts.end), QString()};
            rawNames.push_back(*texts.name);
            ++itemCount;
        }
    }
    // The whole page is read: its declared charset is known now.
    QStringDecoder decoder = decoderFor(charset);
    for (int i = 0; i < itemCount; ++i) items[i].name = decodeCharacterReferences(decoder.decode(rawNames[size_t(i)]));
    // Scripts list their items in time order: check before sorting.
    if (!std::is_sorted(items, items + itemCount, itemLess)) std::sort(items, items + itemCount, itemLess);
    return itemCount;
}

int findCurrentItem(const AudioItem* items, int itemCount, double seconds) {
    int k = -1;
    double best = 1000.0;
    for (int i = 0; i < itemCount; ++i) {
        const double d = seconds - items[i].start;
        if (d >= 0 && d < best) {
            best = d;
            k = i;
        }
    }
    return k;
}
