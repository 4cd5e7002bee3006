// The unscaled blit's frame: refusals, clipping at every edge, blend-graph addressing, the
// choice between the run-length and the plain path, and the documented example values.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <random>

#include "blit_harness.h"
#include "softrender/blits.h"

namespace {

// Draws src on a copy of dst at (x, y) and returns what the destination holds afterwards.
RefImage Draw(const RefImage& dst, const RefImage& src, int x, int y, int trans, const RefState& st,
              const RefMask* mask = nullptr) {
    TestMemImg d(dst), s(src);
    TestMask m(mask ? *mask : RefMask{1, 1, {0}});
    ApplyState(st);
    BlitMemImgUnscaled(d.get(), s.get(), x, y, trans, mask ? m.get() : nullptr);
    return d.Read(dst);
}

// A source whose pixel at (x, y) is 0x00yyxx01, so every drawn pixel names its origin.
RefImage Numbered(int w, int h) {
    RefImage img = FlatImage(1, TestKind::Direct, w, h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.At(x, y) = uint32_t(y) << 16 | uint32_t(x) << 8 | 1;
    return img;
}

TEST(BlitUnscaledFrame, RefusesDestinationsThatCannotTakeTheSource) {
    const RefImage src = FlatImage(0, TestKind::Direct, 2, 2, 0xFFFF);
    RefImage alphaDst = FlatImage(0, TestKind::Alpha, 4, 4, 0x00120034);
    EXPECT_EQ(Draw(alphaDst, src, 0, 0, 0, WholeImageState(0, 0, alphaDst)).pixels,
              alphaDst.pixels);
    RefImage paletteDst = FlatImage(0, TestKind::Palette, 4, 4, 7);
    EXPECT_EQ(Draw(paletteDst, src, 0, 0, 0, WholeImageState(0, 0, paletteDst)).pixels,
              paletteDst.pixels);
    RefImage wideDst = FlatImage(1, TestKind::Direct, 4, 4, 0x11223344);
    EXPECT_EQ(Draw(wideDst, src, 0, 0, 0, WholeImageState(0, 0, wideDst)).pixels, wideDst.pixels);
}

TEST(BlitUnscaledFrame, ClipsAtEveryEdgeAndStartsAtTheFirstVisibleSourcePixel) {
    const RefImage dst = FlatImage(1, TestKind::Direct, 10, 10, 0);
    const RefImage src = Numbered(4, 4);
    // Top-left: (-1, -2) shows source (1, 2) at (0, 0) and nothing beyond the source.
    RefImage out = Draw(dst, src, -1, -2, 0, WholeImageState(0, 0, dst));
    EXPECT_EQ(out.At(0, 0), 0x00020101u);
    EXPECT_EQ(out.At(2, 1), 0x00030301u);
    EXPECT_EQ(out.At(3, 0), 0u);
    EXPECT_EQ(out.At(0, 2), 0u);
    // Bottom-right: only the 2 x 2 corner that fits.
    out = Draw(dst, src, 8, 8, 0, WholeImageState(0, 0, dst));
    EXPECT_EQ(out.At(8, 8), 0x00000001u);
    EXPECT_EQ(out.At(9, 9), 0x00010101u);
    EXPECT_EQ(out.At(7, 9), 0u);
    // A draw area inside the destination clips all four sides.
    RefState st = WholeImageState(0, 0, dst);
    st.area[0] = 3, st.area[1] = 4, st.area[2] = 5, st.area[3] = 6;
    out = Draw(dst, src, 2, 2, 0, st);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            const bool inside = x >= 3 && x < 5 && y >= 4 && y < 6;
            const uint32_t expect = inside ? uint32_t(y - 2) << 16 | uint32_t(x - 2) << 8 | 1 : 0;
            EXPECT_EQ(out.At(x, y), expect) << x << "," << y;
        }
    }
}

