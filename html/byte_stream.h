// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CByteStream: the byte source the tokenizer and the page listings read.
//
// A stream hands out the bytes of a window [first, end) it holds in memory;
// when the window is used up it asks its subclass for the next one (Refill).
// Reading a byte is an inline pointer step, so a reader may go byte by byte
// without a call per byte. The last byte read can always be stepped back over.

#include <QByteArray>

class CByteStream {
public:
    CByteStream() = default;
    CByteStream(const CByteStream&) = delete;
    CByteStream& operator=(const CByteStream&) = delete;
    virtual ~CByteStream() = default;

    // Reads one byte into *pByte. Returns 1, or 0 when the stream has ended.
    int Read(char* pByte) {
        if (m_pNext == m_pEnd && !Refill()) return 0;
        *pByte = *m_pNext++;
        return 1;
    }

    // Moves nOffset bytes from the current position within the bytes held.
    // Seek(-1) right after a Read that returned a byte always succeeds, so the
    // next Read yields that byte again. Returns false, moving nothing, when the
    // target lies outside what is held.
    bool Seek(qsizetype nOffset);

    // Appends to `out` the bytes up to, not including, the next `stop` byte and
    // consumes them. Returns true when a `stop` byte follows (it is not
    // consumed), false when the stream ended first.
    bool ReadUntil(char stop, QByteArray& out);

    // Reads one line into `line` without its line end ("\n" or "\r\n").
    // Returns false, with `line` empty, when no line is left; a last line
    // without a line end is still a line.
    bool ReadLine(QByteArray& line);

protected:
    // Called when every byte held has been read: makes the next bytes
    // available through SetWindow, keeping the last byte read in front of them
    // (so Seek(-1) still works). Returns true with at least one byte to read,
    // false at the end of the stream.
    virtual bool Refill() { return false; }

    void SetWindow(const char* pFirst, const char* pNext, const char* pEnd) {
        m_pFirst = pFirst;
        m_pNext = pNext;
        m_pEnd = pEnd;
    }

private:
    const char* m_pFirst = nullptr;  // earliest byte a Seek may go back to
    const char* m_pNext = nullptr;   // next byte to read
    const char* m_pEnd = nullptr;    // one past the last byte held
};

// A stream over bytes already in memory (tests, benchmarks, fetched pages).
class CMemoryByteStream : public CByteStream {
public:
    explicit CMemoryByteStream(QByteArray data);

private:
    QByteArray m_data;
};
