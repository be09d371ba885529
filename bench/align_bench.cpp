// SPDX-License-Identifier: GPL-3.0-or-later
// Make Script: accuracy, CPU time and memory of `parlotype --make-script` on
// recordings it has never heard: about 100 sentences of 2 to 35 words spoken
// mostly by another synthesizer than the aligner's (flite's slt, rms, awb and
// kal16, and one Scottish espeak-ng voice), pauses of 0.1 to 1.5 s, white
// noise 30 dB down, about 8 minutes. The true edges of lines are known from
// the joining, those of words from the synthesizer's own segment times.
// Goals: word edges off by median <= 20 ms, 95th percentile <= 60 ms, largest
// <= 300 ms; line edges median <= 4 ms, p95 <= 37 ms, largest <= 218 ms; with
// 20 lines each left out, read twice and sentences not in the text: >= 95 %
// of left-out lines reported not found, >= 95 % of the extra speech over 1 s
// reported, <= 1 % of the lines read as written reported as anything but
// aligned, no item of zero length or over a neighbour's speech; the text read
// 4 and 8 times over (exactly repeated) all found; CPU linear in length
// (<= 3 min for 10 hours), memory flat.
// Run: build/bench/bench_align [VARIANT] (a part of a variant's name).
#include "align/aligner.h"
#include "align/script_page.h"
#include "common/spoken_recording.h"
#include "common/test_audio.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
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
#include <thread>

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
const char* const kVoices[] = {"flite:slt", "flite:rms", "flite:awb", "flite:kal16", "espeak:en-gb-scotland+m2:150"};
const char* const kOthers[] = {"Meanwhile, somebody knocked loudly at the kitchen door and asked for the landlord.",
                               "Excuse me, I think I have lost my place on the page; let me start this part again.",
                               "There was a short interruption while the telephone in the next room kept ringing.",
                               "Sorry, could you pass me that glass of water before I carry on reading?",
                               "Wait a moment, a bus is going past outside and nobody can hear a thing."};
constexpr int kSentences = 100;


