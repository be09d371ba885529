// SPDX-License-Identifier: GPL-3.0-or-later
// A minute recorded in the program's window through the real sound server
// while a file plays and the page follows it. A known stereo signal is played
// into the null sink by a child process; the recorder records the sink's
// monitor (the default source, loopmic), where the file's sound is mixed in
// too. The file is a quiet tone, so the recording still matches the signal.
// Every input buffer must be kept, and each must continue the signal's left
// channel where the one before ended. Prints how promptly the GUI thread took
// the buffers back. Needs the private servers of scripts/services.sh.
#include "gui/gui_harness.h"

#include "app/main_frame.h"
#include "audio/recorder.h"
#include "audio/replay_file.h"
#include "audio/sample_block.h"
#include "common/signal_match.h"
#include "common/test_audio.h"
#include "platform/message_box.h"
#include "platform/qt_audio_backend.h"
#include "platform/wave_device.h"
#include "platform/web_view.h"
#include "view/parlotype_view.h"

#include <QAction>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>
#include <iostream>
#include <set>

using namespace signaltest;

namespace {

constexpr int kRate = 22050;
constexpr int kBlock = SampleBlock::kSamples;
constexpr int kSeconds = 60;
constexpr int kFileSeconds = kSeconds + 15;

// Times each input buffer the view takes back: when its notification is
// handled, and how long the handling takes.
class TakeBackTimes : public QObject {
public:
    TakeBackTimes() { clock.start(); }
    QElapsedTimer clock;
    std::vector<qint64> taken;     // ns since the clock started, while recording
    std::vector<qint64> handling;  // ns spent in the view's handler

protected:
    bool eventFilter(QObject* view, QEvent* e) override {
        if (e->type() != platform::WaveEvent::InData) return false;
        const bool recording = theRecorder.IsRecording();
        const qint64 start = clock.nsecsElapsed();
        static_cast<QObject*>(view)->event(e);
        const qint64 end = clock.nsecsElapsed();
        if (recording) {
            taken.push_back(start);
            handling.push_back(end - start);
        }
        return true;
    }
};

// How late a 5 ms timer fires at worst: the longest the GUI thread was busy.
class StallProbe : public QObject {
public:
    StallProbe() {
        clock.start();
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, this, [this] {
            const qint64 now = clock.nsecsElapsed();
            longest = std::max(longest, now - last - 5'000'000);
            last = now;
        });
    }
    void Start() {
        last = clock.nsecsElapsed();
        timer.start(5);
    }
    QElapsedTimer clock;
    QTimer timer;
    qint64 last = 0, longest = 0;
};

QAction* AudioItem(CMainFrame* frame, const char* text) {
    for (QAction* top : frame->menuBar()->actions()) {
        if (top->text() != QLatin1String("&Audio") || !top->menu()) continue;
        for (QAction* item : top->menu()->actions())
            if (item->text() == QLatin1String(text)) return item;
    }
    return nullptr;
}

// The sound server's backend and a message list for one test; the recorder
// is left empty and the defaults restored however the test ends.
class AudioScope {
public:
    AudioScope(platform::AudioBackend* backend, QStringList& messages) {
        theRecorder.Clear();
        platform::setAudioBackend(backend);
        platform::SetMessageSink([&messages](const QString& text) { messages << text; });
    }
    ~AudioScope() {
        theRecorder.Stop();
        theRecorder.Clear();
        platform::SetMessageSink({});
        platform::setAudioBackend(nullptr);
    }
    AudioScope(const AudioScope&) = delete;
    AudioScope& operator=(const AudioScope&) = delete;
};

double Ms(double ns) { return ns / 1e6; }

// Runs the event loop for `ms`, waiting for events as the program does (so
// that the idle-time updates run and the page follows the file).
void RunFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

