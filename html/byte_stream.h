// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// ByteStream: the byte source the tokenizer and the page listings read.
//
// A stream hands out the bytes of a window [first, end) it holds in memory;
// when the window is used up it asks its subclass for the next one (refill).
// Reading a byte is an inline pointer step, so a reader may go byte by byte
// without a call per byte. The last byte read can always be stepped back over.

#include <QByteArray>

class ByteStream {
public:
    ByteStream() = default;
    ByteStream(const ByteStream&) = delete;
    ByteStream& operator=(const ByteStream&) = delete;
    virtual ~ByteStream() = default;

    // Reads one byte into *byte. False when the stream has ended.
    bool read(char* byte) {
        if (m_next == m_end && !refill()) return false;
        *byte = *m_next++;
        return true;
    }

    // Moves `offset` bytes from the current position within the bytes held.
    // seek(-1) right after a read that returned a byte always succeeds, so the
    // next read yields that byte again. Returns false, moving nothing, when the
    // target lies outside what is held.
    bool seek(qsizetype offset);

    // Appends to `out` the bytes up to, not including, the next `stop` byte and
    // consumes them. Returns true when a `stop` byte follows (it is not
    // consumed), false when the stream ended first.
    bool readUntil(char stop, QByteArray& out);

    // Reads one line into `line` without its line end ("\n" or "\r\n").
    // Returns false, with `line` empty, when no line is left; a last line
    // without a line end is still a line.
    bool readLine(QByteArray& line);

protected:
    // Called when every byte held has been read: makes the next bytes
    // available through setWindow, keeping the last byte read in front of them
    // (so seek(-1) still works). Returns true with at least one byte to read,
    // false at the end of the stream.
    virtual bool refill() { return false; }

    void setWindow(const char* first, const char* next, const char* end) {
        m_first = first;
        m_next = next;
        m_end = end;
    }

private:
    const char* m_first = nullptr;  // earliest byte a seek may go back to
    const char* m_next = nullptr;   // next byte to read
    const char* m_end = nullptr;    // one past the last byte held
};

// A stream over bytes already in memory (tests, benchmarks, fetched pages).
class MemoryByteStream : public ByteStream {
public:
    explicit MemoryByteStream(QByteArray data);

private:
    QByteArray m_data;
};
