// The packed blend recipes against their per-channel descriptions, over many random operands,
// and the documented example values.
#include "softrender/blend_ops.h"

#include <gtest/gtest.h>

#include <random>

#include "blit_reference.h"

namespace {

TEST(BlendOps, PackedRgb565AddAndSubtractMatchTheirPerFieldDescriptions) {
    std::mt19937 rng(11);
    for (int i = 0; i < 400000; ++i) {
        const uint32_t d = rng() & 0xFFFF, x = rng() & 0xFFFF;
        ASSERT_EQ(PackedAdd565(d, x), RefAdd565(d, x, true)) << std::hex << d << " " << x;
        ASSERT_EQ(PackedAdd565Fast(d, x), RefAdd565(d, x, false)) << std::hex << d << " " << x;
        ASSERT_EQ(PackedSub565(d, x), RefSub565(d, x)) << std::hex << d << " " << x;
    }
}

TEST(BlendOps, PairFormsCarryBetweenTheTwoPixelsAsDescribed) {
    std::mt19937 rng(12);
    for (int i = 0; i < 400000; ++i) {
        const uint32_t y = rng(), x = rng();
        ASSERT_EQ(PairAdd565Fast(y, x), RefPairAdd565(y, x)) << std::hex << y << " " << x;
        ASSERT_EQ(PairSub565(y, x), RefPairSub565(y, x)) << std::hex << y << " " << x;
    }
    // The left red's carry lands in the right pixel's lowest blue bit.
    EXPECT_EQ(PairAdd565Fast(0x0000F800, 0x0000F800), 0x0001F800u);
}

TEST(BlendOps, PackedWordAddAndSubtractMatchTheirPerByteDescriptions) {
    std::mt19937 rng(13);
    for (int i = 0; i < 400000; ++i) {
        const uint32_t d = rng(), a = rng();
        ASSERT_EQ(PackedAdd32(d, a), RefAdd32(d, a, true)) << std::hex << d << " " << a;
        ASSERT_EQ(PackedAdd32Fast(d, a), RefAdd32(d, a, false)) << std::hex << d << " " << a;
        ASSERT_EQ(PackedSub32(d, a), RefSub32(d, a)) << std::hex << d << " " << a;
    }
}

TEST(BlendOps, DocumentedRgb565Values) {
    EXPECT_EQ(PackedAdd565(0x0001, 0x001F), 0x003Fu);  // blue saturates, carry into green
    EXPECT_EQ(PackedAdd565(0x0821, 0x0000), 0x0821u);  // adding black keeps the low bits
    EXPECT_EQ(PackedAdd565Fast(0x0821, 0x0000), 0x0001u);
    EXPECT_EQ(PackedAdd565(0x1234, 0xFFFF), 0xFFFFu);
    EXPECT_EQ(PackedSub565(0xFFFF, 0x0000), 0xFFDFu);  // red 31, green 62, blue 31
    EXPECT_EQ(PackedSub565(0x0000, 0x0000), 0x0800u);  // red's lowest bit set
    EXPECT_EQ(PackedSub565(0x0000, 0x0040), 0x0000u);
    EXPECT_EQ(PackedSub565(0x0000, 0x0020), 0x0800u);  // the subtrahend's lowest green bit drops
    EXPECT_EQ(HalfMix565(0xFFFF, 0x0000), 0x7BEFu);    // red 15, green 31, blue 15
    EXPECT_EQ(HalfMix565(0xFFFF0000, 0x0000FFFF), 0x7BEF7BEFu);
}

TEST(BlendOps, DocumentedWordValues) {
    EXPECT_EQ(PackedAdd32(0x000000FF, 0x00000001), 0x000001FFu);
    EXPECT_EQ(PackedAdd32(0x00F0F0F0, 0x00202020), 0x01FFFFFFu);
    EXPECT_EQ(PackedAdd32Fast(0x80808080, 0x80808080), 0x01FFFFFFu);
    EXPECT_EQ(PackedSub32(0x00102030, 0x00000000), 0x00112130u);
    EXPECT_EQ(PackedSub32(0x00000000, 0x00000000), 0x00010100u);
    EXPECT_EQ(PackedSub32(0x10101010, 0x01010101 & 0x00FEFEFF), 0x0011110Fu);
    EXPECT_EQ(PackedSub32(0x00404040, 0x00404040 & 0x00FEFEFF), 0x00010100u);
    EXPECT_EQ(HalfMix32(0x01010101, 0x01010101), 0u);
    EXPECT_EQ(HalfMix32(0xFFFFFFFF, 0x00000000), 0x007F7F7Fu);
}

TEST(BlendOps, WeightedChannelsRoundTowardMinusInfinity) {
    EXPECT_EQ(LerpChannel<8>(0, 255, 255), 254u);  // rising stops one short
    EXPECT_EQ(LerpChannel<8>(255, 0, 255), 0u);    // falling reaches the target
    EXPECT_EQ(LerpChannel<8>(0, 31, 255), 30u);
    EXPECT_EQ(LerpChannel<24>(200, 10, 255u * 255 * 255), 12u);
    EXPECT_EQ(LerpChannel<24>(10, 200, 255u * 255 * 255), 197u);
    const int32_t row[3] = {-1, 0, 1};  // a signed product row around difference 0
    EXPECT_EQ(TableBlendChannel(5, 4, row + 1), 4u);
    EXPECT_EQ(TableBlendChannel(5, 6, row + 1), 6u);
}

TEST(BlendOps, MultiplyScalesEachFieldByItsRange) {
    EXPECT_EQ(Multiply565<0>(0xFFFF, 0xFFFF, 1),
              0xFFFFu - 0x0821u);  // 31*31/32 = 30, 63*63/64 = 62
    EXPECT_EQ(Multiply565<8>(0xFFFF, 0xFFFF, 0), 0u);
    // Green keeps five fraction bits: 63 * 63 / 2 = 1984 against 32 * 63 = 2016.
    EXPECT_EQ(MultiplyTranslucentGreen565(63, 63, 255 * 255), 62u);
    EXPECT_EQ(MultiplyTranslucentGreen565(0, 40, 0), 40u);
}

}  // namespace
