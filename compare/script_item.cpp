// SPDX-License-Identifier: GPL-3.0-or-later
#include "compare/script_item.h"

#include "html/byte_stream.h"
#include "html/character_references.h"
#include "html/html_tokenizer.h"
#include "script/audio_link.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace {

QByteArray attributeOf(const HtmlToken& tag, const char* name) {
    for (int i = 0; i + 1 < tag.attributeCount(); i += 2)
        if (tag.attribute(i) == name) return tag.attribute(i + 1);
    return {};
}

QString decodeText(const QByteArray& html) { return decodeCharacterReferences(QString::fromUtf8(html)); }

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
            if (open >= 0) words += decodeText(token->text()) + u' ';
            continue;
        }
        if (token->text() == "/A" && open >= 0) {
            items[size_t(open)].text = words.simplified();
            open = -1;
            continue;
        }
        if (token->text() != "A") continue;
        const QString name = decodeText(attributeOf(*token, "NAME")), href = decodeText(attributeOf(*token, "HREF"));
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
