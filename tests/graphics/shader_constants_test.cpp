// The shader-constant cache: range lists, which usage set owns each register, and what reaches
// the device image.
#include "graphics/shader_constants.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace {

std::vector<std::pair<int, int>> Ranges(const ConstRangeList& list) {
    std::vector<std::pair<int, int>> out;
    for (int i = 0; i < list.count; ++i) out.emplace_back(list.ranges[i].start, list.ranges[i].end);
    return out;
}

TEST(ConstRangeListTest, AddingMergesAndRemovingCutsOrSplits) {
    ConstRangeList list{};
    ASSERT_EQ(UpdateConstRangeList(&list, 1, 0, 4), 0);
    ASSERT_EQ(UpdateConstRangeList(&list, 1, 4, 4), 0);
    EXPECT_EQ(Ranges(list), (std::vector<std::pair<int, int>>{{0, 8}}));
    UpdateConstRangeList(&list, 1, 20, 5);
    UpdateConstRangeList(&list, 1, 10, 2);
    EXPECT_EQ(Ranges(list), (std::vector<std::pair<int, int>>{{0, 8}, {10, 12}, {20, 25}}));
    UpdateConstRangeList(&list, 1, 6, 16);  // bridges all three
    EXPECT_EQ(Ranges(list), (std::vector<std::pair<int, int>>{{0, 25}}));
    UpdateConstRangeList(&list, 0, 3, 2);
    UpdateConstRangeList(&list, 0, 20, 10);
    EXPECT_EQ(Ranges(list), (std::vector<std::pair<int, int>>{{0, 3}, {5, 20}}));
    UpdateConstRangeList(&list, 0, 0, 3);
    EXPECT_EQ(Ranges(list), (std::vector<std::pair<int, int>>{{5, 20}}));

    // At most 256 ranges: the 257th is refused and the list stays as it was.
    ConstRangeList full{};
    for (int i = 0; i < 256; ++i) ASSERT_EQ(UpdateConstRangeList(&full, 1, 2 * i, 1), 0);
    EXPECT_EQ(UpdateConstRangeList(&full, 1, 600, 1), -1);
    EXPECT_EQ(full.count, 256);
    EXPECT_EQ(UpdateConstRangeList(&full, 0, 4, 1), 0);
    EXPECT_EQ(full.count, 255);

    uint8_t table[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    ConstRangeList two{};
    UpdateConstRangeList(&two, 1, 1, 2);
    UpdateConstRangeList(&two, 1, 5, 1);
    MarkConstRangeOwner(&two, table, 3);
    EXPECT_EQ(std::vector<int>(table, table + 8), (std::vector<int>{9, 3, 3, 9, 9, 3, 9, 9}));
}

class ShaderConstCacheTest : public ::testing::Test {
protected:
    void SetUp() override { InitShaderConstCache(cache_.get()); }

    void Store(int set, int first, std::vector<float> values, int markRange = 1) {
        ASSERT_EQ(StoreShaderConstants(cache_.get(), kShaderConstPixelFloat, set, first,
                                       values.data(), static_cast<int>(values.size() / 4),
                                       markRange),
                  0);
    }
    float Device(int reg) const {
        float v;
        std::memcpy(&v, cache_->kinds[kShaderConstPixelFloat].device[reg], 4);
        return v;
    }
    int Owner(int reg) const { return cache_->kinds[kShaderConstPixelFloat].owner[reg]; }

    std::unique_ptr<ShaderConstCache> cache_ = std::make_unique<ShaderConstCache>();
};

TEST_F(ShaderConstCacheTest, AHigherSetKeepsItsRegistersUntilItLetsThemGo) {
    SelectShaderConstSets(cache_.get(), 0b1111);
    Store(3, 4, {30, 0, 0, 0});
    Store(2, 3, {20, 0, 0, 0, 21, 0, 0, 0, 22, 0, 0, 0});  // c3..c5, c4 shadowed by set 3
    EXPECT_EQ(Device(3), 20);
    EXPECT_EQ(Device(4), 30);
    EXPECT_EQ(Device(5), 22);
    EXPECT_EQ(Owner(4), 3);
    ASSERT_EQ(ClearShaderConstRange(cache_.get(), kShaderConstPixelFloat, 3, 4, 1), 0);
    EXPECT_EQ(Owner(4), 2);
    EXPECT_EQ(Device(4), 21);
    ASSERT_EQ(ClearShaderConstRange(cache_.get(), kShaderConstPixelFloat, 2, 3, 3), 0);
    EXPECT_EQ(Owner(4), kNoConstOwner);
    EXPECT_EQ(Device(4), 21);  // nothing is sent for a register that no set holds
    EXPECT_TRUE(Ranges(cache_->kinds[kShaderConstPixelFloat].sets[2].ranges).empty());
}

TEST_F(ShaderConstCacheTest, SelectingSetsRecomputesOwnersFromTheRangeLists) {
    SelectShaderConstSets(cache_.get(), 0b0011);
    Store(0, 0, {1, 0, 0, 0, 2, 0, 0, 0});
    Store(1, 1, {11, 0, 0, 0});
    Store(2, 0, {100, 0, 0, 0, 200, 0, 0, 0});  // not live: kept, not sent
    Store(1, 7, {77, 0, 0, 0}, 0);              // claimed but not in the range list
    EXPECT_EQ(Device(0), 1);
    EXPECT_EQ(Device(1), 11);
    EXPECT_EQ(Device(7), 77);
    SelectShaderConstSets(cache_.get(), 0b0101);  // set 1 goes, set 2 comes
    EXPECT_EQ(Device(0), 100);
    EXPECT_EQ(Device(1), 200);
    EXPECT_EQ(Owner(7), kNoConstOwner);
    SelectShaderConstSets(cache_.get(), 0b0001);
    EXPECT_EQ(Device(0), 1);
    EXPECT_EQ(Device(1), 2);

    // Bool registers are one value each; ranges outside a kind's registers are refused.
    int flags[3] = {1, 0, 1};
    ASSERT_EQ(StoreShaderConstants(cache_.get(), kShaderConstVertexBool, 0, 13, flags, 3, 1), 0);
    EXPECT_EQ(cache_->kinds[kShaderConstVertexBool].device[15][0], 1);
    EXPECT_EQ(StoreShaderConstants(cache_.get(), kShaderConstVertexBool, 0, 14, flags, 3, 1), -1);
    EXPECT_EQ(StoreShaderConstants(cache_.get(), kShaderConstPixelFloat, 4, 0, flags, 1, 1), -1);
    EXPECT_EQ(StoreShaderConstants(cache_.get(), 6, 0, 0, flags, 1, 1), -1);
}

}  // namespace
