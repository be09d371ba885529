// SPDX-License-Identifier: GPL-3.0-or-later
// Timed text read (good and malformed files), a script page's items written in
// every text form and read back, `parlotype --export` and its refusals, the
// EPUB through epubcheck, FLAC, Ogg Vorbis and Opus seeks against continuous
// decoding and Make Script's reader.
#include "audio/pcm_reader.h"
#include "common/test_audio.h"
#include "formats/cue_reader.h"
#include "formats/export_command.h"
#include "formats/script_export.h"
#include "platform/sound_file_decoder.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sndfile.h>

using namespace testaudio;

namespace {

struct Outcome { int exitCode; QString err; };
Outcome Parlotype(const QStringList& args) {
    QProcess p;
    p.start(PARLOTYPE_BINARY_DIR "/parlotype", args);
    if (!p.waitForFinished(120000)) p.kill(), p.waitForFinished();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAllStandardError())};
}

TEST(Cues, FilesAreReadAsBrowsersAndEditorsReadThem) {
    const struct { CueFormat format; std::string data; std::vector<Cue> cues; } cases[] = {
        {CueFormat::WebVtt, "\xEF\xBB\xBFWEBVTT - talk\nKind: captions\n\nNOTE a note\nover lines\n\nSTYLE\n::cue { color: red }\n\n"
                            "one\n00:01.500 --> 00:02.250 align:start line:0\n<v Roger>Hello &amp; <c.loud>welcome</c></v>\nhere\n\n"
                            "01:00:02.000 --> 01:00:04.001\n&lt;b&gt;\n00:05.000 --> 00:06.000\nnext", {{1.5, 2.25, "Hello & welcome here"}, {3602, 3604.001, "<b>"}, {5, 6, "next"}}},
        {CueFormat::Srt, "\xEF\xBB\xBF""1\r\n00:00:01,500 --> 00:00:02,250\r\n<i>Hello</i>\r\nthere\r\n\r\n\r\n2\r\n01:00:02.5 --> 01:00:04.001\r\n{\\an8}Top",
         {{1.5, 2.25, "Hello there"}, {3602.5, 3604.001, "Top"}}},
        {CueFormat::Labels, "1.5\t2.250000\tHello there\n\\\t100.0\t2000.0\n3,25\t3,25\t\n", {{1.5, 2.25, "Hello there"}, {3.25, 3.25, ""}}},
        {CueFormat::SyncMap, R"({"items": [{"id": "a", "begin": 1.5, "end": 2.25, "text": "Hello"}]})", {{1.5, 2.25, "Hello"}}},
    };
    for (const auto& c : cases) {
        const CueReading r = readCues(QByteArray::fromStdString(c.data), c.format);
        ASSERT_TRUE(r.ok()) << r.error.toStdString() << " line " << r.line;
        ASSERT_EQ(r.cues.size(), c.cues.size()) << c.data;
        for (size_t i = 0; i < c.cues.size(); ++i) {
            EXPECT_DOUBLE_EQ(r.cues[i].start, c.cues[i].start) << c.data;
            EXPECT_DOUBLE_EQ(r.cues[i].end, c.cues[i].end) << c.data;
            EXPECT_EQ(r.cues[i].text, c.cues[i].text);
        }
    }
}

