// SPDX-License-Identifier: GPL-3.0-or-later
// Timed text read and refused, a script page's items in every text form read
// back, `parlotype --export` and its refusals, the EPUB through epubcheck, and
// FLAC, Ogg Vorbis and Opus seeks against continuous decoding.
#include "audio/pcm_reader.h"
#include "common/test_audio.h"
#include "formats/cue_reader.h"
#include "formats/script_export.h"
#include "platform/sound_file_decoder.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sndfile.h>

using namespace testaudio;

namespace {

struct Outcome { int exitCode; QString err; };
Outcome runProgram(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(170000)) p.kill(), p.waitForFinished();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput() + p.readAllStandardError()};
}
Outcome runExport(const QStringList& args) { return runProgram(PARLOTYPE_BINARY_DIR "/parlotype", QStringList{"--export"} + args); }

void expectCues(const CueReading& r, const std::vector<Cue>& cues, const std::string& what) {
    ASSERT_EQ(r.cues.size(), cues.size()) << what << "\n" << r.error.toStdString();
    for (size_t i = 0; i < cues.size(); ++i) {
        EXPECT_NEAR(r.cues[i].start, cues[i].start, 0.001) << what;
        EXPECT_NEAR(r.cues[i].end, cues[i].end, 0.001) << what;
        EXPECT_EQ(r.cues[i].text, cues[i].text) << what;
    }
}

TEST(Cues, FilesAreReadAsBrowsersAndEditorsReadThem) {
    const struct { CueFormat format; std::string data; std::vector<Cue> cues; } cases[] = {
        {CueFormat::WebVtt, "\xEF\xBB\xBFWEBVTT - talk\nKind: captions\n\nNOTE a note\nover lines\n\nSTYLE\n::cue { color: red }\n\n"
                            "one\n00:01.500 --> 00:02.250 align:start line:0\n<v Roger>Hello &amp; <c.loud>welcome</c></v>\nhere\n\n"
                            "01:00:02.000 --> 01:00:04.001\n&lt;b&gt;\n00:05.000 --> 00:06.000\nnext", {{1.5, 2.25, "Hello & welcome here"}, {3602, 3604.001, "<b>"}, {5, 6, "next"}}},
        {CueFormat::Srt, "\xEF\xBB\xBF""1\r\n00:00:01,500 --> 00:00:02,250\r\n<i>Hello</i> <font color=red>a</font>\r\n<there>\r\n\r\n\r\n2\r\n01:00:02.5 --> 01:00:04.001\r\n{\\an8}Top",
         {{1.5, 2.25, "Hello a <there>"}, {3602.5, 3604.001, "Top"}}},
        {CueFormat::Labels, "1.5\t2.250000\tHello there\n\\\t100.0\t2000.0\n3,25\t3,25\t\n", {{1.5, 2.25, "Hello there"}, {3.25, 3.25, ""}}},
        {CueFormat::SyncMap, R"({"items": [{"id": "a", "begin": 1.5, "end": 2.25, "text": "Hello"}]})", {{1.5, 2.25, "Hello"}}},
        {CueFormat::WebVtt, "WEBVTT\n00:01.500 --> 00:02.250\nNo blank line before", {{1.5, 2.25, "No blank line before"}}},
    };
    for (const auto& c : cases) expectCues(readCues(QByteArray::fromStdString(c.data), c.format), c.cues, c.data);
}

