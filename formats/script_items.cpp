// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/script_items.h"

#include "formats/cue_reader.h"
#include "html/byte_stream.h"
#include "html/html_tokenizer.h"
#include "script/audio_link.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QUrl>
#include <cmath>

namespace {

QString tr(const char* text) { return QCoreApplication::translate("ScriptItems", text); }

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

// Character references as the page's anchors are read: numeric ones, the
// five of XML and the Latin-1 names; others stay as written.
QString decodeReferences(const QString& s) {
    if (!s.contains(QLatin1Char('&'))) return s;
    static const std::pair<const char*, char32_t> xml[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    QString out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] != QLatin1Char('&')) {
            out += s[i];
            continue;
        }
        char32_t c = 0;
        qsizetype next = i;
        if (i + 1 < s.size() && s[i + 1] == QLatin1Char('#')) {
            const bool hex = i + 2 < s.size() && (s[i + 2] == QLatin1Char('x') || s[i + 2] == QLatin1Char('X'));
            qsizetype j = i + (hex ? 3 : 2);
            const qsizetype first = j;
            uint32_t value = 0;
            for (; j < s.size(); ++j) {
                const int d = hex ? QChar(s[j]).toLatin1() : 0;
                const int digit = s[j].isDigit() && s[j].unicode() < 128 ? s[j].unicode() - '0'
                                  : hex && (d | 0x20) >= 'a' && (d | 0x20) <= 'f' ? (d | 0x20) - 'a' + 10 : -1;
                if (digit < 0) break;
                value = std::min<uint32_t>(value * (hex ? 16 : 10) + uint32_t(digit), 0x110000);
            }
            if (j > first) {
                c = value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF) ? 0xFFFD : char32_t(value);
                next = j - 1 + (j < s.size() && s[j] == QLatin1Char(';'));
            }
        } else if (const qsizetype semi = s.indexOf(QLatin1Char(';'), i); semi > i + 1) {
            const QStringView name = QStringView(s).mid(i + 1, semi - i - 1);
            for (const auto& [n, ch] : xml)
                if (name == QLatin1String(n)) c = ch;
            for (size_t k = 0; !c && k < std::size(kLatinNames); ++k)
                if (name == QLatin1String(kLatinNames[k])) c = char32_t(0xA0 + k);
            if (c) next = semi;
        }
        if (c) {
            out += QStringView(QChar::fromUcs4(c));
            i = next;
        } else {
            out += QLatin1Char('&');
        }
    }
    return out;
}

QByteArray attribute(const HtmlToken& t, const char* name, bool* present = nullptr) {
    for (int i = 0; i + 1 < t.attributeCount(); i += 2) {
        if (t.attribute(i) == name) {
            if (present) *present = true;
            return t.attribute(i + 1);
        }
    }
    if (present) *present = false;
    return {};
}

QByteArray declaredCharset(const HtmlToken& t) {
    QByteArray charset = attribute(t, "CHARSET").trimmed();
    if (!charset.isEmpty()) return charset;
    const QByteArray content = attribute(t, "CONTENT");
    const qsizetype at = content.toLower().indexOf("charset=");
    if (at < 0) return {};
    charset = content.mid(at + 8);
    if (const qsizetype stop = charset.indexOf(';'); stop >= 0) charset.truncate(stop);
    charset = charset.trimmed();
    if (charset.size() > 1 && (charset[0] == '"' || charset[0] == '\'')) charset = charset.mid(1, charset.size() - 2);
    return charset;
}

// Tags that end a line of text: an item whose link holds no text takes the
// text after the link up to one of them.
bool endsLine(const QByteArray& tag) {
    const QByteArray name = tag.startsWith('/') ? tag.mid(1) : tag;
    static const QByteArrayList block = {"P", "BR", "DIV", "LI", "UL", "OL", "DD", "DT", "TD", "TH", "TR", "TABLE",
                                         "BLOCKQUOTE", "H1", "H2", "H3", "H4", "H5", "H6", "HR", "BODY", "PRE"};
    return block.contains(name);
}

// What is read of an item before the page's charset is known.
struct RawWord {
    double begin = 0, end = 0;
    QByteArray text;
};
struct RawItem {
    QByteArray name, href, text;
    std::vector<RawWord> words;
};

double readTime(const QByteArray& text) { return atofC(text.constData()); }

}  // namespace

