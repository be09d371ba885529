// SPDX-License-Identifier: GPL-3.0-or-later
// The program as a user meets it, run without a display: its command line, the
// tree `cmake --install` lays out (checked by the desktop's own tools), and
// `--make-script` on spoken recordings (voices other than the aligner's): the
// page it writes, its anchors in order with times close to the truth, the lines
// it marks unsure, and bad input; in process, the aligner's cancel and long
// lines, its pauses, resampling, and the placing of items and words.
#include "align/aligner.h"
#include "align/item_edges.h"
#include "align/item_recheck.h"
#include "align/pause_finder.h"
#include "align/resample.h"
#include "align/script_page.h"
#include "align/speech_synth.h"
#include "align/voice_pitch.h"
#include "align/word_path.h"
#include "common/spoken_recording.h"
#include "common/test_audio.h"
#include "html/byte_stream.h"
#include "script/audio_item.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace testaudio;

namespace {

struct Outcome { int exitCode; QString out, err; };  // exitCode -1: crashed or did not finish

// Runs a program to its end with no display, so no window could open.
Outcome runProgram(const QString& program, const QStringList& args) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
    env.insert("MANWIDTH", "80");
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    // Only a guard against a hang: under the sanitizers on a busy machine,
    // Make Script on six minutes of speech takes more than a minute.
    const bool finished = p.waitForFinished(300000);
    if (!finished) p.kill(), p.waitForFinished();  // then it did not exit normally
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError()) + (finished ? "" : "(stopped after 5 minutes)")};
}
Outcome parlotype(const QStringList& args) { return runProgram(PARLOTYPE_BINARY_DIR "/parlotype", args); }
QString readText(const QString& path) { return QString::fromStdString(readFile(path)); }

TEST(Desktop, CommandLinePrintsAndExits) {
    const QString usage = "\n\nUsage: parlotype [options] [SCRIPT]\n";
    // out and err: what each begins with; empty for nothing at all.
    const struct { QStringList args; int exitCode; QString out, err; } cases[] = {
        {{"--help"}, 0, usage.mid(2), ""},  {{"-h"}, 0, usage.mid(2), ""},
        {{"demo.htm", "--version"}, 0, "Parlotype " PARLOTYPE_VERSION "\n", ""},
        {{"--bogus"}, 2, "", "parlotype: Unknown option 'bogus'." + usage},
        {{"-bogus", "demo.htm"}, 2, "", "parlotype: Unknown option 'bogus'." + usage},
        {{"a.htm", "b.htm"}, 2, "", "parlotype: One script at a time: 'b.htm' is one too many." + usage},
        {{"--play"}, 2, "", "parlotype: Missing value after '--play'." + usage},
        {{}, 1, "", "parlotype: no display to open the window on"}, {{"demo.htm"}, 1, "", "parlotype: no display"},
    };
    for (const auto& c : cases) {
        const Outcome r = parlotype(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.join(' ').toStdString() << "\n" << r.err.toStdString();
        EXPECT_TRUE(c.out.isEmpty() ? r.out.isEmpty() : r.out.startsWith(c.out)) << r.out.toStdString();
        EXPECT_TRUE(c.err.isEmpty() ? r.err.isEmpty() : r.err.startsWith(c.err)) << r.err.toStdString();
    }
    const QString help = parlotype({"--help"}).out;
    for (const char* option : {"--version", "--play <LINK>", "--speed", "--make-script"}) EXPECT_TRUE(help.contains(option)) << option;
}

TEST(Desktop, InstalledTreeIsComplete) {
    QTemporaryDir prefix;
    const Outcome install = runProgram(CMAKE_COMMAND, {"--install", PARLOTYPE_BINARY_DIR, "--prefix", prefix.path()});
    ASSERT_EQ(install.exitCode, 0) << install.err.toStdString();
    for (const char* file : {"share/icons/hicolor/scalable/apps/parlotype.svg", "share/parlotype/demo/demo.htm",
                             "share/parlotype/demo/demo.wav", "share/doc/parlotype/LICENSE"})
        EXPECT_TRUE(QFileInfo(prefix.filePath(file)).isFile()) << file;
    EXPECT_EQ(QDir(prefix.filePath("bin")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"parlotype"});

    // The desktop's tools accept the entry, the metadata and the manual page.
    const QString entry = prefix.filePath("share/applications/parlotype.desktop");
    const Outcome checks[] = {runProgram("desktop-file-validate", {entry}),
                              runProgram("appstreamcli", {"validate", "--no-net", prefix.filePath("share/metainfo/org.phonicledger.parlotype.metainfo.xml")}),
                              runProgram("man", {"--warnings", "-l", prefix.filePath("share/man/man1/parlotype.1")})};
    for (const Outcome& check : checks) EXPECT_TRUE(check.exitCode == 0 && check.err.isEmpty()) << check.out.toStdString() << check.err.toStdString();
    for (const char* text : {"PARLOTYPE(1)", "--play LINK", "EXIT STATUS", "Parlotype " PARLOTYPE_VERSION}) EXPECT_TRUE(checks[2].out.contains(text)) << text;
    const QString desktop = readText(entry);
    for (const char* line : {"\nExec=parlotype %u\n", "\nIcon=parlotype\n"}) EXPECT_TRUE(desktop.contains(line)) << line;
    EXPECT_FALSE(desktop.contains("MimeType")) << "it must not take over HTML files";

    // The installed index reaches the bundled scripts, and the installed program plays.
    static const QRegularExpression href("href=\"([^\"]+)\"");
    int links = 0;
    for (const auto& m : href.globalMatch(readText(prefix.filePath("share/parlotype/parlotype.htm"))))
        EXPECT_TRUE(++links && QFileInfo(prefix.filePath("share/parlotype/" + m.captured(1))).isFile()) << m.captured(1).toStdString();
    EXPECT_GE(links, 1);
    const Outcome play = runProgram(prefix.filePath("bin/parlotype"), {"--play", prefix.filePath("share/parlotype/demo/demo.wav") + "#0#0.5"});
    EXPECT_TRUE(play.exitCode == 0 && play.out.startsWith(" 0:00.0\n")) << play.err.toStdString();
}

const QStringList kSentences = {"A Short Test", "The little cat sat on the warm mat by the door.",
                                "Nobody saw it leave the house that evening.", "In the morning, the bowl of milk was empty again."};

const QString kWave = "r one 100% 'q\" \u00e9.wav";  // spaces, '%', quotes and beyond ASCII in a link

// The text: the title alone, then a paragraph of one sentence and one of two.
// The recording: every sentence but `leaveOut` (`twice` read twice, a
// sentence not in the text before `insertBefore`), pauses of 0.4 to 0.85 s, noise 30 dB down.
bool prepare(const QTemporaryDir& dir, SpokenRecording& rec, const QString& voice, int leaveOut = -1, int twice = -1,
             int insertBefore = -1) {
    for (int i = 0; i < kSentences.size(); ++i) {
        if (i == insertBefore && !rec.addSentence("Here the reader says something else, which is not in the text.", voice, 0.5, false)) return false;
        if (i != leaveOut && !rec.addSentence(kSentences[i], voice, 0.4 + 0.15 * i)) return false;
        if (i == twice && !rec.addSentence(kSentences[i], voice, 0.5, false)) return false;
    }
    rec.addSilence(0.5);
    rec.addNoise(30);
    const QString text = kSentences[0] + "\n\n" + kSentences[1] + "\n\n" + kSentences.mid(2).join('\n') + '\n';
    return rec.writeWave(dir.filePath(kWave)) && writeFile(dir.filePath("r.txt"), text.toStdString());
}

TEST(MakeScript, PageFollowsTheReading) {
    // extra: --make-script options, where "SKIP" stands for a time past the announcement;
    // sox: the recording converted by sox with these options (rate, channels, bits); twice, insertBefore: see Prepare.
    const struct { QString voice; QStringList extra; int leaveOut; bool announce, mp3; QStringList sox = {}; int twice = -1, insertBefore = -1; } cases[] = {
        {"espeak:en-gb:140", {}, -1, false, false},   {"flite:rms", {}, -1, false, false},
        {"espeak:en-gb:150", {"-o", "page.htm"}, -1, false, true}, {"flite:slt", {}, 2, false, false},
        {"espeak:en-gb:140", {}, -1, true, false},   {"espeak:en-gb:140", {"--skip", "SKIP"}, -1, true, false},
        {"espeak:en-gb:140", {}, -1, false, false, {"-r", "44100", "-c", "2", "-b", "24"}},
        {"flite:rms", {}, -1, false, false, {"-r", "48000", "-c", "2", "-b", "32"}},
        {"espeak:en-gb:140", {}, -1, false, false, {"-r", "8000"}},
        {"flite:kal16", {}, -1, false, false, {}, 2},   {"flite:awb", {}, -1, false, false, {}, -1, 2},
        {"espeak:en-gb:140", {}, -1, false, false, {}, -1, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.voice + ' ' + c.extra.join(' ') + (c.mp3 ? " mp3 " : " ") + c.sox.join(' ') +
                      QString(" left out %1, twice %2, added before %3").arg(c.leaveOut).arg(c.twice).arg(c.insertBefore)).toStdString());
        QTemporaryDir dir;
        SpokenRecording rec;
        ASSERT_TRUE(!c.announce || rec.addSentence("This recording was made for the program's own tests.", "espeak:en-us:170", 0, false));
        const QString skip = QString::number(rec.seconds() + 0.2);
        if (c.announce) rec.addSilence(1.0);
        ASSERT_TRUE(prepare(dir, rec, c.voice, c.leaveOut, c.twice, c.insertBefore));
        const QString audio = dir.filePath(c.mp3 ? "r.mp3" : c.sox.isEmpty() ? kWave : "r.wav");
        ASSERT_TRUE(!c.mp3 || encodeMp3(dir.filePath(kWave), audio, {"-b", "64", "--resample", "22.05"}));
        ASSERT_TRUE(c.sox.isEmpty() || QProcess::execute("sox", QStringList{dir.filePath(kWave)} + c.sox + QStringList{audio}) == 0);
        const double delay = c.mp3 ? (576 + 529) / 22050.0 : 0;  // lame's, which the player's timeline has; resampled
        QStringList args{audio, dir.filePath("r.txt")};
        for (const QString& arg : c.extra) args << (arg == "SKIP" ? skip : arg.endsWith(".htm") ? dir.filePath(arg) : arg);

        const Outcome r = parlotype(QStringList{"--make-script"} + args);
        const QStringList out = r.out.split('\n', Qt::SkipEmptyParts);
        ASSERT_TRUE(r.exitCode == 0 && out.size() == kSentences.size() + 1) << r.err.toStdString();  // a line per item, a summary
        const bool extra = c.twice >= 0 || c.insertBefore >= 0 || (c.announce && c.extra.isEmpty());
        EXPECT_TRUE(out.last().startsWith(QString("4 items, 0 unsure, %1 not found, %2 stretches").arg(c.leaveOut < 0 ? 0 : 1).arg(extra ? 1 : 0)))
            << out.last().toStdString() << r.err.toStdString();
        EXPECT_EQ(r.err.contains("not found: item 3: "), c.leaveOut == 2) << r.err.toStdString();
        EXPECT_EQ(r.err.contains("speech not in the text: "), extra) << r.err.toStdString();
        const QString pagePath = c.mp3 ? dir.filePath("page.htm") : QFileInfo(audio).path() + '/' + QFileInfo(audio).baseName() + ".htm";
        const QString page = QString::fromStdString(readFile(pagePath));
        EXPECT_TRUE(page.startsWith("<!DOCTYPE HTML") && page.contains("<title>A Short Test</title>") && page.count("<p>") == 2);
        const auto h1 = QRegularExpression("<h1>(?:<span class=\"extra\"[^>]*>[^<]*</span> )?<a name=\"s1\" href=\"([^\"]+)#\\d+\\.\\d\\d#\\d+\\.\\d\\d\"><[^>]+>A<.+</a></h1>").match(page);
        EXPECT_EQ(QUrl::fromLocalFile(pagePath).resolved(QUrl(h1.captured(1))).toLocalFile(), audio) << page.toStdString();
        EXPECT_EQ(page.contains("<span class=\"extra\" title=\"speech not in the text: "), extra);
        const auto items = readPageItems(pagePath);
        const auto words = readPageWords(page.toUtf8());  // the found items' words, as the page gives them
        ASSERT_TRUE(items.size() == 4u && words.size() == (c.leaveOut < 0 ? 4u : 3u)) << words.size();
        for (int i = 0, truth = 0, w = 0; i < 4; ++i) {
            EXPECT_TRUE(out[i].contains(kSentences[i])) << out[i].toStdString();
            EXPECT_EQ(std::pair(items[size_t(i)].unsure, items[size_t(i)].found), std::pair(false, i != c.leaveOut)) << "item " << i + 1;
            if (i == c.leaveOut) continue;
            const PageItemWords& said = words[size_t(w++)];
            QStringList texts;
            for (const PageWord& word : said.words) texts << word.text;
            EXPECT_EQ(std::pair(said.anchor, texts.join(' ')), std::pair(QString("s%1").arg(i + 1), kSentences[i]));
            if (i != c.twice) {  // a line read twice may be either reading
                EXPECT_NEAR(items[size_t(i)].start, rec.start(truth) + delay, 0.08) << "item " << i + 1;
                EXPECT_TRUE(i + 1 == c.leaveOut || std::abs(items[size_t(i)].end - rec.end(truth) - delay) < 0.08) << "item " << i + 1 << " end " << items[size_t(i)].end << " true " << rec.end(truth) + delay;
                // Each word where the synthesizer spoke it (NaN, where espeak-ng gives no edge, is never near);
                // flite's voices differ more from the aligner's, and its words are timed less closely.
                const double near = c.voice.startsWith("flite") ? 0.25 : 0.08;
                for (size_t k = 0; k < rec.words(truth).size() && k < said.words.size(); ++k) {
                    const auto [start, end] = rec.words(truth)[k];
                    EXPECT_TRUE(std::isnan(start) || std::abs(said.words[k].start - start - delay) < near) << "item " << i + 1 << " word " << k + 1;
                    EXPECT_TRUE(std::isnan(end) || std::abs(said.words[k].end - end - delay) < near) << "item " << i + 1 << " word " << k + 1;
                }
            }
            ++truth;
        }
    }
}

