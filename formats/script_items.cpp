// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/script_items.h"

#include "formats/cue_reader.h"
#include "html/byte_stream.h"
#include "html/character_references.h"
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
    auto text = [&decoder](const QByteArray& bytes) { return decodeCharacterReferences(decoder.decode(bytes)).simplified(); };
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
