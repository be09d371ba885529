// SPDX-License-Identifier: GPL-3.0-or-later
#include "script/audio_link.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace {

bool isCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// strtod in the "C" locale, for the forms from_chars does not take.
double strtodC(const char* text) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return strtod_l(text, nullptr, cLocale);
}

// Old scripts were written for Windows paths of at most 255 characters: a
// longer folder or re-rooted link is not one of theirs, and stays as it is.
constexpr qsizetype kMaxBurnedPath = 255;
const QString kBurnMarker = QStringLiteral("\\Microsoft\\CD Burning\\");

}  // namespace

double atofC(const char* text) {
    while (isCSpace(*text)) ++text;
    const char* p = text;
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    // Hexadecimal numbers and values out of range are rare: leave them to strtod.
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) return strtodC(text);
    if (*p == '-' || *p == '+') return 0;  // a second sign: no number
    double value = 0;
    const std::from_chars_result r = std::from_chars(p, p + std::strlen(p), value);
    if (r.ec == std::errc::result_out_of_range) return strtodC(text);
    if (r.ec != std::errc()) return 0;
    return negative ? -value : value;
}

bool isAudioLink(const QString& url) {
    const QString file = url.left(url.indexOf(u'#'));  // all of it without a '#'
    if (file.startsWith(QLatin1String("http:")) || file.startsWith(QLatin1String("mailto:")))
        return false;
    for (const char* ext : {".wav", ".WAV", ".mp3", ".MP3", ".flac", ".FLAC", ".ogg", ".OGG", ".opus", ".OPUS"})
        if (file.endsWith(QLatin1String(ext))) return true;
    return false;
}

AudioLinkParts splitAudioLink(const QString& url) {
    AudioLinkParts parts;
    const qsizetype first = url.indexOf(u'#');
    const qsizetype last = url.lastIndexOf(u'#');
    parts.file = url.left(first);
    if (first >= 0) parts.start = atofC(url.mid(first + 1).toUtf8().constData());
    if (last != first) parts.end = atofC(url.mid(last + 1).toUtf8().constData());
    return parts;
}

QString rerootBurnedLink(const QString& url, const QString& documentPath) {
    const qsizetype marker = url.indexOf(kBurnMarker);
    if (marker < 0) return url;
    QString folder = documentPath;
    const qsizetype slash = folder.lastIndexOf(u'\\');
    if (slash >= 0) folder.truncate(slash);
    if (folder.size() > kMaxBurnedPath) return url;
    const QString rewritten = folder + u'\\' + url.mid(marker + kBurnMarker.size());
    return rewritten.size() > kMaxBurnedPath ? url : rewritten;
}
