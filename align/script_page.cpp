// SPDX-License-Identifier: GPL-3.0-or-later
#include "align/script_page.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>

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
</style>
</head>
<body>
)";

// The link's address: the recording relative to the page, escaped for a URL.
QString RecordingHref(const QString& pagePath, const QString& recording) {
    const QString relative = QFileInfo(pagePath).absoluteDir().relativeFilePath(QFileInfo(recording).absoluteFilePath());
    return QString::fromLatin1(QUrl::toPercentEncoding(relative, "/!$'()*+,;=:@-._~"));
}

QString GeneratorMeta() {
    return QStringLiteral("<meta name=\"generator\" content=\"%1\">").arg(QLatin1String(kScriptPageGenerator));
}

// The same file: the same path once cleaned, or the same device and inode
// (which follows symbolic links and finds hard links).
bool IsSameFile(const QString& a, const QString& b) {
    if (QDir::cleanPath(QFileInfo(a).absoluteFilePath()) == QDir::cleanPath(QFileInfo(b).absoluteFilePath())) return true;
    struct stat sa {}, sb {};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

QString ItemHtml(int index, const QString& text, const QString& href, const AlignedItem& item, int decimals = 2) {
    const QString link = QStringLiteral("%1#%2#%3").arg(href, QString::number(item.start(), 'f', decimals),
                                                        QString::number(item.end(), 'f', decimals));
    QString html = QStringLiteral("<a name=\"s%1\"%2 href=\"%3\">%4</a>")
                       .arg(index + 1)
                       .arg(item.isSure() ? QString() : QStringLiteral(" class=\"unsure\""))
                       .arg(link.toHtmlEscaped(), text.toHtmlEscaped());
    if (!item.isSure()) html += QStringLiteral("<span class=\"check\" title=\"check by ear\">?</span>");
    return html;
}

// Ends the page and writes it through a temporary file.
bool SavePage(const QString& pagePath, QString html, QString& error) {
    html += QStringLiteral("</body>\n</html>\n");
    QSaveFile file(pagePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(html.toUtf8()) < 0 || !file.commit()) {
        error = QCoreApplication::translate("ScriptPage", "Could not write '%1': %2").arg(pagePath, file.errorString());
        return false;
    }
    return true;
}

}  // namespace

QString DefaultPagePath(const QString& recording) {
    const QFileInfo info(recording);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".htm"));
}

bool WriteScriptPage(const QString& pagePath, const QString& recording, const ScriptText& text,
                     const std::vector<AlignedItem>& items, QString& error) {
    const QString href = RecordingHref(pagePath, recording);
    QString html = QString::fromUtf8(kHead).arg(text.title().toHtmlEscaped(), GeneratorMeta());
    const QStringList& lines = text.items();
    for (int i = 0; i < lines.size() && i < int(items.size()); ++i) {
        const QString item = ItemHtml(i, lines[i], href, items[size_t(i)]);
        if (i == 0) {
            html += QStringLiteral("<h1>%1</h1>\n").arg(item);
            continue;
        }
        const bool opens = i == 1 || text.paragraphOf(i) != text.paragraphOf(i - 1);
        const bool closes = i + 1 == lines.size() || text.paragraphOf(i + 1) != text.paragraphOf(i);
        html += (opens ? QStringLiteral("<p>") : QStringLiteral("\n")) + item + (closes ? QStringLiteral("</p>\n") : QString());
    }
    return SavePage(pagePath, html, error);
}

bool WriteScriptPage(const QString& pagePath, const QString& recording, const QString& title,
                     const QStringList& lines, const std::vector<AlignedItem>& items, QString& error) {
    const QString href = RecordingHref(pagePath, recording);
    QString html = QString::fromUtf8(kHead).arg(title.toHtmlEscaped(), GeneratorMeta());
    html += QStringLiteral("<h1>%1</h1>\n").arg(title.toHtmlEscaped());
    for (int i = 0; i < lines.size() && i < int(items.size()); ++i)
        html += QStringLiteral("<p>%1</p>\n").arg(ItemHtml(i, lines[i], href, items[size_t(i)], 3));
    return SavePage(pagePath, html, error);
}

QString RecordingPathProblem(const QString& recording) {
    const QString path = QFileInfo(recording).absoluteFilePath();
    if (!path.contains(QLatin1Char('#'))) return {};
    return QCoreApplication::translate("ScriptPage", "The recording's path '%1' holds the character '#', which a link "
                                                     "to it cannot carry: rename the file (or its folder) without it")
        .arg(path);
}

QString PagePathProblem(const QString& pagePath, const QString& recording, const QString& text) {
    if (IsSameFile(pagePath, recording))
        return QCoreApplication::translate("ScriptPage", "The page '%1' would replace the recording '%2'").arg(pagePath, recording);
    if (IsSameFile(pagePath, text))
        return QCoreApplication::translate("ScriptPage", "The page '%1' would replace the text '%2'").arg(pagePath, text);
    return {};
}

bool IsMadeScriptPage(const QString& pagePath) {
    QFile file(pagePath);
    // The mark lies in the head, near the top.
    return file.open(QIODevice::ReadOnly) && file.read(4096).contains(GeneratorMeta().toUtf8());
}
