// SPDX-License-Identifier: GPL-3.0-or-later
// The time pane and mark texts.
#include "view/time_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <limits>

namespace {

TEST(TimeText, MinutesSecondsTenths) {
    struct Case {
        double seconds;
        const char* text;
    };
    const Case cases[] = {
        {75.37, " 1:15.3"}, {605.99, "10:05.9"}, {0.05, " 0:00.0"}, {6000, "100:00.0"},
        {0, " 0:00.0"},     {59.99, " 0:59.9"},  {60, " 1:00.0"},   {3599.95, "59:59.9"},
        {1e12, " 0:00.0"},  {std::numeric_limits<double>::quiet_NaN(), " 0:00.0"},
    };
    for (const Case& c : cases) EXPECT_EQ(TimeText(c.seconds), QLatin1String(c.text)) << c.seconds;
}

TEST(MarkText, FileHashSecondsWithOneDecimal) {
    struct Case {
        const char* file;
        double seconds;
        const char* text;
    };
    const Case cases[] = {
        {"C:\\audio\\talk.wav", 83.46, "C:\\audio\\talk.wav#83.5\r\n"},
        {"/home/u/talk.mp3", 0, "/home/u/talk.mp3#0.0\r\n"},
        {"/a.wav", 0.25, "/a.wav#0.2\r\n"},  // the binary value is exactly halfway: to even, as printf
        {"/a.wav", 0.35, "/a.wav#0.3\r\n"},  // just below halfway in binary
        {"/a.wav", 12345.96, "/a.wav#12346.0\r\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MarkText(QString::fromUtf8(c.file), c.seconds), QString::fromUtf8(c.text)) << c.seconds;
    EXPECT_EQ(MarkText(QString::fromUtf8("/m\xc3\xbcsic/t.wav"), 1), QString::fromUtf8("/m\xc3\xbcsic/t.wav#1.0\r\n"));
}

}  // namespace
