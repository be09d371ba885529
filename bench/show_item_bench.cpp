// SPDX-License-Identifier: GPL-3.0-or-later
// Following the item sounding over a full table of 25,000 items, in a real
// script view with the page loaded in the web engine: the lookup of the item
// at a position (what nearly every tracking round costs), and the view's
// answer to a new current item, which highlights it and moves the page to
// its anchor. Reports the time per update. Needs a display (e.g. run under
// scripts/services.sh).
#include "audio/file_player.h"
#include "html/byte_stream.h"
#include "platform/message_box.h"
#include "platform/sim_audio.h"
#include "platform/web_view.h"
#include "session/playback_session.h"
#include "ui/script_view.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QWebEnginePage>

#include <cstdio>
#include <memory>

namespace {

constexpr double kItemSeconds = 2.5;

ScriptView* theView = nullptr;
PlaybackSession* thePlayback = nullptr;
std::vector<AudioItem> theItems;

// 25,000 named anchors into reading.wav, one every 2.5 s, with text between.
QByteArray scriptPage() {
    QByteArray p = "<html><body>\n";
    for (int i = 0; i < kMaxAudioItems; ++i) {
        const QByteArray n = QByteArray::number(i);
        p += "<p><a name=s" + n + " href=\"reading.wav#" + QByteArray::number(i * kItemSeconds, 'f', 1) + "#" +
             QByteArray::number(i * kItemSeconds + 2.4, 'f', 1) + "\">" + n +
             "</a> the reader follows each sentence while it plays\n";
    }
    return p + "</body></html>\n";
}

void BM_ShowItemAt_SameItem(benchmark::State& state) {
    const double seconds = kMaxAudioItems / 2 * kItemSeconds + 1.0;
    int k = -1;
    for (auto _ : state) benchmark::DoNotOptimize(k = findCurrentItem(theItems.data(), int(theItems.size()), seconds));
    if (k != kMaxAudioItems / 2) state.SkipWithError("the wrong item is current");
}

void BM_ShowItemAt_NextItem(benchmark::State& state) {
    int k = 0;
    for (auto _ : state) {
        // Let the engine take the previous move before timing the next one.
        state.PauseTiming();
        QCoreApplication::processEvents();
        state.ResumeTiming();
        emit thePlayback->currentItemChanged(QStringLiteral("s%1").arg(k));
        k = (k + 1) % kMaxAudioItems;
    }
    QCoreApplication::processEvents();
    if (!theView->webView()->url().fragment().startsWith(QLatin1Char('s'))) state.SkipWithError("the page did not move");
}

BENCHMARK(BM_ShowItemAt_SameItem)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ShowItemAt_NextItem)->Unit(benchmark::kMicrosecond)->Iterations(2000);

}  // namespace

int main(int argc, char** argv) {
    platform::registerWebSchemes();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);

    QTemporaryDir dir;
    const QString page = dir.filePath(QStringLiteral("reading.htm"));
    QFile file(page);
    if (!file.open(QIODevice::WriteOnly) || file.write(scriptPage()) < 0) return 1;
    file.close();

    QFile wav(dir.filePath(QStringLiteral("reading.wav")));
    const QByteArray header = QByteArray::fromHex("52494646240000005741564566"
                                                  "6d74201000000001000100401f0000803e0000020010006461746100000000");
    if (!wav.open(QIODevice::WriteOnly) || wav.write(header) < 0) return 1;
    wav.close();
    platform::SimAudioBackend sim(platform::SimAudioBackend::Clock::Stepped);
    FilePlayer player(sim);
    PlaybackSession playback(player);
    const platform::Messages messages;
    auto view = std::make_unique<ScriptView>(playback, messages, QString());
    view->resize(800, 600);
    view->show();
    bool loaded = false;
    QObject::connect(view->webView(), &QWebEngineView::loadFinished, [&](bool ok) { loaded = ok; });
    view->openScript(page);
    QElapsedTimer wait;
    wait.start();
    while (!loaded && wait.elapsed() < 60000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    if (!loaded) {
        std::fprintf(stderr, "the page did not load\n");
        return 1;
    }
    playback.playLink(wav.fileName(), view->webView()->location());
    if (playback.itemCount() != kMaxAudioItems) {
        std::fprintf(stderr, "the table holds %d items, not %d\n", playback.itemCount(), kMaxAudioItems);
        return 1;
    }
    std::vector<AudioItem> items(kMaxAudioItems);
    MemoryByteStream stream(scriptPage());
    items.resize(size_t(scanItemsFromStream(stream, view->webView()->location(), wav.fileName(), items.data(), kMaxAudioItems)));
    theItems = std::move(items);
    thePlayback = &playback;
    theView = view.get();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    theView = nullptr;
    return 0;
}
