// The script index beside the executable.
#include "app/script_index.h"

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

}  // namespace
