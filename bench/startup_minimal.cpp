// SPDX-License-Identifier: GPL-3.0-or-later
// The yardstick for bench_startup: a minimal program of our own that only
// shows a QWebEngineView loading the same home page (from its file), prints
// "loaded <RSS kB>" once it has loaded, then quits.
#include "startup_report.h"

#include <QApplication>
#include <QUrl>
#include <QWebEngineView>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) return 2;
    QWebEngineView view;
    QObject::connect(&view, &QWebEngineView::loadFinished, [](bool ok) { reportLoaded(ok); });
    view.resize(900, 700);
    view.show();
    view.load(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[1])));
    return QApplication::exec();
}
