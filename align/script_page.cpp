// SPDX-License-Identifier: GPL-3.0-or-later
#include "align/script_page.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>

#include "html/html_tokenizer.h"

#include <cmath>

#include <sys/stat.h>

namespace {

const char kHead[] = R"(<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01 Transitional//EN" "http://www.w3.org/TR/html4/loose.dtd">
<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=utf-8">
%2
<title>%1</title>
<style type="text/css">
body { background: #FFFBF0; color: black; font-family: georgia, serif; font-size: 16px; max-width: 40em; margin: 1em auto; }
h1 { font-family: verdana, sans-serif; font-size: 20px; color: #008000; }
a { color: #000080; text-decoration: none; }
a:hover, a:active { text-decoration: underline; }
a.unsure { background: #FFE4B0; }
span.check { color: #C00000; font-size: 12px; vertical-align: super; }
span.missing { color: #808080; text-decoration: underline dotted #C00000; }
span.extra { color: #C00000; font-size: 12px; }
</style>
</head>
<body>
)";

// The link's address: the recording relative to the page, escaped for a URL.
QString recordingHref(const QString& pagePath, const QString& recording) {
    const QString relative = QFileInfo(pagePath).absoluteDir().relativeFilePath(QFileInfo(recording).absoluteFilePath());
    return QString::fromLatin1(QUrl::toPercentEncoding(relative, "/!$'()*+,;=:@-._~"));
}

QString generatorMeta() {
    return QStringLiteral("<meta name=\"generator\" content=\"%1\">").arg(QLatin1String(kScriptPageGenerator));
}

// The same file: the same path once cleaned, or the same device and inode
// (which follows symbolic links and finds hard links).
bool isSameFile(const QString& a, const QString& b) {
    if (QDir::cleanPath(QFileInfo(a).absoluteFilePath()) == QDir::cleanPath(QFileInfo(b).absoluteFilePath())) return true;
    struct stat sa {}, sb {};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

QString seconds(double t, int decimals) { return QString::number(t, 'f', decimals); }

QString itemHtml(int index, const QString& text, const QString& href, const AlignedItem& item, int decimals = 2) {
    if (!item.isFound())
        return QStringLiteral("<span class=\"missing\" title=\"not found in the recording\">%1</span>").arg(text.toHtmlEscaped());
    const QString link = QStringLiteral("%1#%2#%3").arg(href, seconds(item.start(), decimals), seconds(item.end(), decimals));
    const QStringList tokens = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QStringList words;
    for (int k = 0; k < tokens.size(); ++k) {
        if (size_t(k) >= item.words().size()) {
            words << tokens[k].toHtmlEscaped();
            continue;
        }
        const WordTime& w = item.words()[size_t(k)];
        words << QStringLiteral("<span class=\"w\" data-begin=\"%1\" data-end=\"%2\">%3</span>")
                     .arg(seconds(w.start, 3), seconds(w.end, 3), tokens[k].toHtmlEscaped());
    }
    QString html = QStringLiteral("<a name=\"s%1\"%2 href=\"%3\">%4</a>")
                       .arg(index + 1)
                       .arg(item.isSure() ? QString() : QStringLiteral(" class=\"unsure\""))
                       .arg(link.toHtmlEscaped(), words.join(QLatin1Char(' ')));
    if (!item.isSure())
        html += QStringLiteral("<span class=\"check\" title=\"check by ear (confidence %1)\">?</span>").arg(seconds(item.confidence(), 2));
    return html;
}

QString extraHtml(const ExtraSpeech& x) {
    return QStringLiteral(" <span class=\"extra\" title=\"speech not in the text: %1\u2013%2\">[\u2026]</span>")
        .arg(clockTime(x.start), clockTime(x.end));
}

// Ends the page and writes it through a temporary file.
bool savePage(const QString& pagePath, QString html, QString& error) {
    html += QStringLiteral("</body>\n</html>\n");
    QSaveFile file(pagePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(html.toUtf8()) < 0 || !file.commit()) {
        error = QCoreApplication::translate("ScriptPage", "Could not write '%1': %2").arg(pagePath, file.errorString());
        return false;
    }
    return true;
}

}  // namespace

QString defaultPagePath(const QString& recording) {
    const QFileInfo info(recording);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".htm"));
}

QString clockTime(double seconds) {
    const long tenths = std::lround(std::max(0.0, seconds) * 10);
    return QString::asprintf("%ld:%02ld.%ld", tenths / 600, tenths / 10 % 60, tenths % 10);
}

bool writeScriptPage(const QString& pagePath, const QString& recording, const ScriptText& text,
                     const std::vector<AlignedItem>& items, const std::vector<ExtraSpeech>& extra, QString& error) {
    const QString href = recordingHref(pagePath, recording);
    QString html = QString::fromUtf8(kHead).arg(text.title().toHtmlEscaped(), generatorMeta());
    const QStringList& lines = text.items();
    // Each stretch of extra speech follows the last found item that ends before it (or leads the first).
    std::vector<QString> after(items.size());
    QString before;
    for (const ExtraSpeech& x : extra) {
        int last = -1;
        for (int i = 0; i < int(items.size()); ++i)
            if (items[size_t(i)].isFound() && items[size_t(i)].end() <= x.start + 0.01) last = i;
        (last < 0 ? before : after[size_t(last)]) += extraHtml(x);
    }
    for (int i = 0; i < lines.size() && i < int(items.size()); ++i) {
        QString item = itemHtml(i, lines[i], href, items[size_t(i)]) + after[size_t(i)];
        if (i == 0) item = before.trimmed() + (before.isEmpty() ? QString() : QStringLiteral(" ")) + item;
        if (i == 0) {
            html += QStringLiteral("<h1>%1</h1>\n").arg(item);
            continue;
        }
        const bool opens = i == 1 || text.paragraphOf(i) != text.paragraphOf(i - 1);
        const bool closes = i + 1 == lines.size() || text.paragraphOf(i + 1) != text.paragraphOf(i);
        html += (opens ? QStringLiteral("<p>") : QStringLiteral("\n")) + item + (closes ? QStringLiteral("</p>\n") : QString());
    }
    return savePage(pagePath, html, error);
}

bool writeScriptPage(const QString& pagePath, const QString& recording, const QString& title,
                     const QStringList& lines, const std::vector<AlignedItem>& items, QString& error) {
    const QString href = recordingHref(pagePath, recording);
    QString html = QString::fromUtf8(kHead).arg(title.toHtmlEscaped(), generatorMeta());
    html += QStringLiteral("<h1>%1</h1>\n").arg(title.toHtmlEscaped());
    for (int i = 0; i < lines.size() && i < int(items.size()); ++i)
        html += QStringLiteral("<p>%1</p>\n").arg(itemHtml(i, lines[i], href, items[size_t(i)], 3));
    return savePage(pagePath, html, error);
}

QString recordingPathProblem(const QString& recording) {
    const QString path = QFileInfo(recording).absoluteFilePath();
    if (!path.contains(QLatin1Char('#'))) return {};
    return QCoreApplication::translate("ScriptPage", "The recording's path '%1' holds the character '#', which a link "
                                                     "to it cannot carry: rename the file (or its folder) without it")
        .arg(path);
}

QString pagePathProblem(const QString& pagePath, const QString& recording, const QString& text) {
    if (isSameFile(pagePath, recording))
        return QCoreApplication::translate("ScriptPage", "The page '%1' would replace the recording '%2'").arg(pagePath, recording);
    if (isSameFile(pagePath, text))
        return QCoreApplication::translate("ScriptPage", "The page '%1' would replace the text '%2'").arg(pagePath, text);
    return {};
}

bool isMadeScriptPage(const QString& pagePath) {
    QFile file(pagePath);
    // The mark lies in the head, near the top.
    return file.open(QIODevice::ReadOnly) && file.read(4096).contains(generatorMeta().toUtf8());
}

namespace {

// The few character references the page writer makes (QString::toHtmlEscaped), and numeric ones.
QString decodeText(const QByteArray& bytes) {
    QString text = QString::fromUtf8(bytes);
    if (!text.contains(QLatin1Char('&'))) return text;
    static const std::pair<const char*, const char*> named[] = {{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}};
    for (const auto& [from, to] : named) text.replace(QLatin1String(from), QLatin1String(to));
    return text;
}

QByteArray attribute(const HtmlToken& tag, const char* name) {
    for (int k = 0; k + 1 < tag.attributeCount(); k += 2)
        if (tag.attribute(k) == name) return tag.attribute(k + 1);
    return {};
}

}  // namespace

std::vector<PageItemWords> readPageWords(const QByteArray& html) {
    std::vector<PageItemWords> out;
    MemoryByteStream stream(html);
    HtmlTokenizer tokenizer(&stream);
    QString anchor;
    PageWord word;
    bool inWord = false;
    for (HtmlToken* token = tokenizer.nextToken(); token; token = tokenizer.nextToken()) {
        if (token->kind() == HtmlToken::Kind::Text) {
            if (inWord) word.text += decodeText(token->text());
            continue;
        }
        const QByteArray& name = token->text();
        if (name == "A" && !attribute(*token, "NAME").isEmpty()) {
            anchor = decodeText(attribute(*token, "NAME"));
        } else if (name == "/A") {
            anchor.clear();
        } else if (name == "SPAN" && attribute(*token, "CLASS") == "w" && !anchor.isEmpty()) {
            bool startOk = false, endOk = false;
            word = {QString(), attribute(*token, "DATA-BEGIN").toDouble(&startOk), attribute(*token, "DATA-END").toDouble(&endOk)};
            inWord = startOk && endOk;
        } else if (name == "/SPAN" && inWord) {
            inWord = false;
            if (out.empty() || out.back().anchor != anchor) out.push_back({anchor, {}});
            out.back().words.push_back(word);
        }
    }
    return out;
}