// A reader more than twice the synthetic voice's pace: every line is found,
// its length judged against the reader's pace, not the synthetic voice's.
TEST(MakeScript, FastReaderLinesAreFound) {
    for (const QString voice : {"espeak:en-gb:300", "espeak:en-gb:310"}) {
        SCOPED_TRACE(voice.toStdString());
        QTemporaryDir dir;
        SpokenRecording rec;
        ASSERT_TRUE(prepare(dir, rec, voice));
        const Outcome r = parlotype({"--make-script", dir.filePath(kWave), dir.filePath("r.txt"), "-o", dir.filePath("r.htm")});
        EXPECT_TRUE(r.exitCode == 0 && r.out.contains("4 items, 0 unsure, 0 not found, 0 stretches")) << r.out.toStdString() << r.err.toStdString();
        const auto items = readPageItems(dir.filePath("r.htm"));
        ASSERT_EQ(items.size(), 4u);
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(items[size_t(i)].start, rec.start(i), 0.08) << "item " << i + 1;
            EXPECT_NEAR(items[size_t(i)].end, rec.end(i), 0.08) << "item " << i + 1;
        }
    }
}

// The pitch that decides how far a reader's frames are moved: a man's, a
// woman's and a child's voice told apart, a strong second harmonic not taken
// for the pitch, noise not voiced.
TEST(MakeScript, VoicePitchOfTones) {
    const struct { double f0, second, noise, want; } cases[] = {
        {95, 0.5, 0, 95}, {120, 0.5, 0, 120}, {210, 0.5, 0, 210}, {300, 0.3, 0, 300},
        {110, 2.0, 0, 110}, {200, 2.0, 0.1, 200}, {0, 0, 1, 0},
    };
    std::mt19937 gen(3);
    std::normal_distribution<float> noise;
    for (const auto& c : cases) {
        std::vector<float> s(16000);
        for (size_t n = 0; n < s.size(); ++n)
            s[n] = float(std::sin(2 * M_PI * c.f0 * n / 16000) + c.second * std::sin(4 * M_PI * c.f0 * n / 16000)) + c.noise * noise(gen);
        EXPECT_NEAR(typicalPitch(s), c.want, 0.04 * c.want) << c.f0 << " Hz, second harmonic " << c.second;
    }
}

