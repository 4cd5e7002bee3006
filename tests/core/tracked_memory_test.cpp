#include "core/tracked_memory.h"

#include <gtest/gtest.h>
#include <platform/testing.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "log_file_fixture.h"

namespace {

MemBlockHeader* HeaderOf(void* p) {
    return static_cast<MemBlockHeader*>(p) - 1;
}
uint8_t* Bytes(void* p) {
    return static_cast<uint8_t*>(p);
}

bool CopiesMatch(void* p) {
    const MemBlockHeader* h = HeaderOf(p);
    return std::memcmp(&h->info, &h->copy, sizeof(MemBlockInfo)) == 0 &&
           std::memcmp(&h->info, Bytes(p) + h->info.size, sizeof(MemBlockInfo)) == 0;
}

// The dump's line for a block whose guarded half is `info` at caller pointer `address`; with
// `data`, its first bytes follow.
std::string BlockLine(const MemBlockInfo& info, const void* address, const uint8_t* data) {
    char text[512];
    snprintf(text, sizeof(text),
             "\tsize:%10d(%10.3fkb)  file:%-26s  line:%-5d  ID:%-5d  addr:%016llx", int(info.size),
             info.size / 1024.0, std::string(info.fileTail, strnlen(info.fileTail, 16)).c_str(),
             info.line, info.serial,
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(address)));
    std::string line = text;
    if (data == nullptr) return line + "\r\n";
    const size_t shown = std::min<size_t>(info.size, 16);
    std::string hex;
    line += "  data:<";
    for (size_t i = 0; i < shown; ++i) {
        line += data[i] < 32 ? '.' : char(data[i]);
        snprintf(text, sizeof(text), i + 1 < shown ? "%02x " : "%02x", data[i]);
        hex += text;
    }
    return line + "> [" + hex + "]\r\n";
}

// A corruption report line: the 16-byte file tail, four blanks, then the other fields.
std::string HeadLine(const char* label, const void* guarded) {
    std::string line = label;
    char piece[8];
    for (size_t i = 0; i < sizeof(MemBlockInfo); ++i) {
        snprintf(piece, sizeof(piece), "%s%02x",
                 i == 16  ? "    "
                 : i == 0 ? ""
                 : i % 4  ? " "
                          : "  ",
                 static_cast<const uint8_t*>(guarded)[i]);
        line += piece;
    }
    return line + "\r\n";
}

TEST(TrackedMemoryTest, BlocksCarryTheirFieldsAndCopiesFollowEveryLinkChange) {
    // The 64-bit layout: a 40-byte guarded half, its copy, the user bytes, a trailing copy.
    EXPECT_EQ(sizeof(MemBlockInfo), 40u);
    EXPECT_EQ(offsetof(MemBlockInfo, size), 20u);
    EXPECT_EQ(sizeof(MemBlockHeader), 80u);

    void* p = AllocMemory(10, "some/dir/a_long_source_name.cpp", 123);
    void* q = AllocMemory(0, "a.cpp", -7);
    void* r = AllocClearedMemory(300, nullptr, 0);
    ASSERT_TRUE(p && q && r);
    MemBlockHeader* h = HeaderOf(p);
    EXPECT_EQ(std::string(h->info.fileTail, 16), std::string("source_name.cpp") + '\0');
    EXPECT_EQ(std::string(HeaderOf(q)->info.fileTail, 16),
              std::string("a.cpp\0", 6) + std::string(10, '\xA5'));
    EXPECT_EQ(std::string(HeaderOf(r)->info.fileTail, 2), std::string("\0\xA5", 2));
    EXPECT_EQ(h->info.size, 10u);
    EXPECT_EQ(HeaderOf(q)->info.line, -7);
    EXPECT_EQ(HeaderOf(q)->info.serial, uint16_t(h->info.serial + 1));
    EXPECT_EQ(HeaderOf(q)->info.older, h);
    EXPECT_EQ(h->info.newer, HeaderOf(q));
    EXPECT_EQ(HeaderOf(r)->info.newer, nullptr);
    for (int i = 0; i < 300; ++i) ASSERT_EQ(Bytes(r)[i], 0);
    EXPECT_TRUE(CopiesMatch(p) && CopiesMatch(q) && CopiesMatch(r));

    FreeMemory(q);
    EXPECT_EQ(h->info.newer, HeaderOf(r));
    EXPECT_EQ(HeaderOf(r)->info.older, h);
    EXPECT_TRUE(CopiesMatch(p) && CopiesMatch(r));

    // A moved block relinks both neighbours, and the head when it was the head.
    MemBlockHeader* beforeP = h->info.older;
    void* p2 = ReallocMemory(p, 100000, "", 0);
    ASSERT_NE(p2, nullptr);
    EXPECT_TRUE(CopiesMatch(r));
    void* r2 = ReallocMemory(r, 200000, "", 0);
    void* s = AllocMemory(8, "", 0);
    ASSERT_TRUE(p2 && r2 && s);
    EXPECT_EQ(beforeP->info.newer, HeaderOf(p2));
    EXPECT_EQ(HeaderOf(r2)->info.older, HeaderOf(p2));
    EXPECT_EQ(HeaderOf(s)->info.older, HeaderOf(r2));
    EXPECT_TRUE(CopiesMatch(p2) && CopiesMatch(r2) && CopiesMatch(s));
    EXPECT_EQ(CheckAllMemoryBlocks(), 0);
    FreeMemory(r2);
    FreeMemory(s);
    FreeMemory(p2);
    EXPECT_EQ(beforeP->info.newer, nullptr);
    EXPECT_EQ(CheckMemoryBlock(beforeP), 0);
    FreeMemory(nullptr);
}

