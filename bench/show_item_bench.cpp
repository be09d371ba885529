// SPDX-License-Identifier: GPL-3.0-or-later
// ShowItemAt of the script view over a full table of 25,000 items, in a real
// view with the page loaded in the web engine: the update while the item
// stays the same (what nearly every idle update during playback costs), and
// the update that moves the page to the next item's anchor. Reports the time
// per update. Needs a display (e.g. run under scripts/services.sh).
#include "app/parlotype_doc.h"
#include "platform/web_view.h"
#include "view/parlotype_view.h"

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

CParlotypeView* theView = nullptr;

// 25,000 named anchors into reading.wav, one every 2.5 s, with text between.
QByteArray ScriptPage() {
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
    theView->ShowItemAt(seconds);
    for (auto _ : state) theView->ShowItemAt(seconds);
    if (theView->CurrentItemName() != QStringLiteral("s%1").arg(kMaxAudioItems / 2)) state.SkipWithError("the wrong item is current");
}

void BM_ShowItemAt_NextItem(benchmark::State& state) {
    int k = 0;
    for (auto _ : state) {
        // Let the engine take the previous move before timing the next one.
        state.PauseTiming();
        QCoreApplication::processEvents();
        state.ResumeTiming();
        theView->ShowItemAt(k * kItemSeconds + 0.1);
        k = (k + 1) % kMaxAudioItems;
    }
    if (theView->CurrentItemName() != QStringLiteral("s%1").arg((k + kMaxAudioItems - 1) % kMaxAudioItems))
        state.SkipWithError("the page did not move");
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
    if (!file.open(QIODevice::WriteOnly) || file.write(ScriptPage()) < 0) return 1;
    file.close();

    CParlotypeDoc doc;
    auto view = std::make_unique<CParlotypeView>(&doc, QString());
    view->resize(800, 600);
    view->show();
    bool loaded = false;
    QObject::connect(view->GetWebView(), &QWebEngineView::loadFinished, [&](bool ok) { loaded = ok; });
    view->Navigate2(page);
    QElapsedTimer wait;
    wait.start();
    while (!loaded && wait.elapsed() < 60000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    if (!loaded) {
        std::fprintf(stderr, "the page did not load\n");
        return 1;
    }
    view->ScanItems(dir.filePath(QStringLiteral("reading.wav")));
    if (view->ItemCount() != kMaxAudioItems) {
        std::fprintf(stderr, "the table holds %d items, not %d\n", view->ItemCount(), kMaxAudioItems);
        return 1;
    }
    theView = view.get();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    theView = nullptr;
    return 0;
}