// Recordings at common rates (and one whose ratio to 16 kHz has too many
// phases to keep) come to 16 kHz whole: a 1 kHz tone kept at its level and
// time, a tone above 8 kHz taken out, the same read in pieces as at once.
TEST(MakeScript, ResamplingKeepsTheSpeechBand) {
    for (const int rate : {8000, 11025, 16000, 22050, 44056, 44100, 48000}) {
        const double high = rate > 20000 ? 10000 : 0;  // above the output's 8 kHz, below the input's Nyquist
        std::vector<float> in(static_cast<size_t>(rate));
        for (size_t n = 0; n < in.size(); ++n)
            in[n] = float(0.5 * std::sin(2 * M_PI * 1000 * n / rate) + 0.3 * std::sin(2 * M_PI * high * n / rate));
        Resampler streamed(rate, 16000);
        std::vector<float> out;
        for (size_t at = 0; at < in.size(); at += 777) streamed.push(in.data() + at, std::min<size_t>(777, in.size() - at), out);
        streamed.finish(out);
        EXPECT_EQ(out, resample(in, rate, 16000)) << rate;
        ASSERT_EQ(out.size(), size_t(16000)) << rate;
        double error = 0;
        for (size_t n = 100; n < 15900; ++n) error = std::max(error, std::abs(out[n] - 0.5 * std::sin(2 * M_PI * 1000 * n / 16000)));
        EXPECT_LT(error, 0.01) << rate;
    }
}

// Pauses between a floor of noise and speech: a weak sound before or after
// the speech (a fricative, a stop's release) is speech, though quieter than
// the threshold; a quiet stretch louder than the floor throughout (steady
// noise) is still one pause.
TEST(MakeScript, PausesLeaveWeakSoundsOut) {
    struct Part { double seconds, noise, tone; };
    const struct { std::vector<Part> parts; std::vector<std::pair<double, double>> want; } cases[] = {
        {{{1.2, 1, 0}, {1.0, 1, 1}, {0.8, 1, 0}}, {{0, 1.2}, {2.2, 3.0}}},
        {{{1.0, 1, 0}, {0.05, 1.8, 0}, {0.15, 1, 0}, {1.0, 1, 1}, {0.8, 1, 0}}, {{0, 1.0}, {1.05, 1.2}, {2.2, 3.0}}},
        {{{1.2, 1, 0}, {1.0, 1, 1}, {0.06, 1.8, 0}, {0.74, 1, 0}}, {{0, 1.2}, {2.26, 3.0}}},
        {{{1.2, 1, 0}, {1.0, 1, 1}, {0.8, 1.8, 0}}, {{0, 1.2}, {2.2, 3.0}}},
    };
    std::mt19937 gen(5);
    std::normal_distribution<float> noise(0, 0.003f);
    for (size_t c = 0; c < std::size(cases); ++c) {
        std::vector<float> s;
        for (const Part& p : cases[c].parts)
            for (int n = 0; n < int(p.seconds * 16000); ++n)
                s.push_back(float(p.noise * noise(gen) + p.tone * 0.3 * std::sin(2 * M_PI * 200 * n / 16000)));
        ScratchFile file;
        PauseFinder finder(file);
        finder.push(s.data(), s.size());
        finder.finish();
        const std::vector<PauseFinder::Pause> got = finder.pauses(0.08);
        ASSERT_EQ(got.size(), cases[c].want.size()) << "case " << c;
        for (size_t k = 0; k < got.size(); ++k) {
            EXPECT_NEAR(got[k].start(), cases[c].want[k].first, 0.012) << "case " << c << " pause " << k;
            EXPECT_NEAR(got[k].end(), cases[c].want[k].second, 0.012) << "case " << c << " pause " << k;
        }
    }
}

// How far the floor lies under the speech, which sets the synthetic speech's
// noise: a tone at -13.5 dB, half the time, over noise or digital silence
// (taken as 50 dB under).
TEST(MakeScript, FloorBelowSpeechFollowsTheNoise) {
    const struct { float noise; double want; } cases[] = {{0.003f, 37.0}, {0.03f, 17.0}, {0.0f, 50.0}};
    std::mt19937 gen(6);
    for (const auto& c : cases) {
        std::normal_distribution<float> noise(0, std::max(c.noise, 1e-9f));
        std::vector<float> s;
        for (int n = 0; n < 4 * 16000; ++n)
            s.push_back((c.noise > 0 ? noise(gen) : 0.0f) + (n / 8000 % 2 ? float(0.3 * std::sin(2 * M_PI * 200 * n / 16000)) : 0.0f));
        ScratchFile file;
        PauseFinder finder(file);
        finder.push(s.data(), s.size());
        finder.finish();
        EXPECT_NEAR(finder.floorBelowSpeech(), c.want, 1.5) << "noise " << c.noise;
    }
}

// Pauses of a recording that holds speech (a 200 Hz tone) at `spoken`
// (seconds) and low noise elsewhere.
struct TonePauses {
    TonePauses(const std::vector<std::pair<double, double>>& spoken, double seconds) {
        std::mt19937 gen(7);
        std::normal_distribution<float> noise(0, 0.003f);
        std::vector<float> s(size_t(seconds * 16000));
        for (size_t n = 0; n < s.size(); ++n) {
            const double t = double(n) / 16000;
            const bool on = std::any_of(spoken.begin(), spoken.end(), [&](auto p) { return t >= p.first && t < p.second; });
            s[n] = noise(gen) + (on ? float(0.3 * std::sin(2 * M_PI * 200 * t)) : 0.0f);
        }
        finder.push(s.data(), s.size());
        finder.finish();
    }
    ScratchFile file;
    PauseFinder finder{file};
};