TEST(BlitUnscaledFrame, DrawsNothingOutsideTheAreaAndNeverBeyondTheDestination) {
    const RefImage dst = FlatImage(1, TestKind::Direct, 6, 6, 0x55);
    const RefImage src = Numbered(4, 4);
    EXPECT_EQ(Draw(dst, src, 6, 0, 0, WholeImageState(0, 0, dst)).pixels, dst.pixels);
    EXPECT_EQ(Draw(dst, src, -4, 2, 0, WholeImageState(0, 0, dst)).pixels, dst.pixels);
    // Positions whose far edge would overflow 32 bits.
    EXPECT_EQ(Draw(dst, src, INT_MAX - 1, INT_MAX - 1, 0, WholeImageState(0, 0, dst)).pixels,
              dst.pixels);
    EXPECT_EQ(Draw(dst, src, INT_MIN, INT_MIN, 0, WholeImageState(0, 0, dst)).pixels, dst.pixels);
    // An area larger than the destination is cut to it.
    RefState st = WholeImageState(0, 0, dst);
    st.area[0] = -100, st.area[1] = -100, st.area[2] = 1000, st.area[3] = 1000;
    const RefImage out = Draw(dst, src, 4, 4, 0, st);
    EXPECT_EQ(out.At(5, 5), 0x00010101u);
}

TEST(BlitUnscaledFrame, BlendGraphIsReadAtSourceCoordinatesAndLimitsTheDraw) {
    const RefImage dst = FlatImage(1, TestKind::Direct, 6, 6, 0);
    const RefImage src = FlatImage(1, TestKind::Direct, 4, 4, 0x00FFFFFF);
    RefMask mask{4, 4, std::vector<uint8_t>(16, 0)};
    mask.bytes[2 * 4 + 1] = 255;  // source (1, 2)
    // Weights are the identity: only the pixel drawn from source (1, 2) moves.
    RefImage out = Draw(dst, src, -1, -2, 0, WholeImageState(0, 0, dst), &mask);
    EXPECT_EQ(out.At(0, 0), 0x00FEFEFEu);
    EXPECT_EQ(std::count(out.pixels.begin(), out.pixels.end(), 0u), 35);
    // A blend graph smaller than the source limits the drawn part to what it covers.
    const RefMask small{2, 3, std::vector<uint8_t>(6, 255)};
    out = Draw(dst, src, 0, 0, 0, WholeImageState(0, 0, dst), &small);
    EXPECT_EQ(std::count(out.pixels.begin(), out.pixels.end(), 0x00FEFEFEu), 6);
    EXPECT_EQ(out.At(2, 0), 0u);
    EXPECT_EQ(out.At(0, 3), 0u);
}

TEST(BlitUnscaledFrame, ModesThatTheSoftwareRendererDoesNotDrawLeaveTheDestination) {
    const RefImage dst = FlatImage(0, TestKind::Direct, 4, 4, 0x1234);
    const RefImage src = FlatImage(0, TestKind::Direct, 4, 4, 0xFFFF);
    for (uint32_t mode : {5u, 6u, 7u, 8u, 9u, 12u, 0x80000000u}) {
        EXPECT_EQ(Draw(dst, src, 0, 0, 0, WholeImageState(mode, 128, dst)).pixels, dst.pixels)
            << mode;
    }
    EXPECT_EQ(Draw(dst, src, 0, 0, 0, WholeImageState(1, 0, dst)).pixels, dst.pixels);
    EXPECT_EQ(Draw(dst, src, 0, 0, 0, WholeImageState(2, 0, dst)).pixels, dst.pixels);
    EXPECT_EQ(Draw(dst, src, 0, 0, 0, WholeImageState(3, 0, dst)).pixels, dst.pixels);
}

TEST(BlitUnscaledFrame, TranslucentAtFullParameterDrawsExactlyAsOpaque) {
    std::mt19937 rng(5);
    for (int type : {0, 1}) {
        for (TestKind kind : {TestKind::Direct, TestKind::Alpha, TestKind::Palette}) {
            const RefImage dst = RandomDestination(rng, type, 8, 8);
            const RefImage src = RandomImage(rng, type, kind, 6, 6);
            const RefMask mask = RandomMask(rng, 6, 6);
            for (uint32_t bright : {0xFFFFFFu, 0x8090A0u}) {
                for (int trans : {0, 1}) {
                    for (const RefMask* m : {static_cast<const RefMask*>(nullptr), &mask}) {
                        const RefImage a =
                            Draw(dst, src, 1, 2, trans, WholeImageState(0, 0, dst, bright), m);
                        const RefImage b =
                            Draw(dst, src, 1, 2, trans, WholeImageState(1, 255, dst, bright), m);
                        EXPECT_EQ(a.pixels, b.pixels);
                    }
                }
            }
        }
    }
}

