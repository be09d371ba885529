// SPDX-License-Identifier: GPL-3.0-or-later
// The program as a user meets it: its command line without a display, the
// tree `cmake --install` lays out (checked by the desktop's own tools), and
// its texts as Qt Linguist's lupdate reads them.
#include "desktop/run_program.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(Desktop, CommandLinePrintsAndExits) {
    const QString usage = "\n\nUsage: parlotype [options] [SCRIPT]\n";
    // out and err: what each begins with; empty for nothing at all.
    const struct { QStringList args; int exitCode; QString out, err; } cases[] = {
        {{"--help"}, 0, usage.mid(2), ""},  {{"-h"}, 0, usage.mid(2), ""},
        {{"demo.htm", "--version"}, 0, "Parlotype " PARLOTYPE_VERSION "\n", ""},
        {{"--bogus"}, 2, "", "parlotype: Unknown option 'bogus'." + usage},
        {{"-bogus", "demo.htm"}, 2, "", "parlotype: Unknown option 'bogus'." + usage},
        {{"a.htm", "b.htm"}, 2, "", "parlotype: One script at a time: 'b.htm' is one too many." + usage},
        {{"--play"}, 2, "", "parlotype: Missing value after '--play'." + usage},
        {{"--play", "a.wav", "b.htm"}, 2, "", "parlotype: --play takes no script: 'b.htm'\n" + usage.mid(1)},
        {{}, 1, "", "parlotype: no display to open the window on"}, {{"demo.htm"}, 1, "", "parlotype: no display"},
    };
    for (const auto& c : cases) {
        const Outcome r = RunProgram(PARLOTYPE_BINARY_DIR "/parlotype", c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.join(' ').toStdString() << "\n" << r.err.toStdString();
        EXPECT_TRUE(c.out.isEmpty() ? r.out.isEmpty() : r.out.startsWith(c.out)) << r.out.toStdString();
        EXPECT_TRUE(c.err.isEmpty() ? r.err.isEmpty() : r.err.startsWith(c.err)) << r.err.toStdString();
    }
    const QString help = RunProgram(PARLOTYPE_BINARY_DIR "/parlotype", {"--help"}).out;
    for (const char* option : {"--version", "--play <LINK>", "--speed", "--make-script"}) EXPECT_TRUE(help.contains(option)) << option;
}

TEST(Desktop, InstalledTreeIsComplete) {
    QTemporaryDir prefix;
    const Outcome install = RunProgram(CMAKE_COMMAND, {"--install", PARLOTYPE_BINARY_DIR, "--prefix", prefix.path()});
    ASSERT_EQ(install.exitCode, 0) << install.err.toStdString();
    for (const char* file : {"share/icons/hicolor/scalable/apps/parlotype.svg", "share/parlotype/demo/demo.htm",
                             "share/parlotype/demo/demo.wav", "share/doc/parlotype/LICENSE"})
        EXPECT_TRUE(QFileInfo(prefix.filePath(file)).isFile()) << file;
    EXPECT_EQ(QDir(prefix.filePath("bin")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"parlotype"});

    // The desktop's tools accept the entry, the metadata and the manual page.
    const QString entry = prefix.filePath("share/applications/parlotype.desktop");
    const Outcome checks[] = {RunProgram("desktop-file-validate", {entry}),
                              RunProgram("appstreamcli", {"validate", "--no-net", prefix.filePath("share/metainfo/org.phonicledger.parlotype.metainfo.xml")}),
                              RunProgram("man", {"--warnings", "-l", prefix.filePath("share/man/man1/parlotype.1")})};
    for (const Outcome& check : checks) EXPECT_TRUE(check.exitCode == 0 && check.err.isEmpty()) << check.out.toStdString() << check.err.toStdString();
    for (const char* text : {"PARLOTYPE(1)", "--play LINK", "EXIT STATUS", "Parlotype " PARLOTYPE_VERSION}) EXPECT_TRUE(checks[2].out.contains(text)) << text;
    const QString desktop = ReadText(entry);
    for (const char* line : {"\nExec=parlotype %u\n", "\nIcon=parlotype\n"}) EXPECT_TRUE(desktop.contains(line)) << line;
    EXPECT_FALSE(desktop.contains("MimeType")) << "it must not take over HTML files";

    // The installed index reaches the bundled scripts, and the installed program plays.
    static const QRegularExpression href("href=\"([^\"]+)\"");
    int links = 0;
    for (const auto& m : href.globalMatch(ReadText(prefix.filePath("share/parlotype/parlotype.htm"))))
        EXPECT_TRUE(++links && QFileInfo(prefix.filePath("share/parlotype/" + m.captured(1))).isFile()) << m.captured(1).toStdString();
    EXPECT_GE(links, 1);
    const Outcome play = RunProgram(prefix.filePath("bin/parlotype"), {"--play", prefix.filePath("share/parlotype/demo/demo.wav") + "#0#0.5"});
    EXPECT_TRUE(play.exitCode == 0 && play.out.startsWith(" 0:00.0\n")) << play.err.toStdString();
}

TEST(Desktop, LupdateFindsTheTextsWithoutAWarning) {
    QTemporaryDir dir;
    QStringList args{"-I", PARLOTYPE_SOURCE_DIR, "-no-obsolete", "-locations", "none"};
    for (const char* folder : {"app", "view", "platform", "audio", "html", "align", "mpris"}) args << PARLOTYPE_SOURCE_DIR "/" + QString(folder);
    const Outcome r = RunProgram(LUPDATE, args << "-ts" << dir.filePath("p.ts"));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    static const QRegularExpression expected("^\\s*(Scanning directory|Updating|Found)");
    for (const QString& line : (r.out + r.err).split('\n', Qt::SkipEmptyParts)) EXPECT_TRUE(expected.match(line).hasMatch()) << line.toStdString();
    // One text from each place user-visible texts come from.
    const QString found = ReadText(dir.filePath("p.ts"));
    for (const char* text : {"&amp;File", "Ready", "About %1", "Print this help and exit.", "Failed to open replay device",
                             "Marks", "Could not open the page &apos;%1&apos;", "No speech found in &apos;%1&apos;"})
        EXPECT_TRUE(found.contains("<source>" + QString(text))) << text;
}

}  // namespace
