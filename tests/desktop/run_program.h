// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs a program to its end without any display (so a window could not
// open) and collects what it printed and its exit status.

#include <QFile>
#include <QProcess>

struct Outcome {
    int exitCode = -1;  // -1: crashed or did not finish
    QString out, err;
};

inline Outcome RunProgram(const QString& program, const QStringList& args) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
    env.insert("MANWIDTH", "80");
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(60000)) p.kill(), p.waitForFinished();  // then it did not exit normally
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

inline QString ReadText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
