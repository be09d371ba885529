// SPDX-License-Identifier: GPL-3.0-or-later
#include "takes/take_store.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>
#include <QtEndian>

namespace {

const QString kSuffix = QStringLiteral(".wav");
const QString kPartSuffix = QStringLiteral(".part");  // a take being written
const QString kTimeFormat = QStringLiteral("yyyyMMdd-HHmmss-zzz");

QByteArray WaveHeader(int rate, qsizetype dataBytes) {
    QByteArray h(44, '\0');
    auto put32 = [&h](int at, quint32 v) { qToLittleEndian(v, h.data() + at); };
    auto put16 = [&h](int at, quint16 v) { qToLittleEndian(v, h.data() + at); };
    h.replace(0, 4, "RIFF");
    put32(4, quint32(36 + dataBytes));
    h.replace(8, 8, "WAVEfmt ");
    put32(16, 16);
    put16(20, 1);  // PCM
    put16(22, 1);  // mono
    put32(24, quint32(rate));
    put32(28, quint32(rate * 2));
    put16(32, 2);
    put16(34, 16);
    h.replace(36, 4, "data");
    put32(40, quint32(dataBytes));
    return h;
}

}  // namespace

TakeStore::TakeStore(const QString& folder, QObject* parent) : QObject(parent), m_folder(folder) {}

QString TakeStore::folderFor(const QString& pagePath) {
    QFile page(pagePath);
    if (!page.open(QIODevice::ReadOnly)) return {};
    QCryptographicHash hash(QCryptographicHash::Sha1);
    if (!hash.addData(&page)) return {};
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/takes/") +
           QString::fromLatin1(hash.result().toHex());
}

QString TakeStore::save(const QString& item, const std::vector<int16_t>& samples, int rate, QString& error) {
    if (!QDir().mkpath(m_folder)) {
        error = tr("Could not make the folder '%1' for takes").arg(m_folder);
        return {};
    }
    // Two takes in one millisecond get a step later in the name.
    QDateTime when = QDateTime::currentDateTime();
    const QString stem = QString::fromLatin1(QUrl::toPercentEncoding(item, QByteArray(), "@")) + u'@';
    QString path;
    do path = m_folder + u'/' + stem + when.toString(kTimeFormat) + kSuffix, when = when.addMSecs(1);
    while (QFileInfo::exists(path));
    // Written beside the take under a temporary name, renamed when complete.
    QFile file(path + kPartSuffix);
    QByteArray data(reinterpret_cast<const char*>(samples.data()), qsizetype(samples.size() * sizeof(int16_t)));
    if constexpr (Q_BYTE_ORDER == Q_BIG_ENDIAN)
        for (qsizetype i = 0; i + 1 < data.size(); i += 2) std::swap(data[i], data[i + 1]);
    if (!file.open(QIODevice::WriteOnly) || file.write(WaveHeader(rate, data.size())) != 44 ||
        file.write(data) != data.size() || !file.flush() || (file.close(), file.error() != QFile::NoError) ||
        !file.rename(path)) {
        error = tr("Could not write the take '%1': %2").arg(path, file.errorString());
        file.remove();
        return {};
    }
    emit changed();
    return path;
}

QStringList TakeStore::takes(const QString& item) const {
    const QString stem = QString::fromLatin1(QUrl::toPercentEncoding(item, QByteArray(), "@")) + u'@';
    QStringList found;
    // Only complete takes: one being written (or cut short) ends in kPartSuffix.
    const QFileInfoList files = QDir(m_folder).entryInfoList({stem + u'*' + kSuffix}, QDir::Files, QDir::Name);
    for (const QFileInfo& f : files)
        if (timeOf(f.fileName()).isValid()) found << f.absoluteFilePath();
    return found;
}

QString TakeStore::itemOf(const QString& takePath) {
    const QString name = QFileInfo(takePath).fileName();
    return QUrl::fromPercentEncoding(name.left(name.lastIndexOf(u'@')).toLatin1());
}

QDateTime TakeStore::timeOf(const QString& takePath) {
    const QString name = QFileInfo(takePath).fileName();
    const qsizetype at = name.lastIndexOf(u'@');
    if (at < 0 || !name.endsWith(kSuffix)) return {};
    return QDateTime::fromString(name.mid(at + 1, name.size() - at - 1 - kSuffix.size()), kTimeFormat);
}

bool TakeStore::remove(const QString& takePath) {
    if (QFileInfo(takePath).absolutePath() != QFileInfo(m_folder).absoluteFilePath()) return false;
    if (!QFile::remove(takePath)) return false;
    emit changed();
    return true;
}
