// SPDX-License-Identifier: GPL-3.0-or-later
// The View Source and View Parsed listings of small pages, against golden
// files kept beside this test (golden/<page>.htm, .source.txt, .parsed.txt).
#include "html/byte_stream.h"
#include "view/page_listing.h"

#include <gtest/gtest.h>

#include <QFile>

namespace {

QByteArray Golden(const QString& name) {
    QFile file(QStringLiteral(PARLOTYPE_SOURCE_DIR "/tests/html/golden/") + name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    return file.readAll();
}

TEST(PageListing, MatchesGoldenFiles) {
    for (const char* page : {"anchor", "image", "two_lines", "empty", "script"}) {
        const QString name = QString::fromLatin1(page);
        const QByteArray html = Golden(name + ".htm");
        CMemoryByteStream forSource(html);
        EXPECT_EQ(SourceListing(forSource), Golden(name + ".source.txt")) << page;
        CMemoryByteStream forParsed(html);
        EXPECT_EQ(ParsedListing(forParsed), Golden(name + ".parsed.txt")) << page;
    }
}

TEST(PageListing, OneLinePerAttributeAndSkippedTags) {
    CMemoryByteStream stream("<p ='x' b=\"\"><" + QByteArray(256, 'y') + ">");
    EXPECT_EQ(ParsedListing(stream), QByteArray("<P:\r\n  =\"x\"\r\n  B\r\n>\r\n\"!Skipped!\"\r\n"));
}

}  // namespace
