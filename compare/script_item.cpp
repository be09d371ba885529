// SPDX-License-Identifier: GPL-3.0-or-later
#include "compare/script_item.h"

#include "html/byte_stream.h"
#include "html/html_tokenizer.h"
#include "script/audio_link.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace {

QByteArray Attribute(const HtmlToken& tag, const char* name) {
    for (int i = 0; i + 1 < tag.attributeCount(); i += 2)
        if (tag.attribute(i) == name) return tag.attribute(i + 1);
    return {};
}

// Character references as a browser reads them in text and attributes.
QString Decode(const QByteArray& html) {
    QString text = QString::fromUtf8(html);
    if (!text.contains(u'&')) return text;
    static const std::pair<const char16_t*, const char16_t*> named[] = {
        {u"&amp;", u"&"}, {u"&lt;", u"<"}, {u"&gt;", u">"}, {u"&quot;", u"\""}, {u"&apos;", u"'"}, {u"&nbsp;", u" "}};
    QString out;
    for (qsizetype i = 0; i < text.size();) {
        if (text[i] == u'&') {
            const qsizetype semi = text.indexOf(u';', i);
            if (semi > i && semi - i < 12) {
                const QString ref = text.mid(i, semi - i + 1);
                bool ok = false;
                uint code = 0;
                if (ref.startsWith(QLatin1String("&#x"), Qt::CaseInsensitive)) code = ref.mid(3, ref.size() - 4).toUInt(&ok, 16);
                else if (ref.startsWith(QLatin1String("&#"))) code = ref.mid(2, ref.size() - 3).toUInt(&ok, 10);
                if (ok && code > 0 && code < 0x110000) {
                    out += QString::fromUcs4(reinterpret_cast<const char32_t*>(&code), 1);
                    i = semi + 1;
                    continue;
                }
                bool found = false;
                for (const auto& [from, to] : named)
                    if (ref == QStringView(from)) out += QStringView(to), found = true;
                if (found) {
                    i = semi + 1;
                    continue;
                }
            }
        }
        out += text[i++];
    }
    return out;
}

}  // namespace

bool readModelItems(const QString& pagePath, std::vector<ModelItem>& items, QString& error) {
    items.clear();
    QFile file(pagePath);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Could not open '%1': %2").arg(pagePath, file.errorString());
        return false;
    }
    MemoryByteStream stream(file.readAll());
    HtmlTokenizer tokenizer(&stream);
    const QUrl base = QUrl::fromLocalFile(QFileInfo(pagePath).absoluteFilePath());
    long open = -1;  // the item whose anchor is open
    QString words;
    while (HtmlToken* token = tokenizer.nextToken()) {
        if (token->kind() == HtmlToken::Kind::Text) {
            if (open >= 0) words += Decode(token->text()) + u' ';
            continue;
        }
        if (token->text() == "/A" && open >= 0) {
            items[size_t(open)].text = words.simplified();
            open = -1;
            continue;
        }
        if (token->text() != "A") continue;
        const QString name = Decode(Attribute(*token, "NAME")), href = Decode(Attribute(*token, "HREF"));
        if (name.isEmpty() || !isAudioLink(href)) continue;
        if (open >= 0) items[size_t(open)].text = words.simplified();
        const AudioLinkParts parts = splitAudioLink(href);
        const QUrl target = base.resolved(QUrl(parts.file));
        items.push_back({name, target.isLocalFile() ? target.toLocalFile() : parts.file, parts.start, parts.end, {}});
        open = long(items.size()) - 1;
        words.clear();
    }
    if (open >= 0) items[size_t(open)].text = words.simplified();
    return true;
}

int findModelItem(const std::vector<ModelItem>& items, const QString& key) {
    bool number = false;
    const int n = key.toInt(&number);
    if (number) return n >= 1 && n <= int(items.size()) ? n - 1 : -1;
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].name == key) return int(i);
    return -1;
}
