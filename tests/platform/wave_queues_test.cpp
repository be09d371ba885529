// SPDX-License-Identifier: GPL-3.0-or-later
// The buffer bookkeeping of the real devices: what the output stream is fed
// and how heard stream bytes map back to buffers; how input fills buffers.
#include "platform/wave_queues.h"

#include <gtest/gtest.h>

#include <string>

using namespace platform;

namespace {
struct Buf {
    explicit Buf(std::string s) : bytes(std::move(s)) {
        h.data = bytes.data();
        h.bufferLength = uint32_t(bytes.size());
    }
    std::string bytes;
    WaveHeader h;
};

std::string readStream(OutputQueue& q, uint64_t n) {
    std::string s(n, '?');
    q.read(s.data(), n);
    return s;
}
}  // namespace

TEST(OutputQueue, FeedsBuffersInOrderThenSilence) {
    OutputQueue q('_');
    Buf a("abcd"), b(""), c("ef");
    q.push(&a.h);
    q.push(&b.h);
    EXPECT_EQ(readStream(q, 3), "abc");
    EXPECT_EQ(readStream(q, 3), "d__");
    q.push(&c.h);
    EXPECT_EQ(readStream(q, 4), "ef__");
    EXPECT_EQ(q.streamBytes(), 10u);
}

TEST(OutputQueue, HeardStreamBytesCountOnlyBufferBytes) {
    OutputQueue q;
    Buf a("aaaa"), c("cc");
    q.push(&a.h);
    readStream(q, 6);  // aaaa + 2 silence
    q.push(&c.h);
    readStream(q, 3);  // cc + 1 silence
    struct Case { uint64_t stream, data; };
    for (Case k : {Case{0, 0}, Case{3, 3}, Case{4, 4}, Case{5, 4}, Case{6, 4}, Case{7, 5}, Case{8, 6}, Case{9, 6}, Case{50, 6}}) {
        EXPECT_EQ(q.dataWithin(k.stream), k.data) << "stream " << k.stream;
    }
    q.forget(7);  // the first gap lies wholly before: the mapping stays
    for (Case k : {Case{7, 5}, Case{8, 6}, Case{9, 6}}) EXPECT_EQ(q.dataWithin(k.stream), k.data);
}

TEST(OutputQueue, BuffersAreDoneOnlyWhenWhollyHeardAndGiven) {
    OutputQueue q;
    Buf a("aaaa"), empty(""), b("bb");
    q.push(&a.h);
    q.push(&empty.h);
    q.push(&b.h);
    EXPECT_TRUE(q.takeDone(100).empty()) << "nothing given to the stream yet";
    readStream(q, 5);
    EXPECT_TRUE(q.takeDone(3).empty());
    EXPECT_EQ(q.takeDone(4), (std::vector<WaveHeader*>{&a.h, &empty.h}));
    EXPECT_TRUE(q.takeDone(6).empty()) << "b is not wholly given";
    readStream(q, 1);
    EXPECT_EQ(q.takeDone(6), (std::vector<WaveHeader*>{&b.h}));
    EXPECT_TRUE(q.empty());
}

TEST(OutputQueue, TakeAllReturnsEverythingAndStartsAfresh) {
    OutputQueue q('s');
    Buf a("aa"), b("bb");
    q.push(&a.h);
    q.push(&b.h);
    readStream(q, 3);
    EXPECT_EQ(q.takeAll(), (std::vector<WaveHeader*>{&a.h, &b.h}));
    EXPECT_TRUE(q.empty());
    EXPECT_EQ(q.streamBytes(), 0u);
    EXPECT_EQ(readStream(q, 2), "ss");
    EXPECT_EQ(q.dataWithin(2), 0u);
}

namespace {
struct InBuf {
    explicit InBuf(uint32_t n) : bytes(n, '.') {
        h.data = bytes.data();
        h.bufferLength = n;
    }
    std::string held() const { return bytes.substr(0, h.bytesRecorded); }
    std::string bytes;
    WaveHeader h;
};
}  // namespace

TEST(InputQueue, FillsHeldBuffersInOrderInWholeFrames) {
    InputQueue q(2, 100);
    InBuf a(4), b(5);  // b has room for two frames only
    q.push(&a.h);
    q.push(&b.h);
    q.write("0123", 4);
    EXPECT_EQ(q.takeFull(), (std::vector<WaveHeader*>{&a.h}));
    q.write("456", 3);  // the odd byte waits for the rest of its frame
    EXPECT_EQ(b.held(), "45");
    EXPECT_TRUE(q.takeFull().empty());
    q.write("7", 1);
    EXPECT_EQ(q.takeFull(), (std::vector<WaveHeader*>{&b.h}));
    EXPECT_EQ(a.held(), "0123");
    EXPECT_EQ(b.held(), "4567");
}

TEST(InputQueue, KeepsWhatComesWithoutABufferUpToItsLimit) {
    InputQueue q(1, 5);
    q.write("abc", 3);
    q.write("defgh", 5);  // three over the limit
    EXPECT_EQ(q.backlog(), 5u);
    EXPECT_EQ(q.dropped(), 3u);
    InBuf a(4), b(4);
    q.push(&a.h);
    EXPECT_EQ(a.held(), "abcd");
    q.write("XY", 2);  // behind the backlog
    q.push(&b.h);
    EXPECT_EQ(b.held(), "eXY");
    EXPECT_EQ(q.takeFull(), (std::vector<WaveHeader*>{&a.h}));
}

TEST(InputQueue, TakeAllReturnsBuffersWithWhatTheyHoldAndDropsTheBacklog) {
    InputQueue q(1, 10);
    InBuf a(4), b(4);
    q.push(&a.h);
    q.push(&b.h);
    q.write("abcdef", 6);
    EXPECT_EQ(q.takeAll(), (std::vector<WaveHeader*>{&a.h, &b.h}));
    EXPECT_EQ(b.held(), "ef");
    q.write("zz", 2);
    q.takeAll();
    EXPECT_EQ(q.backlog(), 0u);
}