TEST(Cues, MalformedFilesNameTheLineAndGiveNothing) {
    const struct { CueFormat format; std::string data; int line; const char* message; } cases[] = {
        {CueFormat::WebVtt, "1\n00:00:01,000 --> 00:00:02,000\nHi\n", 1, "begins with the line \"WEBVTT\""},
        {CueFormat::WebVtt, "WEBVTTX\n", 1, "begins with the line \"WEBVTT\""},
        {CueFormat::WebVtt, "WEBVTT\n\n00:01.000 --> 00:02.000\nok\n\n00:03,000 --> 00:04.000\nbad", 6, "is not a cue timing"},
        {CueFormat::WebVtt, "WEBVTT\n\n00:61.000 --> 00:62.000\nbad", 3, "is not a cue timing"},
        {CueFormat::WebVtt, "WEBVTT\n\nid\nHello there\n", 3, "is neither a cue timing"},
        {CueFormat::WebVtt, "WEBVTT\n\n00:05.000 --> 00:04.000\nback", 3, "ends before it starts"},
        {CueFormat::WebVtt, "WEBVTT\n\nNOTE only notes\n", 0, "holds no cues"},
        {CueFormat::Srt, "1\n00:00:01,000 --> 00:00:02,000\nHi\n\nTwo\n00:00:03,000 --> 00:00:04,000\n", 5, "is not a subtitle number"},
        {CueFormat::Srt, "1\n00:00:01,000 -> 00:00:02,000\nHi\n", 2, "is not a subtitle timing"},
        {CueFormat::Srt, "1\n00:00:01,0000 --> 00:00:02,000\n", 2, "is not a subtitle timing"},
        {CueFormat::Srt, "1\n00:00:01,000 --> 00:00:02,000\n\xC3(\n", 3, "is not UTF-8"},
        {CueFormat::Labels, "1.0\t2.0\tok\n1.5 2.5 spaces\n", 2, "is not a label"},
        {CueFormat::Labels, "2.0\t1.0\tback\n", 1, "ends before it starts"},
        {CueFormat::Labels, "nan\t1.0\tx\n", 1, "is not a label"},
        {CueFormat::SyncMap, "{\n\"items\": [\n{\"begin\": 1,}\n]}", 3, "not JSON"},
        {CueFormat::SyncMap, R"({"items": [{"begin": 2, "end": 1}]})", 0, "item 1 has no"},
    };
    for (const auto& c : cases) {
        const CueReading r = readCues(QByteArray::fromStdString(c.data), c.format);
        EXPECT_TRUE(r.cues.empty()) << c.data;
        EXPECT_EQ(r.line, c.line) << c.data << "\n" << r.error.toStdString();
        EXPECT_TRUE(r.error.contains(QLatin1String(c.message))) << c.data << "\n" << r.error.toStdString();
    }
}

// A hand-made script page: a declared charset, references, word timings, an
// anchor without text (its line is the item), a link without an end time.
const char kPage[] = "<html><head><meta charset=\"windows-1252\"><title>Two &amp; two</title></head><body>\n"
                     "<p><a name=\"one\" href=\"talk.wav#1.2345#2.5\"><span data-begin=\"1.25\" data-end=\"1.5\">Caf\xE9</span> "
                     "<span data-begin=\"1.5\" data-end=\"2.4\">&eacute;t&#233;</span></a></p>\n"
                     "<p><a name=\"two\" href=\"talk.wav#3.001#4\"></a>The <b>second</b>\nline<br>not this</p>\n"
                     "<p><a name=\"three\" href=\"talk.wav#4.5\">Last</a> <a href=\"other.htm\">a page</a></p></body></html>";

TEST(Export, EveryTextFormReadsBackToTheSameItems) {
    QTemporaryDir dir;
    const ScriptReading page = readScriptItems(kPage, dir.filePath("talk.htm"));
    ASSERT_TRUE(page.ok()) << page.error.toStdString();
    EXPECT_EQ(page.title, "Two & two");
    EXPECT_EQ(page.audio, dir.filePath("talk.wav"));
    const std::vector<Cue> expected = {{1.2345, 2.5, "Café été"}, {3.001, 4, "The second line"}, {4.5, 4.5, "Last"}};
    ASSERT_EQ(page.items.size(), expected.size());
    ASSERT_EQ(page.items[0].words.size(), 2u);
    EXPECT_EQ(page.items[0].words[1].text, "été");
    EXPECT_EQ(page.items[1].id, "two");
    const struct { CueFormat format; QByteArray bytes; } forms[] = {
        {CueFormat::WebVtt, writeWebVtt(page.items)}, {CueFormat::Srt, writeSrt(page.items)},
        {CueFormat::Labels, writeLabels(page.items)}, {CueFormat::SyncMap, writeSyncMap(page.items, "talk.wav")}};
    for (const auto& form : forms) {
        const CueReading back = readCues(form.bytes, form.format);
        ASSERT_EQ(back.cues.size(), expected.size()) << form.bytes.toStdString() << back.error.toStdString();
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_NEAR(back.cues[i].start, expected[i].start, 0.001) << form.bytes.toStdString();
            EXPECT_NEAR(back.cues[i].end, expected[i].end, 0.001) << form.bytes.toStdString();
            EXPECT_EQ(back.cues[i].text, expected[i].text) << form.bytes.toStdString();
        }
    }
    EXPECT_TRUE(writeSyncMap(page.items, "talk.wav").contains("\"words\""));
}

