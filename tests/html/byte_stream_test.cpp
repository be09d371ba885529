// SPDX-License-Identifier: GPL-3.0-or-later
// The byte stream under the tokenizer: reading, stepping back, lines, and a
// stream that refills in small pieces, which must read exactly like one block.
#include "html/byte_stream.h"
#include "html/html_tokenizer.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

// Hands out its bytes `chunk` at a time, keeping the last byte read in front.
class CChunkedStream : public CByteStream {
public:
    CChunkedStream(QByteArray data, qsizetype chunk) : m_data(std::move(data)), m_chunk(chunk) {}

protected:
    bool Refill() override {
        if (m_pos == m_data.size()) return false;
        const char* base = m_data.constData();
        const qsizetype n = std::min(m_chunk, m_data.size() - m_pos);
        // Copy into a fresh buffer so that reading past the window would show.
        m_buf = QByteArray(base + m_pos - (m_pos > 0), n + (m_pos > 0));
        SetWindow(m_buf.constData(), m_buf.constData() + (m_pos > 0), m_buf.constData() + m_buf.size());
        m_pos += n;
        return true;
    }

private:
    QByteArray m_data, m_buf;
    qsizetype m_chunk, m_pos = 0;
};

QByteArray Serialize(CByteStream& stream) {
    CHtmlTokenizer tokenizer(&stream);
    QByteArray out;
    while (CHtmlToken* t = tokenizer.NextToken()) {
        out += QByteArray::number(t->m_nKind) + "|" + t->m_strText;
        for (int i = 0; i < t->m_nAttr; ++i) out += "|" + t->m_pAttr[i];
        out += "\n";
    }
    return out;
}

TEST(ByteStream, ReadAndStepBack) {
    CMemoryByteStream s("ab");
    char c = 0;
    EXPECT_FALSE(s.Seek(-1)) << "nothing read yet";
    ASSERT_EQ(s.Read(&c), 1);
    EXPECT_EQ(c, 'a');
    EXPECT_TRUE(s.Seek(-1));
    ASSERT_EQ(s.Read(&c), 1);
    EXPECT_EQ(c, 'a');
    ASSERT_EQ(s.Read(&c), 1);
    EXPECT_EQ(c, 'b');
    EXPECT_EQ(s.Read(&c), 0);
    EXPECT_FALSE(s.Seek(1)) << "past the end";
    EXPECT_TRUE(s.Seek(-1));
    ASSERT_EQ(s.Read(&c), 1);
    EXPECT_EQ(c, 'b');
    EXPECT_EQ(s.Read(&c), 0);
}

TEST(ByteStream, StepBackAcrossRefills) {
    CChunkedStream s("xyz", 1);
    char c = 0;
    for (char want : {'x', 'y', 'z'}) {
        ASSERT_EQ(s.Read(&c), 1);
        ASSERT_EQ(c, want);
        ASSERT_TRUE(s.Seek(-1));
        ASSERT_EQ(s.Read(&c), 1);
        ASSERT_EQ(c, want);
    }
    EXPECT_EQ(s.Read(&c), 0);
}

TEST(ByteStream, Lines) {
    struct Case {
        QByteArray text;
        std::vector<QByteArray> lines;
    };
    const Case cases[] = {
        {"", {}},
        {"one\ntwo", {"one", "two"}},
        {"one\r\ntwo\r\n", {"one", "two"}},
        {"\n\n", {"", ""}},
        {"a\rb\n", {"a\rb"}},
        {"end\r", {"end\r"}},
    };
    for (const Case& c : cases) {
        for (qsizetype chunk : {1, 2, 64}) {
            CChunkedStream s(c.text, chunk);
            std::vector<QByteArray> lines;
            QByteArray line;
            while (s.ReadLine(line)) lines.push_back(line);
            EXPECT_EQ(lines, c.lines) << c.text.toStdString() << " chunk " << chunk;
            EXPECT_TRUE(line.isEmpty());
        }
    }
}

TEST(ByteStream, ChunkedReadsTokenizeLikeOneBlock) {
    std::mt19937 rng(7);
    const char alphabet[] = "<>=\"' \t\r\nabAB#.-\0";
    for (int round = 0; round < 300; ++round) {
        QByteArray page;
        const int len = int(rng() % 400);
        for (int i = 0; i < len; ++i) page.append(alphabet[rng() % (sizeof alphabet)]);
        CMemoryByteStream whole(page);
        const QByteArray expected = Serialize(whole);
        for (qsizetype chunk : {1, 2, 3, 17}) {
            CChunkedStream pieces(page, chunk);
            ASSERT_EQ(Serialize(pieces), expected) << "round " << round << " chunk " << chunk;
        }
    }
}

}  // namespace
