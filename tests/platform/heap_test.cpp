// The process heap: zeroing on allocation and reallocation, and failures that keep the old
// block.
#include <cstring>

#include "platform_test_support.h"

namespace {

using HeapTest = PlatformTest;

TEST_F(HeapTest, ZeroingReallocationClearsOnlyBeyondTheOldSize) {
    HANDLE heap = GetProcessHeap();
    auto* block = static_cast<BYTE*>(HeapAlloc(heap, 0, 10));
    ASSERT_NE(block, nullptr);
    std::memset(block, 0xAB, 10);
    // Shrinking keeps the first bytes; growing again must not bring the dropped ones back.
    block = static_cast<BYTE*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, 4));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(HeapSize(heap, 0, block), 4u);
    block = static_cast<BYTE*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, 4096));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(block[i], 0xAB) << i;
    for (int i = 4; i < 4096; ++i) ASSERT_EQ(block[i], 0) << i;
    EXPECT_EQ(HeapSize(heap, 0, block), 4096u);
    EXPECT_TRUE(HeapFree(heap, 0, block));
}

TEST_F(HeapTest, AllocationZeroesOnlyWhenAsked) {
    HANDLE heap = GetProcessHeap();
    auto* zeroed = static_cast<BYTE*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 300));
    ASSERT_NE(zeroed, nullptr);
    for (int i = 0; i < 300; ++i) ASSERT_EQ(zeroed[i], 0);
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(zeroed) % 16, 0u);
    void* empty = HeapAlloc(heap, 0, 0);
    EXPECT_NE(empty, nullptr);
    HeapFree(heap, 0, empty);
    HeapFree(heap, 0, zeroed);
    EXPECT_TRUE(HeapFree(heap, 0, nullptr));
    EXPECT_EQ(HeapAlloc(heap, 0, static_cast<SIZE_T>(-8)), nullptr);
}

TEST_F(HeapTest, FailedReallocationLeavesTheOldBlockValid) {
    HANDLE heap = GetProcessHeap();
    auto* block = static_cast<BYTE*>(HeapAlloc(heap, 0, 8));
    std::memcpy(block, "ORBEK!!", 8);
    TestFailNthCall("HeapReAlloc", 1);
    EXPECT_EQ(HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, 100), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_STREQ(reinterpret_cast<char*>(block), "ORBEK!!");
    EXPECT_EQ(HeapSize(heap, 0, block), 8u);
    // In place only: a shrink stays put, a growth is refused.
    EXPECT_EQ(HeapReAlloc(heap, HEAP_REALLOC_IN_PLACE_ONLY, block, 16), nullptr);
    EXPECT_EQ(HeapReAlloc(heap, HEAP_REALLOC_IN_PLACE_ONLY, block, 6), block);
    EXPECT_EQ(HeapReAlloc(heap, 0, nullptr, 6), nullptr);
    HeapFree(heap, 0, block);
}

TEST_F(HeapTest, InjectedFailureHitsExactlyTheNthCall) {
    HANDLE heap = GetProcessHeap();
    TestFailNthCall("HeapAlloc", 3);
    void* first = HeapAlloc(heap, 0, 1);
    void* second = HeapAlloc(heap, 0, 1);
    void* third = HeapAlloc(heap, 0, 1);
    void* fourth = HeapAlloc(heap, 0, 1);
    EXPECT_NE(first, nullptr);
    EXPECT_NE(second, nullptr);
    EXPECT_EQ(third, nullptr);
    EXPECT_NE(fourth, nullptr);
    for (void* p : {first, second, fourth}) HeapFree(heap, 0, p);
    // A reset drops injections that have not fired yet.
    TestFailNthCall("HeapAlloc", 1);
    TestResetPlatform();
    void* after = HeapAlloc(heap, 0, 1);
    EXPECT_NE(after, nullptr);
    HeapFree(heap, 0, after);
}

}  // namespace