TEST(Cues, MalformedFilesNameTheLineAndGiveNothing) {
    const struct { CueFormat format; std::string data; int line; const char* message; } cases[] = {
        {CueFormat::WebVtt, "1\n00:00:01,000 --> 00:00:02,000\nHi\n", 1, "begins with the line \"WEBVTT\""},
        {CueFormat::WebVtt, "WEBVTT\n\n00:01.000 --> 00:02.000\nok\n\n00:03,000 --> 00:04.000\nbad", 6, "is not a cue timing"},
        {CueFormat::WebVtt, "WEBVTT\n\nid\nHello there\n", 3, "is neither a cue timing"},
        {CueFormat::WebVtt, "WEBVTT\n\n00:05.000 --> 00:04.000\nback", 3, "ends before it starts"},
        {CueFormat::WebVtt, "WEBVTT\n\nNOTE only notes\n", 0, "holds no cues"},
        {CueFormat::Srt, "1\n00:00:01,000 --> 00:00:02,000\nHi\n\nTwo\n00:00:03,000 --> 00:00:04,000\n", 5, "is not a subtitle number"},
        {CueFormat::Srt, "1\n00:00:01,000 -> 00:00:02,000\nHi\n", 2, "is not a subtitle timing"},
        {CueFormat::Srt, "1\n00:00:01,000 --> 00:00:02,000\n\xC3(\n", 3, "is not UTF-8"},
        {CueFormat::Labels, "1.0\t2.0\tok\n1.5 2.5 spaces\n", 2, "is not a label"},
        {CueFormat::Labels, "2.0\t1.0\tback\n", 1, "ends before it starts"},
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

TEST(Export, EveryTextFormReadsBackToTheSameItems) {
    // A hand-made page: a declared charset, references, word timings, an
    // anchor without text (its line is the item), a link without an end time.
    const char page[] = "<html><head><meta charset=\"windows-1252\"><title>Two &amp; two</title></head><body>\n"
                        "<p><a name=\"one\" href=\"talk.wav#1.2345#2.5\"><span data-begin=\"1.25\" data-end=\"1.5\">Caf\xE9</span> "
                        "<span data-begin=\"1.5\" data-end=\"2.4\">&eacute;t&#233;</span></a></p>\n"
                        "<p><a name=\"two\" href=\"talk.wav#3.001#4\"></a>The <b>second</b>\nline<br>not this</p>\n"
                        "<p><a name=\"three\" href=\"talk.wav#4.5\">Last</a> <a href=\"other.htm\">a page</a></p></body></html>";
    const ScriptReading script = readScriptItems(page, "/talks/talk.htm");
    ASSERT_TRUE(script.ok()) << script.error.toStdString();
    EXPECT_EQ(script.title + " " + script.audio + " " + script.items[1].id, "Two & two /talks/talk.wav two");
    ASSERT_EQ(script.items[0].words.size(), 2u);
    EXPECT_EQ(script.items[0].words[1].text, "été");
    const std::vector<Cue> expected = {{1.2345, 2.5, "Café été"}, {3.001, 4, "The second line"}, {4.5, 4.5, "Last"}};
    const struct { CueFormat format; QByteArray bytes; } forms[] = {
        {CueFormat::WebVtt, writeWebVtt(script.items)}, {CueFormat::Srt, writeSrt(script.items)},
        {CueFormat::Labels, writeLabels(script.items)}, {CueFormat::SyncMap, writeSyncMap(script.items, "talk.wav")}};
    for (const auto& form : forms) expectCues(readCues(form.bytes, form.format), expected, form.bytes.toStdString());
    EXPECT_TRUE(forms[3].bytes.contains("\"words\""));
}

TEST(Export, CommandWritesRefusesAndTheEpubPassesEpubcheck) {
    QTemporaryDir dir;
    const QString vtt = dir.filePath("talk.vtt"), wav = dir.filePath("talk.wav"), page = dir.filePath("talk.htm");
    const std::string audio = waveFile(2, 22050, 16, pcmBytes(sweep(22050, 2, 3)));
    ASSERT_TRUE(writeFile(vtt, "WEBVTT\n\n00:00.250 --> 00:01.125\nFirst &amp; &lt;one&gt;\n\n00:01.125 --> 00:02.007\nSecond\n") && writeFile(wav, audio));
    const struct { QStringList args; int exitCode; QString err; } cases[] = {
        {{"html", vtt, "-o", page}, 0, ""},
        {{"srt", page, "-o", dir.filePath("back.srt")}, 0, ""},
        {{"epub", page, "-o", dir.filePath("talk.epub")}, 0, ""},
        {{"html", vtt, "-o", page}, 1, "exists: --force replaces it"},
        {{"vtt", page, "-o", page, "--force"}, 1, "would replace the source"},
        {{"web", page, "-o", wav, "--force"}, 1, "would replace the audio"},
        {{"html", dir.filePath("none.srt"), "-o", dir.filePath("n.htm")}, 1, "none.srt': cannot be opened"},
        {{"vtt", wav, "-o", dir.filePath("x.vtt")}, 1, "has no items"},
        {{"gif", page, "-o", dir.filePath("x.gif")}, 2, "usage: parlotype --export"},
        {{"vtt", page}, 2, "usage: parlotype --export"},
    };
    for (const auto& c : cases) {
        const Outcome r = runExport(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.join(' ').toStdString() << "\n" << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.err)) << r.err.toStdString();
    }
    EXPECT_EQ(readFile(wav), audio);
    expectCues(readCueFile(dir.filePath("back.srt")), {{0.25, 1.125, "First & <one>"}, {1.125, 2.007, "Second"}}, "back.srt");
    // A second recording beside the subtitles: the command asks which.
    ASSERT_TRUE(writeFile(dir.filePath("TALK.Mp3"), ""));
    EXPECT_TRUE(runExport({"html", vtt, "-o", dir.filePath("b.htm")}).err.contains("Several recordings"));
    EXPECT_EQ(findAudioBeside(vtt).paths, QStringList({dir.filePath("TALK.Mp3"), wav}));

    EXPECT_EQ(readFile(dir.filePath("talk.epub")).substr(30, 28), "mimetypeapplication/epub+zip");
    const QString epubcheck = QStandardPaths::findExecutable("epubcheck");
    if (epubcheck.isEmpty()) GTEST_SKIP() << "epubcheck is not installed (Debian package epubcheck): the EPUB is not checked";
    // The package's jar runs where binfmt_misc does not know jars.
    const Outcome check = runProgram("java", {"-jar", epubcheck, dir.filePath("talk.epub")});
    EXPECT_TRUE(check.exitCode == 0 && check.err.contains("No errors or warnings detected")) << check.err.toStdString();
}

bool writeSound(const QString& path, int format, int rate, int channels, double seconds) {
    SF_INFO info{0, rate, channels, format, 0, 0};
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    const std::vector<int16_t> s = sweep(uint32_t(rate), channels, seconds);
    const sf_count_t frames = sf_count_t(s.size()) / channels;
    return f && (sf_writef_short(f, s.data(), frames) == frames) + (sf_close(f) == 0) == 2;
}

TEST(SoundFile, SeeksAreSampleExactAndMakeScriptReadsThem) {
    QTemporaryDir dir;
    const struct { const char* name; int format, rate, channels; } files[] = {
        {"a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2}, {"a.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 22050, 1},
        {"a.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000, 2}};
    for (const auto& f : files) {
        const QString path = dir.filePath(f.name);
        ASSERT_TRUE(writeSound(path, f.format, f.rate, f.channels, 6)) << f.name;
        platform::SoundFileDecoder decoder;
        ASSERT_TRUE(decoder.open(path)) << decoder.errorString().toStdString();
        EXPECT_EQ(decoder.sampleRate() * 10 + decoder.format().blockAlign, f.rate * 10 + 2 * f.channels);
        std::vector<int16_t> all, block(size_t(1000) * size_t(f.channels));
        int64_t total = 0;
        for (int64_t got; (got = decoder.readFrames(block.data(), 1000)) > 0; total += got)
            all.insert(all.end(), block.begin(), block.begin() + got * f.channels);
        ASSERT_EQ(total, decoder.frames()) << f.name;
        for (int64_t at : {int64_t(0), int64_t(1), int64_t(4095), int64_t(f.rate) * 3 + 17, total / 2, total - 700, int64_t(f.rate)}) {
            ASSERT_TRUE(decoder.seekToFrame(at)) << f.name << " " << at;
            ASSERT_EQ(decoder.readFrames(block.data(), 700), 700) << f.name << " " << at;
            EXPECT_TRUE(std::equal(block.begin(), block.begin() + 700 * f.channels, all.begin() + at * f.channels)) << f.name << " at frame " << at;
        }
        EXPECT_FALSE(decoder.seekToFrame(total + 1));
        struct : PcmSink {
            size_t samples = 0;
            void start(int, size_t) override {}
            void write(const float*, size_t n) override { samples += n; }
        } sink;
        EXPECT_EQ(readMonoPcm(path, sink), PcmReadResult::Ok) << f.name;
        EXPECT_EQ(int64_t(sink.samples), total) << f.name;
    }
}

}  // namespace
