// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CHtmlTokenizer splits page text into text tokens and tag tokens. It knows
// nothing of entities, comments, scripts or nesting: a '>' always ends a tag,
// also inside quotes. Names are upper-cased (ASCII letters only); values and
// text are kept byte for byte.

#include "html/byte_stream.h"

#include <QByteArray>

constexpr int TOKEN_TEXT = 1;
constexpr int TOKEN_TAG = 2;

class CHtmlToken {
public:
    static constexpr int kMaxAttr = 200;  // strings: 100 name/value pairs

    virtual ~CHtmlToken() = default;

    int m_nKind = 0;         // TOKEN_TEXT or TOKEN_TAG; 0 in a fresh token
    QByteArray m_strText;    // a text token's text, or a tag's upper-cased name
    // A tag's attributes: upper-cased name at 2k, its value (as written,
    // without quotes; empty when not given) at 2k + 1. Only the first m_nAttr
    // strings belong to the token.
    QByteArray m_pAttr[kMaxAttr];
    int m_nAttr = 0;         // strings in use, always even
};

class CHtmlTokenizer {
public:
    // Reads from pFile, which must outlive every NextToken call; never owned.
    explicit CHtmlTokenizer(CByteStream* pFile) : m_pFile(pFile) {}
    virtual ~CHtmlTokenizer() = default;
    CHtmlTokenizer(const CHtmlTokenizer&) = delete;
    CHtmlTokenizer& operator=(const CHtmlTokenizer&) = delete;

    // Reads the next token. Returns the tokenizer's one token, valid until the
    // next call, or null when the stream holds no further token.
    CHtmlToken* NextToken();

private:
    CHtmlToken* MakeText();  // from m_strCollect
    CHtmlToken* MakeTag();   // from m_strCollect, the inside of "<...>"
    void ClearAttributes();

    CByteStream* m_pFile;
    CHtmlToken m_token;
    QByteArray m_strCollect;  // bytes of the token being read; its capacity is reused
};
