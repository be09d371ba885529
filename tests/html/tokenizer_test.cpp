// SPDX-License-Identifier: GPL-3.0-or-later
// The token reader: the page text examples that catch real faults, hostile
// input, and the stream it reads from.
#include "html/html_tokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Tok {
    int kind;
    QByteArray text;
    std::vector<QByteArray> attr;
    bool operator==(const Tok&) const = default;
};

void PrintTo(const Tok& t, std::ostream* os) {
    *os << (t.kind == TOKEN_TAG ? "tag " : "text ") << '"' << t.text.toStdString() << '"';
    for (const QByteArray& a : t.attr) *os << " [" << a.toStdString() << ']';
}

Tok Text(const char* s) { return {TOKEN_TEXT, s, {}}; }
Tok Tag(const char* name, std::vector<QByteArray> attr = {}) { return {TOKEN_TAG, name, std::move(attr)}; }

std::vector<Tok> Tokens(const QByteArray& page) {
    CMemoryByteStream stream(page);
    CHtmlTokenizer tokenizer(&stream);
    std::vector<Tok> out;
    while (CHtmlToken* t = tokenizer.NextToken()) {
        Tok tok{t->m_nKind, t->m_strText, {}};
        for (int i = 0; i < t->m_nAttr; ++i) tok.attr.push_back(t->m_pAttr[i]);
        out.push_back(tok);
    }
    return out;
}

struct Case {
    const char* what;
    QByteArray page;
    std::vector<Tok> tokens;
};

TEST(HtmlTokenizer, PageExamples) {
    const std::string tag255 = "a" + std::string(254, 'x');
    const std::string tag256 = "a" + std::string(255, 'x');
    const std::string open300 = "b c=" + std::string(296, 'v');
    const Case cases[] = {
        {"empty stream", "", {}},
        {"only whitespace", " \t\r\n \n", {}},
        {"text before a tag keeps its trailing space and line end",
         "  Hello world \n<B>", {Text("Hello world \n"), Tag("B")}},
        {"CR LF inside text is kept", "\r\n a\r\nb\r\n<i>", {Text("a\r\nb\r\n"), Tag("I")}},
        {"whitespace alone between tags is no token", "<P>\n\n<B>", {Tag("P"), Tag("B")}},
        {"empty tag", "<>", {Tag("")}},
        {"names upper-cased, values as written", "<a Href=x.wav#1.5#3 name='s1'>",
         {Tag("A", {"HREF", "x.wav#1.5#3", "NAME", "s1"})}},
        {"spaces around the equals sign", "<img src = 'p.gif' border>",
         {Tag("IMG", {"SRC", "p.gif", "BORDER", ""})}},
        {"empty attribute name", "<p ='x'>", {Tag("P", {"", "x"})}},
        {"only a space ends the tag name", "<a\nhref='x'>", {Tag("A\nHREF='X'")}},
        {"'>' inside quotes ends the tag", "<a title='x>y'>",
         {Tag("A", {"TITLE", "x"}), Text("y'>")}},
        {"quoted values keep spaces", "<a href='x y.wav' name=\"p q\">",
         {Tag("A", {"HREF", "x y.wav", "NAME", "p q"})}},
        {"unclosed quote runs to the end of the tag", "<a href=\"x y name=z>",
         {Tag("A", {"HREF", "x y name=z"})}},
        {"attribute separators: tab, CR, LF; VT and FF are trimmed", "<a\tb=1 \r\nc\t=\n2\x0b\x0c d>",
         {Tag("A\tB=1", {"C", "2\x0b\x0c", "D", ""})}},
        {"a quote after a value is part of it", "<a b=x'y' c>", {Tag("A", {"B", "x'y'", "C", ""})}},
        {"comment", "<!-- note -->", {Tag("!--", {"NOTE", "", "--", ""})}},
        {"'<' inside a tag is collected", "<a<b>", {Tag("A<B")}},
        {"only ASCII letters are upper-cased", "<\xe4x \xe9y=\xe9>",
         {Tag("\xe4X", {"\xe9Y", "\xe9"})}},
        {"tag of 255 bytes is parsed", QByteArray("<") + tag255.c_str() + ">",
         {Tag(QByteArray::fromStdString(tag255).toUpper())}},
        {"tag of 256 bytes is skipped", QByteArray("<") + tag256.c_str() + ">", {Text("!Skipped!")}},
        {"tag open at the end is parsed whatever its length", QByteArray("<") + open300.c_str(),
         {Tag("B", {"C", QByteArray(296, 'v')})}},
        {"text at the end of the stream", "<b>tail ", {Tag("B"), Text("tail ")}},
        {"line ends and NULs inside values", QByteArray("<a b='1\n2' c=x\0y>", 17),
         {Tag("A", {"B", "1\n2", "C", QByteArray("x\0y", 3)})}},
    };
    for (const Case& c : cases) EXPECT_EQ(Tokens(c.page), c.tokens) << c.what;
}