TEST(BlitUnscaledRgb565, DocumentedValues) {
    const RefImage black = FlatImage(0, TestKind::Direct, 3, 1, 0x0000);
    const RefImage white = FlatImage(0, TestKind::Direct, 3, 1, 0xFFFF);
    // The halving average: white over black is red 15, green 31, blue 15.
    EXPECT_EQ(Draw(black, white, 0, 0, 0, WholeImageState(1, 128, black)).At(0, 0), 0x7BEFu);
    // The 6-bit table: p 1 to 3 keeps the destination, 252 to 254 stores the source.
    for (int p : {1, 2, 3})
        EXPECT_EQ(Draw(black, white, 0, 0, 0, WholeImageState(1, p, black)).At(1, 0), 0u);
    for (int p : {252, 253, 254})
        EXPECT_EQ(Draw(black, white, 0, 0, 0, WholeImageState(1, p, black)).At(1, 0), 0xFFFFu);
    // Adding black keeps 0x0821 in the general form; the pair form at 255 drops the low bits.
    const RefImage low = FlatImage(0, TestKind::Direct, 3, 1, 0x0821);
    EXPECT_EQ(Draw(low, black, 0, 0, 0, WholeImageState(2, 254, low)).At(0, 0), 0x0821u);
    EXPECT_EQ(Draw(low, black, 0, 0, 0, WholeImageState(2, 255, low)).At(0, 0), 0x0001u);
    // Adding white saturates through the general add; the fast form's recipe leaves red's and
    // green's lowest bits to the carries, so onto 0x0821 it gives 0xF7FF.
    EXPECT_EQ(Draw(white, white, 0, 0, 0, WholeImageState(2, 255, white)).At(2, 0), 0xFFFFu);
    EXPECT_EQ(Draw(low, white, 0, 0, 0, WholeImageState(2, 255, low)).At(2, 0), 0xF7FFu);
    const RefImage opaqueWhite = FlatImage(0, TestKind::Alpha, 3, 1, 0x00FFFFFF);
    EXPECT_EQ(Draw(low, opaqueWhite, 0, 0, 1, WholeImageState(2, 255, low)).At(2, 0), 0xFFFFu);
    // Subtracting black from white clears green's lowest bit.
    EXPECT_EQ(Draw(white, black, 0, 0, 0, WholeImageState(3, 255, white)).At(0, 0), 0xFFDFu);
    // Bright 128 on white; a bright of blue 254 is on and takes blue 31 to 30.
    EXPECT_EQ(Draw(black, white, 0, 0, 0, WholeImageState(0, 0, black, 0x808080)).At(0, 0),
              0x7BEFu);
    EXPECT_EQ(Draw(black, white, 0, 0, 0, WholeImageState(0, 0, black, 0xFFFFFE)).At(0, 0),
              0xFFFEu);
}

TEST(BlitUnscaledRgb565, PairFormCarriesFromTheLeftPixelIntoTheRight) {
    const RefImage dst = FlatImage(0, TestKind::Direct, 2, 1, 0xF800);
    const RefImage src = FlatImage(0, TestKind::Direct, 2, 1, 0xF800);
    const RefImage out = Draw(dst, src, 0, 0, 0, WholeImageState(2, 255, dst));
    EXPECT_EQ(out.At(0, 0), 0xF800u);
    EXPECT_EQ(out.At(1, 0), 0xF801u);  // the left red's carry, in the right blue
    // An odd last pixel, and a pixel whose partner is transparent, are added alone.
    RefImage keyed = src;
    keyed.key = 0x1234;
    keyed.At(0, 0) = 0x1234;
    const RefImage alone = Draw(dst, keyed, 0, 0, 1, WholeImageState(2, 255, dst));
    EXPECT_EQ(alone.At(0, 0), 0xF800u);
    EXPECT_EQ(alone.At(1, 0), 0xF800u);
}

