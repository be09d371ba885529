// SPDX-License-Identifier: GPL-3.0-or-later
// The item table: which anchors of a page become items, their order, and the
// item sounding at a position.
#include "html/byte_stream.h"
#include "view/audio_item.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

const QString kPage = QStringLiteral("file:///home/u/s/p.htm");
const QString kFile = QStringLiteral("/home/u/s/talk.wav");

struct Item {
    double start, end;
    std::string name;
    bool operator==(const Item&) const = default;
};

void PrintTo(const Item& i, std::ostream* os) { *os << '{' << i.start << ", " << i.end << ", " << i.name << '}'; }

std::vector<Item> Scan(const QByteArray& page, int capacity = kMaxAudioItems) {
    std::vector<AudioItem> table(capacity + 1);
    std::memset(table.data(), 0x5A, table.size() * sizeof(AudioItem));
    CMemoryByteStream stream(page);
    const int n = ScanItemsFromStream(stream, kPage, kFile, table.data(), capacity);
    EXPECT_LE(n, capacity);
    // The record after the capacity is never written.
    const unsigned char* guard = reinterpret_cast<const unsigned char*>(&table[capacity]);
    for (size_t i = 0; i < sizeof(AudioItem); ++i) EXPECT_EQ(guard[i], 0x5A);
    std::vector<Item> items;
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(table[i].name[15], '\0');
        items.push_back({table[i].start, table[i].end, table[i].name});
    }
    return items;
}

// An anchor with `inside` bytes between its angle brackets.
QByteArray Anchor(int inside) {
    const QByteArray head = "a href=talk.wav#1 name=a title='";
    return "<" + head + QByteArray(inside - head.size() - 1, 'x') + "'>";
}

TEST(ScanItems, WhichAnchorsBecomeItems) {
    struct Case {
        const char* what;
        QByteArray page;
        std::vector<Item> items;
    };
    const Case cases[] = {
        {"start and end", "<A HREF=talk.wav#12.5#20 NAME=s1>x</A>", {{12.5, 20, "s1"}}},
        {"lower-case markup", "<a href='talk.wav#1' name=\"s2\">", {{1, 0, "s2"}}},
        {"no fragment starts at 0", "<a href=talk.wav name=a>", {{0, 0, "a"}}},
        {"three '#': first and last", "<a href=talk.wav#1#2#3 name=a>", {{1, 3, "a"}}},
        {"empty start before an end", "<a href=talk.wav##7 name=a>", {{0, 7, "a"}}},
        {"one '#' and nothing after: no item", "<a href=talk.wav# name=a>", {}},
        {"no NAME", "<a href=talk.wav#1>", {}},
        {"empty NAME", "<a href=talk.wav#1 name=''>", {}},
        {"NAME without value", "<a href=talk.wav#1 name>", {}},
        {"other file", "<a href=other.wav#1 name=a>", {}},
        {"other folder", "<a href=../talk2/talk.wav#1 name=a>", {}},
        {"relative up", "<a href=../s/talk.wav#4 name=a>", {{4, 0, "a"}}},
        {"absolute", "<a href=/home/u/s/talk.wav#4 name=a>", {{4, 0, "a"}}},
        {"not an A tag", "<area href=talk.wav#1 name=a><ab href=talk.wav#1 name=a>", {}},
        {"NAME before HREF", "<a name=n href=talk.wav#2>", {{2, 0, "n"}}},
        {"the last HREF that matches wins", "<a href=talk.wav#1 href=talk.wav#2 href=o.wav#3 name=a>",
         {{2, 0, "a"}}},
        {"a later matching HREF without a start removes it", "<a href=talk.wav#1 href=talk.wav# name=a>", {}},
        {"the last NAME wins", "<a name=first href=talk.wav#1 name=second>", {{1, 0, "second"}}},
        {"a NAME of 20 characters is cut to 15", "<a href=talk.wav#1 name=abcdefghijklmnopqrst>",
         {{1, 0, "abcdefghijklmno"}}},
        {"text without numbers reads as 0", "<a href=talk.wav#abc#xyz name=a>", {{0, 0, "a"}}},
        {"anchor tag of 256 bytes is text", Anchor(256), {}},
        {"anchor tag of 255 bytes is read", Anchor(255), {{1, 0, "a"}}},
        {"escaped file name", "<a href=TALK%2ewav#5 name=a>", {{5, 0, "a"}}},
    };
    for (const Case& c : cases) EXPECT_EQ(Scan(c.page), c.items) << c.what;
}

