// SPDX-License-Identifier: GPL-3.0-or-later
// The --play command: how it reads a link and prints times, and what the
// program does with good and bad links, its output and its exit status.
#include "app/play_command.h"
#include "common/test_audio.h"
#include "view/audio_link.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace testaudio;

namespace {

TEST(PlayCommand, SplitsLinks) {
    struct Case {
        const char* link;
        const char* file;
        double start, end;
    } cases[] = {
        {"/s/talk.wav", "/s/talk.wav", 0, 0},
        {"/s/talk.wav#12.5", "/s/talk.wav", 12.5, 0},
        {"/s/talk.wav#12.5#20", "/s/talk.wav", 12.5, 20},
        {"/s/talk.MP3#1#2#3", "/s/talk.MP3", 1, 3},
        {"/s/talk.wav#", "/s/talk.wav", 0, 0},
        {"/s/talk.wav##7", "/s/talk.wav", 0, 7},
        {"/s/talk.wav#abc", "/s/talk.wav", 0, 0},
        {"/s/talk.wav# 1e1x#-2", "/s/talk.wav", 10, -2},
        {"/s/talk.wav#+.5#0x10", "/s/talk.wav", 0.5, 16},
    };
    for (const auto& c : cases) {
        const AudioLinkParts link = SplitAudioLink(QString::fromUtf8(c.link));
        EXPECT_EQ(link.file, QString::fromUtf8(c.file)) << c.link;
        EXPECT_EQ(link.start, c.start) << c.link;
        EXPECT_EQ(link.end, c.end) << c.link;
    }
}

struct Outcome {
    int exitCode = -1;
    QStringList out;
    QString err;
    qint64 ms = 0;
};

Outcome Parlotype(const QStringList& args) {
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral(PARLOTYPE_BINARY_DIR "/parlotype"), args);
    EXPECT_TRUE(p.waitForFinished(30000)) << args.join(' ').toStdString();
    Outcome r;
    r.ms = t.elapsed();
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

double Seconds(const QString& line) {
    static const QRegularExpression form(QStringLiteral("^ ?(\\d+):(\\d\\d)\\.(\\d)$"));
    const auto m = form.match(line);
    EXPECT_TRUE(m.hasMatch()) << line.toStdString();
    return m.captured(1).toInt() * 60 + m.captured(2).toInt() + m.captured(3).toInt() / 10.0;
}

class PlayCommandRun : public ::testing::Test {
protected:
    QString File(const QString& name, const std::string& bytes) {
        const QString path = dir.path() + "/" + name;
        EXPECT_TRUE(WriteFile(path, bytes));
        return path;
    }
    QString Sweep(double seconds) {
        return File(QStringLiteral("sweep.wav"), WaveFile(2, 44100, 16, PcmBytes(testaudio::Sweep(44100, 2, seconds))));
    }
    QTemporaryDir dir;
};

TEST_F(PlayCommandRun, PlaysAStretchAndStopsAtTheEndTime) {
    const Outcome r = Parlotype({"--play", Sweep(4.0) + "#1.5#2.5"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    ASSERT_GE(r.out.size(), 3);
    EXPECT_EQ(r.out.first(), " 0:01.5");
    for (const QString& line : r.out) Seconds(line);
    // The last line is the position that passed the end time, within a check's interval.
    const double last = Seconds(r.out.last());
    EXPECT_GE(last, 2.5);
    EXPECT_LE(last, 2.6);
    EXPECT_GE(r.out.size(), 3);  // a line at least every half second of the second played
}

// --speed: the same stretch of the file, in half or a quarter of the time.
TEST_F(PlayCommandRun, PlaysAtTheSpeedAskedFor) {
    const QString link = Sweep(4.0) + "#1.5#2.5";
    qint64 ms[2] = {};
    const char* speeds[2] = {"0.5", "2"};
    for (int i = 0; i < 2; ++i) {
        const Outcome r = Parlotype({"--play", link, "--speed", speeds[i]});
        EXPECT_EQ(r.exitCode, 0) << speeds[i] << r.err.toStdString();
        ASSERT_GE(r.out.size(), 2) << speeds[i];
        EXPECT_EQ(r.out.first(), " 0:01.5") << speeds[i];
        EXPECT_GE(Seconds(r.out.last()), 2.5) << speeds[i];
        EXPECT_LE(Seconds(r.out.last()), 2.6) << speeds[i];
        ms[i] = r.ms;
    }
    EXPECT_GE(ms[0], 2000);              // 1 s of the file at half speed
    EXPECT_GE(ms[0] - ms[1], 1200);      // ... against half a second at twice the speed
}

TEST_F(PlayCommandRun, PlaysToTheEndOfTheData) {
    const Outcome r = Parlotype({"--play", Sweep(1.0) + "#0.2"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    ASSERT_FALSE(r.out.isEmpty());
    EXPECT_EQ(r.out.first(), " 0:00.2");
    EXPECT_GE(Seconds(r.out.last()), 0.8);
}

TEST_F(PlayCommandRun, StartPastTheEndPlaysNothing) {
    const Outcome r = Parlotype({"--play", Sweep(0.5) + "#30"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    ASSERT_FALSE(r.out.isEmpty());
    EXPECT_EQ(r.out.last(), " 0:30.0");
}

TEST_F(PlayCommandRun, Failures) {
    const QString missing = dir.path() + "/missing.wav";
    Outcome r = Parlotype({"--play", missing + "#1"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, QStringLiteral("Could not open '%1'\n").arg(missing));
    EXPECT_TRUE(r.out.isEmpty());

    const QString bad = File("bad.mp3", "\xFF\xFB\x90");
    r = Parlotype({"--play", bad});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, QStringLiteral("Format error on file '%1'\n").arg(bad));

    // The simulated device plays 8 and 16 bits only.
    r = Parlotype({"--play", File("24.wav", WaveFile(2, 44100, 24, std::string(600, 'a')))});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, QStringLiteral("Failed to open replay device\n"));
}

TEST_F(PlayCommandRun, MalformedCommandLines) {
    const QStringList cases[] = {{"--play"}, {"--play", "a.wav", "b.wav"}, {"--play", "#1#2"}, {"--bogus", "--play", "a.wav"}, {"a.wav", "--play"},
                                 {"--play", "a.wav", "--speed"}, {"--play", "a.wav", "--speed", "3"},
                                 {"--play", "a.wav", "--speed", "0.75x"}, {"--play", "a.wav", "--pace", "1"}};
    for (const auto& args : cases) {
        const Outcome r = Parlotype(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.startsWith("parlotype: ")) << args.join(' ').toStdString();
    }
}

}  // namespace