TEST(BlitUnscaledRgb565, AlphaZeroBlackensUnderMultiplyWithOrWithoutTransparency) {
    const RefImage dst = FlatImage(0, TestKind::Direct, 2, 2, 0xFFFF);
    const RefImage src = FlatImage(0, TestKind::Alpha, 2, 2, 0x0000FFFF);  // alpha 0
    EXPECT_EQ(Draw(dst, src, 0, 0, 1, WholeImageState(4, 0, dst)).At(1, 1), 0u);
    EXPECT_EQ(Draw(dst, src, 0, 0, 0, WholeImageState(4, 0, dst)).At(1, 1), 0u);
    // Under the opaque mode the same pixel is skipped.
    EXPECT_EQ(Draw(dst, src, 0, 0, 1, WholeImageState(0, 0, dst)).At(1, 1), 0xFFFFu);
}

TEST(BlitUnscaledPalette, SubtractAtZeroStillMovesTheLowBits) {
    RefImage src = FlatImage(0, TestKind::Palette, 2, 1, 3);
    const RefImage black = FlatImage(0, TestKind::Direct, 2, 1, 0x0000);
    const RefImage white = FlatImage(0, TestKind::Direct, 2, 1, 0xFFFF);
    EXPECT_EQ(Draw(black, src, 0, 0, 0, WholeImageState(3, 0, black)).At(0, 0), 0x0800u);
    EXPECT_EQ(Draw(white, src, 0, 0, 0, WholeImageState(3, 0, white)).At(0, 0), 0xFFDFu);
    RefImage wideSrc = FlatImage(1, TestKind::Palette, 2, 1, 3);
    RefImage wide = FlatImage(1, TestKind::Direct, 2, 1, 0x77102030);
    EXPECT_EQ(Draw(wide, wideSrc, 0, 0, 0, WholeImageState(3, 0, wide)).At(0, 0), 0x00112130u);
    // A direct source at 0 draws nothing.
    const RefImage direct = FlatImage(0, TestKind::Direct, 2, 1, 0);
    EXPECT_EQ(Draw(white, direct, 0, 0, 0, WholeImageState(3, 0, white)).At(0, 0), 0xFFFFu);
}

TEST(BlitUnscaledPalette, EachCallDrawsWithTheSourcesCurrentPalette) {
    const RefImage dst = FlatImage(1, TestKind::Direct, 2, 1, 0);
    RefImage src = FlatImage(1, TestKind::Palette, 2, 1, 9);
    TestMemImg d(dst), s(src);
    ApplyState(WholeImageState(0, 0, dst));
    uint32_t entry = 0xAABBCCDD;
    std::memcpy(s.get()->body->palette + 9 * 4, &entry, 4);
    BlitMemImgUnscaled(d.get(), s.get(), 0, 0, 0, nullptr);
    EXPECT_EQ(d.Read(dst).At(0, 0), 0xAABBCCDDu);
    entry = 0x01020304;
    std::memcpy(s.get()->body->palette + 9 * 4, &entry, 4);
    BlitMemImgUnscaled(d.get(), s.get(), 0, 0, 0, nullptr);
    EXPECT_EQ(d.Read(dst).At(1, 0), 0x01020304u);
}

TEST(BlitUnscaledPalette, KeyOutsideTheIndexRangeNeverMatches) {
    const RefImage dst = FlatImage(1, TestKind::Direct, 2, 1, 0);
    RefImage src = FlatImage(1, TestKind::Palette, 2, 1, 0x05);
    src.entries[5] = 0x00ABCDEF;
    src.key = 0x105;  // low byte equals every index
    EXPECT_EQ(Draw(dst, src, 0, 0, 1, WholeImageState(0, 0, dst)).At(0, 0), 0x00ABCDEFu);
    src.key = 5;
    EXPECT_EQ(Draw(dst, src, 0, 0, 1, WholeImageState(0, 0, dst)).At(0, 0), 0u);
}

