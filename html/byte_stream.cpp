// SPDX-License-Identifier: GPL-3.0-or-later
#include "html/byte_stream.h"

#include <cstring>

bool CByteStream::Seek(qsizetype nOffset) {
    if (nOffset < m_pFirst - m_pNext || nOffset > m_pEnd - m_pNext) return false;
    m_pNext += nOffset;
    return true;
}

bool CByteStream::ReadUntil(char stop, QByteArray& out) {
    for (;;) {
        if (m_pNext == m_pEnd && !Refill()) return false;
        const qsizetype nHeld = m_pEnd - m_pNext;
        const void* pStop = std::memchr(m_pNext, static_cast<unsigned char>(stop), nHeld);
        const char* pUpTo = pStop ? static_cast<const char*>(pStop) : m_pEnd;
        out.append(m_pNext, pUpTo - m_pNext);
        m_pNext = pUpTo;
        if (pStop) return true;
    }
}

bool CByteStream::ReadLine(QByteArray& line) {
    line.resize(0);
    char c;
    if (!Read(&c)) return false;
    Seek(-1);
    if (ReadUntil('\n', line)) {
        Read(&c);
        if (line.endsWith('\r')) line.chop(1);
    }
    return true;
}

CMemoryByteStream::CMemoryByteStream(QByteArray data) : m_data(std::move(data)) {
    const char* p = m_data.constData();
    SetWindow(p, p, p + m_data.size());
}
