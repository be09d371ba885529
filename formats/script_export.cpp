// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/script_export.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace {

// A time in seconds as a JSON number with three decimals at most.
double roundedSeconds(double seconds) { return double(toMilliseconds(seconds)) / 1000.0; }

QString oneLine(QString text) { return text.replace(QLatin1Char('\t'), QLatin1Char(' ')).simplified(); }

}  // namespace

qint64 toMilliseconds(double seconds) { return std::llround(std::max(seconds, 0.0) * 1000.0); }

QString clockTime(double seconds, QChar decimalSign) {
    const qint64 ms = toMilliseconds(seconds);
    return QStringLiteral("%1:%2:%3%4%5")
        .arg(ms / 3600000, 2, 10, QLatin1Char('0'))
        .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(decimalSign)
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

QByteArray writeWebVtt(const std::vector<ScriptItem>& items) {
    QString out = QStringLiteral("WEBVTT\n");
    for (const ScriptItem& item : items) {
        out += QLatin1Char('\n');
        // An identifier may not hold "-->" or a line end.
        if (!item.id.contains(QLatin1String("-->")) && !item.id.contains(QLatin1Char('\n'))) out += item.id + QLatin1Char('\n');
        QString text = oneLine(item.text);
        text.replace(QLatin1Char('&'), QLatin1String("&amp;")).replace(QLatin1Char('<'), QLatin1String("&lt;"))
            .replace(QLatin1Char('>'), QLatin1String("&gt;"));
        out += clockTime(item.start, QLatin1Char('.')) + QLatin1String(" --> ") + clockTime(item.end, QLatin1Char('.')) +
               QLatin1Char('\n') + text + QLatin1Char('\n');
    }
    return out.toUtf8();
}

QByteArray writeSrt(const std::vector<ScriptItem>& items) {
    QString out;
    for (size_t i = 0; i < items.size(); ++i) {
        // A cue's text ends at a blank line: an empty one is a space.
        const QString text = oneLine(items[i].text);
        out += QStringLiteral("%1\n%2 --> %3\n%4\n\n")
                   .arg(i + 1)
                   .arg(clockTime(items[i].start, QLatin1Char(',')), clockTime(items[i].end, QLatin1Char(',')),
                        text.isEmpty() ? QStringLiteral(" ") : text);
    }
    return out.toUtf8();
}

QByteArray writeLabels(const std::vector<ScriptItem>& items) {
    QString out;
    for (const ScriptItem& item : items)
        out += QStringLiteral("%1\t%2\t%3\n")
                   .arg(QString::number(roundedSeconds(item.start), 'f', 6), QString::number(roundedSeconds(item.end), 'f', 6),
                        oneLine(item.text));
    return out.toUtf8();
}

QByteArray writeSyncMap(const std::vector<ScriptItem>& items, const QString& audioName) {
    QJsonArray list;
    for (const ScriptItem& item : items) {
        QJsonObject object{{QStringLiteral("id"), item.id},
                           {QStringLiteral("begin"), roundedSeconds(item.start)},
                           {QStringLiteral("end"), roundedSeconds(item.end)},
                           {QStringLiteral("text"), oneLine(item.text)}};
        if (!item.words.empty()) {
            QJsonArray words;
            for (const TimedWord& w : item.words)
                words.append(QJsonObject{{QStringLiteral("begin"), roundedSeconds(w.begin)},
                                         {QStringLiteral("end"), roundedSeconds(w.end)},
                                         {QStringLiteral("text"), oneLine(w.text)}});
            object.insert(QStringLiteral("words"), words);
        }
        list.append(object);
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("audio"), audioName}, {QStringLiteral("items"), list}})
        .toJson(QJsonDocument::Indented);
}
