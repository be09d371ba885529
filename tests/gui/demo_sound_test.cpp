// SPDX-License-Identifier: GPL-3.0-or-later
// End to end with real sound: the demo script in the window, sentence links
// clicked, and what the sound server plays captured from the null sink's
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

TEST(DemoSound, ClickedSentencesAreWhatTheSoundServerPlays) {
    const auto backend = platform::createQtAudioBackend();
    platform::setAudioBackend(backend.get());
    QStringList messages;
    platform::SetMessageSink([&](const QString& text) { messages << text; });
    const QString demo = QStringLiteral(PARLOTYPE_SOURCE_DIR "/app/resources/demo/");
    const std::vector<int16_t> recording = ReadDemoWave(demo + QStringLiteral("demo.wav"));
    ASSERT_GT(recording.size(), size_t(15 * kRate));

    MonitorCapture monitor;
    ASSERT_TRUE(monitor.Running()) << "parec did not start";
    {
        TestWindow w({demo + QStringLiteral("demo.htm")});
        ASSERT_TRUE(w.WaitForPage(QUrl::fromLocalFile(demo + QStringLiteral("demo.htm"))));

        // Sentence 2 (2.03 to 4.85 s) from the WAV file.
        ASSERT_TRUE(w.Click(QStringLiteral("a[name=s2]")));
        ASSERT_TRUE(WaitUntil([&] { return theReplayFile.IsPlaying(); }, 10000));
        EXPECT_TRUE(theReplayFile.GetFileName().endsWith(QLatin1String("/demo.wav")));
        const std::vector<int16_t> wavCapture = monitor.Take(2600);
        EXPECT_GE(theReplayFile.GetPosition(), 2.03);

        // Sentence 4 (8.17 to 10.91 s) from the MP3 copy: another file, opened anew.
        ASSERT_TRUE(w.Click(QStringLiteral("a[name=m4]")));
        ASSERT_TRUE(WaitUntil([&] { return theReplayFile.GetFileName().endsWith(QLatin1String("/demo.mp3")); }, 10000));
        const std::vector<int16_t> mp3Capture = monitor.Take(2600);
        theReplayFile.CloseDevice();

        const double s2 = BestCorrelation(Stretch(recording, 2.10, 1.0), wavCapture);
        const double s1 = BestCorrelation(Stretch(recording, 0.35, 1.0), wavCapture);
        EXPECT_GT(s2, 0.8) << "sentence 2 not heard: " << s2;
        EXPECT_LT(s1, 0.5) << "sentence 1 heard: " << s1;
        const double s4 = BestCorrelation(Stretch(recording, 8.25, 1.0), mp3Capture);
        const double s5 = BestCorrelation(Stretch(recording, 11.4, 1.0), mp3Capture);
        EXPECT_GT(s4, 0.7) << "sentence 4 not heard: " << s4;
        EXPECT_LT(s5, 0.5) << "sentence 5 heard: " << s5;
    }
    EXPECT_TRUE(messages.isEmpty()) << messages.join(QLatin1Char('\n')).toStdString();
    platform::SetMessageSink({});
    platform::setAudioBackend(nullptr);
}

}  // namespace
