// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Bytes in memory as a ByteSource, for the parsers' tests and fuzzers.

#include "platform/audio_file.h"

#include <algorithm>
#include <cstring>
#include <string>

class MemorySource final : public platform::ByteSource {
public:
    explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
    uint32_t read(void* dst, uint32_t count) override {
        if (pos_ >= bytes_.size()) return 0;
        const auto n = uint32_t(std::min<uint64_t>(count, bytes_.size() - pos_));
        std::memcpy(dst, bytes_.data() + pos_, n);
        pos_ += n;
        return n;
    }
    void seek(uint64_t offset) override { pos_ = offset; }
    uint64_t position() const override { return pos_; }
    uint64_t size() const override { return bytes_.size(); }

private:
    std::string bytes_;
    uint64_t pos_ = 0;
};