// An item the path put into speech not in the text (here the middle of a
// line read twice), its own reading left in the extra speech before it, goes
// back to that reading, its words with it; the extra speech is one stretch.
// Speech between two items that the path went through without stalling is
// reported all the same, and each item keeps its own edge. Words the path put
// into the pause before an item are drawn into it, none left without length.
TEST(MakeScript, ItemsAndWordsFromTheirMatches) {
    // The line before, the short line, the long line's first reading in three parts, its second.
    const TonePauses twice({{1.0, 3.0}, {3.5, 4.5}, {5.0, 6.5}, {6.7, 7.7}, {7.9, 9.0}, {9.5, 13.5}}, 14);
    const std::vector<ItemMatch> matches = {{1.0, 3.0, 1.0, 2.0, true, {{1.0, 2.0}, {2.0, 3.0}}},
                                            {6.7, 7.7, 1.0, 1.0, true, {{6.7, 7.2}, {7.2, 7.7}}},
                                            {9.5, 13.5, 1.0, 4.0, true, {{9.5, 11.5}, {11.5, 13.5}}}};
    std::vector<ExtraSpeech> extra = {{3.5, 6.5}, {7.9, 9.0}};
    const std::vector<AlignedItem> items = placeItems(matches, twice.finder, twice.finder.pauses(kItemPause), 0, extra);
    ASSERT_EQ(items.size(), 3u);
    const std::vector<std::pair<double, double>> want = {{1.0, 3.0}, {3.5, 4.5}, {9.5, 13.5}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(items[i].isSure()) << "item " << i;
        EXPECT_NEAR(items[i].start(), want[i].first, 0.02) << "item " << i;
        EXPECT_NEAR(items[i].end(), want[i].second, 0.02) << "item " << i;
    }
    ASSERT_EQ(items[1].words().size(), 2u);
    EXPECT_NEAR(items[1].words()[0].end, 4.0, 0.02);
    ASSERT_EQ(extra.size(), 1u);
    EXPECT_NEAR(extra[0].start, 5.0, 0.02);
    EXPECT_NEAR(extra[0].end, 9.0, 0.02);

    // The second item's path cost is 1.5 times the typical one: sure, of confidence 0.5.
    const TonePauses between({{1.0, 3.0}, {3.5, 5.0}, {5.5, 7.5}, {8.0, 10.0}}, 11);
    std::vector<ExtraSpeech> found;
    const std::vector<AlignedItem> apart = placeItems({{1.0, 3.0, 1.0, 2.0, true, {{1.0, 3.0}}}, {5.5, 7.5, 1.5, 2.0, true, {{5.5, 7.5}}},
                                                      {8.0, 10.0, 1.0, 2.0, true, {{8.0, 10.0}}}}, between.finder, between.finder.pauses(kItemPause), 0, found);
    ASSERT_TRUE(apart.size() == 3 && found.size() == 1);
    EXPECT_TRUE(apart[0].isSure() && apart[1].isSure());
    EXPECT_NEAR(apart[1].confidence(), 0.5, 0.01);
    EXPECT_NEAR(apart[0].end(), 3.0, 0.02);
    EXPECT_NEAR(apart[1].start(), 5.5, 0.02);
    EXPECT_NEAR(found[0].start, 3.5, 0.02);
    EXPECT_NEAR(found[0].end, 5.0, 0.02);

    // An item matched onto a sentence not in the text, its own reading just
    // before reported as extra speech: they change places, words and all.
    const TonePauses swapped({{1.0, 3.0}, {3.5, 4.5}, {5.5, 8.5}, {9.0, 11.0}}, 12);
    std::vector<ExtraSpeech> aside = {{3.5, 4.5}};
    const std::vector<AlignedItem> own = placeItems({{1.0, 3.0, 1.0, 2.0, true, {{1.0, 3.0}}}, {5.5, 8.5, 1.0, 1.0, true, {{5.5, 7.0}, {7.0, 8.5}}},
                                                    {9.0, 11.0, 1.0, 2.0, true, {{9.0, 11.0}}}}, swapped.finder, swapped.finder.pauses(kItemPause), 0, aside);
    ASSERT_TRUE(own.size() == 3 && own[1].words().size() == 2 && aside.size() == 1);
    EXPECT_NEAR(own[1].start(), 3.5, 0.02);
    EXPECT_NEAR(own[1].words()[0].end, 4.0, 0.02);
    EXPECT_NEAR(own[1].words()[1].start, 4.0, 0.02);
    EXPECT_NEAR(aside[0].start, 5.5, 0.02);

    // The path ended an item just past a short pause in its last words, or
    // began one just before a short pause in its first, a longer pause lying
    // a little further toward speech not in the text beside it: the edge goes
    // to the longer one, leaving no speech between the item and the extra.
    const TonePauses ending({{1.0, 3.0}, {3.5, 5.3}, {5.4, 5.6}, {6.5, 8.5}, {9.0, 11.0}}, 12);
    const TonePauses starting({{1.0, 3.0}, {3.5, 5.5}, {6.0, 6.2}, {6.3, 8.0}, {8.5, 10.5}}, 11.5);
    const struct { const TonePauses& speech; ItemMatch middle; ExtraSpeech extra; double start, end; } edges[] = {
        {ending, {3.5, 5.45, 1.0, 2.0, true, {{3.5, 4.5}, {4.5, 5.45}}}, {6.5, 8.5}, 3.5, 5.6},
        {starting, {6.15, 8.0, 1.0, 2.0, true, {{6.15, 7.0}, {7.0, 8.0}}}, {3.5, 5.5}, 6.0, 8.0}};
    for (const auto& [speech, middle, extraSpeech, start, end] : edges) {
        SCOPED_TRACE(start);
        std::vector<ExtraSpeech> beside = {extraSpeech};
        const double last = speech.finder.seconds() - 1;
        const std::vector<AlignedItem> placed = placeItems({{1.0, 3.0, 1.0, 2.0, true, {{1.0, 3.0}}}, middle, {last - 2, last, 1.0, 2.0, true, {{last - 2, last}}}},
                                                           speech.finder, speech.finder.pauses(kItemPause), 0, beside);
        ASSERT_TRUE(placed.size() == 3 && beside.size() == 1);
        EXPECT_NEAR(placed[1].start(), start, 0.02);
        EXPECT_NEAR(placed[1].end(), end, 0.02);
        EXPECT_NEAR(beside[0].start, extraSpeech.start, 0.02);
        EXPECT_NEAR(beside[0].end, extraSpeech.end, 0.02);
    }

    // Between two items, each edge by a pause of its own: 0.5 s of speech
    // between those pauses that the path gave to neither (a short line's
    // first reading) stays neither's; that the path gave in part to the first
    // item, or 0.15 s (the first sound of a word before its closure), goes
    // to one of them.
    const TonePauses reading({{1.0, 3.0}, {3.2, 3.7}, {4.5, 6.5}, {7.0, 9.0}}, 10);
    const TonePauses closure({{1.0, 3.0}, {3.6, 3.75}, {3.85, 6.5}, {7.0, 9.0}}, 10);
    const struct { const TonePauses& speech; double mappedEnd, mappedStart, end, start; } gaps[] = {
        {reading, 3.0, 4.5, 3.0, 4.5}, {reading, 3.3, 4.5, 3.7, 4.5}, {closure, 3.0, 3.8, 3.0, 3.6}};
    for (const auto& [speech, mappedEnd, mappedStart, end, start] : gaps) {
        SCOPED_TRACE(testing::Message() << mappedEnd << "-" << mappedStart);
        std::vector<ExtraSpeech> none;
        const std::vector<AlignedItem> placed = placeItems({{1.0, mappedEnd, 1.0, 2.0, true, {{1.0, mappedEnd}}}, {mappedStart, 6.5, 1.0, 2.0, true, {{mappedStart, 6.5}}},
                                                            {7.0, 9.0, 1.0, 2.0, true, {{7.0, 9.0}}}}, speech.finder, speech.finder.pauses(kItemPause), 0, none);
        ASSERT_TRUE(placed.size() == 3 && none.empty());
        EXPECT_NEAR(placed[0].end(), end, 0.02);
        EXPECT_NEAR(placed[1].start(), start, 0.02);
    }

    const TonePauses one({{1.0, 3.0}}, 4);
    for (const std::vector<WordTime>& words : {std::vector<WordTime>{{0.7, 1.0}, {1.0, 2.0}, {2.0, 3.0}},
                                               std::vector<WordTime>{{1.0, 2.0}, {2.0, 2.0}, {2.0, 3.0}}}) {
        std::vector<ExtraSpeech> none;
        const std::vector<AlignedItem> item = placeItems({{words.front().start, 3.0, 1.0, 2.0, true, words}}, one.finder, one.finder.pauses(kItemPause), 0, none);
        ASSERT_TRUE(item.size() == 1 && item[0].words().size() == 3);
        EXPECT_NEAR(item[0].start(), 1.0, 0.02);
        for (size_t k = 0; k < 3; ++k) EXPECT_GE(item[0].words()[k].end - item[0].words()[k].start, 0.039) << "word " << k;
        EXPECT_NEAR(item[0].words()[1].end, 2.0, 0.03);  // drawn in no further than the words stuck out
    }
}