TEST(BlitUnscaledWide, OpaqueCopiesTheFourthByteAndKeysCompareAllFour) {
    const RefImage dst = FlatImage(1, TestKind::Direct, 2, 1, 0x11111111);
    RefImage src = FlatImage(1, TestKind::Direct, 2, 1, 0xAB00FF00);
    src.key = 0x0000FF00;  // differs from the pixels only in the fourth byte
    EXPECT_EQ(Draw(dst, src, 0, 0, 1, WholeImageState(0, 0, dst)).At(0, 0), 0xAB00FF00u);
    // The halving mix writes a fourth byte of 0, and 1 over 1 gives 0.
    const RefImage ones = FlatImage(1, TestKind::Direct, 2, 1, 0x01010101);
    EXPECT_EQ(Draw(ones, ones, 0, 0, 0, WholeImageState(1, 128, ones)).At(0, 0), 0u);
}

TEST(BlitUnscaledWide, PackedByteLoopsSaturateEveryByteWherePlainOnesCarry) {
    for (bool packed : {false, true}) {
        const RefImage dst = FlatImage(1, TestKind::Direct, 5, 1, 0x80808080);
        const RefImage add = FlatImage(1, TestKind::Direct, 5, 1, 0x80808080);
        RefState st = WholeImageState(2, 255, dst);
        st.packedBytes = packed;
        const uint32_t sum = packed ? 0xFFFFFFFF : 0x01FFFFFF;
        RefImage out = Draw(dst, add, 0, 0, 0, st);
        for (int x = 0; x < 5; ++x) EXPECT_EQ(out.At(x, 0), sum) << packed;

        const RefImage from = FlatImage(1, TestKind::Direct, 5, 1, 0x10101010);
        const RefImage sub = FlatImage(1, TestKind::Direct, 5, 1, 0x01010101);
        st.mode = 3;
        out = Draw(from, sub, 0, 0, 0, st);
        for (int x = 0; x < 5; ++x) EXPECT_EQ(out.At(x, 0), packed ? 0x0F0F0F0Fu : 0x0011110Fu);

        RefImage pal = FlatImage(1, TestKind::Palette, 5, 1, 2);
        pal.entries[2] = 0x80808080;
        st.mode = 2;
        out = Draw(dst, pal, 0, 0, 0, st);
        EXPECT_EQ(out.At(4, 0), sum);

        // The halving mix is the same either way.
        st.mode = 1;
        st.param = 128;
        out = Draw(from, add, 0, 0, 0, st);
        for (int x = 0; x < 5; ++x) EXPECT_EQ(out.At(x, 0), 0x00484848u);
    }
}

// The RGB565 add at 255 by four pairs a step gives the plain pair loop's pixels: carries across
// the pair and out of the word, keyed pixels in either half, rows of every length and offset.
TEST(BlitUnscaled565, PackedPairAddGivesThePlainPairLoopsPixels) {
    std::mt19937 rng(41);
    for (int trial = 0; trial < 300; ++trial) {
        const int w = 1 + int(rng() % 40), h = 1 + int(rng() % 3);
        const RefImage dst = RandomDestination(rng, 0, w + 4, h + 2);
        RefImage src = RandomImage(rng, 0, TestKind::Direct, w, h);
        // Bright sources make red and green carry often.
        for (uint32_t& px : src.pixels)
            if (rng() % 3 == 0) px |= 0xC618;
        const int trans = int(rng() % 2), x = int(rng() % 3) - 1;
        RefImage drawn[2];
        for (bool packed : {false, true}) {
            RefState st = WholeImageState(2, 255, dst);
            st.packedBytes = packed;
            drawn[packed] = Draw(dst, src, x, 1, trans, st);
        }
        ASSERT_EQ(drawn[1].pixels, drawn[0].pixels) << "trial " << trial << " width " << w;
    }
}

