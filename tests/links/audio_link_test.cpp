// SPDX-License-Identifier: GPL-3.0-or-later
// Audio links as the navigation policy reads them.
#include "view/audio_link.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

TEST(AudioLink, SplitsFilePartStartAndEnd) {
    struct Case {
        const char* link;
        const char* file;
        double start, end;
    };
    const Case cases[] = {
        {"D:\\s\\talk.wav", "D:\\s\\talk.wav", 0, 0},
        {"D:\\s\\talk.wav#12.5", "D:\\s\\talk.wav", 12.5, 0},
        {"D:\\s\\talk.wav#12.5#20", "D:\\s\\talk.wav", 12.5, 20},
        {"D:\\s\\talk.MP3#1#2#3", "D:\\s\\talk.MP3", 1, 3},
        {"D:\\s\\talk.wav#", "D:\\s\\talk.wav", 0, 0},
        {"D:\\s\\talk.wav##7", "D:\\s\\talk.wav", 0, 7},
        {"D:\\s\\talk.wav#abc", "D:\\s\\talk.wav", 0, 0},
        {"/home/u/s/talk.wav#12.5#20", "/home/u/s/talk.wav", 12.5, 20},
        {"/home/u/my dir/talk.mp3# 3e1#-2", "/home/u/my dir/talk.mp3", 30, -2},
    };
    for (const Case& c : cases) {
        const AudioLinkParts parts = SplitAudioLink(QString::fromUtf8(c.link));
        EXPECT_EQ(parts.file, QString::fromUtf8(c.file)) << c.link;
        EXPECT_EQ(parts.start, c.start) << c.link;
        EXPECT_EQ(parts.end, c.end) << c.link;
    }
}

TEST(AudioLink, Recognition) {
    struct Case {
        const char* link;
        bool audio;
    };
    const Case cases[] = {
        {"D:\\s\\talk.wav", true},
        {"D:\\s\\talk.WAV#1", true},
        {"/s/talk.mp3#1#2", true},
        {"/s/talk.MP3", true},
        {"D:\\s\\talk.Wav#1#2", false},
        {"/s/talk.Mp3", false},
        {"/s/talk.wAV", false},
        {"D:\\s\\talk.wav?t=1", false},
        {"http://host/talk.wav", false},
        {"mailto:someone@talk.wav", false},
        {"HTTP://host/talk.wav", true},
        {"https://host/talk.wav#3", true},
        {"Mailto:x.wav", true},
        {"http:", false},
        {".wav", true},
        {"wav", false},
        {"", false},
        {"/s/a.htm#x.wav", false},
        {"/s/talk.wav.htm", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsAudioLink(QString::fromUtf8(c.link)), c.audio) << c.link;
}

TEST(AudioLink, BurnFolderRewrite) {
    struct Case {
        const char* url;
        const char* document;
        const char* result;
    };
    const Case cases[] = {
        {"C:\\Users\\u\\Microsoft\\CD Burning\\sub\\talk.wav#3#4", "D:\\s\\x.htm", "D:\\s\\sub\\talk.wav#3#4"},
        {"C:\\x\\Microsoft\\CD Burning\\talk.wav", "", "\\talk.wav"},
        {"C:\\x\\Microsoft\\CD Burning\\a\\Microsoft\\CD Burning\\b.wav", "D:\\s\\x.htm",
         "D:\\s\\a\\Microsoft\\CD Burning\\b.wav"},
        {"/home/u/talk.wav", "/home/u/x.htm", "/home/u/talk.wav"},
        {"C:\\x\\microsoft\\cd burning\\talk.wav", "D:\\s\\x.htm", "C:\\x\\microsoft\\cd burning\\talk.wav"},
        {"\\Microsoft\\CD Burning\\t.wav", "noslash.htm", "noslash.htm\\t.wav"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RewriteBurnFolder(QString::fromUtf8(c.url), QString::fromUtf8(c.document)),
                  QString::fromUtf8(c.result))
            << c.url;
}

TEST(AudioLink, BurnFolderRewriteNeverOverflowsAHalf) {
    const QString marker = QStringLiteral("\\Microsoft\\CD Burning\\");
    const QString url = "C:" + marker + "t.wav";  // rewrites to folder + "\t.wav"
    // A folder of exactly 255 characters fits; the link then does not (261).
    const QString folder255 = "D:\\" + QString(252, u'f');
    EXPECT_EQ(RewriteBurnFolder(url, folder255 + "\\x.htm"), url);
    // The rewritten link of exactly 255 characters fits, 256 does not.
    const QString folder249 = "D:\\" + QString(246, u'f');
    EXPECT_EQ(RewriteBurnFolder(url, folder249 + "\\x.htm"), folder249 + "\\t.wav");
    const QString folder250 = "D:\\" + QString(247, u'f');
    EXPECT_EQ(RewriteBurnFolder(url, folder250 + "\\x.htm"), url);
    // A folder longer than a half leaves the link as it is.
    EXPECT_EQ(RewriteBurnFolder(url, "D:\\" + QString(5000, u'f') + "\\x.htm"), url);
    const QString longTail = "C:" + marker + QString(300, u't') + ".wav";
    EXPECT_EQ(RewriteBurnFolder(longTail, "D:\\s\\x.htm"), longTail);
}

TEST(Atof, ReadsLikeCInTheCLocale) {
    struct Case {
        const char* text;
        double value;
    };
    const Case cases[] = {
        {"12.5", 12.5},   {"12.5#20", 12.5}, {"#20", 0},       {"", 0},          {"abc", 0},
        {"  \t\n7", 7},   {"+3", 3},         {"-3.25", -3.25}, {"+-3", 0},       {"--3", 0},
        {"1e2", 100},     {"1E+2x", 100},    {"1e", 1},        {"1e+", 1},       {".5", 0.5},
        {"5.", 5},        {".", 0},          {"-.5e1", -5},    {"0x10", 16},     {"-0x1p-1", -0.5},
        {"0x", 0},        {"1,5", 1},        {"12.5 #", 12.5}, {"1e-400", 0},    {"007", 7},
        {"00.1", 0.1},    {"\v\f9", 9},
    };
    for (const Case& c : cases) EXPECT_EQ(Atof(c.text), c.value) << '"' << c.text << '"';
    EXPECT_EQ(Atof("1e400"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(Atof("-INF"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(Atof("Infinity"), std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(Atof("nan")));
    EXPECT_TRUE(std::isnan(Atof("NaN(1)")));
}

TEST(Atof, IgnoresTheProcessLocale) {
    // Qt applications run with the user's locale; a decimal-comma locale must
    // not change how "12.5" reads. Build one in a scratch folder.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString cmd = "localedef -i de_DE -f UTF-8 '" + dir.path() + "/de_DE.UTF-8' >/dev/null 2>&1";
    if (std::system(cmd.toLocal8Bit().constData()) != 0) GTEST_SKIP() << "localedef cannot build de_DE";
    qputenv("LOCPATH", dir.path().toLocal8Bit());
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
    EXPECT_EQ(std::atof("12.5"), 12.0) << "the locale reads a comma";
    EXPECT_EQ(Atof("12.5"), 12.5);
    EXPECT_EQ(Atof("12,5"), 12.0);
    EXPECT_EQ(Atof("0x1.8p1"), 3.0);
    EXPECT_EQ(Atof("1e999"), std::numeric_limits<double>::infinity());
    std::setlocale(LC_NUMERIC, "C");
    qunsetenv("LOCPATH");
}

}  // namespace