QStringList makeSentences(std::mt19937& gen) {
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

// What the reader did unlike the text.
struct Changes {
    std::vector<int> leftOut, twice, insertBefore;
};

// The recording of `sentences` with `changes`, paragraphs of five; `extra`
// gets where the speech not in the text lies.
bool speak(const QStringList& sentences, std::mt19937 gen, SpokenRecording& rec, const Changes& changes = {},
           std::vector<std::pair<double, double>>* extra = nullptr) {
    std::uniform_real_distribution<double> pause(0.1, 1.5);
    auto has = [](const std::vector<int>& v, int i) { return std::find(v.begin(), v.end(), i) != v.end(); };
    auto untracked = [&](const QString& text, const char* voice) {
        const double gap = pause(gen), start = rec.seconds() + gap;
        const bool ok = rec.addSentence(text, QLatin1String(voice), gap, false);
        if (extra) extra->emplace_back(start, rec.seconds());
        return ok;
    };
    for (int i = 0; i < sentences.size(); ++i) {
        const char* voice = kVoices[i % std::size(kVoices)];
        const double gap = i == 0 ? 0.5 : pause(gen);
        if (has(changes.insertBefore, i) && !untracked(kOthers[i % std::size(kOthers)], voice)) return false;
        if (has(changes.leftOut, i)) rec.addSilence(gap);
        else if (!rec.addSentence(sentences[i], QLatin1String(voice), gap)) return false;
        if (has(changes.twice, i) && !untracked(sentences[i], voice)) return false;
    }
    rec.addSilence(0.5);
    return true;
}

bool writeText(const QString& path, const QStringList& sentences) {
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
int measure(char** argv) {
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

Run makeScript(const QString& wav, const QString& text, const QString& page) {
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

double at(std::vector<double> v, double q) {
    if (v.empty()) return std::nan("");
    std::sort(v.begin(), v.end());
    return 1000 * v[std::min(v.size() - 1, size_t(q * double(v.size())))];
}

// Compares the page with the truth (times scaled by `scale`).
void report(const char* name, const QString& page, const SpokenRecording& truth, double scale, const Run& run,
            double seconds, const Changes& changes, const std::vector<std::pair<double, double>>& extraTruth) {
    const auto items = testaudio::readPageItems(page);
    const QByteArray html = QByteArray::fromStdString(testaudio::readFile(page));
    QHash<QString, std::vector<PageWord>> words;
    for (const PageItemWords& item : readPageWords(html)) words[item.anchor] = item.words;
    std::vector<double> lineErrors, wordErrors;
    std::vector<std::vector<double>> voiceErrors(std::size(kVoices));  // word edges by the voice that spoke the line
    int wrongState = 0, leftOutFound = 0, read = 0, wordEdges = 0, zeroLength = 0, zeroWords = 0, overNeighbour = 0;
    auto overlap = [](double a0, double a1, double b0, double b1) { return std::min(a1, b1) - std::max(a0, b0) > 0.1; };
    // A line read twice may keep either reading: the other one is the speech not in the text.
    std::vector<std::pair<double, double>> firstReadings;
    for (int i = 0, t = 0; i < int(items.size()); ++i) {
        const testaudio::PageItem& item = items[size_t(i)];
        if (std::find(changes.leftOut.begin(), changes.leftOut.end(), i) != changes.leftOut.end()) {
            leftOutFound += item.found;
            if (verbose && item.found) std::printf("  item %d left out, found at %.2f-%.2f\n", i + 1, item.start, item.end);
            continue;
        }
        if (t >= truth.count()) break;
        const bool twice = std::find(changes.twice.begin(), changes.twice.end(), i) != changes.twice.end();
        if (twice) firstReadings.emplace_back(truth.start(t) * scale, truth.end(t) * scale);
        ++read;
        wrongState += item.unsure || !item.found;
        if (verbose && (item.unsure || !item.found))
            std::printf("  item %d %s: %.2f-%.2f, true %.2f-%.2f\n", i + 1, item.found ? "unsure" : "not found", item.start,
                        item.end, truth.start(t) * scale, truth.end(t) * scale);
        if (item.found) {
            // Another line's speech, or speech not in the text (a line read twice may keep either reading, not both).
            zeroLength += item.end - item.start < 0.01;
            for (const PageWord& w : words.value(QString("s%1").arg(i + 1))) zeroWords += w.end - w.start < 0.01;
            bool over = false;
            for (int u : {t - 1, t + 1})
                over = over || (u >= 0 && u < truth.count() && overlap(item.start, item.end, truth.start(u) * scale, truth.end(u) * scale));
            for (const auto& x : extraTruth)
                over = over || (overlap(item.start, item.end, x.first * scale, x.second * scale) &&
                                (!twice || overlap(item.start, item.end, truth.start(t) * scale, truth.end(t) * scale)));
            overNeighbour += over;
            if (verbose && over) std::printf("  item %d %.2f-%.2f over a neighbour's speech\n", i + 1, item.start, item.end);
        }
        if (item.found && !twice) {  // a line read twice may be either reading
            if (verbose && std::max(std::abs(item.start - truth.start(t) * scale), std::abs(item.end - truth.end(t) * scale)) > 0.06)
                std::printf("  item %d: %.2f-%.2f, true %.2f-%.2f%s\n", i + 1, item.start, item.end, truth.start(t) * scale,
                            truth.end(t) * scale, item.unsure ? " (unsure)" : "");
            lineErrors.push_back(std::abs(item.start - truth.start(t) * scale));
            lineErrors.push_back(std::abs(item.end - truth.end(t) * scale));
            const std::vector<PageWord>& said = words.value(QString("s%1").arg(i + 1));
            for (size_t k = 0; k < said.size() && k < truth.words(t).size(); ++k) {
                const auto [start, end] = truth.words(t)[k];
                wordEdges += 2;
                if (verbose && std::max(std::abs(said[k].start - start * scale), std::abs(said[k].end - end * scale)) > 0.1)
                    std::printf("  item %d word %zu '%s': %.3f-%.3f, true %.3f-%.3f\n", i + 1, k + 1, qPrintable(said[k].text),
                                said[k].start, said[k].end, start * scale, end * scale);
                // Where the synthesizer gave no edge of its own (a word spoken with the one before), none is compared.
                for (const double error : {std::abs(said[k].start - start * scale), std::abs(said[k].end - end * scale)})
                    if (!std::isnan(error)) wordErrors.push_back(error), voiceErrors[size_t(i) % std::size(kVoices)].push_back(error);
            }
        }
        ++t;
    }
    // Speech not in the text as the page marks it.
    static const QRegularExpression marker(QStringLiteral("speech not in the text: (\\d+):(\\d+\\.\\d)\u2013(\\d+):(\\d+\\.\\d)"));
    std::vector<std::pair<double, double>> reported;
    for (const auto& m : marker.globalMatch(QString::fromUtf8(html)))
        reported.emplace_back(m.captured(1).toInt() * 60 + m.captured(2).toDouble(), m.captured(3).toInt() * 60 + m.captured(4).toDouble());
    if (verbose) {
        for (const auto& r : reported) std::printf("  reported extra %.1f-%.1f\n", r.first, r.second);
        for (const auto& x : extraTruth) std::printf("  true extra %.1f-%.1f\n", x.first * scale, x.second * scale);
    }
    auto overlaps = [](std::pair<double, double> a, std::pair<double, double> b) { return a.first < b.second && b.first < a.second; };
    int extraFound = 0, extraLong = 0, falseExtra = 0;
    for (auto x : extraTruth) {
        x = {x.first * scale, x.second * scale};
        if (x.second - x.first <= 1.0) continue;  // only speech over a second must be reported
        ++extraLong;
        auto first = std::find_if(firstReadings.begin(), firstReadings.end(), [&](auto f) { return x.first >= f.second && x.first - f.second < 1.6 * scale; });
        extraFound += std::any_of(reported.begin(), reported.end(), [&](auto r) {
            return overlaps(r, x) || (first != firstReadings.end() && overlaps(r, *first));
        });
    }
    for (const auto& r : reported)
        falseExtra += std::none_of(extraTruth.begin(), extraTruth.end(), [&](auto x) { return overlaps(r, {x.first * scale, x.second * scale}); }) &&
                      std::none_of(firstReadings.begin(), firstReadings.end(), [&](auto f) { return overlaps(r, f); });
    if (!run.ok || lineErrors.empty()) {
        std::printf("%-26s FAILED\n", name);
        return;
    }
    std::printf("%-26s %6.1f min %4zu items  CPU %6.2f s (%4.0fx)  peak %4.0f MB\n", name, seconds / 60, items.size(), run.cpu,
                seconds / run.cpu, run.peakMb);
    std::printf("    lines: median %3.0f ms  p95 %3.0f ms  max %4.0f ms;  words: median %3.0f ms  p95 %3.0f ms  max %4.0f ms "
                "(%zu of %d edges timed by the synthesizer)\n",
                at(lineErrors, 0.5), at(lineErrors, 0.95), at(lineErrors, 1.0), at(wordErrors, 0.5), at(wordErrors, 0.95),
                at(wordErrors, 1.0), wordErrors.size(), wordEdges);
    std::printf("    words by voice, p95:");
    for (size_t v = 0; v < std::size(kVoices); ++v) std::printf(" %s %.0f ms", kVoices[v], at(voiceErrors[v], 0.95));
    std::printf("\n    read lines not aligned %d of %d;  left out reported not found %d of %zu;  extra speech over 1 s reported %d of %d, "
                "%d reports of none;  items of zero length %d (words %d), over a neighbour's speech %d\n",
                wrongState, read, int(changes.leftOut.size()) - leftOutFound, changes.leftOut.size(), extraFound,
                extraLong, falseExtra, zeroLength, zeroWords, overNeighbour);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "--measure") == 0) return measure(argv + 2);
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (qEnvironmentVariableIsSet("BENCH_KEEP"))  // keeps the last variant's recording, text and page to look at
        dir.setAutoRemove(false), std::printf("files in %s\n", qPrintable(dir.path()));
    // BENCH_SEED draws other sentences, pauses and noise (the figures quoted are for 2026).
    const unsigned seed = qEnvironmentVariableIsSet("BENCH_SEED") ? qEnvironmentVariable("BENCH_SEED").toUInt() : 2026;
    std::mt19937 gen(seed);
    const QStringList sentences = makeSentences(gen);
    SpokenRecording clean;
    std::printf("speaking %d sentences with flite and espeak-ng...\n", kSentences);
    std::fflush(stdout);
    if (!speak(sentences, gen, clean)) return std::puts("the synthesizer failed"), 1;
    const QString text = dir.filePath("text.txt"), page = dir.filePath("page.htm");
    writeText(text, sentences);

    // An argument picks the variants whose name holds it.
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    auto variant = [&](const char* name, SpokenRecording rec, double snr, double tempo, const QString& textFile,
                       const Changes& changes = {}, const std::vector<std::pair<double, double>>& extra = {}) {
        if (!QString::fromLatin1(name).contains(only)) return;
        rec.addNoise(snr);
        QString wav = dir.filePath("rec.wav");
        rec.writeWave(wav);
        if (tempo != 1.0) {
            const QString slow = dir.filePath("tempo.wav");
            QProcess::execute("sox", {wav, slow, "tempo", "-s", QString::number(tempo)});
            wav = slow;
        }
        report(name, page, rec, 1.0 / tempo, makeScript(wav, textFile, page), rec.seconds() / tempo, changes, extra);
        std::fflush(stdout);
    };
    variant("30 dB SNR", clean, 30, 1.0, text);
    variant("30 dB, tempo 0.9", clean, 30, 0.9, text);
    variant("20 dB SNR", clean, 20, 1.0, text);  // noisier than the targets ask

    SpokenRecording announced;
    std::vector<std::pair<double, double>> announcement{{0, 0}};
    announced.addSentence("Welcome to this recording. The following reading was made for the Parlotype benchmark. "
                          "Please listen carefully, and follow the text on the page as it is read to you. "
                          "The reading begins after this short announcement.", "espeak:en-gb-x-rp:170", 0, false);
    announcement[0].second = announced.seconds();
    announced.addSilence(1.0);
    speak(sentences, gen, announced);
    variant("15 s announcement first", announced, 30, 1.0, text, {}, announcement);

    // A text twice as long, another 100 sentences after these: 20 lines left
    // out, 20 read twice, 20 sentences not in the text, apart from each other.
    std::mt19937 more(seed - 2026 + 7);  // 7 with the default seed
    const QStringList doubled = sentences + makeSentences(more);
    const QString longerText = dir.filePath("longer.txt");
    writeText(longerText, doubled);
    Changes changes;
    for (int k = 0; k < 20; ++k)
        changes.leftOut.push_back(3 + 10 * k), changes.twice.push_back(6 + 10 * k), changes.insertBefore.push_back(9 + 10 * k);
    SpokenRecording changed;
    std::vector<std::pair<double, double>> extra;
    speak(doubled, std::mt19937(seed), changed, changes, &extra);
    variant("lines left out, twice, extra", changed, 30, 1.0, longerText, changes, extra);

    // Cancel: the aligner in this process, cancelled at several moments of its work on the first variant.
    if (QString("cancel").contains(only)) {
        SpokenRecording rec = clean;
        rec.addNoise(30);
        const QString wav = dir.filePath("cancel.wav");
        rec.writeWave(wav);
        double worst = 0;
        for (int ms : {50, 200, 400, 600, 800, 1000, 1200, 1400}) {
            Aligner aligner;
            aligner.setInput(wav, sentences, "en", 0);
            Aligner::Result result = Aligner::Result::Ok;
            std::thread worker([&] { result = aligner.run(); });
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            QElapsedTimer clock;
            clock.start();
            aligner.cancel();
            worker.join();
            const double took = clock.nsecsElapsed() / 1e6;
            std::printf("  cancelled after %4d ms: %s, returned in %.1f ms\n", ms,
                        result == Aligner::Result::Cancelled ? "cancelled" : "already done", took);
            if (result == Aligner::Result::Cancelled) worst = std::max(worst, took);
        }
        std::printf("cancel: slowest return %.1f ms\n", worst);
    }

    // Longer readings for the CPU time and memory: the text 4 and 8 times over
    // (BENCH_LONG=4,8,24 adds about three hours).
    QList<int> lengths{4, 8};
    if (qEnvironmentVariableIsSet("BENCH_LONG")) {
        lengths.clear();
        for (const QString& n : qEnvironmentVariable("BENCH_LONG").split(',')) lengths << n.toInt();
    }
    for (int times : lengths) {
        const QString name = QString("%1 x length, 30 dB").arg(times);
        if (!name.contains(only)) continue;
        QStringList many;
        SpokenRecording longer;
        for (int k = 0; k < times; ++k) many += sentences, speak(sentences, gen, longer);
        const QString longText = dir.filePath("long.txt");
        writeText(longText, many);
        variant(name.toLatin1().constData(), longer, 30, 1.0, longText);
    }
    return 0;
}
