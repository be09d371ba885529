// SPDX-License-Identifier: GPL-3.0-or-later
// `parlotype --make-script RECORDING TEXT`: the page it writes (structure,
// links, times against where the sentences really are), the items it marks
// unsure, and each kind of bad input with its message, its exit status and
// nothing written.
#include "common/spoken_recording.h"
#include "common/test_audio.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace testaudio;

namespace {

const QStringList kSentences = {
    "A Short Test",
    "The little cat sat on the warm mat by the door.",
    "Nobody saw it leave the house that evening.",
    "In the morning, the bowl of milk was empty again.",
};

struct Outcome {
    int exitCode = -1;
    QStringList out;
    QString err;
};

Outcome MakeScript(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(PARLOTYPE_BINARY_DIR "/parlotype"), QStringList{"--make-script"} + args);
    EXPECT_TRUE(p.waitForFinished(60000)) << args.join(' ').toStdString();
    Outcome r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

// The title alone, then a paragraph of one sentence and one of two.
bool WriteText(const QString& path, const QStringList& lines) {
    const QString text = lines[0] + "\n\n" + lines[1] + "\n\n" + lines.mid(2).join('\n') + '\n';
    return WriteFile(path, text.toStdString());
}

// Speaks kSentences (all but `leaveOut`) with `voice`, pauses of 0.4 to 0.9 s, 30 dB noise.
bool Record(SpokenRecording& rec, const QString& voice, int leaveOut = -1) {
    for (int i = 0; i < kSentences.size(); ++i)
        if (i != leaveOut && !rec.addSentence(kSentences[i], voice, 0.4 + 0.15 * i)) return false;
    rec.addSilence(0.5);
    rec.addNoise(30);
    return true;
}

bool Installed(const QString& program) { return !QStandardPaths::findExecutable(program).isEmpty(); }

// Voices other than the aligner's, and recordings at other rates and with
// two channels (sox converts them), which the aligner resamples.
TEST(MakeScript, PageFollowsTheReading) {
    const struct {
        QString voice;
        QStringList convert;  // sox output options, or none
    } cases[] = {
        {"espeak:en-gb:140", {}},
        {"espeak:en-us+f3:190", {"-r", "44100", "-c", "2"}},
        {"flite:slt", {}},
        {"flite:rms", {"-r", "8000"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.voice.toStdString());
        if (!Installed(c.voice.section(':', 0, 0) == "flite" ? "flite" : "espeak-ng")) continue;
        QTemporaryDir dir;
        SpokenRecording rec;
        ASSERT_TRUE(Record(rec, c.voice));
        QDir(dir.path()).mkdir("audio");
        const QString wav = dir.filePath("audio/reading one.wav"), text = dir.filePath("reading.txt");
        ASSERT_TRUE(rec.writeWave(wav) && WriteText(text, kSentences));
        if (!c.convert.isEmpty()) {
            ASSERT_EQ(QProcess::execute("sox", QStringList{wav} + c.convert + QStringList{dir.filePath("c.wav")}), 0);
            ASSERT_TRUE(QFile::remove(wav) && QFile::rename(dir.filePath("c.wav"), wav));
        }

        const Outcome r = MakeScript({wav, text});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        // One line per item and a summary; the page beside the recording.
        ASSERT_EQ(r.out.size(), kSentences.size() + 1);
        EXPECT_TRUE(r.out.last().startsWith("4 items, 0 unsure")) << r.out.last().toStdString();
        const QString pagePath = dir.filePath("audio/reading one.htm");
        const QString page = QString::fromStdString(ReadFile(pagePath));
        EXPECT_TRUE(page.startsWith("<!DOCTYPE HTML"));
        EXPECT_TRUE(page.contains("<title>A Short Test</title>"));
        EXPECT_EQ(page.count("<p>"), 2);
        EXPECT_EQ(page.count("</p>"), 2);
        EXPECT_TRUE(page.contains(QRegularExpression(R"(<h1><a name="s1" href="reading%20one\.wav#\d+\.\d\d#\d+\.\d\d">A Short Test</a></h1>)")));
        EXPECT_FALSE(page.contains("class=\"unsure\""));

        const auto items = ReadPageItems(pagePath);
        ASSERT_EQ(int(items.size()), rec.count());
        for (int i = 0; i < rec.count(); ++i) {
            EXPECT_NEAR(items[size_t(i)].start, rec.start(i), 0.08) << "item " << i + 1;
            EXPECT_NEAR(items[size_t(i)].end, rec.end(i), 0.08) << "item " << i + 1;
            EXPECT_TRUE(r.out[i].contains(kSentences[i])) << r.out[i].toStdString();
        }
    }
}

// The MP3 timeline is the player's: every frame its own duration, the
// encoder's delay included, so the times shift by that delay.
TEST(MakeScript, Mp3TimesAreThePlayers) {
    QTemporaryDir dir;
    SpokenRecording rec;
    ASSERT_TRUE(Record(rec, "espeak:en-gb:150"));
    const QString wav = dir.filePath("r.wav"), mp3 = dir.filePath("r.mp3"), text = dir.filePath("r.txt");
    ASSERT_TRUE(rec.writeWave(wav) && WriteText(text, kSentences));
    ASSERT_TRUE(EncodeMp3(wav, mp3, {"-b", "64"}));
    const Outcome r = MakeScript({mp3, text, "-o", dir.filePath("page.htm")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const auto items = ReadPageItems(dir.filePath("page.htm"));
    ASSERT_EQ(int(items.size()), rec.count());
    // lame's delay at 16 kHz: 576 + 529 samples of the decoder's output.
    const double delay = (576 + 529) / 16000.0;
    for (int i = 0; i < rec.count(); ++i) {
        EXPECT_NEAR(items[size_t(i)].start, rec.start(i) + delay, 0.08) << "item " << i + 1;
        EXPECT_NEAR(items[size_t(i)].end, rec.end(i) + delay, 0.08) << "item " << i + 1;
    }
}

// A line of the text that the reader left out is marked on the page and
// listed on standard error; the lines around it keep their times.
TEST(MakeScript, MarksALineThatIsNotRead) {
    QTemporaryDir dir;
    SpokenRecording rec;
    ASSERT_TRUE(Record(rec, "espeak:en-gb:140", 2));
    const QString wav = dir.filePath("r.wav"), text = dir.filePath("r.txt");
    ASSERT_TRUE(rec.writeWave(wav) && WriteText(text, kSentences));
    const Outcome r = MakeScript({wav, text});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QString page = QString::fromStdString(ReadFile(dir.filePath("r.htm")));
    EXPECT_TRUE(page.contains(QRegularExpression(R"(<a name="s3" class="unsure" href="[^"]+">Nobody saw it leave the house that evening\.</a><span class="check"[^>]*>\?</span>)")));
    EXPECT_TRUE(r.err.contains("unsure: item 3 ")) << r.err.toStdString();
    EXPECT_TRUE(r.out.last().contains("1 unsure")) << r.out.last().toStdString();
    const auto items = ReadPageItems(dir.filePath("r.htm"));
    ASSERT_EQ(items.size(), 4u);
    const int truth[] = {0, 1, -1, 2};
    for (int i : {0, 1, 3}) {
        EXPECT_FALSE(items[size_t(i)].unsure) << "item " << i + 1;
        EXPECT_NEAR(items[size_t(i)].start, rec.start(truth[i]), 0.08) << "item " << i + 1;
    }
    EXPECT_NEAR(items[3].end, rec.end(2), 0.08);
}

// Speech before the text (an announcement) is left out, found by the
// program or passed over with --skip.
TEST(MakeScript, LeavesOutWhatComesBeforeTheText) {
    QTemporaryDir dir;
    SpokenRecording rec;
    ASSERT_TRUE(rec.addUntracked("This recording was made for the program's own tests. Please listen.", "espeak:en-us:170"));
    const double announcement = rec.samples().size() / double(kSpokenRate);
    rec.addSilence(1.0);
    ASSERT_TRUE(Record(rec, "espeak:en-gb:140"));
    const QString wav = dir.filePath("r.wav"), text = dir.filePath("r.txt");
    ASSERT_TRUE(rec.writeWave(wav) && WriteText(text, kSentences));
    for (const QStringList& extra : {QStringList{}, QStringList{"--skip", QString::number(announcement + 0.2)}}) {
        const Outcome r = MakeScript(QStringList{wav, text} + extra);
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        const auto items = ReadPageItems(dir.filePath("r.htm"));
        ASSERT_EQ(int(items.size()), rec.count());
        for (int i = 0; i < rec.count(); ++i) {
            EXPECT_NEAR(items[size_t(i)].start, rec.start(i), 0.08) << "item " << i + 1 << extra.join(' ').toStdString();
            EXPECT_NEAR(items[size_t(i)].end, rec.end(i), 0.08) << "item " << i + 1 << extra.join(' ').toStdString();
        }
    }
}

TEST(MakeScript, BadInputIsReportedAndNothingWritten) {
    QTemporaryDir dir;
    SpokenRecording rec;
    ASSERT_TRUE(Record(rec, "espeak:en-gb:140"));
    const QString wav = dir.filePath("r.wav"), text = dir.filePath("r.txt");
    ASSERT_TRUE(rec.writeWave(wav) && WriteText(text, kSentences));
    SpokenRecording silence;
    silence.addSilence(3);
    silence.writeWave(dir.filePath("silent.wav"));
    WriteFile(dir.filePath("noise.wav"), std::string(5000, 'x'));
    WriteFile(dir.filePath("empty.txt"), "\n  \n\n");
    WriteFile(dir.filePath("latin1.txt"), "Caf\xe9 au lait.\n");

    struct Case {
        QStringList args;
        int exitCode;
        const char* message;
    } cases[] = {
        {{wav, dir.filePath("empty.txt")}, 1, "holds no text to align"},
        {{wav, dir.filePath("latin1.txt")}, 1, "is not UTF-8 text"},
        {{wav, dir.filePath("missing.txt")}, 1, "Could not open"},
        {{dir.filePath("silent.wav"), text}, 1, "No speech found in"},
        {{dir.filePath("noise.wav"), text}, 1, "is not a WAV (PCM) or MPEG audio file"},
        {{dir.filePath("missing.wav"), text}, 1, "Could not open"},
        {{wav, text, "--lang", "xx-nowhere"}, 1, "no voice for the language 'xx-nowhere'"},
        {{wav, text, "--skip", "600"}, 1, "lies past the end of the recording"},
        {{wav, text, "--skip", QString::number(rec.end(3) + 0.1)}, 1, "No speech found in"},
        {{wav, text, "-o", dir.filePath("no/such/folder/p.htm")}, 1, "Could not write"},
        {{wav}, 2, "usage: parlotype --make-script"},
        {{wav, text, "--skip", "soon"}, 2, "usage: parlotype --make-script"},
        {{wav, text, "--colour"}, 2, "usage: parlotype --make-script"},
    };
    for (const Case& c : cases) {
        const Outcome r = MakeScript(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.message)) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.join('\n').toStdString();
    }
    // Only the inputs remain: no page, no temporary file.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 6);
}

}  // namespace
