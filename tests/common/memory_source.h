// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Bytes in memory as a ByteSource, for the parsers' tests and fuzzers.

#include "platform/audio_file.h"

#include <string>

class MemorySource final : public platform::ByteSource {
public:
    explicit MemorySource(std::string bytes) : m_bytes(std::move(bytes)) {}
    uint32_t read(void* dst, uint32_t count) override {
        const size_t n = m_pos < m_bytes.size() ? m_bytes.copy(static_cast<char*>(dst), count, m_pos) : 0;
        m_pos += n;
        return uint32_t(n);
    }
    void seek(uint64_t offset) override { m_pos = offset; }
    uint64_t position() const override { return m_pos; }
    uint64_t size() const override { return m_bytes.size(); }

private:
    std::string m_bytes;
    uint64_t m_pos = 0;
};