TEST(TrackedMemoryTest, GrowingKeepsBytesAndZeroFillsOnlyBeyondTheOldAllocation) {
    uint8_t* p = Bytes(AllocMemory(64, "", 0));
    std::memset(p, 0x5A, 64);
    // The old trailing copy lies inside the old allocation, so the heap keeps it.
    uint8_t oldTrailing[sizeof(MemBlockInfo)];
    std::memcpy(oldTrailing, p + 64, sizeof(oldTrailing));
    uint8_t* q = Bytes(ReallocMemory(p, 4096, "", 0));
    ASSERT_NE(q, nullptr);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(q[i], 0x5A) << i;
    EXPECT_EQ(std::memcmp(q + 64, oldTrailing, sizeof(oldTrailing)), 0);
    for (size_t i = 64 + sizeof(MemBlockInfo); i < 4096; ++i) ASSERT_EQ(q[i], 0) << i;
    EXPECT_TRUE(CopiesMatch(q));
    FreeMemory(q);
}

TEST(TrackedMemoryTest, SameSizeReallocKeepsThePointerWithANewSerial) {
    void* p = AllocMemory(32, "first.cpp", 1);
    const uint16_t serial = HeaderOf(p)->info.serial;
    EXPECT_EQ(ReallocMemory(p, 32, "second.cpp", 9), p);
    EXPECT_EQ(HeaderOf(p)->info.serial, uint16_t(serial + 1));
    EXPECT_STREQ(HeaderOf(p)->info.fileTail, "second.cpp");
    EXPECT_TRUE(CopiesMatch(p));
    void* next = AllocMemory(1, "", 0);  // the counter was stored, then advanced
    EXPECT_EQ(HeaderOf(next)->info.serial, uint16_t(serial + 2));
    FreeMemory(next);
    FreeMemory(p);
}

TEST(TrackedMemoryTest, SerialCounterWrapsAt65536) {
    void* first = AllocMemory(1, "", 0);
    const uint16_t serial = HeaderOf(first)->info.serial;
    for (int i = 1; i < 65536; ++i) FreeMemory(AllocMemory(1, "", 0));
    void* again = AllocMemory(1, "", 0);
    EXPECT_EQ(HeaderOf(again)->info.serial, serial);
    FreeMemory(again);
    FreeMemory(first);
}

class TrackedMemoryLogTest : public LogFileFixture {};

TEST_F(TrackedMemoryLogTest, FailuresReturnNullDumpTheListAndKeepTheOldBlock) {
    void* p = AllocMemory(40, "", 0);
    std::memset(p, 0x33, 40);
    TestFailNthCall("HeapAlloc", 1);
    EXPECT_EQ(AllocMemory(8, "", 0), nullptr);
    EXPECT_NE(ReadLogWithoutStamps().find("\r\nAlloc memory dump\r\n"), std::string::npos);
    // Sizes whose overhead does not fit fail the same way.
    EXPECT_EQ(AllocMemory(UINT32_MAX - 100, "", 0), nullptr);
    EXPECT_EQ(ReallocMemory(p, UINT32_MAX, "", 0), nullptr);
    TestFailNthCall("HeapReAlloc", 1);
    EXPECT_EQ(ReallocMemory(p, 4000, "", 0), nullptr);
    EXPECT_EQ(HeaderOf(p)->info.size, 40u);
    EXPECT_EQ(Bytes(p)[39], 0x33);
    EXPECT_TRUE(CopiesMatch(p));
    FreeMemory(p);
}

