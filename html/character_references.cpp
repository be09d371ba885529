// SPDX-License-Identifier: GPL-3.0-or-later
#include "html/character_references.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <utility>

namespace {

// The Latin-1 characters from U+00A0 on, by their reference names.
constexpr const char* kLatinNames[] = {
    "nbsp", "iexcl", "cent", "pound", "curren", "yen", "brvbar", "sect", "uml", "copy", "ordf", "laquo",
    "not", "shy", "reg", "macr", "deg", "plusmn", "sup2", "sup3", "acute", "micro", "para", "middot",
    "cedil", "sup1", "ordm", "raquo", "frac14", "frac12", "frac34", "iquest", "Agrave", "Aacute", "Acirc",
    "Atilde", "Auml", "Aring", "AElig", "Ccedil", "Egrave", "Eacute", "Ecirc", "Euml", "Igrave", "Iacute",
    "Icirc", "Iuml", "ETH", "Ntilde", "Ograve", "Oacute", "Ocirc", "Otilde", "Ouml", "times", "Oslash",
    "Ugrave", "Uacute", "Ucirc", "Uuml", "Yacute", "THORN", "szlig", "agrave", "aacute", "acirc", "atilde",
    "auml", "aring", "aelig", "ccedil", "egrave", "eacute", "ecirc", "euml", "igrave", "iacute", "icirc",
    "iuml", "eth", "ntilde", "ograve", "oacute", "ocirc", "otilde", "ouml", "divide", "oslash", "ugrave",
    "uacute", "ucirc", "uuml", "yacute", "thorn", "yuml",
};

// The character a reference names (the text between '&' and ';'); 0 when unknown.
char32_t namedCharacter(QStringView name) {
    static const std::pair<const char*, char32_t> xml[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& [n, c] : xml)
        if (name == QLatin1String(n)) return c;
    for (size_t i = 0; i < std::size(kLatinNames); ++i)
        if (name == QLatin1String(kLatinNames[i])) return char32_t(0xA0 + i);
    return 0;
}

int digitValue(QChar ch, int base) {
    const char16_t c = ch.unicode();
    if (c >= '0' && c <= '9') return c - '0';
    if (base == 16 && (c | 0x20) >= 'a' && (c | 0x20) <= 'f') return (c | 0x20) - 'a' + 10;
    return -1;
}

}  // namespace

QString decodeCharacterReferences(const QString& s) {
    if (!s.contains(QLatin1Char('&'))) return s;
    QString out;
    qsizetype i = 0;
    while (i < s.size()) {
        const qsizetype amp = s.indexOf(QLatin1Char('&'), i);
        if (amp < 0) break;
        out += QStringView(s).mid(i, amp - i);
        i = amp + 1;
        char32_t c = 0;
        if (i < s.size() && s[i] == QLatin1Char('#')) {
            const int base = i + 1 < s.size() && (s[i + 1] == QLatin1Char('x') || s[i + 1] == QLatin1Char('X')) ? 16 : 10;
            qsizetype j = i + (base == 16 ? 2 : 1);
            const qsizetype first = j;
            uint32_t value = 0;
            for (int d; j < s.size() && (d = digitValue(s[j], base)) >= 0; ++j)
                value = std::min<uint32_t>(value * base + d, 0x110000);
            if (j > first) {
                c = value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF) ? 0xFFFD : char32_t(value);
                i = j + (j < s.size() && s[j] == QLatin1Char(';'));
            }
        } else if (const qsizetype semi = s.indexOf(QLatin1Char(';'), i); semi > i) {
            if ((c = namedCharacter(QStringView(s).mid(i, semi - i)))) i = semi + 1;
        }
        if (c) out += QStringView(QChar::fromUcs4(c));
        else out += QLatin1Char('&');
    }
    out += QStringView(s).mid(i);
    return out;
}
