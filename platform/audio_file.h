// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Byte input for the audio parsers: an interface, and the file that the file
// player reads its audio from.

#include <QString>
#include <cstdint>
#include <memory>

namespace platform {

// Random-access bytes. Positions are offsets from the first byte.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Copies up to `count` bytes from the position into `dst` and moves past
    // them. Returns how many were copied: fewer at the end or on a read error.
    virtual uint32_t read(void* dst, uint32_t count) = 0;
    // Moves to `offset`, which may lie past the end (reads there yield 0).
    virtual void seek(uint64_t offset) = 0;
    virtual uint64_t position() const = 0;
    // Length in bytes, as found when the source was opened.
    virtual uint64_t size() const = 0;
};

// A regular file opened for reading (POSIX), with a read buffer so that the
// small reads of the frame parser cost no system call each.
class AudioFile final : public ByteSource {
public:
    AudioFile();
    ~AudioFile() override;
    AudioFile(const AudioFile&) = delete;
    AudioFile& operator=(const AudioFile&) = delete;

    // Opens `path` for reading at position 0. False when it cannot be opened,
    // or is not a regular file (a directory, a device, a pipe).
    bool open(const QString& path);
    void close();
    bool isOpen() const { return m_fd >= 0; }

    uint32_t read(void* dst, uint32_t count) override;
    void seek(uint64_t offset) override { m_pos = offset; }
    uint64_t position() const override { return m_pos; }
    uint64_t size() const override { return m_size; }

private:
    static constexpr uint32_t kBufferBytes = 256 * 1024;
    bool fill(uint64_t offset);  // loads the buffer from `offset`

    int m_fd = -1;
    uint64_t m_size = 0;
    uint64_t m_pos = 0;
    std::unique_ptr<uint8_t[]> m_buffer;
    uint64_t m_bufferStart = 0;  // file offset of m_buffer[0]
    uint32_t m_bufferFill = 0;   // valid bytes in m_buffer
};

}  // namespace platform
