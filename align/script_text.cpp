// SPDX-License-Identifier: GPL-3.0-or-later
#include "align/script_text.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringDecoder>

ScriptText::Result ScriptText::load(const QString& path) {
    m_items.clear();
    m_paragraph.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return Result::CannotOpen;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(file.readAll());
    if (decoder.hasError()) return Result::NotUtf8;
    int paragraph = 0;
    bool gap = false;
    for (const QString& raw : text.split(QLatin1Char('\n'))) {
        const QString line = raw.simplified();
        if (line.isEmpty()) {
            gap = !m_items.isEmpty();
            continue;
        }
        if (gap) ++paragraph, gap = false;
        m_items.append(line);
        m_paragraph.push_back(paragraph);
    }
    return m_items.isEmpty() ? Result::NoItems : Result::Ok;
}

QString ScriptText::message(Result result, const QString& path) {
    switch (result) {
    case Result::CannotOpen: return QCoreApplication::translate("ScriptText", "Could not open '%1'").arg(path);
    case Result::NotUtf8: return QCoreApplication::translate("ScriptText", "'%1' is not UTF-8 text").arg(path);
    case Result::NoItems: return QCoreApplication::translate("ScriptText", "'%1' holds no text to align").arg(path);
    case Result::Ok: break;
    }
    return {};
}
