// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A temporary file in the system's temporary folder, removed when done, for
// data written once as a recording streams in and read back a piece at a time
// later: what would otherwise grow in memory with the recording's length.
// Not memory-mapped, so the data read back does not stay in memory.

#include <QString>
#include <QTemporaryFile>

#include <algorithm>
#include <vector>

class ScratchFile {
public:
    ScratchFile() = default;
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // Appends `size` bytes; returns where they begin in the file, or -1 when
    // they could not be written (then errorString() says why).
    qint64 append(const void* data, qint64 size);
    // Reads `size` bytes from `offset`; false when they could not be read.
    bool read(qint64 offset, void* data, qint64 size);
    // Why writing or reading failed, empty while nothing has.
    QString errorString() const { return m_error; }
    bool hasFailed() const { return !m_error.isEmpty(); }

private:
    bool fail(const char* message);

    QTemporaryFile m_file;
    qint64 m_size = 0;
    QString m_error;
};

// Values appended one at a time and read back by index, kept in a ScratchFile
// a chunk at a time: in memory only the chunk being filled and the one last read.
template <typename T>
class ScratchArray {
public:
    explicit ScratchArray(ScratchFile& file) : m_file(&file) {}
    void append(T value) {
        m_filling.push_back(value);
        ++m_size;
        if (m_filling.size() == kChunk) store();
    }
    // Writes the values not yet in the file (after the last append).
    void flush() {
        if (!m_filling.empty()) store();
    }
    long size() const { return m_size; }
    // The value at `index` (< size()); zero when it could not be read (the file says why).
    T at(long index) const {
        const size_t chunk = size_t(index) / kChunk, offset = size_t(index) % kChunk;
        if (chunk == m_offsets.size()) return m_filling[offset];
        if (chunk != m_readChunk) {
            m_read.resize(kChunk);
            if (!m_file->read(m_offsets[chunk], m_read.data(), qint64(sizeof(T) * kChunk))) std::fill(m_read.begin(), m_read.end(), T());
            m_readChunk = chunk;
        }
        return m_read[offset];
    }

private:
    static constexpr size_t kChunk = 16384;
    void store() {
        m_filling.resize(kChunk, T());  // the last chunk padded, so that every one reads whole
        m_offsets.push_back(m_file->append(m_filling.data(), qint64(sizeof(T) * kChunk)));
        m_filling.clear();
    }

    ScratchFile* m_file;
    std::vector<T> m_filling;
    std::vector<qint64> m_offsets;  // where each chunk begins in the file
    long m_size = 0;
    mutable std::vector<T> m_read;  // the chunk last read
    mutable size_t m_readChunk = size_t(-1);
};
