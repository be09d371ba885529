// SPDX-License-Identifier: GPL-3.0-or-later
// End to end with real sound: the demo script (made by the build with
// --make-script) in the window, sentence links clicked, and what the sound server plays captured from the null sink's
// monitor. The capture must hold the clicked sentence of the recording (found
// by correlation), and not a sentence that was not clicked.
#include "gui_harness.h"

#include "audio/replay_file.h"
#include "platform/message_box.h"
#include "platform/qt_audio_backend.h"
#include "platform/web_view.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr int kRate = 16000;  // the demo recording's rate; the capture is made at it too

// The samples of the demo recording (16-bit mono PCM).
std::vector<int16_t> ReadDemoWave(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = file.readAll();
    const qsizetype data = bytes.indexOf("data");
    if (data < 0) return {};
    std::vector<int16_t> samples(size_t(bytes.size() - data - 8) / 2);
    std::memcpy(samples.data(), bytes.constData() + data + 8, samples.size() * 2);
    return samples;
}

std::vector<int16_t> Stretch(const std::vector<int16_t>& all, double from, double seconds) {
    const auto begin = all.begin() + qsizetype(from * kRate);
    return {begin, begin + qsizetype(seconds * kRate)};
}

// The best normalised correlation of `part` anywhere in `capture`.
double BestCorrelation(const std::vector<int16_t>& part, const std::vector<int16_t>& capture) {
    double partEnergy = 0;
    for (int16_t s : part) partEnergy += double(s) * s;
    double best = 0;
    for (size_t lag = 0; lag + part.size() <= capture.size(); ++lag) {
        double dot = 0, energy = 0;
        for (size_t i = 0; i < part.size(); ++i) {
            dot += double(part[i]) * capture[lag + i];
            energy += double(capture[lag + i]) * capture[lag + i];
        }
        if (energy > 0) best = std::max(best, dot / std::sqrt(partEnergy * energy));
    }
    return best;
}

// Records the null sink's monitor while it runs.
class MonitorCapture {
public:
    MonitorCapture() {
        m_parec.start(QStringLiteral("parec"),
                      {QStringLiteral("--device=nullsink.monitor"), QStringLiteral("--rate=%1").arg(kRate),
                       QStringLiteral("--channels=1"), QStringLiteral("--format=s16le"),
                       QStringLiteral("--latency-msec=20")});
    }
    ~MonitorCapture() {
        m_parec.kill();
        m_parec.waitForFinished();
    }
    bool Running() { return m_parec.waitForStarted(5000); }
    // Captures for `ms` and returns what came.
    std::vector<int16_t> Take(int ms) {
        m_parec.readAllStandardOutput();
        QElapsedTimer clock;
        clock.start();
        QByteArray bytes;
        WaitUntil([&] {
            bytes += m_parec.readAllStandardOutput();
            return clock.elapsed() >= ms;
        }, ms + 1000);
        std::vector<int16_t> samples(size_t(bytes.size()) / 2);
        std::memcpy(samples.data(), bytes.constData(), samples.size() * 2);
        return samples;
    }

private:
    QProcess m_parec;
};

// The start and end of sentence `n` as the demo page gives them.
std::pair<double, double> ItemTimes(const QString& page, int n) {
    QFile file(page);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QRegularExpression link(QStringLiteral(R"re(name="s%1"[^>]* href="demo\.wav#([\d.]+)#([\d.]+)")re").arg(n));
    const auto m = link.match(QString::fromUtf8(file.readAll()));
    return {m.captured(1).toDouble(), m.captured(2).toDouble()};
}

TEST(DemoSound, ClickedSentencesAreWhatTheSoundServerPlays) {
    const auto backend = platform::createQtAudioBackend();
    platform::setAudioBackend(backend.get());
    QStringList messages;
    platform::SetMessageSink([&](const QString& text) { messages << text; });
    const QString demo = QStringLiteral(PARLOTYPE_BINARY_DIR "/scripts/demo/");
    const std::vector<int16_t> recording = ReadDemoWave(demo + QStringLiteral("demo.wav"));
    ASSERT_GT(recording.size(), size_t(60 * kRate));
    const auto [start3, end3] = ItemTimes(demo + "demo.htm", 3);
    const auto [start9, end9] = ItemTimes(demo + "demo.htm", 9);
    ASSERT_GT(start3, 1.2);
    ASSERT_GT(end3 - start3, 3.0);
    ASSERT_GT(end9 - start9, 3.0);

    MonitorCapture monitor;
    ASSERT_TRUE(monitor.Running()) << "parec did not start";
    {
        TestWindow w({demo + QStringLiteral("demo.htm")});
        ASSERT_TRUE(w.WaitForPage(QUrl::fromLocalFile(demo + QStringLiteral("demo.htm"))));

        // Sentence 3, then sentence 9: each heard from its own start, not what lies before it.
        ASSERT_TRUE(w.Click(QStringLiteral("a[name=s3]")));
        ASSERT_TRUE(WaitUntil([&] { return theReplayFile.IsPlaying(); }, 10000));
        EXPECT_TRUE(theReplayFile.GetFileName().endsWith(QLatin1String("/demo.wav")));
        const std::vector<int16_t> capture3 = monitor.Take(2600);
        EXPECT_GE(theReplayFile.GetPosition(), start3);
        ASSERT_TRUE(w.Click(QStringLiteral("a[name=s9]")));
        ASSERT_TRUE(WaitUntil([&] { return theReplayFile.GetPosition() >= start9; }, 10000));
        const std::vector<int16_t> capture9 = monitor.Take(2600);
        theReplayFile.CloseDevice();

        const double s3 = BestCorrelation(Stretch(recording, start3 + 0.1, 1.0), capture3);
        const double before3 = BestCorrelation(Stretch(recording, start3 - 1.2, 1.0), capture3);
        EXPECT_GT(s3, 0.8) << "sentence 3 not heard: " << s3;
        EXPECT_LT(before3, 0.5) << "sentence 2 heard: " << before3;
        const double s9 = BestCorrelation(Stretch(recording, start9 + 0.1, 1.0), capture9);
        const double before9 = BestCorrelation(Stretch(recording, start9 - 1.2, 1.0), capture9);
        EXPECT_GT(s9, 0.8) << "sentence 9 not heard: " << s9;
        EXPECT_LT(before9, 0.5) << "sentence 8 heard: " << before9;
    }
    EXPECT_TRUE(messages.isEmpty()) << messages.join(QLatin1Char('\n')).toStdString();
    platform::SetMessageSink({});
    platform::setAudioBackend(nullptr);
}

}  // namespace
