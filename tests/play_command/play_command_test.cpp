// SPDX-License-Identifier: GPL-3.0-or-later
// `parlotype --play LINK [--speed X]` on the simulated sound device: the
// positions it prints, its messages and its exit status.
#include "common/test_audio.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <tuple>

using namespace testaudio;

namespace {

struct Outcome { int status = -1; QStringList out; QString err; qint64 ms = 0; };

Outcome parlotype(const QStringList& args) {
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral(PARLOTYPE_BINARY_DIR "/parlotype"), args);
    EXPECT_TRUE(p.waitForFinished(30000)) << args.join(' ').toStdString();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
            QString::fromLocal8Bit(p.readAllStandardError()), t.elapsed()};
}

// A printed position, " M:SS.T", in seconds; -1 when the line is not one.
double seconds(const QString& line) {
    static const QRegularExpression form(QStringLiteral("^ ?(\\d+):(\\d\\d)\\.(\\d)$"));
    const auto m = form.match(line);
    return m.hasMatch() ? m.captured(1).toInt() * 60 + m.captured(2).toInt() + m.captured(3).toInt() / 10.0 : -1;
}

TEST(PlayCommand, PlaysTheStretchAndPrintsWhereItIs) {
    QTemporaryDir dir;
    const QString wav = dir.filePath("sweep.wav");
    ASSERT_TRUE(writeFile(wav, waveFile(2, 44100, 16, pcmBytes(sweep(44100, 2, 3.0)))));
    // Deterministic whatever the machine's load: a position is printed at least every 250 ms, and the end time
    // is checked more often, so every position but the last is at most the end; a slow machine prints less.
    struct Case {
        QStringList args;
        const char* first;   // the first position printed
        double end, lastFrom;  // the end time or the data's end; the last position's lower bound
        qint64 minMs;        // the stretch's playing time at least (the speed: never faster)
        int maxLines;        // at most this many positions (the speed: never slower)
    } cases[] = {
        {{"--play", wav + "#1.5#2.5"}, " 0:01.5", 2.5, 2.5, 1000, 9},
        {{"--play", wav + "#1.5#2.5", "--speed", "2"}, " 0:01.5", 2.5, 2.5, 500, 4},
        {{"--play", wav + "#2.2"}, " 0:02.2", 3.0, 2.7, 800, 9},             // to the end of the data
        {{"--play", wav + "#6000.5"}, "100:00.5", 6000.5, 6000.5, 0, 9},     // past the data
        {{"--play", wav + "#1#1.5", "--speed", "0.5"}, " 0:01.0", 1.5, 1.5, 1000, 9},
    };
    for (const Case& c : cases) {
        const std::string name = c.args.join(' ').toStdString();
        const Outcome r = parlotype(c.args);
        EXPECT_EQ(std::tuple(r.status, r.err), std::tuple(0, QString())) << name << r.err.toStdString();
        ASSERT_GE(r.out.size(), 2) << name;
        EXPECT_LE(r.out.size(), c.maxLines) << name;
        EXPECT_EQ(r.out.first(), c.first) << name;
        for (qsizetype i = 0; i < r.out.size(); ++i) {
            EXPECT_GE(seconds(r.out[i]), i ? seconds(r.out[i - 1]) : 0) << name << r.out[i].toStdString();
            if (i + 1 < r.out.size()) EXPECT_LE(seconds(r.out[i]), c.end) << name << " went on past the end";
        }
        EXPECT_GE(seconds(r.out.last()), c.lastFrom) << name;
        EXPECT_GE(r.ms, c.minMs) << name;
    }
}
TEST(PlayCommand, RefusesWhatItCannotPlay) {
    QTemporaryDir dir;
    const QString missing = dir.filePath("missing.wav"), cut = dir.filePath("cut.mp3"), deep = dir.filePath("24.wav"),
                  text = dir.filePath("notes.wav");
    ASSERT_TRUE(writeFile(cut, "\xFF\xFB\x90") && writeFile(deep, waveFile(2, 44100, 24, std::string(600, 'a'))) &&
                writeFile(text, "just words"));
    // Files: exit 1 with the message; the simulated device plays 8 and 16 bits only.
    const QString messages[][2] = {{missing + "#1", "Could not open '%1'\n"},
                                   {cut, "Format error on file '%1'\n"},
                                   {deep, "Failed to open replay device\n"},
                                   {text, "parlotype: '%1' is neither a WAV nor an MP3 file\n"}};
    for (const auto& m : messages) {
        const Outcome r = parlotype({"--play", m[0]});
        EXPECT_EQ(r.status, 1) << m[0].toStdString();
        EXPECT_EQ(r.err, m[1].contains("%1") ? m[1].arg(m[0].section('#', 0, 0)) : m[1]);
        EXPECT_TRUE(r.out.isEmpty()) << m[0].toStdString();
    }
    // Malformed command lines: exit 2 with the reason.
    const QStringList lines[] = {{"--play"}, {"--play", "a.wav", "b.wav"}, {"--play", "#1#2"},
                                 {"--bogus", "--play", "a.wav"}, {"a.wav", "--play"}, {"--play", "a.wav", "--speed"},
                                 {"--play", "a.wav", "--speed", "3"}, {"--play", "a.wav", "--speed", "0.75x"},
                                 {"--play", "a.wav", "--pace", "1"}};
    for (const auto& args : lines) {
        const Outcome r = parlotype(args);
        EXPECT_EQ(r.status, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.startsWith("parlotype: ")) << args.join(' ').toStdString() << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << args.join(' ').toStdString();
    }
}

}  // namespace
