// SPDX-License-Identifier: GPL-3.0-or-later
#include "takes/take_store.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>
#include <QtEndian>

namespace {

const QString kSuffix = QStringLiteral(".wav");
const QString kPartSuffix = QStringLiteral(".part");  // a take being written
const QString kTimeFormat = QStringLiteral("yyyyMMdd-HHmmss-zzz");
const QString kIndex = QStringLiteral("index.txt");  // the script's last known path and hash

QByteArray waveHeader(int rate, qsizetype dataBytes) {
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

// The path and hash an index names; both empty without one.
struct Index {
    QString page;
    QByteArray hash;
};

Index readIndex(const QString& folder) {
    QFile file(folder + u'/' + kIndex);
    Index index;
    if (!file.open(QIODevice::ReadOnly)) return index;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("path=")) index.page = QUrl::fromEncoded(line.mid(5)).toLocalFile();
        if (line.startsWith("sha1=")) index.hash = line.mid(5);
    }
    return index;
}

}  // namespace

TakeStore::TakeStore(const QString& folder, QObject* parent) : QObject(parent), m_folder(folder) {}

std::unique_ptr<TakeStore> TakeStore::forScript(const QString& pagePath, const QString& root) {
    QFile page(pagePath);
    if (!page.open(QIODevice::ReadOnly)) return nullptr;
    QCryptographicHash sha1(QCryptographicHash::Sha1);
    if (!sha1.addData(&page)) return nullptr;
    const QByteArray hash = sha1.result().toHex();
    const QString path = QFileInfo(pagePath).absoluteFilePath();
    const QString top = root.isEmpty()
                            ? QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/takes")
                            : root;
    // By path (of two, the one whose hash agrees too), else by hash.
    QString byPath, byHash;
    bool pathAndHash = false;
    for (const QFileInfo& dir : QDir(top).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const Index index = readIndex(dir.filePath());
        const bool sameHash = index.page.isEmpty() ? dir.fileName() == QLatin1String(hash) : index.hash == hash;
        if (!index.page.isEmpty() && index.page == path && (byPath.isEmpty() || (sameHash && !pathAndHash)))
            byPath = dir.filePath(), pathAndHash = sameHash;
        if (sameHash && byHash.isEmpty()) byHash = dir.filePath();
    }
    QString folder = !byPath.isEmpty() ? byPath : byHash;
    // A new folder is named by the hash; one of that name may hold an edited script's takes.
    for (int n = 1; folder.isEmpty(); ++n) {
        const QString name = top + u'/' + QLatin1String(hash) + (n > 1 ? u'-' + QString::number(n) : QString());
        if (!QFileInfo::exists(name)) folder = name;
    }
    auto store = std::make_unique<TakeStore>(folder);
    store->m_page = path, store->m_hash = hash;
    const Index index = readIndex(folder);
    store->m_indexed = index.page == path && index.hash == hash;
    QString error;  // a folder that cannot take its index now gets it with the next take, or says why
    if (!store->m_indexed && QFileInfo(folder).isDir()) store->writeIndex(error);
    return store;
}

bool TakeStore::writeIndex(QString& error) {
    QSaveFile file(m_folder + u'/' + kIndex);
    if (!file.open(QIODevice::WriteOnly) || file.write("path=" + QUrl::fromLocalFile(m_page).toEncoded() + '\n') < 0 ||
        file.write("sha1=" + m_hash + '\n') < 0 || !file.commit()) {
        error = tr("Could not write the index of the takes '%1': %2").arg(file.fileName(), file.errorString());
        return false;
    }
    m_indexed = true;
    return true;
}

QByteArray TakeStore::waveBytes(const std::vector<int16_t>& samples, int rate) {
    QByteArray data(reinterpret_cast<const char*>(samples.data()), qsizetype(samples.size() * sizeof(int16_t)));
    if constexpr (Q_BYTE_ORDER == Q_BIG_ENDIAN)
        for (qsizetype i = 0; i + 1 < data.size(); i += 2) std::swap(data[i], data[i + 1]);
    return waveHeader(rate, data.size()) + data;
}

QString TakeStore::save(const QString& item, const std::vector<int16_t>& samples, int rate, QString& error) {
    if (!QDir().mkpath(m_folder)) {
        error = tr("Could not make the folder '%1' for takes").arg(m_folder);
        return {};
    }
    if (!m_indexed && !writeIndex(error)) return {};
    // Two takes in one millisecond get a step later in the name.
    QDateTime when = QDateTime::currentDateTime();
    const QString stem = QString::fromLatin1(QUrl::toPercentEncoding(item, QByteArray(), "@")) + u'@';
    QString path;
    do path = m_folder + u'/' + stem + when.toString(kTimeFormat) + kSuffix, when = when.addMSecs(1);
    while (QFileInfo::exists(path));
    // Written beside the take under a temporary name, renamed when complete.
    QFile file(path + kPartSuffix);
    const QByteArray bytes = waveBytes(samples, rate);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() ||
        (file.close(), file.error() != QFile::NoError) || !file.rename(path)) {
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
