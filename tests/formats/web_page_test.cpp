// SPDX-License-Identifier: GPL-3.0-or-later
// The page of `parlotype --export web` in headless Chromium, from the disk: a
// script added to it clicks item 2 at 1.5× (it stops at its end), then item 1
// with Repeat on, and logs every 100 ms the audio's time, the item and word
// marked, whether it plays and its speed. Order and ranges are checked, never
// how long anything took.
#include "common/test_audio.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

using namespace testaudio;

namespace {

const char kDriver[] = R"(<script>
var audio = document.getElementById('parlotype-audio'), items = document.querySelectorAll('.parlotype-item'), phase = 'wait', n = 0;
setInterval(function () {
  var item = document.querySelector('.parlotype-current'), word = document.querySelector('.parlotype-current-word');
  if (phase !== 'wait') console.log(['state', phase, audio.currentTime.toFixed(3), item ? item.id : '-', word ? word.textContent : '-',
                                     audio.paused ? 'paused' : 'playing', audio.playbackRate].join(' '));
  if (phase === 'wait' && audio.readyState >= 3) {
    phase = 'stretch', document.getElementById('parlotype-speed').value = '1.5';
    document.getElementById('parlotype-speed').dispatchEvent(new Event('change'));
    items[1].click();
  } else if (phase === 'stretch' && ((audio.paused && n > 0) || ++n > 300)) {
    phase = 'repeat', n = 0, document.getElementById('parlotype-repeat').checked = true;
    items[0].click();
  } else if (phase === 'repeat' && ++n > 40) console.log('state done');
}, 100);
</script>
)";

TEST(WebPage, PlaysItemsAndMarksThemInChromium) {
    const QString chromium = QStandardPaths::findExecutable("chromium");
    if (chromium.isEmpty()) GTEST_SKIP() << "chromium is not installed (Debian package chromium)";
    QTemporaryDir dir;
    ASSERT_TRUE(writeFile(dir.filePath("talk.wav"), waveFile(1, 16000, 16, pcmBytes(sweep(16000, 1, 8)))));
    ASSERT_TRUE(writeFile(dir.filePath("talk.htm"), "<p><a name=\"a\" href=\"talk.wav#0.5#1.7\">First line</a></p>\n<p><a name=\"b\" "
                          "href=\"talk.wav#2#3.5\"><span data-begin=\"2\" data-end=\"2.6\">Second</span> <span data-begin=\"2.6\" data-end=\"3.5\">line</span></a></p>"));
    QProcess exporter;
    exporter.start(PARLOTYPE_BINARY_DIR "/parlotype", {"--export", "web", dir.filePath("talk.htm"), "-o", dir.filePath("page")});
    ASSERT_TRUE(exporter.waitForFinished(60000) && exporter.exitCode() == 0) << exporter.readAllStandardError().toStdString();
    std::string page = readFile(dir.filePath("page/index.html"));
    ASSERT_TRUE(writeFile(dir.filePath("page/index.html"), page.insert(page.rfind("</body>"), kDriver)));

    QProcess browser;
    browser.setProcessChannelMode(QProcess::MergedChannels);
    browser.start(chromium, {"--headless", "--no-sandbox", "--disable-gpu", "--disable-audio-output", "--autoplay-policy=no-user-gesture-required",
                             "--enable-logging=stderr", "--v=0", "--remote-debugging-port=0", "--user-data-dir=" + dir.filePath("profile"),
                             QUrl::fromLocalFile(dir.filePath("page/index.html")).toString()});
    QString log;
    while (!log.contains("\"state done\"") && browser.waitForReadyRead(60000)) log += browser.readAll();
    browser.kill(), browser.waitForFinished();
    ASSERT_TRUE(log.contains("\"state done\"")) << log.right(3000).toStdString();

    // Item 2 plays at 1.5×, marked, its words in order, and stops at its end;
    // with Repeat, item 1 plays on from its start again and again.
    QStringList words;
    QString last;
    double previous = 0;
    int wraps = 0;
    static const QRegularExpression line(R"re("state (\w+) ([\d.]+) (\S+) (\S+) (\w+) ([\d.]+)")re");
    for (const auto& m : line.globalMatch(log)) {
        const double t = m.captured(2).toDouble();
        const QString state = m.captured(3) + " " + m.captured(5) + " " + m.captured(6);
        if (m.captured(1) == "stretch" && m.captured(5) == "playing") {
            EXPECT_TRUE(m.captured(6) == "1.5" && t >= 2 && t < 4 && (m.captured(3) == "item-2" || t >= 3.5)) << state.toStdString() << " " << t;
            if (words.isEmpty() || words.last() != m.captured(4)) words << m.captured(4);
        } else if (m.captured(1) == "repeat") {
            // Past the end (a busy machine's timers are late) the mark may be gone.
            EXPECT_TRUE(state.endsWith("playing 1.5") && t >= 0.5 && t < 2 && (m.captured(3) == "item-1" || t >= 1.7)) << state.toStdString() << " " << t;
            wraps += t < previous;
        }
        if (m.captured(1) == "stretch") last = m.captured(5) + " " + m.captured(2);
        previous = t;
    }
    EXPECT_EQ(words, QStringList({"Second", "line"}));
    EXPECT_TRUE(last.startsWith("paused") && last.mid(7).toDouble() >= 3.4 && last.mid(7).toDouble() < 5) << last.toStdString();
    EXPECT_GE(wraps, 1);
}

}  // namespace
