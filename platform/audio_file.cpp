// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio_file.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

AudioFile::AudioFile() = default;

AudioFile::~AudioFile() { close(); }

bool AudioFile::open(const QString& path) {
    close();
    // Non-blocking so that opening a named pipe cannot hang; it is refused below.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    if (!m_buffer) m_buffer = std::make_unique<uint8_t[]>(kBufferBytes);
    m_fd = fd;
    m_size = uint64_t(st.st_size);
    m_pos = 0;
    m_bufferStart = 0;
    m_bufferFill = 0;
    return true;
}

void AudioFile::close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_size = 0;
    m_pos = 0;
    m_bufferFill = 0;
}

bool AudioFile::fill(uint64_t offset) {
    m_bufferStart = offset;
    m_bufferFill = 0;
    while (m_bufferFill < kBufferBytes) {
        const ssize_t n = ::pread(m_fd, m_buffer.get() + m_bufferFill, kBufferBytes - m_bufferFill,
                                  off_t(offset + m_bufferFill));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        m_bufferFill += uint32_t(n);
    }
    return m_bufferFill > 0;
}

uint32_t AudioFile::read(void* dst, uint32_t count) {
    if (m_fd < 0 || m_pos >= uint64_t(INT64_MAX)) return 0;
    auto* out = static_cast<uint8_t*>(dst);
    uint32_t done = 0;
    while (done < count) {
        const bool inBuffer = m_pos >= m_bufferStart && m_pos < m_bufferStart + m_bufferFill;
        if (!inBuffer && !fill(m_pos)) break;
        const uint32_t at = uint32_t(m_pos - m_bufferStart);
        const uint32_t n = std::min(count - done, m_bufferFill - at);
        std::memcpy(out + done, m_buffer.get() + at, n);
        done += n;
        m_pos += n;
    }
    return done;
}

}  // namespace platform
