// SPDX-License-Identifier: GPL-3.0-or-later
// The recent-files list: newest first, no duplicates, at most four, kept in
// the settings between runs (a private settings folder here).
#include "app/recent_files.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(RecentFiles, NewestFirstAtMostFourAndKept) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    CRecentFileList list;
    list.Load();
    EXPECT_TRUE(list.Files().isEmpty());
    for (const char* p : {"/s/1.htm", "/s/2.htm", "/s/3.htm", "/s/4.htm", "/s/5.htm"}) list.Add(QLatin1String(p));
    EXPECT_EQ(list.Files(), (QStringList{"/s/5.htm", "/s/4.htm", "/s/3.htm", "/s/2.htm"}));
    list.Add(QStringLiteral("/s/3.htm"));
    EXPECT_EQ(list.Files(), (QStringList{"/s/3.htm", "/s/5.htm", "/s/4.htm", "/s/2.htm"}));

    CRecentFileList next;
    next.Load();
    EXPECT_EQ(next.Files(), list.Files());
}

}  // namespace
