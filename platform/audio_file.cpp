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
    if (!buffer_) buffer_ = std::make_unique<uint8_t[]>(kBufferBytes);
    fd_ = fd;
    size_ = uint64_t(st.st_size);
    pos_ = 0;
    bufferStart_ = 0;
    bufferFill_ = 0;
    return true;
}

void AudioFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    size_ = 0;
    pos_ = 0;
    bufferFill_ = 0;
}

bool AudioFile::fill(uint64_t offset) {
    bufferStart_ = offset;
    bufferFill_ = 0;
    while (bufferFill_ < kBufferBytes) {
        const ssize_t n = ::pread(fd_, buffer_.get() + bufferFill_, kBufferBytes - bufferFill_,
                                  off_t(offset + bufferFill_));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        bufferFill_ += uint32_t(n);
    }
    return bufferFill_ > 0;
}

uint32_t AudioFile::read(void* dst, uint32_t count) {
    if (fd_ < 0 || pos_ >= uint64_t(INT64_MAX)) return 0;
    auto* out = static_cast<uint8_t*>(dst);
    uint32_t done = 0;
    while (done < count) {
        const bool inBuffer = pos_ >= bufferStart_ && pos_ < bufferStart_ + bufferFill_;
        if (!inBuffer && !fill(pos_)) break;
        const uint32_t at = uint32_t(pos_ - bufferStart_);
        const uint32_t n = std::min(count - done, bufferFill_ - at);
        std::memcpy(out + done, buffer_.get() + at, n);
        done += n;
        pos_ += n;
    }
    return done;
}

}  // namespace platform