TEST(BlitRunLength, TakenOnlyForAWholeImageDrawnWithTransOne) {
    // Under the multiply, alpha 0 blackens on the plain path; its run is stepped over instead.
    const RefImage dst = FlatImage(0, TestKind::Direct, 6, 6, 0xFFFF);
    RefImage src = FlatImage(0, TestKind::Alpha, 4, 4, 0x00FFFFFF);  // alpha 255
    src.At(1, 1) = 0x0000FFFF;
    src.stream = WrittenStream(src);
    const RefState st = WholeImageState(4, 0, dst);
    EXPECT_EQ(Draw(dst, src, 1, 1, 1, st).At(2, 2), 0xFFFFu);
    EXPECT_EQ(Draw(dst, src, 1, 1, 2, st).At(2, 2), 0u);
    EXPECT_EQ(Draw(dst, src, 1, 1, 0, st).At(2, 2), 0u);
    EXPECT_EQ(Draw(dst, src, -1, -1, 1, st).At(0, 0), 0u);
}

TEST(BlitRunLength, StreamDecidesEvenAfterThePixelsChanged) {
    const RefImage dst = FlatImage(1, TestKind::Direct, 4, 1, 0);
    RefImage src = FlatImage(1, TestKind::Direct, 4, 1, 0x00FFFFFF);
    src.key = 0x00FFFFFF;
    src.stream = {0x00, 0x42, 0xC0};  // one transparent pixel, three opaque ones
    const RefImage out = Draw(dst, src, 0, 0, 1, WholeImageState(0, 0, dst));
    EXPECT_EQ(out.pixels, (std::vector<uint32_t>{0, 0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF}));
}

TEST(BlitRunLength, EndOfRowIsAnyByteFromC0AndOverlongRunsStopAtTheRowEnd) {
    const RefImage dst = FlatImage(1, TestKind::Direct, 3, 2, 0);
    RefImage src = FlatImage(1, TestKind::Direct, 2, 2, 7);
    src.key = 99;
    src.stream = {0x7F, 0xFF, 0x40, 0xC1};  // a 64-pixel run in a 2-pixel row
    const RefImage out = Draw(dst, src, 0, 0, 1, WholeImageState(0, 0, dst));
    EXPECT_EQ(out.pixels, (std::vector<uint32_t>{7, 7, 0, 7, 0, 0}));
}

TEST(BlitRunLength, SubImageOfAStreamedBodyTakesThePlainPath) {
    const RefImage dst = FlatImage(0, TestKind::Direct, 4, 4, 0xFFFF);
    RefImage parent = FlatImage(0, TestKind::Alpha, 8, 8, 0x00FFFFFF);
    parent.At(3, 3) = 0x0000FFFF;
    parent.stream = WrittenStream(parent);
    TestMemImg d(dst), p(parent);
    MEMIMG sub{};
    DeriveMemImg(&sub, p.get(), 2, 2, 3, 3);
    ASSERT_EQ(IsMemImgValid(&sub), 1);
    ApplyState(WholeImageState(4, 0, dst));
    BlitMemImgUnscaled(d.get(), &sub, 0, 0, 1, nullptr);
    // The plain path blackens the alpha-0 pixel at sub-image (1, 1).
    EXPECT_EQ(d.Read(dst).At(1, 1), 0u);
    EXPECT_EQ(d.Read(dst).At(0, 0), 0xF7DEu);  // white times white: 30, 62, 30
    EXPECT_EQ(d.Read(dst).At(3, 3), 0xFFFFu);
    ReleaseMemImg(&sub);
}

TEST(BlitRunLength, DrawingOntoAnImageInvalidatesItsStream) {
    RefImage dst = FlatImage(0, TestKind::Direct, 4, 4, 0);
    dst.stream = WrittenStream(dst);
    const RefImage src = FlatImage(0, TestKind::Direct, 2, 2, 0xFFFF);
    TestMemImg d(dst), s(src);
    ApplyState(WholeImageState(5, 0, dst));
    BlitMemImgUnscaled(d.get(), s.get(), 0, 0, 0, nullptr);
    EXPECT_EQ(d.get()->body->runLengthFlag, 1);  // a mode that draws nothing changes nothing
    ApplyState(WholeImageState(0, 0, dst));
    BlitMemImgUnscaled(d.get(), s.get(), 0, 0, 0, nullptr);
    EXPECT_EQ(d.get()->body->runLengthFlag, 0);
}

}  // namespace
