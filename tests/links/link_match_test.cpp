// SPDX-License-Identifier: GPL-3.0-or-later
// Whether a link on a page leads to the file being played.
#include "view/audio_item.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* href;
    bool match;
};

void ExpectMatches(const char* page, const char* file, std::initializer_list<Case> cases) {
    for (const Case& c : cases)
        EXPECT_EQ(LinkMatchesFile(page, c.href, file), c.match) << "page " << page << " href " << c.href;
}

TEST(LinkMatchesFile, WindowsPathsCompareAsWritten) {
    // The page D:\s\p\x.htm with the opened file D:\s\p\talk.wav.
    ExpectMatches("file:///D:/s/p/x.htm", "D:\\s\\p\\talk.wav",
                  {
                      {"talk.wav", true},
                      {"./talk.wav", false},
                      {"../p/talk.wav", true},
                      {"..\\p\\talk.wav", true},
                      {"/s/p/talk.wav", true},
                      {"\\s\\p\\talk.wav", true},
                      {"D:/S/P/TALK.WAV", true},
                      {"d:/s/p/talk.wav", true},
                      {"talk%2Ewav", true},
                      {"talk%2ewav", true},
                      {"file:///D:/s/p/talk.wav", false},
                      {"TALK.WAV", true},
                      {"talk.wav ", false},
                      {"other.wav", false},
                      {"", false},
                  });
}

TEST(LinkMatchesFile, PosixPaths) {
    ExpectMatches("file:///home/u/s/p/x.htm", "/home/u/s/p/talk.wav",
                  {
                      {"talk.wav", true},
                      {"./talk.wav", false},
                      {"../p/talk.wav", true},
                      {"../../s/p/talk.wav", true},
                      {"/home/u/s/p/talk.wav", true},
                      {"\\home\\u\\s\\p\\talk.wav", true},
                      {"/s/p/talk.wav", false},
                      {"talk%2Ewav", true},
                      {"talk%2ewav", true},
                      {"file:///home/u/s/p/talk.wav", false},
                      {"Talk.Wav", true},
                      {"sub/../talk.wav", false},
                  });
    // The comparison ignores case on both sides, as the scripts were written for.
    ExpectMatches("file:///home/u/x.htm", "/HOME/U/Talk.wav", {{"talk.wav", true}});
}

TEST(LinkMatchesFile, EscapesInThePageAddressAndTheLink) {
    // A folder written with %20 in the address is the folder with a space.
    ExpectMatches("file:///home/u/my%20scripts/x.htm", "/home/u/my scripts/talk.wav",
                  {{"talk.wav", true}, {"../my%20scripts/talk.wav", true}, {"../my scripts/talk.wav", true}});
    ExpectMatches("file:///D:/my%20s/x.htm", "D:\\my s\\talk.wav", {{"talk.wav", true}});
    // An escaped lower-case letter stays lower-case and never matches.
    ExpectMatches("file:///home/u/x.htm", "/home/u/talk.wav",
                  {{"t%61lk.wav", false}, {"t%41lk.wav", true}, {"%74alk.wav", false}, {"%54ALK.WAV", true}});
    // Non-ASCII names travel as UTF-8 escapes.
    ExpectMatches("file:///home/u/x.htm", "/home/u/\xc3\xbc.wav", {{"%C3%BC.wav", true}, {"%c3%bc.wav", true}});
    // An escape that decodes to '%' is decoded again with what follows it.
    ExpectMatches("file:///home/u/x.htm", "/home/u/A.WAV", {{"%2541.wav", true}});
}

TEST(LinkMatchesFile, ShortEscapeTailIsKeptAsItIs) {
    // A '%' with fewer than two bytes after it ends the decoding there.
    ExpectMatches("file:///home/u/x.htm", "/home/u/a%", {{"a%", true}, {"a%25", true}, {"a%2", false}});
    ExpectMatches("file:///home/u/x.htm", "/home/u/a%2", {{"a%2", true}, {"a%252", true}});
    ExpectMatches("file:///home/u/x.htm", "/home/u/%", {{"%", true}, {"%25", true}});
    // Escape digits are not checked: a letter counts as its distance from '7',
    // a byte from 128 up as a negative value.
    ExpectMatches("file:///home/u/x.htm", "/home/u/\x10", {{"%10", true}, {"%0G", true}, {"%0g", true}});
    ExpectMatches("file:///home/u/x.htm", "/home/u/\xf0", {{"%\xff" "0", true}});
}

TEST(LinkMatchesFile, PageAddressForms) {
    // The fragment of the page address is set aside, even with a '/' in it.
    ExpectMatches("file:///home/u/x.htm#part/2", "/home/u/talk.wav", {{"talk.wav", true}});
    ExpectMatches("file:///D:/s/x.htm#12", "D:\\s\\talk.wav", {{"talk.wav", true}});
    // A plain path works like its file: address.
    ExpectMatches("/home/u/x.htm", "/home/u/talk.wav", {{"talk.wav", true}, {"/home/u/talk.wav", true}});
    ExpectMatches("D:\\s\\x.htm", "D:\\s\\talk.wav", {{"talk.wav", true}, {"/s/talk.wav", true}});
    // Steps above the root leave an empty folder.
    ExpectMatches("file:///x.htm", "\\talk.wav", {{"../../talk.wav", true}});
    ExpectMatches("", "\\talk.wav", {{"talk.wav", true}});
}

TEST(LinkMatchesFile, NulBytesDoNotEndTheComparison) {
    const QByteArray href("talk.wav\0.txt", 13);
    EXPECT_FALSE(LinkMatchesFile("file:///home/u/x.htm", href, "/home/u/talk.wav"));
    EXPECT_FALSE(LinkMatchesFile("file:///home/u/x.htm", "talk.wav%00.txt", "/home/u/talk.wav"));
}

}  // namespace