TEST(RecordingSound, MinuteRecordedWhileAFilePlaysKeepsEveryBuffer) {
    const auto backend = platform::createQtAudioBackend();
    QStringList messages;
    const AudioScope scope(backend.get(), messages);

    // The script: an anchor for every second of a long, quiet 3 kHz tone, each
    // on a tall paragraph so that following them scrolls the page.
    PageFolder folder;
    const std::vector<int16_t> quiet = tone(size_t(8000) * kFileSeconds, 3000, 8000, 300);
    ASSERT_TRUE(testaudio::WriteFile(folder.Path(QStringLiteral("long.wav")),
                                     testaudio::WaveFile(1, 8000, 16, testaudio::PcmBytes(quiet))));
    QByteArray page = "<html><body><p><a id='start' href='long.wav#0'>play</a>";
    for (int s = 0; s < kFileSeconds; ++s)
        page += QStringLiteral("<p style='height:300px'><a name='s%1' href='long.wav#%1#%2'>second %1</a>")
                    .arg(s)
                    .arg(s + 1)
                    .toUtf8();
    folder.Write(QStringLiteral("script.htm"), page + "</body></html>");

    // The known signal: low-passed noise, different in each channel.
    const auto leftRef = noise(size_t(kRate) * (kSeconds + 10), 31);
    const auto rightRef = noise(leftRef.size(), 32);
    std::vector<int16_t> stereo;
    for (size_t i = 0; i < leftRef.size(); ++i) {
        stereo.push_back(leftRef[i]);
        stereo.push_back(rightRef[i]);
    }
    folder.Write(QStringLiteral("signal.raw"), bytesOf(stereo));

    TestWindow w({folder.Path(QStringLiteral("script.htm"))});
    const QUrl pageUrl = QUrl::fromLocalFile(folder.Path(QStringLiteral("script.htm")));
    ASSERT_TRUE(w.WaitForPage(pageUrl));
    std::set<QString> anchors;
    const auto following = QObject::connect(w.Web(), &QWebEngineView::urlChanged, w.Web(),
                                            [&](const QUrl& u) { anchors.insert(u.fragment()); });
    ASSERT_TRUE(w.Click(QStringLiteral("#start")));
    ASSERT_TRUE(QTest::qWaitFor([] { return theReplayFile.IsPlaying(); }, 10000));

    QProcess player;
    startClient(player, QStringLiteral("pacat"),
                {"--playback", "--raw", "--rate=22050", "--channels=2", "--format=s16le", "--latency-msec=100",
                 folder.Path(QStringLiteral("signal.raw"))});
    ASSERT_EQ(player.state(), QProcess::Running);
    RunFor(3000);  // a new stream may be heard in the sink a second or two after it starts

    TakeBackTimes times;
    StallProbe stalls;
    w.View()->installEventFilter(&times);
    QAction* record = AudioItem(w.Frame(), "R&ecord");
    ASSERT_TRUE(record);
    w.LetIdle();
    ASSERT_TRUE(record->isEnabled());
    const qint64 started = times.clock.nsecsElapsed();
    stalls.Start();
    record->trigger();
    ASSERT_TRUE(theRecorder.IsRecording());
    RunFor(kSeconds * 1000);
    const qint64 stopped = times.clock.nsecsElapsed();
    record->trigger();
    stalls.timer.stop();
    const double position = theReplayFile.GetPosition();
    const bool filePlaying = theReplayFile.IsPlaying();
    theReplayFile.CloseDevice();
    stopClient(player);
    w.View()->removeEventFilter(&times);
    QObject::disconnect(following);

    EXPECT_TRUE(messages.isEmpty()) << messages.join("; ").toStdString();
    EXPECT_TRUE(filePlaying) << "recording stopped the file player";
    EXPECT_GT(position, kSeconds - 2.0);
    EXPECT_GE(anchors.size(), size_t(kSeconds - 5)) << "the page did not follow the file";
    CParlotypeView* view = w.View();
    EXPECT_EQ(view->m_nRecState, 2);

    // Every buffer taken back while recording was kept, and none is missing:
    // once the stream delivers, a buffer is full every buffer time until the stop.
    const int blocks = view->m_nRecSamples / kBlock;
    ASSERT_GT(blocks, 0);
    ASSERT_TRUE(view->m_pRecSamples);
    EXPECT_EQ(view->m_nRecSamples, blocks * kBlock);
    ASSERT_EQ(int(times.taken.size()), blocks);
    const double bufferNs = 1e9 * kBlock / kRate;
    const double firstAt = double(times.taken.front() - started);
    EXPECT_NEAR(blocks, 1 + (double(stopped - started) - firstAt) / bufferNs, 2.0);
    const std::vector<int16_t> got(view->m_pRecSamples.get(), view->m_pRecSamples.get() + view->m_nRecSamples);
    // The signal's place in the recording, from a block well inside it.
    const long probe = std::min(10, blocks - 1) * long(kBlock);
    const Match m = bestMatch(leftRef, got, probe, kBlock, 0, probe + kRate * 8);
    ASSERT_GT(m.score, 0.9) << "the recording is not the signal's left channel";
    EXPECT_LT(std::abs(correlation(rightRef, m.lag + probe, got, probe, kBlock)), 0.3) << "the right channel was kept";
    int broken = 0;
    for (int k = 0; k < blocks; ++k) {
        const double score = scoreNear(leftRef, m.lag, got, long(k) * kBlock, kBlock);
        if (score < 0.9 && ++broken <= 5) ADD_FAILURE() << "block " << k << " does not continue the signal: " << score;
    }
    EXPECT_EQ(broken, 0);

    // Take-back: buffer k is due one buffer time after buffer k-1; the spread
    // of (taken - due) is how much later than the most prompt one the GUI
    // thread took any buffer back.
    std::vector<double> delay;
    for (size_t k = 0; k < times.taken.size(); ++k)
        delay.push_back(double(times.taken[k] - times.taken.front()) - double(k) * bufferNs);
    const auto [lo, hi] = std::minmax_element(delay.begin(), delay.end());
    double gap = 0;
    for (size_t k = 1; k < times.taken.size(); ++k) gap = std::max(gap, double(times.taken[k] - times.taken[k - 1]));
    const qint64 longestHandling = *std::max_element(times.handling.begin(), times.handling.end());
    std::cout << "recorded " << blocks << " blocks (" << view->m_nRecSamples << " samples) in "
              << Ms(double(stopped - started)) / 1000 << " s; the file played to " << position
              << " s and the page followed " << anchors.size() << " anchors\n"
              << "take-back delay spread " << Ms(*hi - *lo) << " ms; longest interval between buffers " << Ms(gap)
              << " ms (one buffer lasts " << Ms(bufferNs) << " ms)\n"
              << "longest handling of a buffer " << Ms(double(longestHandling)) << " ms; longest GUI-thread stall "
              << Ms(double(stalls.longest)) << " ms\n";
    RecordProperty("blocks", blocks);
    RecordProperty("take_back_spread_us", int((*hi - *lo) / 1e3));
    RecordProperty("longest_interval_us", int(gap / 1e3));
    RecordProperty("longest_handling_us", int(longestHandling / 1000));
    RecordProperty("longest_stall_us", int(stalls.longest / 1000));
}

}  // namespace
