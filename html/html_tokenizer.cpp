// SPDX-License-Identifier: GPL-3.0-or-later
#include "html/html_tokenizer.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// A tag of this many bytes or more between '<' and '>' is not parsed.
constexpr qsizetype kMaxTagLength = 256;

bool IsSkippedBetweenTokens(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsTrimmed(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool EndsName(char c) { return c == ' ' || c == '=' || c == '\t' || c == '\r' || c == '\n'; }
bool EndsValue(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t'; }

const char* Trim(const char* p, const char* end) {
    while (p < end && IsTrimmed(*p)) ++p;
    return p;
}

template <typename Stop>
const char* Span(const char* p, const char* end, Stop stop) {
    while (p < end && !stop(*p)) ++p;
    return p;
}

// Sets `out` to [p, e), keeping out's storage when it is large enough.
void Assign(QByteArray& out, const char* p, const char* e) {
    out.resize(e - p);
    if (e != p) std::memcpy(out.data(), p, e - p);
}

void AssignUpper(QByteArray& out, const char* p, const char* e) {
    out.resize(e - p);
    char* d = out.data();
    for (; p < e; ++p, ++d) *d = (*p >= 'a' && *p <= 'z') ? char(*p - ('a' - 'A')) : *p;
}

}  // namespace

CHtmlToken* CHtmlTokenizer::NextToken() {
    char c;
    do {
        if (!m_pFile->Read(&c)) return nullptr;
    } while (IsSkippedBetweenTokens(c));

    m_strCollect.resize(0);
    if (c != '<') {
        // Text runs up to the next '<', which is left for the next call.
        m_strCollect.append(c);
        m_pFile->ReadUntil('<', m_strCollect);
        return MakeText();
    }
    if (m_pFile->ReadUntil('>', m_strCollect)) {
        m_pFile->Read(&c);  // the '>'
        if (m_strCollect.size() >= kMaxTagLength) {
            m_strCollect.resize(0);
            m_strCollect.append("!Skipped!");
            return MakeText();
        }
    }
    // A tag closed by '>' or left open at the end of the stream.
    return MakeTag();
}

void CHtmlTokenizer::ClearAttributes() {
    for (int i = 0; i < m_token.m_nAttr; ++i) m_token.m_pAttr[i].resize(0);
    m_token.m_nAttr = 0;
}

CHtmlToken* CHtmlTokenizer::MakeText() {
    ClearAttributes();
    m_token.m_nKind = TOKEN_TEXT;
    std::swap(m_token.m_strText, m_strCollect);
    return &m_token;
}

CHtmlToken* CHtmlTokenizer::MakeTag() {
    ClearAttributes();
    m_token.m_nKind = TOKEN_TAG;
    const char* p = m_strCollect.constData();
    const char* const end = p + m_strCollect.size();

    // Only a space ends the tag name; tabs and line ends belong to it.
    const char* e = std::find(p, end, ' ');
    AssignUpper(m_token.m_strText, p, e);
    p = Trim(e, end);

    // Attributes beyond the token's capacity are ignored with the rest of the tag.
    while (p < end && m_token.m_nAttr < CHtmlToken::kMaxAttr) {
        e = Span(p, end, EndsName);
        AssignUpper(m_token.m_pAttr[m_token.m_nAttr++], p, e);
        p = Trim(e, end);

        QByteArray& value = m_token.m_pAttr[m_token.m_nAttr++];
        value.resize(0);
        if (p == end || *p != '=') continue;
        p = Trim(p + 1, end);
        if (p < end && (*p == '"' || *p == '\'')) {
            // Up to the matching quote, or all the rest when it never closes.
            e = std::find(p + 1, end, *p);
            Assign(value, p + 1, e);
            p = e < end ? e + 1 : end;
        } else {
            e = Span(p, end, EndsValue);
            Assign(value, p, e);
            p = e;
        }
        p = Trim(p, end);
    }
    return &m_token;
}
