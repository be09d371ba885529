// SPDX-License-Identifier: GPL-3.0-or-later
// `cmake --install` into a fresh prefix: every file a desktop expects is there,
// the desktop's own tools accept the entry, metadata and manual page, the
// installed index reaches the bundled scripts, and the installed program runs.
#include "desktop/run_program.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class InstallTree : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_prefix = new QTemporaryDir;
        s_install = RunProgram(QStringLiteral(CMAKE_COMMAND),
                               {"--install", PARLOTYPE_BINARY_DIR, "--prefix", s_prefix->path()});
    }
    static void TearDownTestSuite() { delete s_prefix; }
    void SetUp() override { ASSERT_EQ(s_install.exitCode, 0) << s_install.err.toStdString(); }

    static QString Path(const char* relative) { return s_prefix->filePath(QLatin1String(relative)); }

    static inline QTemporaryDir* s_prefix = nullptr;
    static inline ProgramRun s_install;
};

TEST_F(InstallTree, HoldsTheProgramItsDesktopFilesAndScripts) {
    const char* files[] = {
        "bin/parlotype",
        "share/applications/parlotype.desktop",
        "share/icons/hicolor/scalable/apps/parlotype.svg",
        "share/metainfo/org.phonicledger.parlotype.metainfo.xml",
        "share/man/man1/parlotype.1",
        "share/parlotype/parlotype.htm",
        "share/parlotype/demo/demo.htm",
        "share/parlotype/demo/demo.wav",
        "share/doc/parlotype/LICENSE",
    };
    for (const char* file : files) EXPECT_TRUE(QFileInfo(Path(file)).isFile()) << file;
    EXPECT_TRUE(QFileInfo(Path("bin/parlotype")).isExecutable());
    // Nothing but the program in bin/: its index lives in the share folder.
    EXPECT_EQ(QDir(Path("bin")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"parlotype"});
}

TEST_F(InstallTree, DesktopToolsAcceptTheEntryMetadataAndManual) {
    const ProgramRun desktop = RunProgram(QStringLiteral("desktop-file-validate"), {Path("share/applications/parlotype.desktop")});
    EXPECT_EQ(desktop.exitCode, 0) << desktop.out.toStdString();
    EXPECT_FALSE(desktop.out.contains(QLatin1String("error"))) << desktop.out.toStdString();

    const ProgramRun metainfo = RunProgram(QStringLiteral("appstreamcli"),
                                    {"validate", "--no-net", Path("share/metainfo/org.phonicledger.parlotype.metainfo.xml")});
    EXPECT_EQ(metainfo.exitCode, 0) << metainfo.out.toStdString();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MANWIDTH"), QStringLiteral("80"));
    const ProgramRun man = RunProgram(QStringLiteral("man"), {"--warnings", "-l", Path("share/man/man1/parlotype.1")}, env);
    EXPECT_EQ(man.exitCode, 0) << man.err.toStdString();
    EXPECT_TRUE(man.err.isEmpty()) << man.err.toStdString();
    for (const char* text : {"PARLOTYPE(1)", "--play LINK", "EXIT STATUS", "Parlotype " PARLOTYPE_VERSION})
        EXPECT_TRUE(man.out.contains(QLatin1String(text))) << text;

    QFile entry(Path("share/applications/parlotype.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    for (const char* line : {"\nExec=parlotype %u\n", "\nIcon=parlotype\n", "\nCategories=AudioVideo;Audio;Education;\n"})
        EXPECT_TRUE(text.contains(QLatin1String(line))) << line;
    EXPECT_FALSE(text.contains(QLatin1String("MimeType"))) << "it must not take over HTML files";
}

TEST_F(InstallTree, IndexReachesTheBundledScriptsAndTheProgramRuns) {
    QFile index(Path("share/parlotype/parlotype.htm"));
    ASSERT_TRUE(index.open(QIODevice::ReadOnly));
    const QString page = QString::fromUtf8(index.readAll());
    static const QRegularExpression href(QStringLiteral("href=\"([^\"]+)\""));
    int links = 0;
    for (const auto& m : href.globalMatch(page)) {
        EXPECT_TRUE(QFileInfo(Path("share/parlotype/") + m.captured(1)).isFile()) << m.captured(1).toStdString();
        ++links;
    }
    EXPECT_GE(links, 1);

    const QString program = Path("bin/parlotype");
    const ProgramRun version = RunProgram(program, {"--version"});
    EXPECT_EQ(version.out, QStringLiteral("Parlotype " PARLOTYPE_VERSION "\n"));
    const ProgramRun play = RunProgram(program, {"--play", Path("share/parlotype/demo/demo.wav") + "#0#0.5"});
    EXPECT_EQ(play.exitCode, 0) << play.err.toStdString();
    EXPECT_TRUE(play.out.startsWith(QLatin1String(" 0:00.0\n"))) << play.out.toStdString();
}

}  // namespace