// Sounds as features: five items of three words each, a word a sound held
// 0.2 s (0.4 s for the middle word of the third item's reading). The reader's
// voice lies far from the synthetic one (every frame moved by one offset); a
// sentence not in the text, in the synthetic voice, is made of the last two
// items' sounds, or of the third item's first two and others. The path put
// the third item on that sentence's end, in its middle, or ran it on into
// the sentence, or gave its reading to the fourth: the item moves to its own
// reading, its words where its sounds are.
TEST(MakeScript, ItemMisplacedByThePathTakesTheStretchItMatches) {
    constexpr int kDims = kFeatureDims, kWord = 20;  // frames
    std::mt19937 gen(3);
    std::normal_distribution<float> unit(0, 1);
    std::vector<std::vector<float>> sounds(17, std::vector<float>(kDims)), offset(1, std::vector<float>(kDims));
    for (auto& sound : sounds)
        for (float& v : sound) v = unit(gen);
    for (float& v : offset[0]) v = 6.0f / std::sqrt(float(kDims));  // 36 away, where two sounds lie 26 apart
    // Frames: {sound, frames, far voice}; a sound of -1 is silence.
    auto frames = [&](const std::vector<std::tuple<int, int, bool>>& parts) {
        std::vector<float> values;
        for (const auto& [sound, count, far] : parts)
            for (int f = 0; f < count; ++f)
                for (int d = 0; d < kDims; ++d) values.push_back((sound < 0 ? 0.0f : sounds[size_t(sound)][size_t(d)]) + (far ? offset[0][size_t(d)] : 0.0f));
        return FeatureMatrix(values, kDims);
    };
    std::vector<std::tuple<int, int, bool>> synthParts;
    std::vector<SynthItem> spoken;
    for (int j = 0; j < 5; ++j) {
        synthParts.emplace_back(-1, 30, false);
        const long from = (90L * j + 30) * kHopSamples, word = long(kWord) * kHopSamples;
        spoken.push_back({from, from + 3 * word, {{from, from + word}, {from + word, from + 2 * word}, {from + 2 * word, from + 3 * word}}});
        for (int w = 0; w < 3; ++w) synthParts.emplace_back(3 * j + w, kWord, false);
    }
    synthParts.emplace_back(-1, 30, false);
    const FeatureMatrix synth = frames(synthParts);
    // The reading: items 1 and 2 at 0.3 and 1.2 s, item 3 at 2.1-2.9 s, the sentence 3.0-4.2 s, items 4 and 5 at 4.5 and 5.4 s.
    auto reading = [&](const std::vector<int>& sentence) {
        std::vector<std::tuple<int, int, bool>> parts;
        for (int j = 0; j < 2; ++j) {
            parts.emplace_back(-1, 30, false);
            for (int w = 0; w < 3; ++w) parts.emplace_back(3 * j + w, kWord, true);
        }
        parts.insert(parts.end(), {{-1, 30, false}, {6, kWord, true}, {7, 2 * kWord, true}, {8, kWord, true}, {-1, 10, false}});
        for (int sound : sentence) parts.emplace_back(sound, kWord, false);
        for (int j = 3; j < 5; ++j) {
            parts.emplace_back(-1, 30, false);
            for (int w = 0; w < 3; ++w) parts.emplace_back(3 * j + w, kWord, true);
        }
        parts.emplace_back(-1, 30, false);
        return frames(parts);
    };
    const std::vector<int> others = {9, 13, 10, 11, 12, 14}, alike = {9, 6, 7, 16, 12, 14};
    const std::vector<PauseFinder::Pause> pauses = {{0.0, 0.3}, {0.9, 1.2}, {1.8, 2.1}, {2.9, 3.0}, {4.2, 4.5}, {5.1, 5.4}, {6.0, 6.3}};
    auto pausedAt = [&](double from, double to) {  // with short pauses added
        std::vector<PauseFinder::Pause> more = pauses;
        more.insert(more.begin() + 4, {{from - 0.05, from}, {to, to + 0.05}});
        return more;
    };
    auto match = [](double start, double end) {
        const double third = (end - start) / 3;
        return ItemMatch{start, end, 1.0, 0.6, true, {{start, start + third}, {start + third, end - third}, {end - third, end}}};
    };
    // placed: where the path put the third item; extra: the speech not in the
    // text found beside it (ending at 2.5, the stall ended inside the item's
    // reading; from 3.0, it missed the reading); keepOff: the first reading of
    // a line read twice, which no item takes (the third item's reading, or
    // the first item's); left: the extra speech after. In the middle of the
    // alike sentence the item fits a little better than its own reading: it
    // moves only because it was cut out of running speech, or because its
    // reading is left to no one (the extra speech found lies after it), and
    // stays where pauses bound it and its reading is extra speech.
    using Span = std::pair<double, double>;
    const struct { Span placed, extra; const std::vector<int>& sentence; std::vector<PauseFinder::Pause> pauses; Span keepOff, left; } cases[] = {
        {{3.6, 4.2}, {2.1, 3.6}, others, pauses, {}, {2.9, 4.2}},         {{3.6, 4.2}, {2.1, 2.5}, others, pauses, {}, {2.9, 4.2}},
        {{3.6, 4.2}, {3.0, 3.6}, others, pauses, {}, {3.0, 4.2}},         {{2.1, 3.6}, {3.6, 4.2}, others, pauses, {}, {2.9, 4.2}},
        {{3.6, 4.2}, {2.1, 3.6}, others, pauses, {2.1, 2.9}, {}},         {{3.6, 4.2}, {2.1, 3.6}, others, pauses, {0.3, 0.9}, {2.9, 4.2}},
        {{3.2, 3.8}, {2.1, 3.2}, alike, pauses, {}, {2.9, 3.8}},          {{3.2, 3.8}, {2.1, 3.2}, alike, pausedAt(3.2, 3.8), {}, {2.1, 3.2}},
        {{3.2, 3.8}, {3.8, 4.2}, alike, pausedAt(3.2, 3.8), {}, {3.2, 4.2}}};
    for (const auto& [placed, found, sentence, cuts, keepOff, left] : cases) {
        SCOPED_TRACE(testing::Message() << placed.first << "-" << placed.second << ", extra " << found.first << "-" << found.second
                                        << (sentence == alike ? ", alike" : "") << (cuts.size() > pauses.size() ? ", paused" : "")
                                        << ", kept off " << keepOff.first << "-" << keepOff.second);
        std::vector<ItemMatch> window = {match(0.3, 0.9), match(1.2, 1.8), match(placed.first, placed.second), match(4.5, 5.1), match(5.4, 6.0)};
        std::vector<ExtraSpeech> extra = {{found.first, found.second}};
        recheckItems(window, window.size(), spoken, synth, reading(sentence), 0, cuts, extra,
                     keepOff == Span{} ? std::vector<ExtraSpeech>{} : std::vector<ExtraSpeech>{{keepOff.first, keepOff.second}});
        const bool blocked = keepOff == Span{2.1, 2.9};
        const bool stays = left == found;  // the extra speech unchanged: the item did not move
        const std::vector<Span> want = {{0.3, 0.9}, {1.2, 1.8}, stays ? placed : Span{2.1, 2.9}, {4.5, 5.1}, {5.4, 6.0}};
        for (size_t k = 0; k < window.size(); ++k) {
            if (k == 2 && blocked) continue;
            EXPECT_NEAR(window[k].start, want[k].first, 1e-9) << "item " << k + 1;
            EXPECT_NEAR(window[k].end, want[k].second, 1e-9) << "item " << k + 1;
        }
        ASSERT_EQ(extra.size(), 1u);
        if (blocked) {
            EXPECT_GE(window[2].start, 2.9 - 1e-9);
            continue;
        }
        EXPECT_NEAR(extra[0].start, left.first, 1e-9);
        EXPECT_NEAR(extra[0].end, left.second, 1e-9);
        if (stays) continue;
        const std::vector<WordTime>& words = window[2].words;  // where the sounds are, not spread evenly
        ASSERT_EQ(words.size(), 3u);
        for (const auto& [got, wanted] : {std::pair(words[0].start, 2.1), {words[0].end, 2.3}, {words[1].start, 2.3},
                                           {words[1].end, 2.7}, {words[2].start, 2.7}, {words[2].end, 2.9}})
            EXPECT_NEAR(got, wanted, 0.025);
    }

    // The same in a window that starts 1 s into the recording.
    {
        SCOPED_TRACE("window from 1 s");
        std::vector<ItemMatch> window = {match(1.3, 1.9), match(2.2, 2.8), match(4.6, 5.2), match(5.5, 6.1), match(6.4, 7.0)};
        std::vector<ExtraSpeech> extra = {{3.1, 4.6}};
        std::vector<PauseFinder::Pause> later;
        for (const PauseFinder::Pause& p : pauses) later.emplace_back(p.start() + 1, p.end() + 1);
        recheckItems(window, window.size(), spoken, synth, reading(others), 100, later, extra, {});
        EXPECT_NEAR(window[2].start, 3.1, 1e-9);
        EXPECT_NEAR(window[2].end, 3.9, 1e-9);
        ASSERT_EQ(window[2].words.size(), 3u);
        EXPECT_NEAR(window[2].words[1].start, 3.3, 0.025);
    }

    // The path found no third item and gave its reading to the fourth, as if
    // the fourth had been left out: they change places. Where it found the
    // third there and not the fourth, nothing changes.
    for (const bool swapped : {true, false}) {
        SCOPED_TRACE(swapped ? "given to the fourth" : "fourth not found");
        std::vector<ItemMatch> window = {match(0.3, 0.9), match(1.2, 1.8), match(2.1, 2.9), match(4.5, 5.1), match(5.4, 6.0)};
        window[swapped ? 2 : 3].found = false;
        if (swapped) window[3] = match(2.1, 2.9);
        std::vector<ExtraSpeech> none;
        recheckItems(window, window.size(), spoken, synth, reading(others), 0, pauses, none, {});
        EXPECT_TRUE(window[2].found && !window[3].found && window[4].found);
        EXPECT_NEAR(window[2].start, 2.1, 1e-9);
        EXPECT_NEAR(window[2].end, 2.9, 1e-9);
        ASSERT_EQ(window[2].words.size(), 3u);
        EXPECT_NEAR(window[2].words[1].start, swapped ? 2.3 : 2.1 + 0.8 / 3, 0.025);
    }
}

