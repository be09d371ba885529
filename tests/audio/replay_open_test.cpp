// SPDX-License-Identifier: GPL-3.0-or-later
// Opening files: recognition, the formats handed to the device, messages,
// and hostile files, each leaving the player unloaded and usable.
#include "common/test_audio.h"
#include "replay_fixture.h"
#include "test_files.h"

#include <QDir>
#include <QFile>
#include <random>
#include <unistd.h>

using namespace testaudio;
using testfiles::Write;

namespace {

std::string RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = char(rng());
    s[0] = 0x12;  // no frame sync at the start
    return s;
}

class ReplayOpen : public ReplayTest {
protected:
    // A failed open leaves the player unloaded, naming the file, and a good
    // file opens and plays after it.
    void ExpectRefused(const char* name, const QString& path, const QString& message) {
        messages.clear();
        EXPECT_EQ(player.Open(path), 0) << name;
        EXPECT_EQ(player.IsLoaded(), 0) << name;
        EXPECT_EQ(player.GetFileName(), path) << name;
        EXPECT_FALSE(Probe::HasDecoder(player)) << name;
        EXPECT_EQ(messages, message.isEmpty() ? QStringList{} : QStringList{message}) << name;
        EXPECT_EQ(Play(0), 0) << name;  // nothing loaded: silent refusal
        EXPECT_EQ(messages.size(), message.isEmpty() ? 0 : 1) << name;
        ASSERT_EQ(player.Open(testfiles::SweepWav(0.5)), 1) << name;
        EXPECT_EQ(Play(0), 1) << name;
        EXPECT_EQ(player.IsPlaying(), 1) << name;
    }
};

TEST_F(ReplayOpen, HostileFiles) {
    const std::string fmt = Chunk("fmt ", FmtBody(2, 44100, 16));
    const std::string mp3Head = ReadFile(testfiles::Mp3("short.mp3", 0.5, {"-b", "128"})).substr(0, 2000);
    struct Case {
        const char* name;
        std::string bytes;
        bool formatError;
    } cases[] = {
        {"empty", "", false},
        {"one byte", "\xFF", false},
        {"FF FB", "\xFF\xFB", true},
        {"FF FB 90", "\xFF\xFB\x90", true},
        {"run of FF", std::string(64, '\xFF'), true},
        {"MPEG-1 Layer I without CRC", MpegFrame(0xFF, 0x90, 0x00, 400), true},
        {"RIFF only", "RIFF", false},
        {"RIFF header cut", Riff("").substr(0, 10), false},
        {"fmt cut short", Riff(fmt.substr(0, 15)), false},
        {"fmt size 0xFFFFFFFF", Riff(ChunkWithSize("fmt ", 0xFFFFFFFF, FmtBody(2, 44100, 16))), false},
        {"chunk size past the end", Riff(fmt + ChunkWithSize("LIST", 1u << 30, "") + Chunk("data", "abcd")),
         false},
        {"RIFF that is not WAVE, MPEG after it", "RIFF" + U32(4) + "XXXX" + mp3Head, false},
        {"random bytes", RandomBytes(5000, 1), false},
        {"text", "<html>not audio</html>", false},
        {"ID3 tag, then text", Id3v2Tag(20) + "hello world", false},
        {"ID3 tag larger than the file", Id3v2Tag(100).substr(0, 50), false},
        {"ID3 tag, then a run of FF", Id3v2Tag(20) + std::string(16, '\xFF'), true},
        {"MP3 behind 3 bytes of junk", "abc" + mp3Head, false},
    };
    int i = 0;
    for (const auto& c : cases) {
        const QString path = Write(QStringLiteral("hostile-%1").arg(i++), c.bytes);
        ExpectRefused(c.name, path,
                      c.formatError ? QStringLiteral("Format error on file '%1'\n").arg(path) : QString());
    }
}

TEST_F(ReplayOpen, FilesThatCannotBeOpened) {
    const QString missing = testfiles::Folder() + "/missing.wav";
    ExpectRefused("missing", missing, QStringLiteral("Could not open '%1'").arg(missing));
    const QString dir = testfiles::Folder() + "/a-folder.wav";
    QDir().mkpath(dir);
    ExpectRefused("directory", dir, QStringLiteral("Could not open '%1'").arg(dir));
}

TEST_F(ReplayOpen, UnreadableFile) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    const QString path = Write("unreadable.wav", WaveFile(2, 44100, 16, "abcd"));
    QFile::setPermissions(path, QFileDevice::Permissions());
    ExpectRefused("unreadable", path, QStringLiteral("Could not open '%1'").arg(path));
}

TEST_F(ReplayOpen, FailedOpenClosesThePreviousFile) {
    ASSERT_EQ(player.Open(testfiles::SweepWav(0.5)), 1);
    ASSERT_EQ(Play(0), 1);
    EXPECT_EQ(player.Open(Write("bad", "junk")), 0);
    EXPECT_EQ(player.IsPlaying(), 0);
    EXPECT_EQ(sim->openOutputs(), 0);
}

TEST_F(ReplayOpen, FormatsHandedToTheDevice) {
    struct Case {
        const char* name;
        QString path;
        uint16_t channels;
        uint32_t rate;
        uint16_t bits;
    } cases[] = {
        {"WAV 8-bit mono", Write("mono8.wav", WaveFile(1, 8000, 8, "abcdefgh")), 1, 8000, 8},
        {"WAV 16-bit stereo", testfiles::SweepWav(0.5), 2, 44100, 16},
        {"MP3 128k 44100 stereo", testfiles::Mp3("s128.mp3", 0.5, {"-b", "128"}), 2, 44100, 16},
        {"MP3 MPEG-2 22050 mono",
         testfiles::Mp3("m22.mp3", 0.5, {"-m", "m", "--resample", "22.05", "-b", "32"}), 1, 22050, 16},
        {"MP3 48000 stereo", testfiles::Mp3("s48.mp3", 0.5, {"--resample", "48", "-b", "192"}), 2,
         48000, 16},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(player.Open(c.path), 1) << c.name;
        ASSERT_EQ(Play(0), 1) << c.name;
        const platform::WaveFormat f = sim->lastOutFormat();
        EXPECT_EQ(f.formatTag, 1) << c.name;
        EXPECT_EQ(f.channels, c.channels) << c.name;
        EXPECT_EQ(f.samplesPerSec, c.rate) << c.name;
        EXPECT_EQ(f.bitsPerSample, c.bits) << c.name;
        EXPECT_EQ(f.blockAlign, c.channels * c.bits / 8) << c.name;
        EXPECT_EQ(f.avgBytesPerSec, c.rate * f.blockAlign) << c.name;
    }
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ReplayOpen, Id3v2TagIsSkipped) {
    const std::string mp3 = ReadFile(testfiles::Mp3("s128.mp3", 0.5, {"-b", "128"}));
    for (const bool footer : {false, true}) {
        const std::string tag = Id3v2Tag(777, footer) + Id3v2Tag(10);  // two tags in a row
        const QString path = Write(footer ? "tagged-footer.mp3" : "tagged.mp3", tag + mp3);
        ASSERT_EQ(player.Open(path), 1) << footer;
        EXPECT_EQ(Probe::AudioStart(player), tag.size()) << footer;
        // Times as in the untagged file: the second frame starts at 1152 / 44100 s.
        Probe::Seek(player, 0.03);
        EXPECT_EQ(Probe::FilePosition(player), tag.size() + 417) << footer;
        EXPECT_DOUBLE_EQ(Probe::StartTime(player), 1152 / 44100.0) << footer;
    }
}

}  // namespace
