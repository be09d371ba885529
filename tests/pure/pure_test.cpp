// SPDX-License-Identifier: GPL-3.0-or-later
// The pure functions: audio links, whether a link leads to the file played, the
// item table a page gives, the script index path, the token reader, the page
// listings built on it, and the texts shown for a position.
#include "app/script_index.h"
#include "html/byte_stream.h"
#include "html/html_tokenizer.h"
#include "script/audio_item.h"
#include "script/audio_link.h"
#include "script/page_listing.h"
#include "script/time_text.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

TEST(AudioLink, SplitsReadsNumbersAndRewritesBurnFolders) {
    const struct { const char* link; const char* file; double start, end; bool audio; } cases[] = {
        {"D:\\s\\talk.wav", "D:\\s\\talk.wav", 0, 0, true},          {"D:\\s\\t.WAV#12.5#20", "D:\\s\\t.WAV", 12.5, 20, true},
        {"/s/talk.MP3#1#2#3", "/s/talk.MP3", 1, 3, true},        {"/s/talk.mp3#", "/s/talk.mp3", 0, 0, true},
        {"/s/talk.wav##7", "/s/talk.wav", 0, 7, true},           {"/my dir/t.wav# 3e1#-2", "/my dir/t.wav", 30, -2, true},
        {"/s/talk.Wav#1", "/s/talk.Wav", 1, 0, false},           {"/s/talk.wav?t=1", "/s/talk.wav?t=1", 0, 0, false},
        {"http://h/talk.wav", "http://h/talk.wav", 0, 0, false}, {"mailto:a@talk.wav", "mailto:a@talk.wav", 0, 0, false},
        {"HTTP://h/talk.wav", "HTTP://h/talk.wav", 0, 0, true},  {"/s/a.htm#x.wav", "/s/a.htm", 0, 0, false},
        {"/s/t.flac#2", "/s/t.flac", 2, 0, true},              {"/s/t.OPUS", "/s/t.OPUS", 0, 0, true},
        {"/s/t.ogg#1#2", "/s/t.ogg", 1, 2, true},               {"/s/t.Flac", "/s/t.Flac", 0, 0, false},
        {"", "", 0, 0, false},
    };
    for (const auto& c : cases) {
        const AudioLinkParts parts = splitAudioLink(QString::fromUtf8(c.link));
        EXPECT_TRUE(parts.file == c.file && parts.start == c.start && parts.end == c.end) << c.link;
        EXPECT_EQ(isAudioLink(QString::fromUtf8(c.link)), c.audio) << c.link;
    }
    // Numbers read as C reads them, whatever the process locale: Qt programs
    // run in the user's, where "12,5" may be the decimal form.
    const struct { const char* text; double value; } numbers[] = {
        {"12.5#20", 12.5}, {"", 0},       {"abc", 0},     {" \t\n\v\f7", 7}, {"+3", 3},     {"-.5e1", -5},
        {"+-3", 0},        {"--3", 0},    {"1E+2x", 100}, {"1e", 1},        {"5.", 5},     {".", 0},
        {"0x10", 16},      {"-0x1p-1", -0.5}, {"1,5", 1}, {"1e-400", 0},    {"1e400", INFINITY}, {"-INF", -INFINITY},
    };
    QTemporaryDir dir;
    const QString make = "localedef -i de_DE -f UTF-8 '" + dir.path() + "/de' >/dev/null 2>&1";
    const bool comma = std::system(make.toLocal8Bit().constData()) == 0 && qputenv("LOCPATH", dir.path().toLocal8Bit()) &&
                       std::setlocale(LC_NUMERIC, "de") && std::atof("12.5") == 12.0;
    EXPECT_TRUE(comma) << "a decimal-comma locale could not be set up";
    for (const auto& c : numbers) EXPECT_EQ(atofC(c.text), c.value) << '"' << c.text << '"';
    EXPECT_TRUE(std::isnan(atofC("NaN(1)")));
    std::setlocale(LC_NUMERIC, "C");

    // Links into the CD burning folder lead beside the page.
    const QString url = "C:\\x\\Microsoft\\CD Burning\\t.wav";
    auto folder = [](int n) { return "D:\\" + QString(n - 3, u'f'); };
    const struct { QString url, document, result; } burnt[] = {
        {"C:\\u\\Microsoft\\CD Burning\\sub\\t.wav#3#4", "D:\\s\\x.htm", "D:\\s\\sub\\t.wav#3#4"},
        {"C:\\x\\Microsoft\\CD Burning\\a\\Microsoft\\CD Burning\\b.wav", "D:\\s\\x.htm", "D:\\s\\a\\Microsoft\\CD Burning\\b.wav"},
        {"C:\\x\\microsoft\\cd burning\\t.wav", "D:\\s\\x.htm", "C:\\x\\microsoft\\cd burning\\t.wav"},
        {"\\Microsoft\\CD Burning\\t.wav", "noslash.htm", "noslash.htm\\t.wav"},
        {url, folder(249) + "\\x.htm", folder(249) + "\\t.wav"},  // 255 characters: fits
        {url, folder(250) + "\\x.htm", url},                       // 256: the link stays
    };
    for (const auto& c : burnt) EXPECT_EQ(rerootBurnedLink(c.url, c.document), c.result) << c.url.toStdString();
}