// Sounds as features: an item of three words, each a sound held 0.2 s in the
// synthetic speech and 0.15, 0.3 and 0.25 s in the reading. Words the
// window's path spread evenly over the item go where their sounds are; an
// item not found keeps its words.
TEST(MakeScript, WordsFollowTheirSoundsWithinTheItem) {
    constexpr int kDims = kFeatureDims;
    std::mt19937 gen(9);
    std::normal_distribution<float> unit(0, 1);
    std::vector<std::vector<float>> sounds(3, std::vector<float>(kDims));
    for (auto& sound : sounds)
        for (float& v : sound) v = unit(gen);
    auto frames = [&](const std::vector<std::pair<int, int>>& parts) {  // {sound or -1 for silence, frames}
        std::vector<float> values;
        for (const auto& [sound, count] : parts)
            for (int f = 0; f < count; ++f)
                for (int d = 0; d < kDims; ++d) values.push_back(sound < 0 ? 0.0f : sounds[size_t(sound)][size_t(d)]);
        return FeatureMatrix(values, kDims);
    };
    const FeatureMatrix synth = frames({{-1, 30}, {0, 20}, {1, 20}, {2, 20}, {-1, 30}});
    const FeatureMatrix real = frames({{-1, 30}, {0, 15}, {1, 30}, {2, 25}, {-1, 30}});
    const long word = 20L * kHopSamples, from = 30L * kHopSamples;
    const std::vector<SynthItem> spoken = {{from, from + 3 * word, {{from, from + word}, {from + word, from + 2 * word}, {from + 2 * word, from + 3 * word}}}};
    for (const bool found : {true, false}) {
        SCOPED_TRACE(found ? "found" : "not found");
        std::vector<ItemMatch> window = {{0.3, 1.0, 1.0, 0.6, found, {{0.3, 0.3 + 0.7 / 3}, {0.3 + 0.7 / 3, 1.0 - 0.7 / 3}, {1.0 - 0.7 / 3, 1.0}}}};
        const std::vector<WordTime> before = window[0].words;
        followWords(window, 1, spoken, synth, real, 0);
        ASSERT_EQ(window[0].words.size(), 3u);
        const std::vector<WordTime> want = found ? std::vector<WordTime>{{0.3, 0.45}, {0.45, 0.75}, {0.75, 1.0}} : before;
        for (size_t w = 0; w < 3; ++w) {
            EXPECT_NEAR(window[0].words[w].start, want[w].start, 0.025) << "word " << w;
            EXPECT_NEAR(window[0].words[w].end, want[w].end, 0.025) << "word " << w;
        }
    }
}

// Two items, each a sound gliding evenly, read four and two times slower
// (the window starting 0.5 s into the recording, silence after them): a word
// edge that lies within a synthetic frame goes as far within the frames it
// was read over.
TEST(MakeScript, WordEdgesWithinAFrameKeepTheirPlaceWhenReadSlower) {
    auto glides = [](std::initializer_list<std::pair<int, float>> parts) {  // {frames, step}: each part glides in a dimension of its own
        std::vector<float> values;
        int dim = 0;
        for (const auto& [count, step] : parts) {
            for (int f = 0; f < count; ++f)
                for (int d = 0; d < kFeatureDims; ++d) values.push_back(d == dim ? float(f) * step : 0.0f);
            ++dim;
        }
        return FeatureMatrix(values, kFeatureDims);
    };
    const FeatureMatrix synth = glides({{60, 1.0f}, {60, 1.0f}}), real = glides({{240, 0.25f}, {120, 0.5f}, {60, 0.0f}});
    auto item = [](long from, int row) {  // 60 rows, words to rows `row` + 0.9 and `row` + 20.8
        const long edge1 = from + row * kHopSamples + 144, edge2 = from + (row + 20) * kHopSamples + 128, to = from + 60L * kHopSamples;
        return SynthItem{from, to, {{from, edge1}, {edge1, edge2}, {edge2, to}}};
    };
    const std::vector<SynthItem> spoken = {item(0, 20), item(60L * kHopSamples, 10)};
    auto spread = [](double start, double end) {
        const double third = (end - start) / 3;
        return ItemMatch{start, end, 1.0, 0.6, true, {{start, start + third}, {start + third, end - third}, {end - third, end}}};
    };
    std::vector<ItemMatch> window = {spread(0.5, 2.9), spread(2.9, 4.1)};
    followWords(window, 2, spoken, synth, real, 50);
    const double want[][2] = {{1.336, 2.132}, {3.118, 3.516}};
    for (size_t k = 0; k < 2; ++k) {
        ASSERT_EQ(window[k].words.size(), 3u);
        EXPECT_NEAR(window[k].words[1].start, want[k][0], 0.025) << "item " << k;
        EXPECT_NEAR(window[k].words[1].end, want[k][1], 0.025) << "item " << k;
    }
}

// Where the synthetic words sound: a short quiet between two words (a stop's
// closure) is shared at the next word's start; a pause and the quiet at the
// ends are left out; a silent word keeps its stretch.
TEST(MakeScript, SyntheticWordsMeetUnlessAPauseLiesBetween) {
    const int rate = 1000;  // samples a second: one a millisecond
    auto speech = [](std::initializer_list<std::pair<int, bool>> parts) {
        std::vector<float> s;
        for (const auto& [ms, loud] : parts) s.insert(s.end(), size_t(ms), loud ? 0.5f : 0.0f);
        return s;
    };
    const struct { std::vector<float> speech; std::vector<long> starts; std::vector<std::pair<long, long>> want; } cases[] = {
        {speech({{200, true}, {50, false}, {200, true}, {300, false}, {200, true}, {50, false}}), {0, 220, 750},
         {{0, 220}, {220, 450}, {750, 950}}},
        {speech({{30, false}, {200, true}, {100, false}, {200, true}}), {0, 280}, {{30, 280}, {280, 530}}},
        {speech({{200, true}, {300, false}, {200, true}}), {0, 250, 300}, {{0, 200}, {250, 300}, {500, 700}}},
    };
    for (size_t c = 0; c < std::size(cases); ++c)
        EXPECT_EQ(wordSounds(cases[c].speech, cases[c].starts, rate), cases[c].want) << "case " << c;
}

