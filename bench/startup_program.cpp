// SPDX-License-Identifier: GPL-3.0-or-later
// The program's start-up, for bench_startup: the application exactly as
// main() starts it (no arguments: the built-in home page), which prints
// "loaded <RSS kB>" once the home page has loaded, then quits.
#include "app/main_frame.h"
#include "app/parlotype_app.h"
#include "platform/web_view.h"
#include "startup_report.h"
#include "view/parlotype_view.h"

#include <QApplication>

int main(int argc, char** argv) {
    CParlotypeApp app(argc, argv);
    if (!app.InitInstance()) return 1;
    QObject::connect(app.GetMainWnd()->GetActiveView()->GetWebView(), &QWebEngineView::loadFinished,
                     [](bool ok) { ReportLoaded(ok); });
    return QApplication::exec();
}