// Links resolved against the page's folder, upper-cased, then their escapes decoded.
TEST(linkMatchesFile, ResolvesCasesAndEscapes) {
    const char *w = "file:///D:/s/p/x.htm", *u = "file:///home/u/p/x.htm#part/2", *p = "file:///home/u/my%20s/x.htm";
    const struct { const char *page, *file, *href; bool match; } cases[] = {
        {w, "D:\\s\\p\\talk.wav", "talk.wav", true},         {w, "D:\\s\\p\\talk.wav", "./talk.wav", false},
        {w, "D:\\s\\p\\talk.wav", "..\\p\\TALK.WAV", true},   {w, "D:\\s\\p\\talk.wav", "/s/p/talk.wav", true},
        {w, "D:\\s\\p\\talk.wav", "d:/S/p/talk.wav", true},   {w, "D:\\s\\p\\talk.wav", "file:///D:/s/p/talk.wav", false},
        {w, "D:\\s\\p\\talk.wav", "talk.wav ", false},        {w, "D:", "d:", true},
        {u, "/home/u/p/talk.wav", "talk.wav", true},          {u, "/home/u/p/talk.wav", "../../u/p/talk.wav", true},
        {u, "/home/u/p/talk.wav", "\\home\\u\\p\\talk.wav", true}, {u, "/home/u/p/talk.wav", "/u/p/talk.wav", false},
        {u, "/home/u/p/talk.wav", "sub/../talk.wav", false},  {u, "/HOME/U/P/Talk.wav", "talk.WAV", true},
        {u, "/home/u/p/talk.wav", "", false},                 {u, "/home/u/p/talk.wav", "other.wav", false},
        {"/home/u/x.htm", "/home/u/talk.wav", "talk.wav", true}, {"D:\\s\\x.htm", "D:\\s\\t.wav", "/s/t.wav", true},
        {"file:///x.htm", "\\talk.wav", "../../talk.wav", true}, {"", "\\talk.wav", "talk.wav", true},
        {p, "/home/u/my s/talk.wav", "talk%2ewav", true},       {p, "/home/u/my s/talk.wav", "../my%20s/talk.wav", true},
        {p, "/home/u/my s/talk.wav", "t%61lk.wav", false},      {p, "/home/u/my s/talk.wav", "t%41lk.wav", true},
        {p, "/home/u/my s/\xc3\xbc.wav", "%c3%bc.wav", true},   {p, "/home/u/my s/A.WAV", "%2541.wav", true},
        {p, "/home/u/my s/%41.wav", "%2541.wav", true},
        {p, "/home/u/my s/a%", "a%", true},                     {p, "/home/u/my s/a%", "a%2", false},
        {p, "/home/u/my s/a%2", "a%252", true},                 {p, "/home/u/my s/\x10", "%0g", true},
        {p, "/home/u/my s/\xf0", "%\xff" "0", true},            {p, "/home/u/my s/talk.wav", "talk.wav%00.txt", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(linkMatchesFile(c.page, c.href, c.file), c.match) << c.page << " | " << c.href << " | " << c.file;
    EXPECT_FALSE(linkMatchesFile("/u/x.htm", QByteArray("talk.wav\0.txt", 13), "/u/talk.wav"));
}

// The page's items for /home/u/s/talk.wav as "start end name;" each; the record
// past `capacity` must stay untouched.
std::string scan(const QByteArray& page, int capacity = 64) {
    std::vector<AudioItem> table(size_t(capacity) + 1, AudioItem{-1, -1, "untouched"});
    MemoryByteStream stream(page);
    const int n = scanItemsFromStream(stream, "file:///home/u/s/p.htm", "/home/u/s/talk.wav", table.data(), capacity);
    EXPECT_EQ(table.back().name, "untouched");
    QByteArray items;
    for (const AudioItem& item : std::span(table.data(), size_t(n)))
        items += QByteArray::number(item.start) + ' ' + QByteArray::number(item.end) + ' ' + item.name.toUtf8() + ';';
    return items.toStdString();
}

TEST(ItemTable, AnchorsBecomeItemsInOrderAndTheCurrentOneIsFound) {
    // An anchor with `inside` bytes between its brackets.
    auto anchor = [](int inside) { return "<a href=talk.wav#1 name=a title='" + QByteArray(inside - 33, 'x') + "'>"; };
    const struct { QByteArray page; const char* items; } cases[] = {
        {"<A HREF=talk.wav#12.5#20 NAME=s1>x</A><a href='talk.wav' name=\"s2\">", "0 0 s2;12.5 20 s1;"},
        {"<a href=talk.wav#1#2#3 name=a><a href=talk.wav##7 name=b>", "0 7 b;1 3 a;"},
        {"<a href=talk.wav# name=a><a href=talk.wav#1><a href=talk.wav#1 name=''><a href=talk.wav#1 name>", ""},
        {"<a href=other.wav#1 name=a><a href=../t2/talk.wav#1 name=a><area href=talk.wav#1 name=a>", ""},
        {"<a href=../s/talk.wav#4 name=a><a name=n href=/home/u/s/TALK%2ewav#2>", "2 0 n;4 0 a;"},
        {"<a href=talk.wav#1 href=talk.wav#2 href=o.wav#3 name=x name=a>", "2 0 a;"}, {"<a href=talk.wav#1 href=talk.wav# name=a>", ""},
        {"<a href=talk.wav#1 name=paragraph_one_sentence_two><a href=talk.wav#abc#xyz name=a>", "0 0 a;1 0 paragraph_one_sentence_two;"},
        // Names decoded as the page: UTF-8 unless a META tag says otherwise, then character references.
        {"<a href=talk.wav#1 name=caf\xc3\xa9><a href=talk.wav#2 name='q&quot;1'><a href=talk.wav#3 name=\xe9>"
         "<a href=talk.wav#4 name='&#233;&#xE9;&eacute&eacute;&bogus;&#0;&'><meta charset=nonesuch>",
         "1 0 caf\xc3\xa9;2 0 q\"1;3 0 \xef\xbf\xbd;4 0 \xc3\xa9\xc3\xa9&eacute\xc3\xa9&bogus;\xef\xbf\xbd&;"},
        {"<meta http-equiv=Content-Type content='text/html; charset=\"ISO-8859-1\"'><a href=talk.wav#1 name=\xe9&lt;>", "1 0 \xc3\xa9<;"},
        {anchor(255), "1 0 a;"}, {anchor(256), ""},  // read as text
        {"<meta charset=latin1><a href=talk.wav#10#12 name=Z><a href=talk.wav#10#15 name=Y><a href=talk.wav#10#12 name=\xe9>"
         "<a href=talk.wav#10#12 name=b><a href=talk.wav#10#12 name=B><a href=talk.wav#nan name=N>",
         "10 12 B;10 12 Z;10 12 b;10 12 \xc3\xa9;10 15 Y;nan 0 N;"},
    };
    for (const auto& c : cases) EXPECT_EQ(scan(c.page), c.items) << c.page.toStdString();
    // The first anchors up to the capacity are kept, then sorted.
    EXPECT_EQ(scan("<a href=talk.wav#2 name=a><a href=talk.wav#1 name=b><a href=talk.wav#0 name=c>", 2), "1 0 b;2 0 a;");
    EXPECT_EQ(scan("<a href=talk.wav#1 name=a>", 0), "");

    // The current item: the latest start at most a thousand seconds back.
    const AudioItem table[] = {{0, 5, "X"}, {10, 12, "Z"}, {10, 15, "Y"}};
    const struct { double seconds; int items, item; } current[] = {
        {0, 3, 0},     {9.999, 3, 0}, {10, 3, 1},  {1009.99, 3, 1}, {1010, 3, -1}, {-1, 3, -1},
        {NAN, 3, -1},  {999.99, 1, 0}, {1000, 1, -1}, {20, 1, 0},    {5, 0, -1},
    };
    for (const auto& c : current) EXPECT_EQ(findCurrentItem(table, c.items, c.seconds), c.item) << c.seconds;
}

// The index beside the executable, else the user's, else the installed one.
TEST(ScriptIndex, PathBesideTheProgram) {
    for (auto [exe, index] : {std::pair{"/opt/p.q/bin/parlotype", "/opt/p.q/bin/parlotype.htm"}, std::pair{"/a/b.tar.bin", "/a/b.tar.htm"}})
        EXPECT_EQ(scriptIndexPath(exe), index);
    // Which one is found, as indexes are made in a tree: bin/, the user's folder, share/parlotype/.
    QTemporaryDir dir;
    const QString exe = dir.filePath("bin/parlotype"), beside = dir.filePath("bin/parlotype.htm"),
                  user = dir.filePath("user/parlotype.htm"), installed = dir.filePath("share/parlotype/parlotype.htm");
    for (const QString& folder : {"bin", "user", "share/parlotype"}) ASSERT_TRUE(QDir(dir.path()).mkpath(folder));
    for (const auto& [made, found] : {std::pair{QString(), beside}, {installed, installed}, {user, user}, {beside, beside}}) {
        if (!made.isEmpty()) ASSERT_TRUE(QFile(made).open(QIODevice::WriteOnly));
        EXPECT_EQ(findScriptIndex(exe, dir.filePath("user")), found) << "made " << made.toStdString();
    }
}

// Each token on a line: "<NAME|attr|value..." for a tag, its text otherwise.
QByteArray tokens(const QByteArray& page) {
    MemoryByteStream stream(page);
    HtmlTokenizer tokenizer(&stream);
    QByteArray out;
    while (const HtmlToken* t = tokenizer.nextToken()) {
        out += (t->kind() == HtmlToken::Kind::Tag ? "<" : "") + t->text();
        for (int i = 0; i < t->attributeCount(); ++i) out += "|" + t->attribute(i);
        out += "\n";
    }
    return out;
}

TEST(HtmlTokenizer, TokensAndBothListings) {
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
        {QByteArray::fromStdString("<a b='1\n2' c=x\0y>\0"s), QByteArray::fromStdString("<A|B|1\n2|C|x\0y\n\0\n"s)},
        {many + "<b c=d>text", "<X" + QByteArray(100, 'a').replace("a", "|A|") + "\n<B|C|d\ntext\n"},
        {"<" + QByteArray(1 << 20, 'z') + ">x", "!Skipped!\nx\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(tokens(c.page), c.tokens) << c.page.left(80).toStdString();

    // Both listings of one page. Lines end at LF or CR LF; a lone CR is kept.
    const QByteArray tag = "<" + QByteArray(256, 'y') + ">";
    const QByteArray page = "<html>\r\n<a href=\"t.wav#1\" name=s1 b =''>One</a>\n\n<img src=p.gif>" + tag + "\na\rb\nlast\r";
    const QByteArray source = "<html>\r\n<a href=\"t.wav#1\" name=s1 b =''>One</a>\r\n\r\n<img src=p.gif>" + tag + "\r\na\rb\r\nlast\r\r\n";
    const QByteArray parsed = "<HTML>\r\n<A:\r\n  HREF=\"t.wav#1\"\r\n  NAME=\"s1\"\r\n  B\r\n>\r\n\"One\"\r\n</A>\r\n"
                              "<IMG:\r\n  SRC=\"p.gif\"\r\n>\r\n\"!Skipped!\"\r\n\"a\rb\nlast\r\"\r\n";
    MemoryByteStream forSource(page), forParsed(page);
    EXPECT_EQ(sourceListing(forSource), source);
    EXPECT_EQ(parsedListing(forParsed), parsed);
}

// The time pane's and --play's text: negative and NaN positions show as 0,
// huge ones as the largest; then the marks.
TEST(timeText, PositionsAndMarks) {
    const struct { double seconds; const char* text; } cases[] = {
        {0, " 0:00.0"}, {0.05, " 0:00.0"}, {59.99, " 0:59.9"}, {75.37, " 1:15.3"}, {605.99, "10:05.9"}, {6000.5, "100:00.5"},
        {-3, " 0:00.0"}, {-0.5, " 0:00.0"}, {NAN, " 0:00.0"}, {-INFINITY, " 0:00.0"}, {1e300, "35791394:07.0"}, {INFINITY, "35791394:07.0"},
    };
    for (const auto& c : cases) EXPECT_EQ(timeText(c.seconds), QLatin1String(c.text)) << c.seconds;

    const struct { double seconds; const char* text; } marks[] = {{83.46, "83.5"}, {0, "0.0"}, {0.25, "0.2"}, {0.35, "0.3"}, {12345.96, "12346.0"}};
    for (const auto& c : marks)
        EXPECT_EQ(markText(QString::fromUtf8("C:\\m\xc3\xbcsic/t.wav"), c.seconds),
                  QString::fromUtf8("C:\\m\xc3\xbcsic/t.wav#%1\r\n").arg(QLatin1String(c.text)));
}

}  // namespace
