// SPDX-License-Identifier: GPL-3.0-or-later
// The script index: its path beside the executable, and which index a
// program finds in a build tree, an installed tree and the user's folder.
#include "app/script_index.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(ScriptIndexPath, ReplacesOrAddsTheExtension) {
    struct Case {
        const char* exe;
        const char* index;
    };
    const Case cases[] = {
        {"C:\\A\\B.EXE", "C:\\A\\B.htm"},
        {"D:\\A\\B.EXE", "D:\\A\\B.htm"},
        {"C:\\A.B\\C", "C:\\A.B\\C.htm"},
        {"C:\\A\\B.tar.exe", "C:\\A\\B.tar.htm"},
        {"/work/main/build/parlotype", "/work/main/build/parlotype.htm"},
        {"/home/u/.local/bin/parlotype", "/home/u/.local/bin/parlotype.htm"},
        {"/opt/parlo.type/bin/parlotype.bin", "/opt/parlo.type/bin/parlotype.htm"},
        {"/home/u/.parlotype", "/home/u/.parlotype.htm"},
        {"parlotype", "parlotype.htm"},
        {"parlotype.exe", "parlotype.htm"},
        {"", ".htm"},
    };
    for (const Case& c : cases) EXPECT_EQ(ScriptIndexPath(QString::fromUtf8(c.exe)), QString::fromUtf8(c.index)) << c.exe;
}

TEST(FindScriptIndex, BesideTheExecutableThenTheUsersThenTheInstalledOne) {
    struct Case {
        std::vector<const char*> present;
        const char* found;
    };
    const Case cases[] = {
        {{}, "bin/parlotype.htm"},
        {{"share/parlotype/parlotype.htm"}, "share/parlotype/parlotype.htm"},
        {{"share/parlotype/parlotype.htm", "user/parlotype.htm"}, "user/parlotype.htm"},
        {{"share/parlotype/parlotype.htm", "user/parlotype.htm", "bin/parlotype.htm"}, "bin/parlotype.htm"},
        {{"share/parlotype/other.htm", "user/index.htm"}, "bin/parlotype.htm"},
    };
    for (const Case& c : cases) {
        QTemporaryDir root;
        for (const char* file : c.present) {
            const QString path = root.filePath(QLatin1String(file));
            QDir().mkpath(QFileInfo(path).path());
            QFile(path).open(QIODevice::WriteOnly);
        }
        EXPECT_EQ(FindScriptIndex(root.filePath("bin/parlotype"), root.filePath("user")),
                  root.filePath(QLatin1String(c.found)))
            << c.found;
    }
}

}  // namespace
