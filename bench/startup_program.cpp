// SPDX-License-Identifier: GPL-3.0-or-later
// The program's start-up, for bench_startup: the application exactly as
// main() starts it (no arguments: the built-in home page), which prints
// "loaded <RSS kB>" once the home page has loaded, then quits.
#include "app/application.h"
#include "platform/web_view.h"
#include "startup_report.h"
#include "ui/main_window.h"
#include "ui/script_view.h"

#include <QApplication>

int main(int argc, char** argv) {
    Application app(argc, argv);
    if (!app.start()) return 1;
    QObject::connect(app.window()->scriptView()->webView(), &QWebEngineView::loadFinished,
                     [](bool ok) { reportLoaded(ok); });
    return QApplication::exec();
}
