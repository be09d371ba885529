// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/web_page.h"

#include "formats/script_export.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>

namespace {

QString tr(const char* text) { return QCoreApplication::translate("WebPage", text); }

const char kStyle[] = R"(body { background: #FFFBF0; color: #111; font-family: georgia, serif; font-size: 17px; max-width: 40em; margin: 0 auto; padding: 0 1em 40vh; }
#parlotype-controls { position: sticky; top: 0; background: #FFFBF0; padding: 0.6em 0; border-bottom: 1px solid #DDD; display: flex; flex-wrap: wrap; gap: 0.8em; align-items: center; font-family: sans-serif; font-size: 14px; }
#parlotype-audio { flex: 1 1 20em; }
h1 { font-family: sans-serif; font-size: 21px; color: #006000; }
p { margin: 0.4em 0; }
a.parlotype-item { color: #000060; text-decoration: none; cursor: pointer; }
a.parlotype-item:hover { text-decoration: underline; }
.parlotype-current { background: #FFF3A0; }
.parlotype-current-word { background: #FFD24D; }
)";

// Follows the <audio> element: marks the item (and word) sounding, keeps it in
// view, stops a clicked stretch at its end or plays it again with Repeat.
const char kScript[] = R"((function () {
  'use strict';
  var audio = document.getElementById('parlotype-audio');
  var speed = document.getElementById('parlotype-speed');
  var repeat = document.getElementById('parlotype-repeat');
  function timed(el) { return { el: el, begin: parseFloat(el.getAttribute('data-begin')), end: parseFloat(el.getAttribute('data-end')) }; }
  var items = Array.prototype.map.call(document.querySelectorAll('.parlotype-item'), function (el) {
    var item = timed(el);
    item.words = Array.prototype.map.call(el.querySelectorAll('.parlotype-word'), timed);
    return item;
  });
  var stretch = null, current = null, currentWord = null, timer = null, endTimer = null;
  // The latest item started at t and not yet ended.
  function find(list, t) {
    var found = null;
    for (var i = 0; i < list.length; ++i) if (list[i].begin <= t && t < list[i].end) found = list[i];
    return found;
  }
  function mark(now, was, cls) {
    if (was === now) return now;
    if (was) was.el.classList.remove(cls);
    if (now) now.el.classList.add(cls);
    return now;
  }
  function update() {
    var t = audio.currentTime;
    if (stretch && t >= stretch.end) {
      if (repeat.checked) { audio.currentTime = t = stretch.begin; }
      else { audio.pause(); stretch = null; }
    }
    // A timer for the stretch's end, finer than the steady one.
    clearTimeout(endTimer);
    if (stretch && !audio.paused) endTimer = setTimeout(update, (stretch.end - t) / audio.playbackRate * 1000);
    var item = find(items, t);
    if (item !== current && item) item.el.scrollIntoView({ block: 'nearest' });
    current = mark(item, current, 'parlotype-current');
    currentWord = mark(item ? find(item.words, t) : null, currentWord, 'parlotype-current-word');
  }
  function follow() {
    if (timer === null && !audio.paused) timer = setInterval(update, 40);
    if (audio.paused && timer !== null) { clearInterval(timer); timer = null; }
    update();
  }
  items.forEach(function (item) {
    item.el.addEventListener('click', function (event) {
      event.preventDefault();
      stretch = item;
      audio.currentTime = item.begin;
      audio.playbackRate = parseFloat(speed.value);
      audio.play();
    });
  });
  speed.addEventListener('change', function () { audio.playbackRate = parseFloat(speed.value); });
  audio.addEventListener('ratechange', function () { speed.value = String(audio.playbackRate); });
  ['play', 'pause', 'seeked', 'timeupdate', 'ended'].forEach(function (name) { audio.addEventListener(name, follow); });
  // A seek or play from the audio's own controls ends the clicked stretch.
  audio.addEventListener('seeking', function () {
    if (stretch && (audio.currentTime < stretch.begin - 0.05 || audio.currentTime > stretch.end)) stretch = null;
  });
})();
)";

QString escaped(const QString& text) { return text.toHtmlEscaped(); }

QString seconds(double s) { return QString::number(double(toMilliseconds(s)) / 1000.0, 'f', 3); }

bool saveText(const QString& path, const QByteArray& bytes, QString& error) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit()) return true;
    error = tr("Could not write '%1': %2").arg(path, file.errorString());
    return false;
}

}  // namespace

