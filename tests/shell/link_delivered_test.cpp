// SPDX-License-Identifier: GPL-3.0-or-later
// What the navigation policy receives for the addresses the engine reports, beyond those
// the window test's page follows: file: URLs as local paths, escapes decoded, fragment as
// written; all else as its full text.
#include "platform/web_view.h"

#include <QUrl>
#include <gtest/gtest.h>

namespace {

TEST(LinkAsDelivered, FileUrlsAsPathsOthersAsText) {
    for (const auto& [url, delivered] : {
             std::pair{"file:///tmp/talk.wav##7", "/tmp/talk.wav##7"}, {"file:///tmp/page.htm#a%20b", "/tmp/page.htm#a%20b"},
             {"file:///tmp/a%20b/talk.MP3#1#2#3", "/tmp/a b/talk.MP3#1#2#3"}, {"file:///tmp/talk.wav#", "/tmp/talk.wav#"},
             {"file:///tmp/talk.wav?t=1", "/tmp/talk.wav?t=1"},  // so no audio link
             {"https://example.org/talk.wav#3", "https://example.org/talk.wav#3"},
             {"http://example.org/a%20b.wav", "http://example.org/a%20b.wav"}, {"mailto:a@example.org", "mailto:a@example.org"}})
        EXPECT_EQ(platform::LinkAsDelivered(QUrl(QString::fromLatin1(url))).toStdString(), delivered) << url;
}

}  // namespace
