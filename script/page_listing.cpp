// SPDX-License-Identifier: GPL-3.0-or-later
#include "script/page_listing.h"

#include "html/byte_stream.h"
#include "html/html_tokenizer.h"

QByteArray sourceListing(ByteStream& stream) {
    QByteArray text, line;
    while (stream.readLine(line)) text.append(line).append("\r\n");
    return text;
}

namespace {

void appendToken(QByteArray& text, const HtmlToken& t) {
    if (t.kind() == HtmlToken::Kind::Text) {
        text.append('"').append(t.text()).append("\"\r\n");
        return;
    }
    text.append('<').append(t.text());
    if (t.attributeCount() == 0) {
        text.append(">\r\n");
        return;
    }
    text.append(":\r\n");
    for (int i = 0; i + 1 < t.attributeCount(); i += 2) {
        text.append("  ").append(t.attribute(i));
        if (!t.attribute(i + 1).isEmpty()) text.append("=\"").append(t.attribute(i + 1)).append('"');
        text.append("\r\n");
    }
    text.append(">\r\n");
}

}  // namespace

QByteArray parsedListing(ByteStream& stream) {
    HtmlTokenizer tokenizer(&stream);
    QByteArray text;
    while (const HtmlToken* t = tokenizer.nextToken()) appendToken(text, *t);
    return text;
}
