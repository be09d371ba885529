// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// HtmlTokenizer splits page text into text tokens and tag tokens. It knows
// nothing of entities, comments, scripts or nesting: a '>' always ends a tag,
// also inside quotes. Names are upper-cased (ASCII letters only); values and
// text are kept byte for byte.

#include "html/byte_stream.h"

#include <QByteArray>

class HtmlToken {
public:
    enum class Kind { None, Text, Tag };
    static constexpr int kMaxAttr = 200;  // strings: 100 name/value pairs

    virtual ~HtmlToken() = default;

    Kind kind() const { return m_kind; }  // None in a fresh token
    // A text token's text, or a tag's upper-cased name.
    const QByteArray& text() const { return m_text; }
    // A tag's attributes: upper-cased name at 2k, its value (as written,
    // without quotes; empty when not given) at 2k + 1. Only the first
    // attributeCount() strings, always an even number, belong to the token.
    int attributeCount() const { return m_attributeCount; }
    const QByteArray& attribute(int i) const { return m_attributes[i]; }

private:
    friend class HtmlTokenizer;

    Kind m_kind = Kind::None;
    QByteArray m_text;
    QByteArray m_attributes[kMaxAttr];
    int m_attributeCount = 0;
};

class HtmlTokenizer {
public:
    // Reads from `stream`, which must outlive every nextToken call; never owned.
    explicit HtmlTokenizer(ByteStream* stream) : m_stream(stream) {}
    virtual ~HtmlTokenizer() = default;
    HtmlTokenizer(const HtmlTokenizer&) = delete;
    HtmlTokenizer& operator=(const HtmlTokenizer&) = delete;

    // Reads the next token. Returns the tokenizer's one token, valid until the
    // next call, or null when the stream holds no further token.
    HtmlToken* nextToken();

private:
    HtmlToken* makeText();  // from m_collect
    HtmlToken* makeTag();   // from m_collect, the inside of "<...>"
    void clearAttributes();

    ByteStream* m_stream;
    HtmlToken m_token;
    QByteArray m_collect;  // bytes of the token being read; its capacity is reused
};