TEST(HtmlTokenizer, ReusesOneTokenAndDropsOldAttributes) {
    CMemoryByteStream stream("<a href=x name=y>text");
    CHtmlTokenizer tokenizer(&stream);
    CHtmlToken* first = tokenizer.NextToken();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->m_nAttr, 4);
    CHtmlToken* second = tokenizer.NextToken();
    EXPECT_EQ(second, first);
    EXPECT_EQ(second->m_nKind, TOKEN_TEXT);
    EXPECT_EQ(second->m_nAttr, 0);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(second->m_pAttr[i].isEmpty()) << i;
    EXPECT_EQ(tokenizer.NextToken(), nullptr);
    EXPECT_EQ(tokenizer.NextToken(), nullptr) << "the end stays the end";
}

TEST(HtmlTokenizer, KeepsTheFirstHundredAttributes) {
    // Short enough to be left open at the end, so the 256-byte rule does not apply.
    QByteArray page = "<x";
    for (int i = 0; i < 10000; ++i) page += " a" + QByteArray::number(i) + "=" + QByteArray::number(i);
    const std::vector<Tok> tokens = Tokens(page);
    ASSERT_EQ(tokens.size(), 1u);
    ASSERT_EQ(tokens[0].attr.size(), 200u);
    EXPECT_EQ(tokens[0].attr[198], "A99");
    EXPECT_EQ(tokens[0].attr[199], "99");

    // The next token starts cleanly after such a tag.
    const std::vector<Tok> closed = Tokens(page + "><b c=d>");
    ASSERT_EQ(closed.size(), 2u);
    EXPECT_EQ(closed[0], Text("!Skipped!"));
    EXPECT_EQ(closed[1], Tag("B", {"C", "d"}));
}

TEST(HtmlTokenizer, HostileInput) {
    // A 10 MB tag closed by '>' is skipped; left open it is parsed.
    const QByteArray huge(10 * 1024 * 1024, 'z');
    EXPECT_EQ(Tokens("<" + huge + ">x"), (std::vector<Tok>{Text("!Skipped!"), Text("x")}));
    const std::vector<Tok> open = Tokens("<a " + huge);
    ASSERT_EQ(open.size(), 1u);
    ASSERT_EQ(open[0].attr.size(), 2u);
    EXPECT_EQ(open[0].attr[0].size(), huge.size());

    // Every byte value, many times over: every byte comes out in some token.
    QByteArray binary;
    for (int round = 0; round < 64; ++round)
        for (int b = 0; b < 256; ++b) binary.append(char((b * 37 + round) & 0xFF));
    qsizetype seen = 0;
    for (const Tok& t : Tokens(binary)) {
        seen += t.text.size();
        for (const QByteArray& a : t.attr) seen += a.size();
    }
    EXPECT_GT(seen, 0);
    EXPECT_LE(seen, binary.size());

    // NULs are ordinary bytes.
    const QByteArray nuls(1000, '\0');
    EXPECT_EQ(Tokens(nuls), (std::vector<Tok>{{TOKEN_TEXT, nuls, {}}}));
    EXPECT_EQ(Tokens("<" + nuls + ">"), (std::vector<Tok>{Text("!Skipped!")}));
}

}  // namespace