TEST_F(TrackedMemoryLogTest, DumpListsBlocksNewestFirstWithTheirDataAndTotals) {
    const uint8_t content[20] = {'H', 'e',  'l', 'l',  'o', 0x01, 'W', 'o', 'r', 'l',
                                 'd', 0x1F, ' ', 0xE9, 'A', 'B',  'C', 'D', 'E', 'F'};
    void* older = AllocMemory(20, "test_dump.cpp", 77);
    void* newer = AllocMemory(3, nullptr, -1);
    std::memcpy(older, content, 20);
    std::memcpy(newer, "xyz", 3);
    const std::string newerLine = BlockLine(HeaderOf(newer)->info, newer, Bytes(newer));
    const std::string olderLine = BlockLine(HeaderOf(older)->info, older, content);
    DumpMemoryBlocks();
    FreeMemory(older);
    DumpMemoryBlocks();

    const std::string log = ReadLogWithoutStamps();
    const std::string heading = "\r\nAlloc memory dump\r\n";
    const size_t first = log.find(heading);
    const size_t second = log.rfind(heading);
    ASSERT_LT(first, second);
    EXPECT_EQ(log.compare(first + heading.size(), newerLine.size() + olderLine.size(),
                          newerLine + olderLine),
              0)
        << log;
    EXPECT_EQ(log.compare(second + heading.size(), newerLine.size(), newerLine), 0);
    EXPECT_EQ(log.find(olderLine, second), std::string::npos);

    long long total[2];
    int count[2];
    for (int i = 0; i < 2; ++i) {
        const char* at = log.c_str() + log.find("\tTotal size:", i == 0 ? first : second);
        ASSERT_EQ(sscanf(at, "\tTotal size:%lld(%*fkb)  Alloc num:%d", &total[i], &count[i]), 2);
    }
    EXPECT_EQ(total[1], total[0] - 20);
    EXPECT_EQ(count[1], count[0] - 1);
    FreeMemory(newer);
}

TEST_F(TrackedMemoryLogTest, ZeroByteBlocksAreTracedWhenMadeResizedAndFreed) {
    void* p = AllocMemory(0, "zero.cpp", 3);
    const std::string madeLine = BlockLine(HeaderOf(p)->info, p, Bytes(p));
    void* q = ReallocMemory(p, 0, "zero2.cpp", 4);
    const std::string resizedLine = BlockLine(HeaderOf(q)->info, q, Bytes(q));
    FreeMemory(q);
    FreeMemory(AllocMemory(5, "quiet.cpp", 1));
    const std::string log = ReadLogWithoutStamps();
    EXPECT_NE(log.find("mem alloc  " + madeLine), std::string::npos) << log;
    EXPECT_NE(log.find("mem realloc  " + resizedLine), std::string::npos) << log;
    EXPECT_NE(log.find("mem free  " + resizedLine), std::string::npos) << log;
    EXPECT_EQ(log.find("quiet.cpp"), std::string::npos);
}

TEST_F(TrackedMemoryLogTest, DumpAfterEveryBlockIsFreedShowsOnlyTheHeadingAndZeroTotals) {
    // In a fresh process, where no other test's block is alive.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            FreeMemory(ReallocMemory(AllocMemory(7, "", 0), 70, "", 0));
            DumpMemoryBlocks();
            const std::string log = ReadLogWithoutStamps();
            const std::string wanted =
                "\r\nAlloc memory dump\r\n\tTotal size:0(0.000kb)  Alloc num:0\r\n\r\n";
            const bool ok = log.size() >= wanted.size() &&
                            log.compare(log.size() - wanted.size(), wanted.size(), wanted) == 0;
            fprintf(stderr, "%s", log.c_str());
            TearDown();  // the child made a log directory of its own
            std::_Exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(TrackedMemoryLogTest, DamagedTrailingCopyStopsTheProcessAfterAReport) {
    uint8_t* p = Bytes(AllocMemory(8, "corrupt.cpp", 5));
    std::memcpy(p, "ABCDEFGH", 8);
    const MemBlockHeader* h = HeaderOf(p);
    MemBlockInfo damaged = h->info;
    damaged.fileTail[0] ^= char(0xFF);

    // Only the forked child damages and frees the block.
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT(
        {
            p[8] ^= 0xFF;
            FreeMemory(p);
        },
        ::testing::ExitedWithCode(255), "");

    const std::string base = HeadLine("HEAD  BASE:", &h->info);
    EXPECT_EQ(base.substr(0, 65),
              "HEAD  BASE:63 6f 72 72  75 70 74 2e  63 70 70 00  a5 a5 a5 a5    ");
    const std::string wanted =
        "以下のメモリ確保情報が破損しました、強制終了します\r\n" + base +
        HeadLine("HEAD TEMP1:", &h->copy) + HeadLine("HEAD TEMP2:", &damaged) +
        BlockLine(h->info, p, p) +
        BlockLine(h->copy, reinterpret_cast<const uint8_t*>(&h->copy) + sizeof(MemBlockHeader),
                  nullptr) +
        BlockLine(damaged, p + 8 + sizeof(MemBlockHeader), nullptr);
    const std::string log = ReadLogWithoutStamps();
    const size_t report = log.find("以下のメモリ確保情報が破損しました");
    ASSERT_NE(report, std::string::npos) << log;
    EXPECT_EQ(log.substr(report), wanted);
    FreeMemory(p);
}

}  // namespace