TEST(MakeScript, BadInputIsReportedAndNothingWritten) {
    QTemporaryDir dir;
    SpokenRecording rec, silence;
    silence.addSilence(3);
    const QString wav = dir.filePath(kWave), text = dir.filePath("r.txt");
    auto in = [&](const char* name) { return dir.filePath(name); };
    ASSERT_TRUE(prepare(dir, rec, "espeak:en-gb:140"));
    ASSERT_TRUE(silence.writeWave(in("silent.wav")) && writeFile(in("noise.wav"), std::string(5000, 'x')) &&
                writeFile(in("empty.txt"), "\n  \n\n") && writeFile(in("latin1.txt"), "Caf\xe9 au lait.\n"));
    // A page made by hand beside a recording of its own, a recording whose name holds '#', a link to the recording.
    const std::string handMade = "<html><body>mine</body></html>";
    ASSERT_TRUE(QFile::copy(wav, in("mine.wav")) && writeFile(in("mine.htm"), handMade) && QFile::copy(wav, in("r#2.wav")) &&
                QFile::link(wav, in("link.htm")));
    const std::string wavBytes = readFile(wav), textBytes = readFile(text);
    const struct { QStringList args; int exitCode; const char* message; } cases[] = {
        {{wav, in("empty.txt")}, 1, "holds no text to align"},       {{wav, in("latin1.txt")}, 1, "is not UTF-8 text"},
        {{wav, in("missing.txt")}, 1, "Could not open"},            {{in("missing.wav"), text}, 1, "Could not open"},
        {{in("silent.wav"), text}, 1, "No speech found in"},        {{in("noise.wav"), text}, 1, "is not a WAV (PCM) or MPEG audio file"},
        {{wav, text, "--lang", "xx-nowhere"}, 1, "no voice for the language 'xx-nowhere'"},
        {{wav, text, "--skip", "600"}, 1, "lies past the end of the recording"},
        {{wav, text, "--skip", QString::number(rec.end(3) + 0.1)}, 1, "No speech found in"},
        {{wav, text, "-o", in("no/such/folder/p.htm")}, 1, "Could not write"},
        {{in("r#2.wav"), text}, 1, "holds the character '#'"},      {{in("mine.wav"), text}, 1, "was not made by Make Script"},
        {{wav, text, "-o", wav}, 1, "would replace the recording"}, {{wav, text, "-o", dir.path() + "/./r.txt"}, 1, "would replace the text"},
        {{wav, text, "-o", in("link.htm")}, 1, "would replace the recording"},
        {{wav}, 2, "usage: parlotype --make-script"},  {{wav, text, "--skip", "soon"}, 2, "usage: parlotype --make-script"},
        {{wav, text, "--colour"}, 2, "usage: parlotype --make-script"},
    };
    for (const auto& c : cases) {
        const Outcome r = parlotype(QStringList{"--make-script"} + c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.message) && r.out.isEmpty()) << r.err.toStdString();
    }
    // With no folder for its temporary file, Make Script says so and writes no page.
    const QByteArray tmp = qgetenv("TMPDIR");
    for (const auto& [folder, message] : {std::pair{in("no/such/folder"), QString("The temporary folder '%1' (TMPDIR) does not exist")},
                                          std::pair{text, QString("Could not create a temporary file in '%1': ")}}) {
        qputenv("TMPDIR", folder.toLocal8Bit());
        const Outcome r = parlotype({"--make-script", wav, text});
        EXPECT_TRUE(r.exitCode == 1 && r.err.contains(message.arg(folder)) && r.out.isEmpty()) << r.err.toStdString();
    }
    tmp.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", tmp);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 10) << "only the inputs: no page, no temporary file";
    EXPECT_TRUE(readFile(wav) == wavBytes && readFile(text) == textBytes && readFile(in("mine.htm")) == handMade);
    // --force replaces the hand-made page; the page made then is replaced without it.
    for (const QStringList& extra : {QStringList{"--force"}, QStringList{}})
        EXPECT_EQ(parlotype(QStringList{"--make-script", in("mine.wav"), text} + extra).exitCode, 0) << extra.join(' ').toStdString();
    EXPECT_EQ(readPageItems(in("mine.htm")).size(), 4u);
}

TEST(MakeScript, CancelStopsTheReading) {
    // Cancelled as the work starts, the aligner says so without reading the recording through.
    QTemporaryDir dir;
    const QString wav = dir.filePath("r.wav"), mp3 = dir.filePath("r.mp3");
    ASSERT_TRUE(writeFile(wav, waveFile(1, 16000, 16, pcmBytes(sweep(16000, 1, 20)))) && encodeMp3(wav, mp3, {}));
    for (const QString& recording : {wav, mp3}) {
        Aligner aligner;
        aligner.setInput(recording, {"A line."}, "en", 0);
        QList<int> progress;
        QObject::connect(&aligner, &Aligner::progress, [&](int percent) { progress << percent, aligner.cancel(); });
        EXPECT_EQ(aligner.run(), Aligner::Result::Cancelled);
        EXPECT_EQ(progress, QList<int>{0}) << recording.toStdString();
        EXPECT_EQ(aligner.recordingSeconds(), 0.0);
    }
}

TEST(MakeScript, LongLineIsSpokenInPiecesAndStaysOneItem) {
    // At most 20 characters: after a sentence's end in the second half, else at a space, else anywhere.
    const struct { QString text; QStringList pieces; } cases[] = {
        {"Short enough.", {"Short enough."}},
        {"The cat sat down. It slept on the mat.", {"The cat sat down.", "It slept on the mat."}},
        {"He said \"go now.\" Then he left us.", {"He said \"go now.\"", "Then he left us."}},
        {"Go. one two three four five", {"Go. one two three", "four five"}},
        {"one two three four five six seven", {"one two three four", "five six seven"}},
        {"abcdefghijklmnopqrstuvwxyz", {"abcdefghijklmnopqrst", "uvwxyz"}},
        {"\u4e00\u4e8c\u4e09\u56db\u4e94\u516d\u4e03\u516b\u4e5d\u5341\u4e00\u4e8c\u3002\u4e09\u56db\u4e94\u516d\u4e03\u516b\u4e5d\u5341",
         {"\u4e00\u4e8c\u4e09\u56db\u4e94\u516d\u4e03\u516b\u4e5d\u5341\u4e00\u4e8c\u3002", "\u4e09\u56db\u4e94\u516d\u4e03\u516b\u4e5d\u5341"}},
    };
    for (const auto& c : cases) EXPECT_EQ(speechPieces(c.text, 20), c.pieces) << c.text.toStdString();

    // A line longer than is spoken at once (400 characters) stays one item,
    // from its first word to its last, every word where it was spoken. Over
    // 40 s, the warping path is refined from coarser levels.
    QTemporaryDir dir;
    SpokenRecording rec;
    QStringList line;
    ASSERT_TRUE(rec.addSentence(kSentences[0], "espeak:en-gb:140", 0.5));
    constexpr int kParts = 16;
    for (int i = 0; i < kParts; ++i) {
        line << kSentences[1 + i % 3];
        ASSERT_TRUE(rec.addSentence(line.last(), "espeak:en-gb:140", 0.4 + 0.05 * (i % 4)));
    }
    rec.addSilence(0.5);
    ASSERT_TRUE(rec.writeWave(dir.filePath("long.wav")) &&
                writeFile(dir.filePath("long.txt"), (kSentences[0] + "\n\n" + line.join(' ') + '\n').toStdString()));
    const Outcome r = parlotype({"--make-script", dir.filePath("long.wav"), dir.filePath("long.txt")});
    const auto items = readPageItems(dir.filePath("long.htm"));
    ASSERT_TRUE(r.exitCode == 0 && items.size() == 2 && rec.end(kParts) > 45) << r.err.toStdString() << rec.end(kParts);
    EXPECT_NEAR(items[1].start, rec.start(1), 0.08);
    EXPECT_NEAR(items[1].end, rec.end(kParts), 0.08);
    const auto words = readPageWords(QByteArray::fromStdString(readFile(dir.filePath("long.htm"))));
    ASSERT_EQ(words.size(), 2u);
    size_t k = 0;
    for (int part = 1; part <= kParts; ++part)
        for (const auto& [start, end] : rec.words(part)) {
            ASSERT_LT(k, words[1].words.size());
            const PageWord& said = words[1].words[k++];
            EXPECT_TRUE(std::isnan(start) || std::abs(said.start - start) < 0.08) << "part " << part << " word " << said.text.toStdString();
            EXPECT_TRUE(std::isnan(end) || std::abs(said.end - end) < 0.08) << "part " << part << " word " << said.text.toStdString();
        }
    EXPECT_EQ(k, words[1].words.size());
}

// A recording longer than is matched at once (six minutes), read much faster
// than the aligner's synthetic voice speaks: every line is found where it was
// read, none stretched over its successors' speech.
TEST(MakeScript, FastReadingLongerThanAWindowIsFollowed) {
    // Pauses between lines, the shortest first: at 0.1 s the first window's
    // matches put the reader under 0.65 of the synthetic voice's length.
    for (const double pause : {0.1, 0.3}) {
        SCOPED_TRACE(pause);
        QTemporaryDir dir;
        SpokenRecording rec;
        QStringList lines;
        for (int i = 0; rec.seconds() < 400; ++i) {
            lines << QString("Part %1. %2").arg(i + 1).arg(kSentences[1 + i % 3]);
            ASSERT_TRUE(rec.addSentence(lines.last(), "espeak:en-gb:280", pause + 0.1 * (i % 3)));
        }
        rec.addSilence(0.5);
        rec.addNoise(30);
        ASSERT_TRUE(rec.writeWave(dir.filePath("fast.wav")) && writeFile(dir.filePath("fast.txt"), lines.join("\n\n").toStdString()));
        const Outcome r = parlotype({"--make-script", dir.filePath("fast.wav"), dir.filePath("fast.txt")});
        const auto items = readPageItems(dir.filePath("fast.htm"));
        ASSERT_TRUE(r.exitCode == 0 && items.size() == size_t(lines.size())) << r.err.toStdString();
        int off = 0;
        for (int i = 0; i < lines.size(); ++i) {
            const bool near = items[size_t(i)].found && !items[size_t(i)].unsure && std::abs(items[size_t(i)].start - rec.start(i)) < 0.08 &&
                              std::abs(items[size_t(i)].end - rec.end(i)) < 0.08;
            off += near ? 0 : 1;
            EXPECT_TRUE(near) << "line " << i + 1 << ": " << items[size_t(i)].start << "-" << items[size_t(i)].end << ", read "
                              << rec.start(i) << "-" << rec.end(i);
            if (off > 5) break;
        }
    }
}

