// SPDX-License-Identifier: GPL-3.0-or-later
#include "html/html_tokenizer.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// A tag of this many bytes or more between '<' and '>' is not parsed.
constexpr qsizetype kMaxTagLength = 256;

bool isSkippedBetweenTokens(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isTrimmed(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool endsName(char c) { return c == ' ' || c == '=' || c == '\t' || c == '\r' || c == '\n'; }
bool endsValue(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t'; }

const char* trim(const char* p, const char* end) {
    while (p < end && isTrimmed(*p)) ++p;
    return p;
}

template <typename Stop>
const char* spanUntil(const char* p, const char* end, Stop stop) {
    while (p < end && !stop(*p)) ++p;
    return p;
}

// Sets `out` to [p, e), keeping out's storage when it is large enough.
void assign(QByteArray& out, const char* p, const char* e) {
    out.resize(e - p);
    if (e != p) std::memcpy(out.data(), p, e - p);
}

void assignUpper(QByteArray& out, const char* p, const char* e) {
    out.resize(e - p);
    char* d = out.data();
    for (; p < e; ++p, ++d) *d = (*p >= 'a' && *p <= 'z') ? char(*p - ('a' - 'A')) : *p;
}

}  // namespace

HtmlToken* HtmlTokenizer::nextToken() {
    char c;
    do {
        if (!m_stream->read(&c)) return nullptr;
    } while (isSkippedBetweenTokens(c));

    m_collect.resize(0);
    if (c != '<') {
        // Text runs up to the next '<', which is left for the next call.
        m_collect.append(c);
        m_stream->readUntil('<', m_collect);
        return makeText();
    }
    if (m_stream->readUntil('>', m_collect)) {
        m_stream->read(&c);  // the '>'
        if (m_collect.size() >= kMaxTagLength) {
            m_collect.resize(0);
            m_collect.append("!Skipped!");
            return makeText();
        }
    }
    // A tag closed by '>' or left open at the end of the stream.
    return makeTag();
}

void HtmlTokenizer::clearAttributes() {
    for (int i = 0; i < m_token.m_attributeCount; ++i) m_token.m_attributes[i].resize(0);
    m_token.m_attributeCount = 0;
}

HtmlToken* HtmlTokenizer::makeText() {
    clearAttributes();
    m_token.m_kind = HtmlToken::Kind::Text;
    std::swap(m_token.m_text, m_collect);
    return &m_token;
}

HtmlToken* HtmlTokenizer::makeTag() {
    clearAttributes();
    m_token.m_kind = HtmlToken::Kind::Tag;
    const char* p = m_collect.constData();
    const char* const end = p + m_collect.size();

    // Only a space ends the tag name; tabs and line ends belong to it.
    const char* e = std::find(p, end, ' ');
    assignUpper(m_token.m_text, p, e);
    p = trim(e, end);

    // Attributes beyond the token's capacity are ignored with the rest of the tag.
    while (p < end && m_token.m_attributeCount < HtmlToken::kMaxAttr) {
        e = spanUntil(p, end, endsName);
        assignUpper(m_token.m_attributes[m_token.m_attributeCount++], p, e);
        p = trim(e, end);

        QByteArray& value = m_token.m_attributes[m_token.m_attributeCount++];
        value.resize(0);
        if (p == end || *p != '=') continue;
        p = trim(p + 1, end);
        if (p < end && (*p == '"' || *p == '\'')) {
            // Up to the matching quote, or all the rest when it never closes.
            e = std::find(p + 1, end, *p);
            assign(value, p + 1, e);
            p = e < end ? e + 1 : end;
        } else {
            e = spanUntil(p, end, endsValue);
            assign(value, p, e);
            p = e;
        }
        p = trim(p, end);
    }
    return &m_token;
}
