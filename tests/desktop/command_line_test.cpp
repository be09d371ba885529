// SPDX-License-Identifier: GPL-3.0-or-later
// The command line: help, version, usage errors and the window that has no
// display print and exit without one; a good --play link still plays.
#include "desktop/run_program.h"

#include <gtest/gtest.h>

namespace {

const QString kProgram = QStringLiteral(PARLOTYPE_BINARY_DIR "/parlotype");

// No display of any kind: a window could not open.
QProcessEnvironment NoDisplay() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QLatin1String(name));
    return env;
}

// `text` begins with `start`; an empty `start` asks for no text at all.
bool Begins(const QString& text, const char* start) {
    return *start ? text.startsWith(QLatin1String(start)) : text.isEmpty();
}

TEST(CommandLine, PrintsAndExitsWithoutADisplay) {
    struct Case {
        QStringList args;
        int exitCode;
        const char* out;  // what standard output begins with; "" for nothing
        const char* err;  // what standard error begins with; "" for nothing
    };
    const Case cases[] = {
        {{"--help"}, 0, "Usage: parlotype [options] [SCRIPT]\n", ""},
        {{"-h"}, 0, "Usage: parlotype [options] [SCRIPT]\n", ""},
        {{"--version"}, 0, "Parlotype " PARLOTYPE_VERSION "\n", ""},
        {{"demo.htm", "--version"}, 0, "Parlotype " PARLOTYPE_VERSION "\n", ""},
        {{"--bogus"}, 2, "", "parlotype: Unknown option 'bogus'.\n\nUsage: parlotype [options] [SCRIPT]\n"},
        {{"-bogus", "demo.htm"}, 2, "", "parlotype: Unknown option 'bogus'.\n\nUsage: parlotype"},
        {{"a.htm", "b.htm"}, 2, "", "parlotype: One script at a time: 'b.htm' is one too many.\n\nUsage:"},
        {{"--play"}, 2, "", "parlotype: Missing value after '--play'.\n\nUsage:"},
        {{"--play", "a.wav", "b.htm"}, 2, "", "parlotype: --play takes no script: 'b.htm'\n\nUsage:"},
        {{"--play", "#1#2"}, 2, "", "parlotype: --play needs a file in its link"},
        {{}, 1, "", "parlotype: no display to open the window on"},
        {{"demo.htm"}, 1, "", "parlotype: no display to open the window on"},
    };
    for (const Case& c : cases) {
        const ProgramRun r = RunProgram(kProgram, c.args, NoDisplay());
        const std::string what = c.args.join(' ').toStdString();
        EXPECT_EQ(r.exitCode, c.exitCode) << what << "\n[" << r.err.toStdString() << "]";
        EXPECT_TRUE(Begins(r.out, c.out)) << what << "\n[" << r.out.toStdString() << "]";
        EXPECT_TRUE(Begins(r.err, c.err)) << what << "\n[" << r.err.toStdString() << "]";
    }
    // The help lists every option.
    const QString help = RunProgram(kProgram, {"--help"}, NoDisplay()).out;
    for (const char* option : {"--help", "--version", "--play <LINK>", "SCRIPT"})
        EXPECT_TRUE(help.contains(QLatin1String(option))) << option;
}

TEST(CommandLine, PlaysTheDemoWithoutADisplay) {
    const ProgramRun r = RunProgram(kProgram, {"--play", PARLOTYPE_BINARY_DIR "/scripts/demo/demo.wav#0.5#1"}, NoDisplay());
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith(QLatin1String(" 0:00.5\n"))) << r.out.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
}

}  // namespace
