// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/make_script_command.h"

#include "align/aligner.h"
#include "align/script_page.h"
#include "align/script_text.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>

#include <unistd.h>

namespace {

class MakeScriptArgs {
public:
    bool parse(const QStringList& args) {
        QStringList files;
        for (int i = 0; i < args.size(); ++i) {
            const QString& arg = args[i];
            const bool hasValue = i + 1 < args.size();
            if (arg == QLatin1String("-o") && hasValue) m_page = args[++i], m_pageGiven = true;
            else if (arg == QLatin1String("--force")) m_force = true;
            else if (arg == QLatin1String("--lang") && hasValue) m_language = args[++i];
            else if (arg == QLatin1String("--skip") && hasValue) {
                bool ok = false;
                m_skip = args[++i].toDouble(&ok);
                if (!ok || m_skip < 0) return false;
            } else if (arg.startsWith(QLatin1Char('-'))) return false;
            else files.append(arg);
        }
        if (files.size() != 2) return false;
        m_recording = files[0], m_text = files[1];
        if (m_page.isEmpty()) m_page = defaultPagePath(m_recording);
        return true;
    }
    QString recording() const { return m_recording; }
    QString text() const { return m_text; }
    QString page() const { return m_page; }
    QString language() const { return m_language; }
    double skip() const { return m_skip; }
    // The page goes where -o says, or beside the recording, where it may
    // replace only a page made here unless --force is given.
    bool mayReplaceAnyPage() const { return m_pageGiven || m_force; }

private:
    QString m_recording, m_text, m_page, m_language = QStringLiteral("en");
    double m_skip = 0;
    bool m_pageGiven = false, m_force = false;
};

int fail(const QString& message) {
    std::fprintf(stderr, "parlotype: %s\n", message.toLocal8Bit().constData());
    return 1;
}

void printItems(const ScriptText& text, const std::vector<AlignedItem>& items, const std::vector<ExtraSpeech>& extra) {
    for (size_t i = 0; i < items.size(); ++i) {
        const AlignedItem& item = items[i];
        const QByteArray line = text.items()[int(i)].toLocal8Bit();
        if (!item.isFound()) {
            std::printf("%4zu %9s %9s  ! %s\n", i + 1, "-", "-", line.constData());
            std::fprintf(stderr, "not found: item %zu: %s\n", i + 1, line.constData());
            continue;
        }
        std::printf("%4zu %9.2f %9.2f  %s%s\n", i + 1, item.start(), item.end(), item.isSure() ? "" : "? ",
                    line.constData());
        if (!item.isSure())
            std::fprintf(stderr, "unsure: item %zu (%.2f-%.2f, confidence %.2f): %s\n", i + 1, item.start(),
                         item.end(), item.confidence(), line.constData());
    }
    for (const ExtraSpeech& x : extra)
        std::fprintf(stderr, "speech not in the text: %s\u2013%s\n", clockTime(x.start).toLocal8Bit().constData(),
                     clockTime(x.end).toLocal8Bit().constData());
}

}  // namespace

int runMakeScriptCommand(const QStringList& args) {
    MakeScriptArgs options;
    if (!options.parse(args)) {
        std::fputs(QCoreApplication::translate("MakeScript", "usage: parlotype --make-script RECORDING TEXT "
                                               "[-o SCRIPT.htm] [--force] [--lang CODE] [--skip SECONDS]\n")
                       .toLocal8Bit()
                       .constData(),
                   stderr);
        return 2;
    }
    if (const QString problem = recordingPathProblem(options.recording()); !problem.isEmpty()) return fail(problem);
    if (const QString problem = pagePathProblem(options.page(), options.recording(), options.text()); !problem.isEmpty())
        return fail(problem);
    if (!options.mayReplaceAnyPage() && QFileInfo::exists(options.page()) && !isMadeScriptPage(options.page()))
        return fail(QCoreApplication::translate("MakeScript", "'%1' exists and was not made by Make Script: name another "
                                                              "page with -o, or replace it with --force")
                        .arg(options.page()));
    ScriptText text;
    if (const ScriptText::Result loaded = text.load(options.text()); loaded != ScriptText::Result::Ok)
        return fail(ScriptText::message(loaded, options.text()));
    QElapsedTimer clock;
    clock.start();
    Aligner aligner;
    aligner.setInput(options.recording(), text.items(), options.language(), options.skip());
    // On a terminal, a progress line that the next output overwrites.
    if (isatty(fileno(stderr)))
        QObject::connect(&aligner, &Aligner::progress, [shown = -1](int percent) mutable {
            if (percent == shown) return;
            shown = percent;
            std::fprintf(stderr, "\rAligning... %3d%%%s", percent, percent >= 100 ? "\r               \r" : "");
            std::fflush(stderr);
        });
    if (aligner.run() != Aligner::Result::Ok) return fail(aligner.errorText());
    QString error;
    if (!writeScriptPage(options.page(), options.recording(), text, aligner.items(), aligner.extraSpeech(), error))
        return fail(error);
    printItems(text, aligner.items(), aligner.extraSpeech());
    const auto count = [&](AlignedItem::State state) {
        return int(std::count_if(aligner.items().begin(), aligner.items().end(),
                                 [&](const AlignedItem& item) { return item.state() == state; }));
    };
    std::printf("%d items, %d unsure, %d not found, %d stretches of speech not in the text; %.1f s of audio aligned "
                "in %.1f s; wrote %s\n",
                int(aligner.items().size()), count(AlignedItem::State::Unsure), count(AlignedItem::State::NotFound),
                int(aligner.extraSpeech().size()), aligner.recordingSeconds(), clock.elapsed() / 1000.0,
                options.page().toLocal8Bit().constData());
    return 0;
}
