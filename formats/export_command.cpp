// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/export_command.h"

#include "align/aligner.h"
#include "align/script_page.h"
#include "formats/cue_reader.h"
#include "formats/epub_writer.h"
#include "formats/script_export.h"
#include "formats/web_page.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdio>
#include <sys/stat.h>

namespace {

QString tr(const char* text) { return QCoreApplication::translate("Export", text); }

const QStringList kFormats = {QStringLiteral("vtt"),  QStringLiteral("srt"), QStringLiteral("labels"), QStringLiteral("json"),
                              QStringLiteral("epub"), QStringLiteral("web"), QStringLiteral("html")};

struct ExportArgs {
    QString format, source, out, audio;
    bool force = false;

    bool parse(const QStringList& args) {
        QStringList files;
        for (int i = 0; i < args.size(); ++i) {
            const QString& arg = args[i];
            const bool hasValue = i + 1 < args.size();
            if (arg == QLatin1String("-o") && hasValue) out = args[++i];
            else if (arg == QLatin1String("--audio") && hasValue) audio = args[++i];
            else if (arg == QLatin1String("--force")) force = true;
            else if (arg.startsWith(QLatin1Char('-'))) return false;
            else files << arg;
        }
        if (files.size() != 2 || out.isEmpty() || !kFormats.contains(files[0])) return false;
        format = files[0], source = files[1];
        return true;
    }
};

int fail(const QString& message) {
    std::fprintf(stderr, "parlotype: %s\n", message.toLocal8Bit().constData());
    return 1;
}

// The same file: the same path once cleaned, or the same device and inode.
bool isSameFile(const QString& a, const QString& b) {
    if (a.isEmpty() || b.isEmpty()) return false;
    if (QDir::cleanPath(QFileInfo(a).absoluteFilePath()) == QDir::cleanPath(QFileInfo(b).absoluteFilePath())) return true;
    struct stat sa {}, sb {};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool isTimedText(const QString& path) { return cueFormatOfPath(path) != CueFormat::Unknown; }

bool saveFile(const QString& path, const QByteArray& bytes, QString& error) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit()) return true;
    error = tr("Could not write '%1': %2").arg(path, file.errorString());
    return false;
}

}  // namespace

bool isTimedTextPath(const QString& path) {
    const CueFormat format = cueFormatOfPath(path);
    return format == CueFormat::WebVtt || format == CueFormat::Srt || format == CueFormat::Labels;
}

QString writeScriptPageFromCues(const QString& pagePath, const QString& recording, const QString& title,
                                const std::vector<Cue>& cues) {
    if (QString problem = recordingPathProblem(recording); !problem.isEmpty()) return problem;
    QStringList lines;
    std::vector<AlignedItem> items;
    for (const Cue& cue : cues) {
        lines << cue.text;
        items.emplace_back(cue.start, cue.end, 1.0, AlignedItem::State::Aligned);
    }
    QString error;
    writeScriptPage(pagePath, recording, title, lines, items, error);
    return error;
}

ScriptReading readExportSource(const QString& source, const QString& audio, bool needAudio) {
    if (!isTimedText(source)) return readScriptPage(source);
    ScriptReading out;
    const CueReading cues = readCueFile(source);
    if (!cues.ok()) {
        out.error = cues.error;
        return out;
    }
    out.title = QFileInfo(source).completeBaseName();
    if (!audio.isEmpty()) {
        out.audio = QFileInfo(audio).absoluteFilePath();
        if (!QFileInfo(audio).isFile()) out.error = tr("Could not open '%1'").arg(audio);
    } else {
        const AudioBeside beside = findAudioBeside(source);
        if (beside.found == AudioBeside::Found::One) out.audio = QFileInfo(beside.paths.first()).absoluteFilePath();
        else if (needAudio && beside.found == AudioBeside::Found::None)
            out.error = tr("No audio beside '%1' (the same name with .wav, .mp3, .flac, .ogg or .opus): name it with --audio FILE")
                            .arg(source);
        else if (needAudio)
            out.error = tr("Several recordings beside '%1' (%2): choose one with --audio FILE").arg(source, beside.paths.join(QStringLiteral(", ")));
    }
    if (!out.error.isEmpty()) return out;
    for (size_t i = 0; i < cues.cues.size(); ++i) {
        const Cue& cue = cues.cues[i];
        out.items.push_back({QStringLiteral("c%1").arg(i + 1), QFileInfo(out.audio).fileName(), cue.start, cue.end, cue.text, {}});
    }
    return out;
}

QString exportScript(const QString& format, const QString& source, const QString& audio, const QString& out,
                     bool force, int* itemCount) {
    const bool needAudio = format == QLatin1String("epub") || format == QLatin1String("web") || format == QLatin1String("html");
    const ScriptReading script = readExportSource(source, audio, needAudio);
    if (!script.ok()) return script.error;
    if (isSameFile(out, source)) return tr("'%1' would replace the source '%2'").arg(out, source);
    if (isSameFile(out, script.audio)) return tr("'%1' would replace the audio '%2'").arg(out, script.audio);
    const bool existed = QFileInfo::exists(out);
    if (existed && !force) return tr("'%1' exists: --force replaces it").arg(out);
    if (needAudio && !QFileInfo(script.audio).isFile()) return tr("Could not open '%1'").arg(script.audio);

    QString error;
    bool written = false;
    const QString audioName = QFileInfo(script.audio).fileName();
    if (format == QLatin1String("vtt")) written = saveFile(out, writeWebVtt(script.items), error);
    else if (format == QLatin1String("srt")) written = saveFile(out, writeSrt(script.items), error);
    else if (format == QLatin1String("labels")) written = saveFile(out, writeLabels(script.items), error);
    else if (format == QLatin1String("json")) written = saveFile(out, writeSyncMap(script.items, audioName), error);
    else if (format == QLatin1String("epub")) written = writeEpub(out, script, error);
    else if (format == QLatin1String("web")) {
        written = writeWebPage(out, script, error);
        if (!written && !existed) QDir(out).removeRecursively();
    } else {
        std::vector<Cue> cues;
        for (const ScriptItem& item : script.items) cues.push_back({item.start, item.end, item.text});
        error = writeScriptPageFromCues(out, script.audio, script.title, cues);
        written = error.isEmpty();
    }
    if (!written) return error;
    if (itemCount) *itemCount = int(script.items.size());
    return {};
}

int runExportCommand(const QStringList& args) {
    ExportArgs options;
    if (!options.parse(args)) {
        std::fputs(tr("usage: parlotype --export FORMAT SOURCE -o OUT [--force] [--audio FILE]\n"
                      "  FORMAT: vtt, srt, labels, json, epub, web or html; SOURCE: a script page, or\n"
                      "  subtitles (.vtt, .srt), labels (.txt) or a sync map (.json)\n")
                       .toLocal8Bit().constData(),
                   stderr);
        return 2;
    }
    int items = 0;
    if (const QString error = exportScript(options.format, options.source, options.audio, options.out, options.force, &items);
        !error.isEmpty())
        return fail(error);
    std::printf("%s\n", tr("%1: %2 items written").arg(options.out).arg(items).toLocal8Bit().constData());
    return 0;
}