QString webPageHtml(const ScriptReading& script, const QString& audioUrl) {
    QString body;
    for (size_t i = 0; i < script.items.size(); ++i) {
        const ScriptItem& item = script.items[i];
        QString text;
        if (item.words.empty()) {
            text = escaped(item.text);
        } else {
            QStringList words;
            for (const TimedWord& w : item.words)
                words << QStringLiteral("<span class=\"parlotype-word\" data-begin=\"%1\" data-end=\"%2\">%3</span>")
                             .arg(seconds(w.begin), seconds(w.end), escaped(w.text));
            text = words.join(QLatin1Char(' '));
        }
        body += QStringLiteral("<p><a class=\"parlotype-item\" id=\"item-%1\" title=\"%2\" href=\"#item-%1\" data-begin=\"%3\" data-end=\"%4\">%5</a></p>\n")
                    .arg(i + 1)
                    .arg(escaped(item.id), seconds(item.start), seconds(item.end), text);
    }
    QString speeds;
    for (const char* s : {"0.5", "0.6", "0.75", "0.9", "1", "1.25", "1.5", "2"})
        speeds += QStringLiteral("<option value=\"%1\"%2>%1×</option>").arg(QLatin1String(s), qstrcmp(s, "1") ? QString() : QStringLiteral(" selected"));
    return QStringLiteral(R"(<!DOCTYPE html>
<html>
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="generator" content="Parlotype">
<title>%1</title>
<style>
%2</style>
</head>
<body>
<div id="parlotype-controls">
<audio id="parlotype-audio" controls preload="auto" src="%3"></audio>
<label>Speed <select id="parlotype-speed">%4</select></label>
<label><input type="checkbox" id="parlotype-repeat"> Repeat</label>
</div>
<h1>%1</h1>
%5<script>
%6</script>
</body>
</html>
)").arg(escaped(script.title), QLatin1String(kStyle), escaped(audioUrl), speeds, body, QLatin1String(kScript));
}

bool writeWebPage(const QString& out, const ScriptReading& script, QString& error) {
    const QString suffix = QFileInfo(out).suffix().toLower();
    if (suffix == QLatin1String("htm") || suffix == QLatin1String("html")) {
        QFile audio(script.audio);
        if (!audio.open(QIODevice::ReadOnly)) {
            error = tr("Could not open '%1': %2").arg(script.audio, audio.errorString());
            return false;
        }
        if (audio.size() > kMaxEmbeddedAudioBytes) {
            error = tr("'%1' is larger than 20 MB, too large to go inside one page: export to a folder instead "
                       "(an output without .htm or .html)").arg(script.audio);
            return false;
        }
        static const QHash<QString, QString> types = {{QStringLiteral("wav"), QStringLiteral("audio/wav")},
                                                      {QStringLiteral("mp3"), QStringLiteral("audio/mpeg")},
                                                      {QStringLiteral("flac"), QStringLiteral("audio/flac")},
                                                      {QStringLiteral("ogg"), QStringLiteral("audio/ogg")},
                                                      {QStringLiteral("opus"), QStringLiteral("audio/ogg")}};
        const QString url = QStringLiteral("data:%1;base64,").arg(types.value(QFileInfo(script.audio).suffix().toLower())) +
                            QString::fromLatin1(audio.readAll().toBase64());
        return saveText(out, webPageHtml(script, url).toUtf8(), error);
    }
    // A folder: made here, so a failure can take it away again.
    if (!QDir().mkpath(out)) {
        error = tr("Could not make the folder '%1'").arg(out);
        return false;
    }
    const QString audioName = QFileInfo(script.audio).fileName();
    const QString audioCopy = QDir(out).filePath(audioName);
    // A folder that already holds the recording keeps it as it is.
    const bool sameFile = QFileInfo(audioCopy).canonicalFilePath() == QFileInfo(script.audio).canonicalFilePath();
    if (!sameFile && QFileInfo::exists(audioCopy) && !QFile::remove(audioCopy)) {
        error = tr("Could not replace '%1'").arg(audioCopy);
        return false;
    }
    if (!sameFile && !QFile::copy(script.audio, audioCopy)) {
        error = tr("Could not copy '%1' to '%2'").arg(script.audio, audioCopy);
        return false;
    }
    const QString href = QString::fromLatin1(QUrl::toPercentEncoding(audioName, "!$'()*+,;=:@-._~"));
    return saveText(QDir(out).filePath(QStringLiteral("index.html")), webPageHtml(script, href).toUtf8(), error);
}
