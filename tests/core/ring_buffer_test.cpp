#include "core/ring_buffer.h"

#include <gtest/gtest.h>
#include <platform/testing.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "core/tracked_memory.h"
#include "log_file_fixture.h"

namespace {

class RingBufferTest : public LogFileFixture {
protected:
    void TearDown() override {
        FreeRingBuffer(&ring_);
        LogFileFixture::TearDown();
    }

    // Tracked storage of `capacity` bytes holding `stored` bytes (i + 1) from `start` on.
    void MakeRing(int capacity, int start, int stored) {
        ring_.buffer = static_cast<uint8_t*>(AllocMemory(static_cast<uint32_t>(capacity), "", 0));
        ring_ = {ring_.buffer, start, (start + stored) % capacity, stored, capacity};
        for (int i = 0; i < stored; ++i) ring_.buffer[(start + i) % capacity] = uint8_t(i + 1);
    }

    // Writes as the ring's users do: reserve, copy at end in up to two pieces, advance.
    void Write(const std::vector<uint8_t>& bytes) {
        const int size = static_cast<int>(bytes.size());
        ASSERT_EQ(ReserveRingBuffer(&ring_, size), 0);
        const int first = std::min(size, ring_.capacity - ring_.end);
        std::memcpy(ring_.buffer + ring_.end, bytes.data(), size_t(first));
        std::memcpy(ring_.buffer, bytes.data() + first, size_t(size - first));
        ring_.end = (ring_.end + size) % ring_.capacity;
        ring_.stored += size;
    }

    RingBuffer ring_{};
};

TEST_F(RingBufferTest, ReadWrapsPastTheEndAndPeekConsumesNothing) {
    MakeRing(1000, 900, 200);
    uint8_t peeked[200];
    uint8_t read[200];
    ASSERT_EQ(ReadRingBuffer(&ring_, peeked, 200, 1), 0);
    EXPECT_EQ(ring_.start, 900);
    EXPECT_EQ(ring_.stored, 200);
    ASSERT_EQ(ReadRingBuffer(&ring_, read, 200, 0), 0);
    EXPECT_EQ(ring_.start, 100);
    EXPECT_EQ(ring_.stored, 0);
    for (int i = 0; i < 200; ++i) ASSERT_EQ(read[i], uint8_t(i + 1)) << i;
    EXPECT_EQ(std::memcmp(peeked, read, 200), 0);
}

TEST_F(RingBufferTest, ShortOrNegativeReadsFailAndOffsetsAtCapacityFold) {
    MakeRing(100, 60, 40);
    uint8_t out[41] = {};
    EXPECT_EQ(ReadRingBuffer(&ring_, out, 41, 0), -1);
    EXPECT_EQ(ReadRingBuffer(&ring_, out, -1, 0), -1);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(ring_.stored, 40);
    EXPECT_EQ(ring_.start, 60);

    ring_.end = 100;
    ASSERT_EQ(ReadRingBuffer(&ring_, out, 40, 0), 0);
    NormalizeRingBuffer(&ring_);
    EXPECT_EQ(ring_.start, 0);
    EXPECT_EQ(ring_.end, 0);
}

TEST_F(RingBufferTest, GrowthFollowsTheCapacityRuleAndUnwrapsTheBytes) {
    ASSERT_EQ(ReserveRingBuffer(&ring_, 10), 0);
    EXPECT_EQ(ring_.capacity, 1010);
    uint8_t* storage = ring_.buffer;
    ASSERT_EQ(ReserveRingBuffer(&ring_, 1010), 0);  // room enough: nothing moves
    EXPECT_EQ(ring_.buffer, storage);
    FreeRingBuffer(&ring_);

    MakeRing(1010, 500, 1000);
    ASSERT_EQ(ReserveRingBuffer(&ring_, 20), 0);
    EXPECT_EQ(ring_.capacity, 2520);
    EXPECT_EQ(ring_.start, 0);
    EXPECT_EQ(ring_.end, 1000);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(ring_.buffer[i], uint8_t(i + 1)) << i;
}

TEST_F(RingBufferTest, BytesKeepTheirOrderAcrossWrapsAndGrowth) {
    std::vector<uint8_t> written;
    std::vector<uint8_t> read;
    for (int round = 0; round < 40; ++round) {
        std::vector<uint8_t> piece(size_t(137 + round * 31));
        for (size_t i = 0; i < piece.size(); ++i) piece[i] = uint8_t(i * 13 + round);
        Write(piece);
        written.insert(written.end(), piece.begin(), piece.end());
        std::vector<uint8_t> out(size_t(round == 39 ? ring_.stored : ring_.stored * 2 / 3));
        ASSERT_EQ(ReadRingBuffer(&ring_, out.data(), int(out.size()), 0), 0);
        read.insert(read.end(), out.begin(), out.end());
    }
    EXPECT_EQ(read, written);
}

TEST_F(RingBufferTest, FailedGrowthEmptiesTheRingAndLogsTheSize) {
    MakeRing(1100, 0, 100);
    EXPECT_EQ(ReserveRingBuffer(&ring_, -1), -1);  // refused, the ring stays
    EXPECT_EQ(ring_.stored, 100);
    TestFailNthCall("HeapAlloc", 1);
    EXPECT_EQ(ReserveRingBuffer(&ring_, 2000), -1);
    EXPECT_EQ(ring_.buffer, nullptr);
    EXPECT_EQ(ring_.capacity, 0);
    EXPECT_EQ(ring_.stored, 0);
    EXPECT_NE(ReadLogWithoutStamps().find(
                  "リングバッファの再確保に失敗しました(確保しようとしたサイズ 3150 byte)\r\n"),
              std::string::npos);

    // A capacity beyond int fails the same way: 5 * 3 / 2 + (INT_MAX - 100) + 1000.
    MakeRing(10, 0, 5);
    EXPECT_EQ(ReserveRingBuffer(&ring_, INT_MAX - 100), -1);
    EXPECT_EQ(ring_.buffer, nullptr);
    EXPECT_NE(ReadLogWithoutStamps().find("(確保しようとしたサイズ 2147484554 byte)\r\n"),
              std::string::npos);
}

}  // namespace