ScriptReading readScriptItems(const QByteArray& page, const QString& pagePath) {
    MemoryByteStream stream(page);
    HtmlTokenizer tokenizer(&stream);
    enum class Collect { Nothing, Link, Line };
    Collect collect = Collect::Nothing;
    std::vector<RawItem> raw;
    QByteArray charset, title;
    bool inTitle = false;
    int wordDepth = 0;  // spans open inside the word being read
    qsizetype pos = 0;  // where the tokenizer is in `page`
    while (const HtmlToken* t = tokenizer.nextToken()) {
        // The tokenizer skips the white space before a token, which between
        // inline elements still parts words: found again in the page's bytes.
        bool spaceBefore = false;
        for (; pos < page.size() && (page[pos] == ' ' || page[pos] == '\t' || page[pos] == '\r' || page[pos] == '\n'); ++pos)
            spaceBefore = true;
        if (pos < page.size() && page[pos] == '<') {
            const qsizetype close = page.indexOf('>', pos);
            pos = close < 0 ? page.size() : close + 1;
        } else {
            pos += t->text().size();
        }
        if (collect != Collect::Nothing && (spaceBefore || (t->kind() == HtmlToken::Kind::Tag && endsLine(t->text()))))
            raw.back().text += ' ';
        if (t->kind() == HtmlToken::Kind::Text) {
            if (inTitle) title += t->text();
            if (collect == Collect::Nothing) continue;
            raw.back().text += t->text();
            if (wordDepth > 0) raw.back().words.back().text += t->text();
            continue;
        }
        const QByteArray& tag = t->text();
        if (tag == "META" && charset.isEmpty()) charset = declaredCharset(*t);
        else if (tag == "TITLE") inTitle = true;
        else if (tag == "/TITLE") inTitle = false;
        if (tag == "A") {
            const QByteArray name = attribute(*t, "NAME");
            bool hasHref = false;
            const QByteArray href = attribute(*t, "HREF", &hasHref);
            if (!name.isEmpty() && hasHref) {
                raw.push_back({name, href, {}, {}});
                collect = Collect::Link;
                wordDepth = 0;
            }
        } else if (tag == "/A" && collect == Collect::Link) {
            collect = raw.back().text.trimmed().isEmpty() ? Collect::Line : Collect::Nothing;
            wordDepth = 0;
        } else if (collect == Collect::Line && endsLine(tag)) {
            collect = Collect::Nothing;
            wordDepth = 0;
        } else if (tag == "SPAN" && collect != Collect::Nothing) {
            bool hasBegin = false, hasEnd = false;
            const QByteArray begin = attribute(*t, "DATA-BEGIN", &hasBegin), end = attribute(*t, "DATA-END", &hasEnd);
            if (wordDepth > 0) ++wordDepth;
            else if (hasBegin && hasEnd) {
                raw.back().words.push_back({readTime(begin), readTime(end), {}});
                wordDepth = 1;
            }
        } else if (tag == "/SPAN" && wordDepth > 0) {
            --wordDepth;
        }
    }

    ScriptReading out;
    QStringDecoder decoder(charset.isEmpty() ? "UTF-8" : charset.constData());
    if (!decoder.isValid()) decoder = QStringDecoder(QStringConverter::Utf8);
    auto text = [&decoder](const QByteArray& bytes) { return decodeReferences(decoder.decode(bytes)).simplified(); };
    out.title = text(title);
    if (out.title.isEmpty()) out.title = QFileInfo(pagePath).completeBaseName();
    const QDir folder = QFileInfo(pagePath).absoluteDir();
    for (const RawItem& r : raw) {
        const QString url = text(r.href);
        const AudioLinkParts parts = splitAudioLink(url);
        const QString file = QUrl::fromPercentEncoding(parts.file.toUtf8());
        if (url.startsWith(QLatin1String("http:"), Qt::CaseInsensitive) || url.startsWith(QLatin1String("https:"), Qt::CaseInsensitive) ||
            url.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive) || !hasAudioSuffix(file))
            continue;
        QString path = file;
        if (path.startsWith(QLatin1String("file://"))) path = QUrl(path).toLocalFile();
        path = QDir::cleanPath(folder.absoluteFilePath(QString(path).replace(QLatin1Char('\\'), QLatin1Char('/'))));
        if (out.audio.isEmpty()) out.audio = path;
        else if (path != out.audio) {
            out.error = tr("'%1' plays more than one file ('%2' and '%3'); one file at a time can be exported")
                            .arg(pagePath, out.audio, path);
            out.items.clear();
            return out;
        }
        ScriptItem item{text(r.name), file, parts.start, parts.end, text(r.text), {}};
        if (!std::isfinite(item.start) || item.start < 0) {
            out.error = tr("'%1': the item '%2' has no usable start time ('%3')").arg(pagePath, item.id, url);
            out.items.clear();
            return out;
        }
        for (const RawWord& w : r.words) item.words.push_back({w.begin, w.end, text(w.text)});
        out.items.push_back(item);
    }
    if (out.items.empty()) {
        out.error = tr("'%1' has no items (named anchors whose links play a stretch of a WAV, MP3, FLAC, Ogg or Opus file)")
                        .arg(pagePath);
        return out;
    }
    // A link without an end time lasts to the next item's start.
    for (size_t i = 0; i < out.items.size(); ++i) {
        ScriptItem& item = out.items[i];
        if (item.end > item.start && std::isfinite(item.end)) continue;
        item.end = item.start;
        for (size_t j = i + 1; j < out.items.size(); ++j) {
            if (out.items[j].start > item.start) {
                item.end = out.items[j].start;
                break;
            }
        }
    }
    return out;
}

ScriptReading readScriptPage(const QString& pagePath) {
    QFile file(pagePath);
    if (!QFileInfo(pagePath).isFile() || !file.open(QIODevice::ReadOnly)) {
        ScriptReading out;
        out.error = tr("Could not open '%1'").arg(pagePath);
        return out;
    }
    return readScriptItems(file.readAll(), pagePath);
}
