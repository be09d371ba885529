// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared by the two start-up programs of bench_startup: reports that the page
// has loaded, with the resident memory of this process (the web engine's
// helper processes not counted), and ends the program.

#include <QCoreApplication>
#include <QFile>
#include <cstdio>

inline void reportLoaded(bool ok) {
    QFile status(QStringLiteral("/proc/self/status"));
    long rssKb = -1;
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:")) rssKb = line.mid(6).trimmed().split(' ').value(0).toLong();
    std::printf("%s %ld\n", ok ? "loaded" : "failed", rssKb);
    std::fflush(stdout);
    QCoreApplication::exit(ok ? 0 : 1);
}