// The page read back by the window's own item scan: with markup characters in
// the text and recordings named with spaces, '%', quotes and letters beyond
// ASCII, every link leads to the recording and to the item it names.
TEST(MakeScript, EveryLinkLeadsToTheItemItNames) {
    const QStringList lines = {"Cats & Dogs <at home>", "The \"little\" cat sat on the warm mat.",
                               "Nobody saw it leave, didn't they?", "In the morning, the bowl of milk was empty again."};
    QTemporaryDir dir;
    SpokenRecording rec;
    for (const QString& line : lines) ASSERT_TRUE(rec.addSentence(line, "espeak:en-gb:140", 0.5));
    rec.addSilence(0.5);
    const QString text = dir.filePath("t.txt"), page = dir.filePath("page.htm");
    ASSERT_TRUE(writeFile(text, (lines[0] + "\n\n" + lines[1] + "\n\n" + lines.mid(2).join('\n') + '\n').toStdString()));
    for (const QString name : {"so 100%41 \"off\" it's.wav", "Grüße aus Köln.wav"}) {
        SCOPED_TRACE(name.toStdString());
        const QString wav = dir.filePath(name);
        ASSERT_TRUE(rec.writeWave(wav));
        const Outcome r = parlotype({"--make-script", wav, text, "-o", page});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        const QByteArray html = QByteArray::fromStdString(readFile(page));
        // Each line's words, markup characters and all, read back from the page's word markup.
        const auto words = readPageWords(html);
        ASSERT_EQ(words.size(), size_t(lines.size()));
        for (int i = 0; i < lines.size(); ++i) {
            QStringList texts;
            for (const PageWord& word : words[size_t(i)].words) texts << word.text;
            EXPECT_EQ(texts.join(' '), lines[i]);
        }
        MemoryByteStream stream(html);
        AudioItem items[8];
        const int n = scanItemsFromStream(stream, QUrl::fromLocalFile(page).toString(QUrl::FullyEncoded), wav, items, 8);
        const auto links = readPageItems(page);
        ASSERT_TRUE(n == 4 && links.size() == 4u) << n << " items scanned\n" << html.toStdString();
        for (int i = 0; i < n; ++i) {
            const AudioItem& item = items[findCurrentItem(items, n, links[size_t(i)].start)];
            EXPECT_EQ(std::tuple(QString(item.name), item.start, item.end),
                      std::tuple(QString("s%1").arg(i + 1), links[size_t(i)].start, links[size_t(i)].end));
            EXPECT_NEAR(item.start, rec.start(i), 0.08) << "item " << i + 1;
        }
    }
}

// A rate no recording has is a damaged or crafted header: refused as not audio,
// while the lowest and highest plausible rates are read.
TEST(MakeScript, ImplausibleSampleRatesAreRefused) {
    QTemporaryDir dir;
    const QString text = dir.filePath("r.txt");
    ASSERT_TRUE(writeFile(text, "A title\n"));
    const char* notAudio = "is not a WAV (PCM) or MPEG audio file";
    const struct { uint32_t rate; const char* message; } cases[] = {
        {0xFFFFFFFF, notAudio}, {0x80000000, notAudio}, {1, notAudio}, {999, notAudio}, {384001, notAudio},
        {1000, "No speech found in"}, {384000, "No speech found in"},
    };
    for (const auto& c : cases) {
        const QString wav = dir.filePath(QString::number(c.rate) + ".wav");
        ASSERT_TRUE(writeFile(wav, waveFile(1, c.rate, 16, std::string(1 << 17, '\0'))));
        const Outcome r = parlotype({"--make-script", wav, text});
        EXPECT_TRUE(r.exitCode == 1 && r.err.contains(c.message)) << c.rate << ": " << r.exitCode << " " << r.err.toStdString();
    }
    EXPECT_TRUE(QDir(dir.path()).entryList({"*.htm"}, QDir::Files).isEmpty());
}

// Speech said again: a line the reader reads twice or three times (the last
// reading is the line's, the others speech not in the text, even after a
// line too short to place by its sound alone), and a line the text itself
// says twice (a drill: both readings are items).
TEST(MakeScript, LinesSaidAgain) {
    // reads: the lines in the order read, a negative one read but not in the text (-1 - line);
    // lead: lines of other words read first, past 40 s, so that the path is found coarse to fine.
    const struct { QString voice; QStringList lines; std::vector<int> reads; int extra, lead = 0; } cases[] = {
        {"flite:kal16", {"The boats came home.", "Where to?", "Snow fell on the quiet village all night.", "Nobody came."},
         {0, 1, -3, 2, 3}, 1, 16},
        {"flite:slt", {"The boats came home.", "Of through tall.", "Old bright losses watched the river.", "Father hills about windows under north."},
         {0, 1, -3, -3, 2, 3}, 1},
        {"flite:kal16", {"The boats came home.", "Where to?", "Snow fell on the quiet village all night.", "Nobody came."},
         {0, 1, -3, 2, 3}, 1},
        {"espeak:en-gb:150", {"The boats came home.", "Nobody came.", "In the morning, the bowl of milk, still warm, was empty again.", "Father hills about windows under north."},
         {0, 1, -3, 2, 3}, 1},  // a reading with pauses in it
        {"flite:rms", {"The boats came home.", "Short line.", "Short line.", "Father hills about windows under north."},
         {0, 1, 2, 3}, 0},
        {"espeak:en-gb:150", {"Listen and repeat.", "Where is the station?", "Where is the station?", "It is near the river."},
         {0, 1, 2, 3}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.voice.toStdString() + ": " + c.lines.join(' ').toStdString() + " after " + std::to_string(c.lead));
        QTemporaryDir dir;
        SpokenRecording rec;
        QStringList lines;
        std::mt19937 gen(5);
        const QStringList words = QString("river carried small boats past old houses where children played under tall green trees "
                                          "while their mother baked bread and father mended nets for next week").split(' ');
        for (int i = 0; i < c.lead; ++i) {
            QString line;
            for (int w = 0; w < 8; ++w) line += (w ? " " : "") + words[int(gen() % words.size())];
            ASSERT_TRUE(rec.addSentence(lines.emplace_back(line + '.'), c.voice, 0.5));
        }
        lines += c.lines;
        for (int line : c.reads) ASSERT_TRUE(rec.addSentence(c.lines[line < 0 ? -1 - line : line], c.voice, 0.5, line >= 0));
        rec.addSilence(0.5);
        rec.addNoise(30);
        ASSERT_TRUE(rec.writeWave(dir.filePath("r.wav")) && writeFile(dir.filePath("r.txt"), lines.join('\n').toStdString() + '\n'));
        const Outcome r = parlotype({"--make-script", dir.filePath("r.wav"), dir.filePath("r.txt")});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(int(r.err.count("speech not in the text: ")), c.extra) << r.err.toStdString();
        const auto items = readPageItems(dir.filePath("r.htm"));
        ASSERT_TRUE(items.size() == size_t(lines.size()) && rec.seconds() > 40 * (c.lead > 0)) << rec.seconds();
        for (int i = 0; i < int(items.size()); ++i) {
            EXPECT_TRUE(items[size_t(i)].found && !items[size_t(i)].unsure) << "item " << i + 1 << r.err.toStdString();
            EXPECT_NEAR(items[size_t(i)].start, rec.start(i), 0.08) << "item " << i + 1;
            EXPECT_NEAR(items[size_t(i)].end, rec.end(i), 0.08) << "item " << i + 1;
        }
    }
}

}  // namespace
