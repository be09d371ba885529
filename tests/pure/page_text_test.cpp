// SPDX-License-Identifier: GPL-3.0-or-later
// The token reader, the page listings built on it, and the texts shown for a
// position.
#include "html/byte_stream.h"
#include "html/html_tokenizer.h"
#include "view/page_listing.h"
#include "view/time_text.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Each token on a line: "<NAME|attr|value..." for a tag, its text otherwise.
QByteArray Tokens(const QByteArray& page) {
    CMemoryByteStream stream(page);
    CHtmlTokenizer tokenizer(&stream);
    QByteArray out;
    while (const CHtmlToken* t = tokenizer.NextToken()) {
        out += (t->m_nKind == TOKEN_TAG ? "<" : "") + t->m_strText;
        for (int i = 0; i < t->m_nAttr; ++i) out += "|" + t->m_pAttr[i];
        out += "\n";
    }
    return out;
}

// A literal with the NUL bytes inside it, not the one that ends it.
template <size_t N> QByteArray Bytes(const char (&s)[N]) { return QByteArray(s, N - 1); }

TEST(HtmlTokenizer, PageExamples) {
    const QByteArray many = "<x" + QByteArray(120, 'a').replace("a", " a") + ">";  // 100 attributes kept
    const struct { QByteArray page, tokens; } cases[] = {
        {" \t\r\n \n", ""}, {"<>", "<\n"}, {"<a<b>", "<A<B\n"}, {"<b>tail ", "<B\ntail \n"}, {"<a\nhref='x'>", "<A\nHREF='X'\n"},
        {"  Hello world \n<B>\r\n a\r\nb\r\n<i>", "Hello world \n\n<B\na\r\nb\r\n\n<I\n"},
        {"<a Href=x.wav#1.5#3 name='s1'>", "<A|HREF|x.wav#1.5#3|NAME|s1\n"},
        {"<img src = 'p.gif' border ='x' =\"\">", "<IMG|SRC|p.gif|BORDER|x||\n"},
        {"<a title='x>y'>", "<A|TITLE|x\ny'>\n"}, {"<a b=x'y' c>", "<A|B|x'y'|C|\n"}, {"<az \xe9zy=\xe9Z>", "<AZ|\xe9ZY|\xe9Z\n"},
        {"<a href='x y.wav' name=\"p q\" t=\"r s>", "<A|HREF|x y.wav|NAME|p q|T|r s\n"},
        {"<a\tb=1 \r\nc\t=\n2\x0b\x0c d>", "<A\tB=1|C|2\x0b\x0c|D|\n"},
        {"<" + QByteArray(255, 'b') + "><" + QByteArray(256, 'b') + ">", "<" + QByteArray(255, 'B') + "\n!Skipped!\n"},
        {"<b c=" + QByteArray(300, 'v'), "<B|C|" + QByteArray(300, 'v') + "\n"},
        {Bytes("<a b='1\n2' c=x\0y>\0"), Bytes("<A|B|1\n2|C|x\0y\n\0\n")},
        {many + "<b c=d>text", "<X" + QByteArray(100, 'a').replace("a", "|A|") + "\n<B|C|d\ntext\n"},
        {"<" + QByteArray(1 << 20, 'z') + ">x", "!Skipped!\nx\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(Tokens(c.page), c.tokens) << c.page.left(80).toStdString();
}

// Both listings of one page. Lines end at LF or CR LF; a lone CR is kept.
TEST(PageListing, SourceAndParsed) {
    const QByteArray tag = "<" + QByteArray(256, 'y') + ">";
    const QByteArray page = "<html>\r\n<a href=\"t.wav#1\" name=s1 b =''>One</a>\n\n<img src=p.gif>" + tag + "\na\rb\nlast\r";
    const QByteArray source = "<html>\r\n<a href=\"t.wav#1\" name=s1 b =''>One</a>\r\n\r\n<img src=p.gif>" + tag + "\r\na\rb\r\nlast\r\r\n";
    const QByteArray parsed = "<HTML>\r\n<A:\r\n  HREF=\"t.wav#1\"\r\n  NAME=\"s1\"\r\n  B\r\n>\r\n\"One\"\r\n</A>\r\n"
                              "<IMG:\r\n  SRC=\"p.gif\"\r\n>\r\n\"!Skipped!\"\r\n\"a\rb\nlast\r\"\r\n";
    CMemoryByteStream forSource(page), forParsed(page);
    EXPECT_EQ(SourceListing(forSource), source);
    EXPECT_EQ(ParsedListing(forParsed), parsed);
}

// The time pane's and --play's text: negative and NaN positions show as 0,
// huge ones as the largest; then the marks.
TEST(TimeText, PositionsAndMarks) {
    const struct { double seconds; const char* text; } cases[] = {
        {0, " 0:00.0"}, {0.05, " 0:00.0"}, {59.99, " 0:59.9"}, {75.37, " 1:15.3"}, {605.99, "10:05.9"}, {6000.5, "100:00.5"},
        {-3, " 0:00.0"}, {-0.5, " 0:00.0"}, {NAN, " 0:00.0"}, {-INFINITY, " 0:00.0"}, {1e300, "35791394:07.0"}, {INFINITY, "35791394:07.0"},
    };
    for (const auto& c : cases) EXPECT_EQ(TimeText(c.seconds), QLatin1String(c.text)) << c.seconds;

    const struct { double seconds; const char* text; } marks[] = {{83.46, "83.5"}, {0, "0.0"}, {0.25, "0.2"}, {0.35, "0.3"}, {12345.96, "12346.0"}};
    for (const auto& c : marks)
        EXPECT_EQ(MarkText(QString::fromUtf8("C:\\m\xc3\xbcsic/t.wav"), c.seconds),
                  QString::fromUtf8("C:\\m\xc3\xbcsic/t.wav#%1\r\n").arg(QLatin1String(c.text)));
}

}  // namespace
