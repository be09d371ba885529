// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/epub_writer.h"

#include "formats/mp3_encoder.h"
#include "formats/script_export.h"
#include "formats/zip_writer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUuid>

namespace {

QString xml(const QString& text) { return text.toHtmlEscaped(); }

// A SMIL clock value in seconds, to the millisecond.
QString clock(double seconds) { return QString::number(double(toMilliseconds(seconds)) / 1000.0, 'f', 3) + QLatin1Char('s'); }

// The duration as the package's metadata wants it: h:mm:ss.fff.
QString duration(double seconds) { return clockTime(seconds, QLatin1Char('.')); }

const char kContainer[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<container version="1.0" xmlns="urn:oasis:names:tc:opendocument:xmlns:container">
  <rootfiles>
    <rootfile full-path="EPUB/package.opf" media-type="application/oebps-package+xml"/>
  </rootfiles>
</container>
)";

const char kStyle[] = R"(body { font-family: serif; line-height: 1.5; }
p.item { margin: 0.3em 0; }
.-epub-media-overlay-active { background-color: #FFF3A0; }
)";

QString package(const ScriptReading& script, const QString& audioName, const QString& audioType, double total) {
    QString opf = QStringLiteral(R"(<?xml version="1.0" encoding="UTF-8"?>
<package xmlns="http://www.idpf.org/2007/opf" version="3.0" unique-identifier="book-id" xml:lang="und">
  <metadata xmlns:dc="http://purl.org/dc/elements/1.1/">
    <dc:identifier id="book-id">urn:uuid:%1</dc:identifier>
    <dc:title>%2</dc:title>
    <dc:language>und</dc:language>
    <meta property="dcterms:modified">%3</meta>
    <meta property="media:duration" refines="#overlay">%4</meta>
    <meta property="media:duration">%4</meta>
    <meta property="media:active-class">-epub-media-overlay-active</meta>
  </metadata>
  <manifest>
    <item id="nav" href="nav.xhtml" media-type="application/xhtml+xml" properties="nav"/>
    <item id="text" href="text.xhtml" media-type="application/xhtml+xml" media-overlay="overlay"/>
    <item id="overlay" href="text.smil" media-type="application/smil+xml"/>
    <item id="style" href="style.css" media-type="text/css"/>
    <item id="audio" href="audio/%5" media-type="%6"/>
  </manifest>
  <spine>
    <itemref idref="text"/>
  </spine>
</package>
)");
    return opf.arg(QUuid::createUuid().toString(QUuid::WithoutBraces), xml(script.title),
                   QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-ddThh:mm:ssZ")), duration(total),
                   xml(audioName), audioType);
}

QString page(const QString& title, const QString& body) {
    return QStringLiteral(R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE html>
<html xmlns="http://www.w3.org/1999/xhtml" xmlns:epub="http://www.idpf.org/2007/ops" xml:lang="und" lang="und">
<head>
<meta charset="utf-8"/>
<title>%1</title>
<link rel="stylesheet" type="text/css" href="style.css"/>
</head>
<body>
%2</body>
</html>
)").arg(xml(title), body);
}

}  // namespace

QString epubAudioType(const QString& audioPath) {
    const QString suffix = QFileInfo(audioPath).suffix().toLower();
    if (suffix == QLatin1String("mp3")) return QStringLiteral("audio/mpeg");
    if (suffix == QLatin1String("m4a") || suffix == QLatin1String("mp4")) return QStringLiteral("audio/mp4");
    return {};
}

bool writeEpub(const QString& path, const ScriptReading& script, QString& error) {
    // Audio reading systems need not play goes into the book as MP3.
    QString audio = script.audio;
    QString audioType = epubAudioType(audio);
    QTemporaryDir work;
    if (audioType.isEmpty()) {
        audio = work.filePath(QStringLiteral("audio.mp3"));
        if (!work.isValid() || !encodeMp3(script.audio, audio, error)) return false;
        audioType = epubAudioType(audio);
    }
    const QString audioName = QStringLiteral("audio.") + QFileInfo(audio).suffix().toLower();
    QString body = QStringLiteral("<h1>%1</h1>\n").arg(xml(script.title));
    QString smil = QStringLiteral(R"(<?xml version="1.0" encoding="UTF-8"?>
<smil xmlns="http://www.w3.org/ns/SMIL" xmlns:epub="http://www.idpf.org/2007/ops" version="3.0">
<body>
)");
    double total = 0;
    for (size_t i = 0; i < script.items.size(); ++i) {
        const ScriptItem& item = script.items[i];
        const QString id = QStringLiteral("item-%1").arg(i + 1);
        body += QStringLiteral("<p class=\"item\" id=\"%1\">%2</p>\n").arg(id, xml(item.text));
        smil += QStringLiteral("<par id=\"par-%1\"><text src=\"text.xhtml#%2\"/><audio src=\"audio/%3\" clipBegin=\"%4\" clipEnd=\"%5\"/></par>\n")
                    .arg(i + 1).arg(id, xml(audioName), clock(item.start), clock(item.end));
        total += double(toMilliseconds(item.end) - toMilliseconds(item.start)) / 1000.0;
    }
    smil += QStringLiteral("</body>\n</smil>\n");
    const QString nav = page(script.title, QStringLiteral("<nav epub:type=\"toc\" id=\"toc\"><h1>%1</h1>\n<ol><li><a href=\"text.xhtml\">%1</a></li></ol></nav>\n")
                                               .arg(xml(script.title)));
    ZipWriter zip(path);
    // The mimetype comes first, stored, so the container is known by its first bytes.
    const bool written = zip.open() && zip.addData(QStringLiteral("mimetype"), "application/epub+zip", false) &&
                         zip.addData(QStringLiteral("META-INF/container.xml"), kContainer, true) &&
                         zip.addData(QStringLiteral("EPUB/package.opf"), package(script, audioName, audioType, total).toUtf8(), true) &&
                         zip.addData(QStringLiteral("EPUB/nav.xhtml"), nav.toUtf8(), true) &&
                         zip.addData(QStringLiteral("EPUB/text.xhtml"), page(script.title, body).toUtf8(), true) &&
                         zip.addData(QStringLiteral("EPUB/text.smil"), smil.toUtf8(), true) &&
                         zip.addData(QStringLiteral("EPUB/style.css"), kStyle, true) &&
                         zip.addFile(QStringLiteral("EPUB/audio/") + audioName, audio) && zip.commit();
    if (!written) error = zip.errorString();
    return written;
}
