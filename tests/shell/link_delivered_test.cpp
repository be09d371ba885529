// SPDX-License-Identifier: GPL-3.0-or-later
// What the navigation policy receives for the addresses the engine reports.
#include "platform/web_view.h"

#include <QUrl>
#include <gtest/gtest.h>

namespace {

struct Case {
    const char* url;
    const char* delivered;
};

constexpr Case kCases[] = {
    // file: URLs arrive as local paths, escapes decoded, fragment as written
    {"file:///home/u/s/talk.wav", "/home/u/s/talk.wav"},
    {"file:///home/u/s/talk.wav#12.5#20", "/home/u/s/talk.wav#12.5#20"},
    {"file:///tmp/a%20b/talk.MP3#1#2#3", "/tmp/a b/talk.MP3#1#2#3"},
    {"file:///tmp/talk.wav#", "/tmp/talk.wav#"},
    {"file:///tmp/talk.wav##7", "/tmp/talk.wav##7"},
    {"file:///tmp/page.htm#a%20b", "/tmp/page.htm#a%20b"},
    {"file:///tmp/talk.wav?t=1", "/tmp/talk.wav?t=1"},  // so no audio link
    // everything else arrives as its full text
    {"index:anything", "index:anything"},
    {"res:/home.htm", "res:/home.htm"},
    {"https://example.org/talk.wav#3", "https://example.org/talk.wav#3"},
    {"http://example.org/a%20b.wav", "http://example.org/a%20b.wav"},
    {"mailto:someone@example.org", "mailto:someone@example.org"},
};

TEST(LinkAsDelivered, FileUrlsAsPathsOthersAsText) {
    for (const Case& c : kCases)
        EXPECT_EQ(platform::LinkAsDelivered(QUrl(QString::fromLatin1(c.url))).toStdString(), c.delivered)
            << c.url;
}

}  // namespace
