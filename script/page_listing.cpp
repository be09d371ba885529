// SPDX-License-Identifier: GPL-3.0-or-later
#include "script/page_listing.h"

#include "html/byte_stream.h"
#include "html/html_tokenizer.h"

QByteArray SourceListing(CByteStream& stream) {
    QByteArray text, line;
    while (stream.ReadLine(line)) text.append(line).append("\r\n");
    return text;
}

namespace {

void AppendToken(QByteArray& text, const CHtmlToken& t) {
    if (t.m_nKind == TOKEN_TEXT) {
        text.append('"').append(t.m_strText).append("\"\r\n");
        return;
    }
    text.append('<').append(t.m_strText);
    if (t.m_nAttr == 0) {
        text.append(">\r\n");
        return;
    }
    text.append(":\r\n");
    for (int i = 0; i + 1 < t.m_nAttr; i += 2) {
        text.append("  ").append(t.m_pAttr[i]);
        if (!t.m_pAttr[i + 1].isEmpty()) text.append("=\"").append(t.m_pAttr[i + 1]).append('"');
        text.append("\r\n");
    }
    text.append(">\r\n");
}

}  // namespace

QByteArray ParsedListing(CByteStream& stream) {
    CHtmlTokenizer tokenizer(&stream);
    QByteArray text;
    while (const CHtmlToken* t = tokenizer.NextToken()) AppendToken(text, *t);
    return text;
}
