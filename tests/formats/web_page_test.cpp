// SPDX-License-Identifier: GPL-3.0-or-later
// The read-along page of `parlotype --export web` in headless Chromium, from
// the disk: a script on the page clicks items and reports, through the console,
// the audio's time, the item and word marked, whether it plays and its speed.
// Checked are order and ranges, never how long anything took.
#include "common/test_audio.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

using namespace testaudio;

namespace {

// Clicks item 2 at 1.5× (it stops at its end), then item 1 with Repeat on
// (it plays again from its start), reporting every 100 ms of the page's clock.
const char kDriver[] = R"(<script>
(function () {
  var audio = document.getElementById('parlotype-audio'), items = document.querySelectorAll('.parlotype-item');
  var phase = 'wait', samples = 0, played = false;
  function report() {
    var item = document.querySelector('.parlotype-current'), word = document.querySelector('.parlotype-current-word');
    console.log('state ' + phase + ' ' + audio.currentTime.toFixed(3) + ' ' + (item ? item.id : '-') + ' ' +
                (word ? word.textContent : '-') + ' ' + (audio.paused ? 'paused' : 'playing') + ' ' + audio.playbackRate);
  }
  setInterval(function () {
    if (phase === 'wait' && audio.readyState >= 3) {
      phase = 'stretch';
      var speed = document.getElementById('parlotype-speed');
      speed.value = '1.5';
      speed.dispatchEvent(new Event('change'));
      items[1].click();
    } else if (phase === 'stretch') {
      report();
      played = played || !audio.paused;
      if ((played && audio.paused) || ++samples > 300) {
        phase = 'repeat', samples = 0;
        document.getElementById('parlotype-repeat').checked = true;
        items[0].click();
      }
    } else if (phase === 'repeat') {
      report();
      if (++samples > 40) { phase = 'done'; console.log('state done'); }
    }
  }, 100);
})();
</script>
)";

struct State { QString phase; double time; QString item, word; bool playing; double rate; };

TEST(WebPage, PlaysItemsAndMarksThemInChromium) {
    const QString chromium = QStandardPaths::findExecutable("chromium");
    if (chromium.isEmpty()) GTEST_SKIP() << "chromium is not installed (Debian package chromium)";
    QTemporaryDir dir;
    ASSERT_TRUE(WriteFile(dir.filePath("talk.wav"), WaveFile(1, 16000, 16, PcmBytes(Sweep(16000, 1, 8)))));
    ASSERT_TRUE(WriteFile(dir.filePath("talk.htm"),
                          "<p><a name=\"a\" href=\"talk.wav#0.5#1.7\">First line</a></p>\n<p><a name=\"b\" href=\"talk.wav#2#3.5\">"
                          "<span data-begin=\"2\" data-end=\"2.6\">Second</span> <span data-begin=\"2.6\" data-end=\"3.5\">line</span></a></p>"));
    QProcess exporter;
    exporter.start(PARLOTYPE_BINARY_DIR "/parlotype", {"--export", "web", dir.filePath("talk.htm"), "-o", dir.filePath("page")});
    ASSERT_TRUE(exporter.waitForFinished(60000) && exporter.exitCode() == 0) << exporter.readAllStandardError().toStdString();
    std::string page = ReadFile(dir.filePath("page/index.html"));
    page.insert(page.rfind("</body>"), kDriver);
    ASSERT_TRUE(WriteFile(dir.filePath("page/index.html"), page));

    QProcess browser;
    browser.setProcessChannelMode(QProcess::MergedChannels);
    browser.start(chromium, {"--headless", "--no-sandbox", "--disable-gpu", "--disable-audio-output", "--no-first-run",
                             "--autoplay-policy=no-user-gesture-required", "--enable-logging=stderr", "--v=0",
                             "--remote-debugging-port=0", "--user-data-dir=" + dir.filePath("profile"),
                             QUrl::fromLocalFile(dir.filePath("page/index.html")).toString()});
    std::vector<State> states;
    QString log;
    const QRegularExpression line(R"re("state (\w+) ([\d.]+) (\S+) (\S+) (\w+) ([\d.]+)")re");
    while (!log.contains("\"state done\"") && browser.waitForReadyRead(60000)) log += browser.readAll();
    browser.kill();
    browser.waitForFinished();
    for (auto it = line.globalMatch(log); it.hasNext();) {
        const auto m = it.next();
        states.push_back({m.captured(1), m.captured(2).toDouble(), m.captured(3), m.captured(4), m.captured(5) == "playing", m.captured(6).toDouble()});
    }
    ASSERT_TRUE(log.contains("\"state done\"")) << log.right(3000).toStdString();

    // Item 2 plays at 1.5×, marked, its words in order; then it stops at its end.
    std::vector<State> stretch, repeat;
    for (const State& s : states) (s.phase == "stretch" ? stretch : repeat).push_back(s);
    QStringList words;
    for (const State& s : stretch) {
        if (!s.playing) continue;
        EXPECT_EQ(s.item, "item-2");
        EXPECT_EQ(s.rate, 1.5);
        EXPECT_GE(s.time, 2.0);
        EXPECT_LE(s.time, 3.5);
        if (words.isEmpty() || words.last() != s.word) words << s.word;
    }
    EXPECT_EQ(words, QStringList({"Second", "line"}));
    ASSERT_FALSE(stretch.empty());
    EXPECT_FALSE(stretch.back().playing);
    EXPECT_GE(stretch.back().time, 3.4);
    EXPECT_LT(stretch.back().time, 5.0);
    // With Repeat, item 1 plays on from its start again and again.
    int wraps = 0;
    for (size_t i = 0; i < repeat.size(); ++i) {
        EXPECT_TRUE(repeat[i].playing);
        EXPECT_EQ(repeat[i].item, "item-1");
        EXPECT_GE(repeat[i].time, 0.5);
        EXPECT_LE(repeat[i].time, 1.7);
        wraps += i > 0 && repeat[i].time < repeat[i - 1].time;
    }
    EXPECT_GE(wraps, 1);
}

}  // namespace
