// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small ZIP writer for EPUB containers: entries stored or deflated (zlib),
// written in the order added, the whole archive through a temporary file so
// a failure leaves nothing behind. No ZIP64: every entry and the archive stay
// below 4 GiB.

#include <QByteArray>
#include <QSaveFile>
#include <QString>
#include <vector>

class ZipWriter {
public:
    explicit ZipWriter(const QString& path);

    bool open();
    // Adds an entry from bytes; `compress` deflates them.
    bool addData(const QString& name, const QByteArray& data, bool compress);
    // Adds a file's bytes as they are (audio gains nothing from deflating).
    bool addFile(const QString& name, const QString& path);
    // Writes the central directory and puts the archive in place.
    bool commit();
    QString errorString() const { return m_error; }

private:
    struct Entry {
        QByteArray name;
        quint32 crc = 0, compressedSize = 0, size = 0;
        quint32 offset = 0;
        quint16 method = 0;
    };
    bool writeLocalHeader(Entry& entry);
    bool write(const QByteArray& bytes);
    bool fail(const QString& message);

    QSaveFile m_file;
    std::vector<Entry> m_entries;
    quint16 m_time = 0, m_date = 0;  // MS-DOS time and date of every entry
    QString m_error;
};
