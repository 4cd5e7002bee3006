// The scaled blit: sampling of the two walks, mirroring, clipping that keeps every sample in
// place, the hand-over of same-size draws, the guards, and the documented example values.
#include <gtest/gtest.h>

#include <array>
#include <random>

#include "blit_harness.h"
#include "softrender/blits.h"

namespace {

// Pixel (x, y) is x + 1 in blue and y + 1 in green, so the drawn samples can be read off.
RefImage Columns(int w, int h) {
    RefImage img = FlatImage(1, TestKind::Direct, w, h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.At(x, y) = uint32_t(y + 1) << 8 | uint32_t(x + 1);
    return img;
}

RefImage Draw(const RefImage& dst, const RefImage& src, std::array<int32_t, 4> rect, int trans,
              const RefState& st, const RefMask* mask = nullptr) {
    TestMemImg d(dst), s(src);
    TestMask m(mask ? *mask : RefMask{1, 1, {0}});
    ApplyState(st);
    BlitMemImgScaled(d.get(), s.get(), rect.data(), trans, mask ? m.get() : nullptr);
    return d.Read(dst);
}

// The source columns (0-based) shown along row y of the drawn area, from x0 for n pixels.
std::vector<int> SampledColumns(const RefImage& out, int x0, int y, int n) {
    std::vector<int> cols;
    for (int x = x0; x < x0 + n; ++x) cols.push_back(int(out.At(x, y) & 0xFF) - 1);
    return cols;
}

TEST(BlitScaledWalk, EnlargingRepeatsAndShrinkingSkipsColumns) {
    const RefImage dst = FlatImage(1, TestKind::Direct, 10, 4, 0);
    const RefImage src = Columns(4, 1);
    RefImage out = Draw(dst, src, {0, 0, 8, 1}, 0, WholeImageState(0, 0, dst));
    EXPECT_EQ(SampledColumns(out, 0, 0, 8), (std::vector<int>{0, 0, 1, 1, 2, 2, 3, 3}));
    // Halving: the copy uses the strict walk, a bright-on draw the general walk.
    out = Draw(dst, src, {0, 0, 2, 1}, 0, WholeImageState(0, 0, dst));
    EXPECT_EQ(SampledColumns(out, 0, 0, 2), (std::vector<int>{0, 1}));
    out = Draw(dst, src, {0, 0, 2, 1}, 0, WholeImageState(0, 0, dst, 0xFEFFFF));
    EXPECT_EQ(SampledColumns(out, 0, 0, 2), (std::vector<int>{0, 2}));
    const RefImage wide = Columns(8, 1);
    out = Draw(dst, wide, {0, 0, 4, 1}, 0, WholeImageState(0, 0, dst));
    EXPECT_EQ(SampledColumns(out, 0, 0, 4), (std::vector<int>{0, 1, 3, 5}));
    out = Draw(dst, wide, {0, 0, 4, 1}, 0, WholeImageState(1, 100, dst));
    for (int x = 0; x < 4; ++x) EXPECT_EQ(out.At(x, 0) & 0xFF, uint32_t(2 * x + 1) * 100 / 256);
}

TEST(BlitScaledWalk, MirroringReversesTheSourceWalk) {
    const RefImage dst = FlatImage(1, TestKind::Direct, 4, 4, 0);
    const RefImage src = Columns(2, 1);
    RefImage out = Draw(dst, src, {0, 0, 3, 1}, 0, WholeImageState(0, 0, dst));
    EXPECT_EQ(SampledColumns(out, 0, 0, 3), (std::vector<int>{0, 0, 1}));
    out = Draw(dst, src, {3, 0, 0, 1}, 0, WholeImageState(0, 0, dst));
    EXPECT_EQ(SampledColumns(out, 0, 0, 3), (std::vector<int>{1, 1, 0}));
    // Top-bottom: rows read upwards.
    const RefImage tall = Columns(1, 2);
    out = Draw(dst, tall, {0, 3, 1, 0}, 0, WholeImageState(0, 0, dst));
    EXPECT_EQ(out.At(0, 0) >> 8 & 0xFF, 2u);
    EXPECT_EQ(out.At(0, 2) >> 8 & 0xFF, 1u);
}

TEST(BlitScaledWalk, ClippingKeepsEverySampleWhereTheUnclippedDrawPutsIt) {
    const RefImage dst = FlatImage(1, TestKind::Direct, 8, 2, 0);
    const RefImage src = Columns(6, 1);
    // 2x, starting 3 pixels left of the area: column 1 first, then 2, 2, 3, ...
    RefImage out = Draw(dst, src, {-3, 0, 9, 1}, 0, WholeImageState(0, 0, dst));
    EXPECT_EQ(SampledColumns(out, 0, 0, 6), (std::vector<int>{1, 2, 2, 3, 3, 4}));
    // Mirrored and clipped on the left: the first visible column is width - 1 - sx.
    out = Draw(dst, src, {9, 0, -3, 1}, 0, WholeImageState(0, 0, dst));
    EXPECT_EQ(SampledColumns(out, 0, 0, 6), (std::vector<int>{4, 3, 3, 2, 2, 1}));
    // Any clip matches the same columns of the whole draw.
    const RefImage bigDst = FlatImage(1, TestKind::Direct, 40, 1, 0);
    const RefImage whole = Draw(bigDst, src, {0, 0, 17, 1}, 0, WholeImageState(0, 0, bigDst));
    for (int cut = 1; cut < 16; ++cut) {
        RefState st = WholeImageState(0, 0, bigDst);
        st.area[0] = cut;
        const RefImage part = Draw(bigDst, src, {0, 0, 17, 1}, 0, st);
        for (int x = cut; x < 17; ++x) EXPECT_EQ(part.At(x, 0), whole.At(x, 0)) << cut << " " << x;
    }
}

TEST(BlitScaledFrame, SameSizeIsHandedToTheUnscaledBlitUnlessMirrored) {
    std::mt19937 rng(3);
    const RefImage dst = RandomDestination(rng, 0, 8, 8);
    const RefImage src = RandomImage(rng, 0, TestKind::Direct, 5, 4);
    // Mode 1 at 128 has a halving shortcut only in the unscaled blit.
    const RefState st = WholeImageState(1, 128, dst);
    RefImage viaScaled = Draw(dst, src, {1, 2, 6, 6}, 0, st);
    RefImage expect = dst;
    RefBlitUnscaled(&expect, src, 1, 2, 0, nullptr, st);
    EXPECT_EQ(viaScaled.pixels, expect.pixels);
    const RefImage mirrored = Draw(dst, src, {6, 2, 1, 6}, 0, st);
    expect = dst;
    RefBlitScaled(&expect, src, std::array<int32_t, 4>{6, 2, 1, 6}.data(), 0, nullptr, st);
    EXPECT_EQ(mirrored.pixels, expect.pixels);
    EXPECT_NE(mirrored.pixels, viaScaled.pixels);
}

TEST(BlitScaledFrame, GuardsDrawNothing) {
    const RefImage dst = FlatImage(0, TestKind::Direct, 8, 8, 0x1234);
    const RefImage src = FlatImage(0, TestKind::Direct, 4, 4, 0xFFFF);
    const RefState st = WholeImageState(0, 0, dst);
    EXPECT_EQ(Draw(dst, src, {3, 0, 3, 8}, 0, st).pixels, dst.pixels);  // zero width
    EXPECT_EQ(Draw(dst, src, {0, 5, 8, 5}, 0, st).pixels, dst.pixels);  // zero height
    // Sizes beyond the 16.16 range.
    EXPECT_EQ(Draw(dst, src, {0, 0, 40000, 8}, 0, st).pixels, dst.pixels);
    EXPECT_EQ(Draw(dst, src, {-2147483647, 0, 2147483647, 8}, 0, st).pixels, dst.pixels);
    // A target with alpha holds four-byte pixels that these loops would not fill.
    const RefImage alphaDst = FlatImage(0, TestKind::Alpha, 8, 8, 0x00AB1234);
    EXPECT_EQ(Draw(alphaDst, src, {0, 0, 8, 8}, 0, st).pixels, alphaDst.pixels);
    // A blend graph smaller than the source.
    const RefMask small{2, 2, std::vector<uint8_t>(4, 255)};
    EXPECT_EQ(Draw(dst, src, {0, 0, 8, 8}, 0, st, &small).pixels, dst.pixels);
    // A source without pixels.
    TestMemImg d(dst), s(src);
    MEMIMG empty = *s.get();
    empty.width = 0;
    ApplyState(st);
    const int32_t rect[4] = {0, 0, 8, 8};
    BlitMemImgScaled(d.get(), &empty, rect, 0, nullptr);
    EXPECT_EQ(d.Read(dst).pixels, dst.pixels);
}

TEST(BlitScaledWide, DocumentedValues) {
    const RefImage dst = FlatImage(1, TestKind::Direct, 4, 1, 0x00404040);
    RefImage pal = FlatImage(1, TestKind::Palette, 2, 1, 1);
    pal.entries[1] = 0x00404040;
    // Whole-sample subtraction at 255: packed bytes reach 0, the plain form keeps low bits.
    RefState st = WholeImageState(3, 255, dst);
    EXPECT_EQ(Draw(dst, pal, {0, 0, 4, 1}, 0, st).At(3, 0), 0x00010100u);
    st.packedBytes = true;
    const RefImage fourthByte = FlatImage(1, TestKind::Direct, 4, 1, 0x20404040);
    EXPECT_EQ(Draw(fourthByte, pal, {0, 0, 4, 1}, 0, st).At(3, 0), 0x20000000u);
    // No halving shortcut: 1 over 1 stays 1 and the fourth byte is kept.
    const RefImage ones = FlatImage(1, TestKind::Direct, 4, 1, 0x77010101);
    const RefImage oneSrc = FlatImage(1, TestKind::Direct, 2, 1, 0x00010101);
    EXPECT_EQ(Draw(ones, oneSrc, {0, 0, 4, 1}, 0, WholeImageState(1, 128, ones)).At(0, 0),
              0x77010101u);
    // The table addend at 255 with the low-bit merge: byte 3 becomes the red carry.
    const RefImage grey = FlatImage(1, TestKind::Direct, 4, 1, 0x00F0F0F0);
    const RefImage add = FlatImage(1, TestKind::Direct, 2, 1, 0x00202020);
    EXPECT_EQ(Draw(grey, add, {0, 0, 4, 1}, 0, WholeImageState(2, 255, grey)).At(1, 0),
              0x01FFFFFFu);
    // Alpha 0 is skipped under transparency in every mode, the multiply included.
    const RefImage white = FlatImage(1, TestKind::Direct, 4, 1, 0x00FFFFFF);
    const RefImage clear = FlatImage(1, TestKind::Alpha, 2, 1, 0x00FFFFFF);
    EXPECT_EQ(Draw(white, clear, {0, 0, 4, 1}, 1, WholeImageState(4, 0, white)).At(0, 0),
              0x00FFFFFFu);
    EXPECT_EQ(Draw(white, clear, {0, 0, 4, 1}, 0, WholeImageState(4, 0, white)).At(0, 0), 0u);
    // Without transparency an alpha source is blended by its alpha even in the opaque mode.
    const RefImage black = FlatImage(1, TestKind::Direct, 4, 1, 0);
    const RefImage solid = FlatImage(1, TestKind::Alpha, 2, 1, 0xFFFFFFFF);
    EXPECT_EQ(Draw(black, solid, {0, 0, 4, 1}, 0, WholeImageState(0, 0, black)).At(0, 0),
              0x00FEFEFEu);
    EXPECT_EQ(Draw(black, solid, {0, 0, 4, 1}, 1, WholeImageState(0, 0, black)).At(0, 0),
              0xFFFFFFFFu);
}

TEST(BlitScaledRgb565, DocumentedValues) {
    const RefImage black = FlatImage(0, TestKind::Direct, 4, 1, 0);
    const RefImage white = FlatImage(0, TestKind::Direct, 4, 1, 0xFFFF);
    const RefImage whiteSrc = FlatImage(0, TestKind::Direct, 2, 1, 0xFFFF);
    // Translucent at 128 goes through the signed table: red 15, green 31, blue 15.
    EXPECT_EQ(Draw(black, whiteSrc, {0, 0, 4, 1}, 0, WholeImageState(1, 128, black)).At(0, 0),
              0x7BEFu);
    // A blend-graph weight of 255 moves red 31 over 0 to 30.
    const RefImage red = FlatImage(0, TestKind::Direct, 2, 1, 0xF800);
    const RefMask full{2, 1, {255, 255}};
    EXPECT_EQ(Draw(black, red, {0, 0, 4, 1}, 0, WholeImageState(0, 0, black), &full).At(0, 0),
              30u << 11);
    // Subtract at 0: palette sources still run with a zero colour, direct ones draw nothing.
    const RefImage pal = FlatImage(0, TestKind::Palette, 2, 1, 0);
    EXPECT_EQ(Draw(white, pal, {0, 0, 4, 1}, 0, WholeImageState(3, 0, white)).At(0, 0), 0xFFDFu);
    EXPECT_EQ(Draw(black, pal, {0, 0, 4, 1}, 0, WholeImageState(3, 0, black)).At(0, 0), 0x0800u);
    EXPECT_EQ(Draw(white, whiteSrc, {0, 0, 4, 1}, 0, WholeImageState(3, 0, white)).At(0, 0),
              0xFFFFu);
    // Adding black at 255 keeps the low bits (always the general add here).
    const RefImage low = FlatImage(0, TestKind::Direct, 4, 1, 0x0821);
    const RefImage blackSrc = FlatImage(0, TestKind::Direct, 2, 1, 0);
    EXPECT_EQ(Draw(low, blackSrc, {0, 0, 4, 1}, 0, WholeImageState(2, 255, low)).At(0, 0), 0x0821u);
    // A white source inverts to black; a keyed pixel is skipped before the inversion.
    RefImage keyed = whiteSrc;
    keyed.key = 0xFFFF;
    EXPECT_EQ(Draw(white, whiteSrc, {0, 0, 4, 1}, 0, WholeImageState(10, 255, white)).At(0, 0),
              0x0000u);
    EXPECT_EQ(Draw(white, keyed, {0, 0, 4, 1}, 1, WholeImageState(10, 255, white)).At(0, 0),
              0xFFFFu);
}

}  // namespace
