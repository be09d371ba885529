// SPDX-License-Identifier: GPL-3.0-or-later
// Make Script: accuracy, CPU time and memory of `parlotype --make-script` on
// recordings it has never heard: about 100 sentences of 2 to 35 words spoken
// by flite's voices (not the aligner's espeak-ng), pauses of 0.1 to 1.5 s,
// white noise, about 8 minutes. The true edges are known from the joining.
// Goals: start and end errors median <= 20 ms, 95th percentile <= 60 ms,
// largest <= 300 ms; <= 2 s CPU for 8 minutes, linear in length; <= 150 MB.
// Needs flite and sox. Run: build/bench/bench_align
#include "common/spoken_recording.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

using testaudio::SpokenRecording;

namespace {

const bool verbose = qEnvironmentVariableIsSet("BENCH_VERBOSE");  // lists the items off by more than 60 ms

const char* const kWords[] = {
    "the", "morning", "river", "carried", "small", "boats", "past", "old", "houses", "where", "children",
    "played", "quietly", "under", "tall", "green", "trees", "while", "their", "mother", "baked", "bread",
    "and", "father", "mended", "nets", "for", "next", "week", "when", "fishermen", "would", "sail", "north",
    "toward", "distant", "islands", "covered", "with", "snow", "every", "winter", "brought", "storms",
    "that", "shook", "windows", "a", "traveller", "asked", "stranger", "about", "road", "to", "market",
    "town", "beyond", "hills", "nobody", "knew", "answer", "so", "he", "walked", "alone", "through",
    "fields", "of", "golden", "wheat", "singing", "songs", "his", "grandmother", "taught", "him", "long",
    "ago", "near", "sea", "bright", "stars", "shone", "above", "village", "dogs", "barked", "at", "moon",
    "clever", "fox", "watched", "from", "bushes", "hungry", "patient", "silent", "merchants", "counted",
    "silver", "coins", "in", "candle", "light", "thinking", "profits", "losses", "tomorrow", "perhaps",
    "rain", "will", "come", "again", "gardens", "need", "water", "flowers", "bloom", "spring",
};
const char* const kVoices[] = {"flite:slt", "flite:rms", "flite:awb", "flite:kal16", "flite:kal"};
constexpr int kSentences = 100;


QStringList MakeSentences(std::mt19937& gen) {
    // 2 to 35 words, short ones more often, as in most texts: 13 on average.
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::uniform_int_distribution<int> word(0, int(std::size(kWords)) - 1);
    QStringList out;
    for (int s = 0; s < kSentences; ++s) {
        QString text;
        for (int n = 2 + int(34 * u(gen) * u(gen)), w = 0; w < n; ++w) text += QLatin1String(w ? " " : "") + QLatin1String(kWords[word(gen)]);
        text[0] = text[0].toUpper();
        out.append(text + QLatin1Char('.'));
    }
    return out;
}

// The recording of `sentences` (all but `skip`), paragraphs of five.
bool Speak(const QStringList& sentences, std::mt19937 gen, SpokenRecording& rec, int skip = -1) {
    std::uniform_real_distribution<double> pause(0.1, 1.5);
    for (int i = 0; i < sentences.size(); ++i) {
        const double gap = i == 0 ? 0.5 : pause(gen);
        if (i == skip) rec.addSilence(gap);
        else if (!rec.addSentence(sentences[i], QLatin1String(kVoices[i % std::size(kVoices)]), gap)) return false;
    }
    rec.addSilence(0.5);
    return true;
}

bool WriteText(const QString& path, const QStringList& sentences) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    QTextStream out(&f);
    for (int i = 0; i < sentences.size(); ++i) out << sentences[i] << (i % 5 == 4 ? "\n\n" : "\n");
    return true;
}

struct Run {
    bool ok = false;
    double cpu = 0, peakMb = 0;
};

