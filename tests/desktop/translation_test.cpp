// SPDX-License-Identifier: GPL-3.0-or-later
// Ready for translators: lupdate reads every source folder without a warning
// and finds the user-visible texts of each layer.
#include "desktop/run_program.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(Translation, LupdateFindsTheTextsWithoutAWarning) {
    QTemporaryDir dir;
    const QString ts = dir.filePath(QStringLiteral("parlotype.ts"));
    QStringList args{"-I", PARLOTYPE_SOURCE_DIR, "-no-obsolete", "-locations", "none"};
    for (const char* folder : {"app", "view", "platform", "audio", "html", "align", "mpris"})
        args << QStringLiteral(PARLOTYPE_SOURCE_DIR "/%1").arg(QLatin1String(folder));
    const ProgramRun r = RunProgram(QStringLiteral(LUPDATE), args << "-ts" << ts);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    for (const QString& line : (r.out + r.err).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString text = line.trimmed();
        EXPECT_TRUE(text.startsWith(QLatin1String("Scanning directory")) || text.startsWith(QLatin1String("Updating")) ||
                    text.startsWith(QLatin1String("Found")))
            << text.toStdString();
    }
    QFile file(ts);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString found = QString::fromUtf8(file.readAll());
    // One text from each place user-visible texts come from.
    for (const char* text : {"<source>&amp;File</source>", "<source>Ready</source>", "<source>About %1</source>",
                             "<source>Print this help and exit.</source>", "<source>Failed to open replay device</source>",
                             "<source>Marks</source>", "<source>Could not open the page &apos;%1&apos;",
                             "<source>No speech found in &apos;%1&apos;</source>"})
        EXPECT_TRUE(found.contains(QLatin1String(text))) << text;
}

}  // namespace