TEST(ScanItems, SortsByStartThenEndThenName) {
    const QByteArray page =
        "<p>Intro</p>\n"
        "<a href=talk.wav#10#15 name=Y>y</a>\n"
        "<a href=talk.wav#0#5 name=X>x</a>\n"
        "<a href=talk.wav#10#12 name=Z>z</a>\n"
        "<a href=talk.wav#10#12 name=b>b</a>\n"
        "<a href=talk.wav#10#12 name=B>B</a>\n"
        "<a href=talk.wav#10#12 name=\xe9>e</a>\n";
    EXPECT_EQ(Scan(page), (std::vector<Item>{{0, 5, "X"},
                                             {10, 12, "B"},
                                             {10, 12, "Z"},
                                             {10, 12, "b"},
                                             {10, 12, "\xe9"},
                                             {10, 15, "Y"}}));
}

TEST(ScanItems, NanTimesSortLastAndKeepTheOrderConsistent) {
    QByteArray page;
    for (int i = 0; i < 200; ++i) {
        const QByteArray start = i % 3 ? QByteArray::number(200 - i) : QByteArray("nan");
        page += "<a href=talk.wav#" + start + "#nan name=n" + QByteArray::number(i) + ">";
    }
    const std::vector<Item> items = Scan(page);
    ASSERT_EQ(items.size(), 200u);
    for (size_t i = 1; i < items.size(); ++i) {
        const bool prevNan = std::isnan(items[i - 1].start), nan = std::isnan(items[i].start);
        EXPECT_TRUE(nan || (!prevNan && items[i - 1].start <= items[i].start)) << i;
    }
}

TEST(ScanItems, KeepsTheFirstAnchorsUpToTheCapacity) {
    QByteArray page;
    for (int i = 0; i < kMaxAudioItems + 1; ++i)
        page += "<a href=talk.wav#" + QByteArray::number(kMaxAudioItems - i) + " name=i" + QByteArray::number(i) +
                ">text</a>\n";
    const std::vector<Item> items = Scan(page);
    ASSERT_EQ(items.size(), size_t(kMaxAudioItems));
    // The 25,001st anchor (start 0) is dropped; the first (start 25000) is kept.
    EXPECT_EQ(items.front(), (Item{1, 0, "i24999"}));
    EXPECT_EQ(items.back(), (Item{double(kMaxAudioItems), 0, "i0"}));

    EXPECT_EQ(Scan("<a href=talk.wav#1 name=a><a href=talk.wav#2 name=b>", 1), (std::vector<Item>{{1, 0, "a"}}));
    EXPECT_EQ(Scan("<a href=talk.wav#1 name=a>", 0), std::vector<Item>{});
}

TEST(CompareItems, OrdersLikeTheTable) {
    auto item = [](double s, double e, const char* n) {
        AudioItem a{s, e, {}};
        std::strncpy(a.name, n, 15);
        return a;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        AudioItem a, b;
        int result;
    };
    const Case cases[] = {
        {item(1, 0, "a"), item(2, 0, "a"), -1},  {item(2, 0, "a"), item(1, 9, "a"), 1},
        {item(1, 2, "z"), item(1, 3, "a"), -1},  {item(1, 3, "a"), item(1, 2, "z"), 1},
        {item(1, 2, "B"), item(1, 2, "b"), -1},  {item(1, 2, "ab"), item(1, 2, "a"), 1},
        {item(1, 2, "a"), item(1, 2, "a"), 0},   {item(1, 2, "\xe9"), item(1, 2, "z"), 1},
        {item(nan, 0, "a"), item(1e300, 0, "a"), 1}, {item(1, nan, "a"), item(1, 0, "a"), 1},
        {item(nan, 0, "a"), item(nan, 0, "b"), -1}, {item(-0.0, 0, "a"), item(0.0, 0, "a"), 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CompareItems(&c.a, &c.b), c.result) << c.a.name << " vs " << c.b.name;
        EXPECT_EQ(CompareItems(&c.b, &c.a), -c.result) << c.b.name << " vs " << c.a.name;
    }
}

TEST(FindCurrentItem, LatestStartWithinAThousandSeconds) {
    // X (0-5), Z (10-12), Y (10-15), as sorted.
    const AudioItem table[] = {{0, 5, "X"}, {10, 12, "Z"}, {10, 15, "Y"}};
    struct Case {
        double seconds;
        int item;
    };
    const Case cases[] = {
        {5, 0},     {0, 0},   {9.999, 0}, {10, 1},    {12.5, 1},        {-1, -1},
        {1010, -1}, {1009.99, 1}, {999.99, 1}, {1000, 1}, {std::nan(""), -1},
    };
    for (const Case& c : cases) EXPECT_EQ(FindCurrentItem(table, 3, c.seconds), c.item) << c.seconds;
    // The bound is exclusive: an item that started 1000 s ago is over.
    EXPECT_EQ(FindCurrentItem(table, 1, 999.99), 0);
    EXPECT_EQ(FindCurrentItem(table, 1, 1000), -1);
    EXPECT_EQ(FindCurrentItem(table, 0, 5), -1);
    EXPECT_EQ(FindCurrentItem(table, 1, 20), 0) << "only the items in use count";
}

}  // namespace
