// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/cue_reader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QStringDecoder>
#include <cmath>

namespace {

QString tr(const char* text) { return QCoreApplication::translate("CueReader", text); }

// The file's lines (CRLF, LF or CR ends them), decoded as UTF-8 after any byte
// order mark; the number of the first line that is not UTF-8, or 0.
struct Lines {
    QStringList lines;
    int badLine = 0;
};

Lines splitLines(const QByteArray& data) {
    Lines out;
    QByteArrayView rest(data);
    if (rest.startsWith("\xEF\xBB\xBF")) rest = rest.sliced(3);
    while (!rest.isEmpty()) {
        qsizetype end = 0;
        while (end < rest.size() && rest[end] != '\n' && rest[end] != '\r') ++end;
        QStringDecoder decoder(QStringConverter::Utf8);
        out.lines << decoder.decode(rest.first(end));
        if (decoder.hasError() && !out.badLine) out.badLine = int(out.lines.size());
        if (end < rest.size() && rest[end] == '\r' && end + 1 < rest.size() && rest[end + 1] == '\n') ++end;
        rest = rest.sliced(std::min(end + 1, rest.size()));
    }
    return out;
}

CueReading failure(int line, const QString& message) { return {{}, message, line}; }

// Reads `count` decimal digits at `pos` (all there are when count is 0).
bool readDigits(QStringView s, qsizetype& pos, int count, qint64& value, int* digits = nullptr) {
    const qsizetype first = pos;
    value = 0;
    while (pos < s.size() && s[pos].isDigit() && s[pos].unicode() < 128 && (count == 0 || pos - first < count)) {
        value = std::min<qint64>(value * 10 + (s[pos].unicode() - '0'), qint64(1) << 40);
        ++pos;
    }
    if (digits) *digits = int(pos - first);
    return pos > first && (count == 0 || pos - first == count);
}

// A WebVTT timestamp: [hours:]mm:ss.ttt, hours being any number of digits
// (two or more when given), minutes and seconds below 60.
bool readVttTime(QStringView s, qsizetype& pos, double& seconds) {
    qint64 first = 0, second = 0, third = 0, millis = 0;
    int firstDigits = 0;
    if (!readDigits(s, pos, 0, first, &firstDigits)) return false;
    const bool hours = firstDigits != 2 || first > 59;
    if (pos >= s.size() || s[pos] != QLatin1Char(':')) return false;
    if (!readDigits(s, ++pos, 2, second)) return false;
    qint64 h = 0, m = first, sec = second;
    if (hours || (pos < s.size() && s[pos] == QLatin1Char(':'))) {
        if (pos >= s.size() || s[pos] != QLatin1Char(':') || !readDigits(s, ++pos, 2, third)) return false;
        h = first, m = second, sec = third;
    }
    if (pos >= s.size() || s[pos] != QLatin1Char('.') || !readDigits(s, ++pos, 3, millis)) return false;
    if (m > 59 || sec > 59) return false;
    seconds = double(h * 3600 + m * 60 + sec) + double(millis) / 1000.0;
    return true;
}

// An SRT timestamp: hours:mm:ss,mmm (or with a dot; one to three decimals).
bool readSrtTime(QStringView s, qsizetype& pos, double& seconds) {
    qint64 h = 0, m = 0, sec = 0, fraction = 0;
    int decimals = 0;
    if (!readDigits(s, pos, 0, h) || pos >= s.size() || s[pos] != QLatin1Char(':')) return false;
    if (!readDigits(s, ++pos, 0, m) || pos >= s.size() || s[pos] != QLatin1Char(':')) return false;
    if (!readDigits(s, ++pos, 0, sec) || m > 59 || sec > 59) return false;
    if (pos < s.size() && (s[pos] == QLatin1Char(',') || s[pos] == QLatin1Char('.'))) {
        if (!readDigits(s, ++pos, 0, fraction, &decimals) || decimals > 3) return false;
    }
    seconds = double(h * 3600 + m * 60 + sec) + double(fraction) / std::pow(10.0, decimals);
    return true;
}

void skipSpaces(QStringView s, qsizetype& pos) {
    while (pos < s.size() && (s[pos] == QLatin1Char(' ') || s[pos] == QLatin1Char('\t'))) ++pos;
}

// "START --> END" read with `readTime`; what follows (WebVTT's cue settings)
// is ignored when `settings` allows it.
template <typename ReadTime>
bool readTiming(QStringView line, ReadTime readTime, bool settings, double& start, double& end) {
    qsizetype pos = 0;
    skipSpaces(line, pos);
    if (!readTime(line, pos, start)) return false;
    skipSpaces(line, pos);
    if (!line.mid(pos).startsWith(QLatin1String("-->"))) return false;
    pos += 3;
    skipSpaces(line, pos);
    if (!readTime(line, pos, end)) return false;
    const qsizetype stop = pos;
    skipSpaces(line, pos);
    return pos == line.size() || (settings && pos > stop);
}

// Character references WebVTT text uses; others stay as written.
QString decodeVttReferences(const QString& s) {
    static const std::pair<const char*, char16_t> named[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", 0xA0}, {"lrm", 0x200E},
        {"rlm", 0x200F}};
    QString out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const qsizetype semi = s[i] == QLatin1Char('&') ? s.indexOf(QLatin1Char(';'), i) : -1;
        if (semi > i + 1) {
            const QStringView name = QStringView(s).mid(i + 1, semi - i - 1);
            char32_t c = 0;
            for (const auto& [n, ch] : named)
                if (name == QLatin1String(n)) c = ch;
            if (!c && name.startsWith(QLatin1Char('#'))) {
                bool ok = false;
                const bool hex = name.size() > 1 && (name[1] == QLatin1Char('x') || name[1] == QLatin1Char('X'));
                const uint value = name.mid(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
                if (ok) c = value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF) ? 0xFFFD : value;
            }
            if (c) {
                out += QStringView(QChar::fromUcs4(c));
                i = semi;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

// The text a reader sees: tags dropped (their text kept), lines joined.
QString cueText(const QStringList& lines, bool vtt) {
    QString joined = lines.join(QLatin1Char(' '));
    QString text;
    for (qsizetype i = 0; i < joined.size(); ++i) {
        if (joined[i] == QLatin1Char('<')) {
            const qsizetype close = joined.indexOf(QLatin1Char('>'), i);
            // SRT knows only a few tags: any other '<' is text.
            static const QRegularExpression srtTag(QStringLiteral("^</?(b|i|u|s|font)( [^>]*)?$"), QRegularExpression::CaseInsensitiveOption);
            if (close < 0 && vtt) break;  // an open tag runs to the end of the cue
            if (close > 0 && (vtt || srtTag.match(QStringView(joined).mid(i, close - i)).hasMatch())) {
                i = close;
                continue;
            }
        }
        // SRT's positioning codes ("{\an8}").
        if (!vtt && joined[i] == QLatin1Char('{') && i + 1 < joined.size() && joined[i + 1] == QLatin1Char('\\')) {
            const qsizetype close = joined.indexOf(QLatin1Char('}'), i);
            if (close > 0) {
                i = close;
                continue;
            }
        }
        text += joined[i];
    }
    return (vtt ? decodeVttReferences(text) : text).simplified();
}

bool isBlank(const QString& line) { return line.trimmed().isEmpty(); }

// Whether a block starting with `line` is a WebVTT block of the given kind
// ("NOTE" alone or followed by a space, a tab or the line's end).
bool startsBlock(const QString& line, QLatin1String word) {
    return line.startsWith(word) && (line.size() == word.size() || line[word.size()] == QLatin1Char(' ') ||
                                     line[word.size()] == QLatin1Char('\t'));
}

CueReading checkOrder(CueReading reading) {
    if (reading.ok() && reading.cues.empty()) return failure(0, tr("it holds no cues"));
    return reading;
}

CueReading readWebVtt(const QStringList& lines) {
    const QString first = lines.value(0);
    if (!(first == QLatin1String("WEBVTT") || first.startsWith(QLatin1String("WEBVTT ")) ||
          first.startsWith(QLatin1String("WEBVTT\t"))))
        return failure(1, tr("a WebVTT file begins with the line \"WEBVTT\""));
    CueReading out;
    qsizetype i = 1;
    // The header runs to a blank line (or to a cue timing, as browsers read it).
    while (i < lines.size() && !isBlank(lines[i]) && !lines[i].contains(QLatin1String("-->"))) ++i;
    while (i < lines.size()) {
        if (isBlank(lines[i])) {
            ++i;
            continue;
        }
        const qsizetype blockStart = i;
        qsizetype blockEnd = i;
        while (blockEnd < lines.size() && !isBlank(lines[blockEnd])) ++blockEnd;
        const QString& head = lines[i];
        if (!head.contains(QLatin1String("-->")) &&
            (startsBlock(head, QLatin1String("NOTE")) || startsBlock(head, QLatin1String("STYLE")) ||
             startsBlock(head, QLatin1String("REGION")))) {
            i = blockEnd;
            continue;
        }
        // An identifier line may come before the timing.
        qsizetype timing = head.contains(QLatin1String("-->")) ? i : i + 1;
        if (timing >= blockEnd || !lines[timing].contains(QLatin1String("-->")))
            return failure(int(blockStart) + 1, tr("'%1' is neither a cue timing (such as 00:01.000 --> 00:04.000) "
                                                   "nor a cue identifier followed by one").arg(head.left(60)));
        // Text runs to the blank line, or to a line that starts another cue.
        while (timing < blockEnd) {
            Cue cue;
            if (!readTiming(lines[timing], readVttTime, true, cue.start, cue.end))
                return failure(int(timing) + 1, tr("'%1' is not a cue timing (such as 00:01.000 --> 00:04.000)")
                                                    .arg(lines[timing].left(60)));
            if (cue.end < cue.start)
                return failure(int(timing) + 1, tr("the cue ends before it starts"));
            qsizetype text = timing + 1;
            while (text < blockEnd && !lines[text].contains(QLatin1String("-->"))) ++text;
            cue.text = cueText(lines.mid(timing + 1, text - timing - 1), true);
            out.cues.push_back(cue);
            timing = text;
        }
        i = blockEnd;
    }
    return checkOrder(out);
}

CueReading readSrt(const QStringList& lines) {
    CueReading out;
    for (qsizetype i = 0; i < lines.size();) {
        if (isBlank(lines[i])) {
            ++i;
            continue;
        }
        qsizetype blockEnd = i;
        while (blockEnd < lines.size() && !isBlank(lines[blockEnd])) ++blockEnd;
        // The cue's number, then its timing (some writers leave the number out).
        qsizetype timing = i;
        if (!lines[i].contains(QLatin1String("-->"))) {
            bool number = false;
            lines[i].trimmed().toULongLong(&number);
            if (!number) return failure(int(i) + 1, tr("'%1' is not a subtitle number").arg(lines[i].left(60)));
            timing = i + 1;
        }
        Cue cue;
        if (timing >= blockEnd || !readTiming(lines[timing], readSrtTime, false, cue.start, cue.end))
            return failure(int(timing) + 1, tr("'%1' is not a subtitle timing (such as 00:00:01,000 --> 00:00:04,000)")
                                                .arg(lines.value(timing).left(60)));
        if (cue.end < cue.start) return failure(int(timing) + 1, tr("the subtitle ends before it starts"));
        cue.text = cueText(lines.mid(timing + 1, blockEnd - timing - 1), false);
        out.cues.push_back(cue);
        i = blockEnd;
    }
    return checkOrder(out);
}

bool readLabelTime(QString field, double& seconds) {
    if (!field.contains(QLatin1Char('.'))) field.replace(QLatin1Char(','), QLatin1Char('.'));  // a decimal comma
    bool ok = false;
    seconds = QLocale::c().toDouble(field.trimmed(), &ok);
    return ok && std::isfinite(seconds) && seconds >= 0;
}

CueReading readLabels(const QStringList& lines) {
    CueReading out;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& line = lines[i];
        if (isBlank(line) || line.startsWith(QLatin1Char('\\'))) continue;  // the spectral selection of a label
        const QStringList fields = line.split(QLatin1Char('\t'));
        Cue cue;
        if (fields.size() < 2 || !readLabelTime(fields[0], cue.start) || !readLabelTime(fields[1], cue.end))
            return failure(int(i) + 1, tr("'%1' is not a label (start, end and text separated by tabs)").arg(line.left(60)));
        if (cue.end < cue.start) return failure(int(i) + 1, tr("the label ends before it starts"));
        cue.text = fields.mid(2).join(QLatin1Char(' ')).simplified();
        out.cues.push_back(cue);
    }
    return checkOrder(out);
}

CueReading readSyncMap(const QByteArray& data) {
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(data, &parse);
    if (parse.error != QJsonParseError::NoError)
        return failure(int(data.left(parse.offset).count('\n')) + 1, tr("not JSON: %1").arg(parse.errorString()));
    const QJsonValue items = document.object().value(QStringLiteral("items"));
    if (!items.isArray()) return failure(0, tr("a sync map is an object with an \"items\" list"));
    CueReading out;
    for (const QJsonValue& value : items.toArray()) {
        const QJsonObject item = value.toObject();
        const QJsonValue begin = item.value(QStringLiteral("begin")), end = item.value(QStringLiteral("end"));
        if (!begin.isDouble() || !end.isDouble() || begin.toDouble() < 0 || end.toDouble() < begin.toDouble())
            return failure(0, tr("item %1 has no \"begin\" and \"end\" times in seconds, the end not before the begin")
                                  .arg(out.cues.size() + 1));
        out.cues.push_back({begin.toDouble(), end.toDouble(), item.value(QStringLiteral("text")).toString().simplified()});
    }
    return checkOrder(out);
}

}  // namespace

CueFormat cueFormatOfPath(const QString& path) {
    const QString name = QFileInfo(path).fileName().toLower();
    if (name.endsWith(QLatin1String(".vtt"))) return CueFormat::WebVtt;
    if (name.endsWith(QLatin1String(".srt"))) return CueFormat::Srt;
    if (name.endsWith(QLatin1String(".txt"))) return CueFormat::Labels;
    if (name.endsWith(QLatin1String(".json"))) return CueFormat::SyncMap;
    return CueFormat::Unknown;
}

CueReading readCues(const QByteArray& data, CueFormat format) {
    if (format == CueFormat::SyncMap) return readSyncMap(data);
    const Lines text = splitLines(data);
    if (text.badLine) return failure(text.badLine, tr("the text is not UTF-8"));
    switch (format) {
    case CueFormat::WebVtt: return readWebVtt(text.lines);
    case CueFormat::Srt: return readSrt(text.lines);
    case CueFormat::Labels: return readLabels(text.lines);
    case CueFormat::SyncMap:
    case CueFormat::Unknown: break;
    }
    return failure(0, tr("subtitles end in .vtt or .srt, labels in .txt, a sync map in .json"));
}

CueReading readCueFile(const QString& path) {
    QFile file(path);
    CueReading reading;
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        reading = failure(0, tr("cannot be opened: %1").arg(QFileInfo(path).isDir() ? tr("it is a folder") : file.errorString()));
    else
        reading = readCues(file.readAll(), cueFormatOfPath(path));
    if (!reading.ok())
        reading.error = reading.line ? tr("'%1', line %2: %3").arg(path).arg(reading.line).arg(reading.error)
                                     : tr("'%1': %2").arg(path, reading.error);
    return reading;
}

const QStringList& audioSuffixes() {
    static const QStringList suffixes = {QStringLiteral("wav"), QStringLiteral("mp3"), QStringLiteral("flac"),
                                         QStringLiteral("ogg"), QStringLiteral("opus")};
    return suffixes;
}

bool hasAudioSuffix(const QString& path) { return audioSuffixes().contains(QFileInfo(path).suffix().toLower()); }

AudioBeside findAudioBeside(const QString& cuePath) {
    const QFileInfo info(cuePath);
    QString base = info.fileName();
    for (const char* suffix : {".labels.txt", ".vtt", ".srt", ".txt", ".json"}) {
        if (base.endsWith(QLatin1String(suffix), Qt::CaseInsensitive)) {
            base.chop(qsizetype(strlen(suffix)));
            break;
        }
    }
    AudioBeside out;
    const QFileInfoList files = info.absoluteDir().entryInfoList(QDir::Files | QDir::Readable, QDir::Name);
    for (const QFileInfo& file : files) {
        if (file.completeBaseName().compare(base, Qt::CaseInsensitive) == 0 && hasAudioSuffix(file.fileName()))
            out.paths << file.filePath();
    }
    out.found = out.paths.isEmpty() ? AudioBeside::Found::None
                : out.paths.size() == 1 ? AudioBeside::Found::One : AudioBeside::Found::Several;
    return out;
}
