// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/zip_writer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QtEndian>
#include <zlib.h>

namespace {

constexpr quint64 kLimit = 0xFFFFFFF0u;  // below ZIP64's territory

void put16(QByteArray& out, quint16 v) { out.append(char(v & 0xFF)).append(char(v >> 8)); }
void put32(QByteArray& out, quint32 v) { put16(out, quint16(v & 0xFFFF)), put16(out, quint16(v >> 16)); }

// Raw deflate (no zlib header), as ZIP's method 8 wants.
bool deflateRaw(const QByteArray& in, QByteArray& out) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    out.resize(qsizetype(deflateBound(&z, uLong(in.size()))));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
    z.avail_in = uInt(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    const int status = deflate(&z, Z_FINISH);
    out.resize(qsizetype(z.total_out));
    deflateEnd(&z);
    return status == Z_STREAM_END;
}

}  // namespace

ZipWriter::ZipWriter(const QString& path) : m_file(path) {
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    m_date = quint16((std::max(d.year(), 1980) - 1980) << 9 | d.month() << 5 | d.day());
    m_time = quint16(t.hour() << 11 | t.minute() << 5 | t.second() / 2);
}

bool ZipWriter::fail(const QString& message) {
    if (m_error.isEmpty()) m_error = message;
    m_file.cancelWriting();
    return false;
}

bool ZipWriter::open() {
    if (!m_file.open(QIODevice::WriteOnly))
        return fail(QCoreApplication::translate("ZipWriter", "Could not write '%1': %2").arg(m_file.fileName(), m_file.errorString()));
    return true;
}

bool ZipWriter::write(const QByteArray& bytes) {
    if (m_file.write(bytes) != bytes.size())
        return fail(QCoreApplication::translate("ZipWriter", "Could not write '%1': %2").arg(m_file.fileName(), m_file.errorString()));
    return true;
}

bool ZipWriter::writeLocalHeader(Entry& entry) {
    if (quint64(m_file.pos()) > kLimit)
        return fail(QCoreApplication::translate("ZipWriter", "'%1' would be larger than 4 GiB").arg(m_file.fileName()));
    entry.offset = quint32(m_file.pos());
    QByteArray header;
    put32(header, 0x04034b50);
    put16(header, 20);            // version needed: 2.0
    put16(header, 0x0800);        // names in UTF-8
    put16(header, entry.method);
    put16(header, m_time);
    put16(header, m_date);
    put32(header, entry.crc);
    put32(header, entry.compressedSize);
    put32(header, entry.size);
    put16(header, quint16(entry.name.size()));
    put16(header, 0);             // no extra field
    header += entry.name;
    m_entries.push_back(entry);
    return write(header);
}

bool ZipWriter::addData(const QString& name, const QByteArray& data, bool compress) {
    Entry entry;
    entry.name = name.toUtf8();
    entry.size = quint32(data.size());
    entry.crc = quint32(crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size())));
    QByteArray packed;
    if (compress && deflateRaw(data, packed) && packed.size() < data.size()) entry.method = 8;
    else packed = data;
    entry.compressedSize = quint32(packed.size());
    return writeLocalHeader(entry) && write(packed);
}

bool ZipWriter::addFile(const QString& name, const QString& path) {
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return fail(QCoreApplication::translate("ZipWriter", "Could not open '%1': %2").arg(path, in.errorString()));
    if (quint64(in.size()) > kLimit)
        return fail(QCoreApplication::translate("ZipWriter", "'%1' is larger than 4 GiB").arg(path));
    // The checksum goes before the bytes: a first pass computes it.
    Entry entry;
    entry.name = name.toUtf8();
    entry.size = entry.compressedSize = quint32(in.size());
    uLong crc = crc32(0, nullptr, 0);
    QByteArray block;
    while (!(block = in.read(1 << 20)).isEmpty()) crc = crc32(crc, reinterpret_cast<const Bytef*>(block.constData()), uInt(block.size()));
    entry.crc = quint32(crc);
    if (!in.seek(0) || !writeLocalHeader(entry)) return fail(in.errorString());
    qint64 copied = 0;
    while (!(block = in.read(1 << 20)).isEmpty()) {
        if (!write(block)) return false;
        copied += block.size();
    }
    if (copied != qint64(entry.size))
        return fail(QCoreApplication::translate("ZipWriter", "'%1' changed while it was read").arg(path));
    return true;
}

bool ZipWriter::commit() {
    if (!m_error.isEmpty()) return false;
    const quint64 start = quint64(m_file.pos());
    QByteArray directory;
    for (const Entry& e : m_entries) {
        put32(directory, 0x02014b50);
        put16(directory, 0x031E);  // made by: Unix, 3.0
        put16(directory, 20);
        put16(directory, 0x0800);
        put16(directory, e.method);
        put16(directory, m_time);
        put16(directory, m_date);
        put32(directory, e.crc);
        put32(directory, e.compressedSize);
        put32(directory, e.size);
        put16(directory, quint16(e.name.size()));
        put16(directory, 0);  // extra
        put16(directory, 0);  // comment
        put16(directory, 0);  // disk
        put16(directory, 0);  // internal attributes
        put32(directory, 0100644u << 16);  // external: a regular file, rw-r--r--
        put32(directory, e.offset);
        directory += e.name;
    }
    if (start + quint64(directory.size()) > kLimit)
        return fail(QCoreApplication::translate("ZipWriter", "'%1' would be larger than 4 GiB").arg(m_file.fileName()));
    put32(directory, 0x06054b50);
    put16(directory, 0);
    put16(directory, 0);
    put16(directory, quint16(m_entries.size()));
    put16(directory, quint16(m_entries.size()));
    put32(directory, 0);  // the directory's size, set below
    put32(directory, quint32(start));
    put16(directory, 0);
    // The directory's size excludes the end record (22 bytes).
    const quint32 size = quint32(directory.size() - 22);
    qToLittleEndian<quint32>(size, directory.data() + directory.size() - 10);
    if (!write(directory)) return false;
    if (!m_file.commit())
        return fail(QCoreApplication::translate("ZipWriter", "Could not write '%1': %2").arg(m_file.fileName(), m_file.errorString()));
    return true;
}