// Runs a program and prints its CPU seconds and peak memory (kB) from the
// kernel. Done by a fresh copy of this benchmark (`--measure PROGRAM ARGS...`):
// a child forked from the benchmark itself would count the benchmark's own
// memory in its peak.
int Measure(char** argv) {
    const pid_t pid = fork();
    if (pid == 0) {
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        execv(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    rusage use{};
    wait4(pid, &status, 0, &use);
    const double cpu = double(use.ru_utime.tv_sec + use.ru_stime.tv_sec) + (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
    std::printf("%d %.3f %ld\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1, cpu, use.ru_maxrss);
    return 0;
}

Run MakeScript(const QString& wav, const QString& text, const QString& page) {
    QProcess measure;
    measure.start(QCoreApplication::applicationFilePath(),
                  {"--measure", PARLOTYPE_BINARY_DIR "/parlotype", "--make-script", wav, text, "-o", page});
    measure.waitForFinished(-1);
    const QStringList fields = QString::fromLatin1(measure.readAllStandardOutput()).split(' ');
    Run r;
    r.ok = fields.size() == 3 && fields[0] == "0";
    r.cpu = fields.value(1).toDouble();
    r.peakMb = fields.value(2).toDouble() / 1024.0;
    return r;
}

// Compares the page with the truth (times scaled by `scale`), leaving out item `skip`.
void Report(const char* name, const QString& page, const SpokenRecording& truth, double scale, const Run& run,
            double seconds, int skip = -1) {
    const auto items = testaudio::ReadPageItems(page);
    std::vector<double> errors;
    int unsure = 0, truthAt = 0;
    for (int i = 0; i < int(items.size()); ++i) {
        unsure += items[size_t(i)].unsure;
        if (i == skip) continue;
        if (truthAt >= truth.count()) break;
        if (verbose && std::max(std::abs(items[size_t(i)].start - truth.start(truthAt) * scale),
                                std::abs(items[size_t(i)].end - truth.end(truthAt) * scale)) > 0.06)
            std::printf("  item %d: %.2f-%.2f, true %.2f-%.2f%s\n", i + 1, items[size_t(i)].start, items[size_t(i)].end,
                        truth.start(truthAt) * scale, truth.end(truthAt) * scale, items[size_t(i)].unsure ? " (unsure)" : "");
        errors.push_back(std::abs(items[size_t(i)].start - truth.start(truthAt) * scale));
        errors.push_back(std::abs(items[size_t(i)].end - truth.end(truthAt) * scale));
        ++truthAt;
    }
    if (!run.ok || errors.empty()) {
        std::printf("%-26s FAILED\n", name);
        return;
    }
    std::sort(errors.begin(), errors.end());
    auto at = [&](double q) { return 1000 * errors[std::min(errors.size() - 1, size_t(q * double(errors.size())))]; };
    std::printf("%-26s %6.1f min %4zu items %3d unsure  median %4.0f ms  p95 %4.0f ms  max %5.0f ms  "
                "CPU %5.2f s (%4.0fx)  peak %4.0f MB%s\n",
                name, seconds / 60, items.size(), unsure, at(0.5), at(0.95), 1000 * errors.back(), run.cpu,
                seconds / run.cpu, run.peakMb,
                skip >= 0 ? (items[size_t(skip)].unsure ? "  (skipped line marked unsure)" : "  (skipped line NOT marked)") : "");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "--measure") == 0) return Measure(argv + 2);
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    std::mt19937 gen(2026);
    const QStringList sentences = MakeSentences(gen);
    SpokenRecording clean;
    std::printf("speaking %d sentences with flite...\n", kSentences);
    std::fflush(stdout);
    if (!Speak(sentences, gen, clean)) return std::puts("flite failed (is it installed?)"), 1;
    const QString text = dir.filePath("text.txt"), page = dir.filePath("page.htm");
    WriteText(text, sentences);

    // An argument picks the variants whose name holds it.
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    auto variant = [&](const char* name, SpokenRecording rec, double snr, double tempo, const QString& textFile,
                       int skip = -1) {
        if (!QString::fromLatin1(name).contains(only)) return;
        rec.addNoise(snr);
        QString wav = dir.filePath("rec.wav");
        rec.writeWave(wav);
        if (tempo != 1.0) {
            const QString slow = dir.filePath("tempo.wav");
            QProcess::execute("sox", {wav, slow, "tempo", "-s", QString::number(tempo)});
            wav = slow;
        }
        Report(name, page, rec, 1.0 / tempo, MakeScript(wav, textFile, page), rec.seconds() / tempo, skip);
    };
    variant("30 dB SNR", clean, 30, 1.0, text);
    variant("20 dB SNR", clean, 20, 1.0, text);
    variant("30 dB, tempo 0.9", clean, 30, 0.9, text);
    variant("30 dB, tempo 1.1", clean, 30, 1.1, text);

    SpokenRecording announced;
    announced.addSentence("Welcome to this recording. The following reading was made for the Parlotype benchmark. "
                          "Please listen carefully, and follow the text on the page as it is read to you. "
                          "The reading begins after this short announcement.", "flite:awb", 0, false);
    announced.addSilence(1.0);
    Speak(sentences, gen, announced);
    variant("15 s announcement first", announced, 30, 1.0, text);

    const int skipped = 40;
    SpokenRecording missing;
    Speak(sentences, std::mt19937(2026), missing, skipped);
    variant("line 41 not read", missing, 30, 1.0, text, skipped);

    QStringList four;
    SpokenRecording longer;
    for (int k = 0; k < 4; ++k) four += sentences, Speak(sentences, gen, longer);
    const QString longText = dir.filePath("long.txt");
    WriteText(longText, four);
    variant("4 x length, 30 dB", longer, 30, 1.0, longText);
    return 0;
}