TEST(Export, CommandWritesReadsBackAndRefuses) {
    QTemporaryDir dir;
    const QString vtt = dir.filePath("talk.vtt"), wav = dir.filePath("talk.wav"), page = dir.filePath("talk.htm");
    ASSERT_TRUE(WriteFile(vtt, "WEBVTT\n\n00:00.250 --> 00:01.125\nFirst\n\n00:01.125 --> 00:02.007\nSecond\n"));
    ASSERT_TRUE(WriteFile(wav, WaveFile(1, 16000, 16, PcmBytes(Sweep(16000, 1, 3)))));
    const struct { QStringList args; int exitCode; QString err; } cases[] = {
        {{"html", vtt, "-o", page}, 0, ""},
        {{"srt", page, "-o", dir.filePath("back.srt")}, 0, ""},
        {{"html", vtt, "-o", page}, 1, "exists: --force replaces it"},
        {{"vtt", page, "-o", page, "--force"}, 1, "would replace the source"},
        {{"web", page, "-o", wav, "--force"}, 1, "would replace the audio"},
        {{"html", dir.filePath("none.srt"), "-o", dir.filePath("n.htm")}, 1, "none.srt': cannot be opened"},
        {{"vtt", wav, "-o", dir.filePath("x.vtt")}, 1, "has no items"},
        {{"gif", page, "-o", dir.filePath("x.gif")}, 2, "usage: parlotype --export"},
        {{"vtt", page}, 2, "usage: parlotype --export"},
    };
    for (const auto& c : cases) {
        const Outcome r = Parlotype(QStringList{"--export"} + c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.join(' ').toStdString() << "\n" << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.err)) << r.err.toStdString();
    }
    EXPECT_EQ(ReadFile(wav).size(), WaveFile(1, 16000, 16, PcmBytes(Sweep(16000, 1, 3))).size());
    const CueReading back = readCueFile(dir.filePath("back.srt"));
    ASSERT_EQ(back.cues.size(), 2u) << back.error.toStdString();
    EXPECT_NEAR(back.cues[1].start, 1.125, 0.001);
    EXPECT_NEAR(back.cues[1].end, 2.007, 0.001);
    EXPECT_EQ(back.cues[1].text, "Second");
    // A second recording beside the subtitles: the command asks which.
    ASSERT_TRUE(WriteFile(dir.filePath("TALK.Mp3"), ""));
    EXPECT_TRUE(Parlotype({"--export", "html", vtt, "-o", dir.filePath("b.htm")}).err.contains("Several recordings"));
    EXPECT_EQ(findAudioBeside(vtt).paths, QStringList({dir.filePath("TALK.Mp3"), wav}));
}

