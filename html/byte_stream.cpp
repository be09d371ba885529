// SPDX-License-Identifier: GPL-3.0-or-later
#include "html/byte_stream.h"

#include <cstring>

bool ByteStream::seek(qsizetype offset) {
    if (offset < m_first - m_next || offset > m_end - m_next) return false;
    m_next += offset;
    return true;
}

bool ByteStream::readUntil(char stop, QByteArray& out) {
    for (;;) {
        if (m_next == m_end && !refill()) return false;
        const qsizetype held = m_end - m_next;
        const void* found = std::memchr(m_next, static_cast<unsigned char>(stop), held);
        const char* upTo = found ? static_cast<const char*>(found) : m_end;
        out.append(m_next, upTo - m_next);
        m_next = upTo;
        if (found) return true;
    }
}

bool ByteStream::readLine(QByteArray& line) {
    line.resize(0);
    char c;
    if (!read(&c)) return false;
    seek(-1);
    if (readUntil('\n', line)) {
        read(&c);
        if (line.endsWith('\r')) line.chop(1);
    }
    return true;
}

MemoryByteStream::MemoryByteStream(QByteArray data) : m_data(std::move(data)) {
    const char* p = m_data.constData();
    setWindow(p, p, p + m_data.size());
}