TEST(Export, EpubPassesEpubcheck) {
    const QString epubcheck = QStandardPaths::findExecutable("epubcheck");
    if (epubcheck.isEmpty()) GTEST_SKIP() << "epubcheck is not installed (Debian package epubcheck)";
    QTemporaryDir dir;
    ASSERT_TRUE(WriteFile(dir.filePath("talk.wav"), WaveFile(2, 22050, 16, PcmBytes(Sweep(22050, 2, 4)))));
    ASSERT_TRUE(WriteFile(dir.filePath("talk.labels.txt"), "0.5\t1.25\tOne & <two>\n1.25\t3.5\tThree\n"));
    ASSERT_EQ(Parlotype({"--export", "epub", dir.filePath("talk.labels.txt"), "-o", dir.filePath("talk.epub")}).exitCode, 0);
    EXPECT_EQ(ReadFile(dir.filePath("talk.epub")).substr(30, 28), "mimetypeapplication/epub+zip");
    QProcess check;  // the package's jar runs where binfmt_misc does not know jars
    check.start("java", {"-jar", epubcheck, dir.filePath("talk.epub")});
    ASSERT_TRUE(check.waitForFinished(170000));
    const QString report = check.readAllStandardOutput() + check.readAllStandardError();
    EXPECT_EQ(check.exitCode(), 0) << report.toStdString();
    EXPECT_TRUE(report.contains("No errors or warnings detected")) << report.toStdString();
}

// Writes `frames` of the sweep with libsndfile in `format`.
bool WriteSound(const QString& path, int format, int rate, int channels, double seconds) {
    SF_INFO info{};
    info.samplerate = rate, info.channels = channels, info.format = format;
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!f) return false;
    const std::vector<int16_t> s = Sweep(uint32_t(rate), channels, seconds);
    const bool ok = sf_writef_short(f, s.data(), sf_count_t(s.size()) / channels) == sf_count_t(s.size()) / channels;
    return sf_close(f) == 0 && ok;
}

TEST(SoundFile, SeeksAreSampleExactAndMakeScriptReadsThem) {
    QTemporaryDir dir;
    const struct { const char* name; int format, rate, channels; } files[] = {
        {"a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2},
        {"a.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 22050, 1},
        {"a.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000, 2},
    };
    for (const auto& f : files) {
        const QString path = dir.filePath(f.name);
        ASSERT_TRUE(WriteSound(path, f.format, f.rate, f.channels, 6)) << f.name;
        platform::SoundFileDecoder decoder;
        ASSERT_TRUE(decoder.open(path)) << decoder.errorString().toStdString();
        EXPECT_EQ(decoder.sampleRate(), f.rate);
        EXPECT_EQ(decoder.format().blockAlign, 2 * f.channels);
        std::vector<int16_t> all, block(size_t(1000) * size_t(f.channels));
        int64_t total = 0;
        for (int64_t got; (got = decoder.readFrames(block.data(), 1000)) > 0; total += got)
            all.insert(all.end(), block.begin(), block.begin() + got * f.channels);
        ASSERT_EQ(total, decoder.frames()) << f.name;
        for (int64_t at : {int64_t(0), int64_t(1), int64_t(4095), int64_t(f.rate) * 3 + 17, total / 2, total - 700, int64_t(f.rate)}) {
            ASSERT_TRUE(decoder.seekToFrame(at)) << f.name << " " << at;
            std::vector<int16_t> part(size_t(700) * size_t(f.channels));
            ASSERT_EQ(decoder.readFrames(part.data(), 700), 700) << f.name << " " << at;
            EXPECT_TRUE(std::equal(part.begin(), part.end(), all.begin() + at * f.channels)) << f.name << " at frame " << at;
        }
        EXPECT_FALSE(decoder.seekToFrame(total + 1));
        struct Count : PcmSink {
            int rate = 0;
            size_t samples = 0;
            void start(int r, size_t) override { rate = r; }
            void write(const float*, size_t n) override { samples += n; }
        } sink;
        EXPECT_EQ(ReadMonoPcm(path, sink), PcmReadResult::Ok) << f.name;
        EXPECT_EQ(sink.rate, f.rate);
        EXPECT_EQ(int64_t(sink.samples), total) << f.name;
    }
}

}  // namespace
