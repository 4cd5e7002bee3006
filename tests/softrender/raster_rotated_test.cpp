// The rotated and scaled blit: its documented set-up cases, the mapping against a
// floating-point reference at any angle and scale, mirrored drawing, and sources, blend graphs
// and palettes that the fixed work tables of old could not take.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <string>

#include "raster_harness.h"
#include "raster_reference.h"
#include "softrender/raster.h"

namespace {

constexpr uint32_t kUntouched = 0xFFFFFFFF;

// Draws the numbered source of w x h rotated onto a fresh 32-bit destination.
RefImage DrawNumbered(int dw, int dh, int w, int h, int cx, int cy, float angle, float scale,
                      int turn = 0) {
    const RefImage dst = FlatImage(1, TestKind::Direct, dw, dh, kUntouched);
    TestMemImg d(dst), s(NumberedImage(w, h));
    ApplyState(WholeImageState(0, 0, dst));
    BlitMemImgRotated(d.get(), s.get(), cx, cy, angle, scale, 0, turn, nullptr);
    return d.Read(dst);
}

TEST(RasterRotated, AngleZeroIsAnExactCopyCentredOnTheGivenPixel) {
    const RefImage got = DrawNumbered(16, 12, 5, 4, 7, 6, 0.0f, 1.0f);
    // Texel (2, 2) lies on (7, 6): columns 5 to 9, rows 4 to 7.
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 16; ++x) {
            const bool in = x >= 5 && x <= 9 && y >= 4 && y <= 7;
            EXPECT_EQ(got.At(x, y), in ? NumberOf(x - 5, y - 4) : kUntouched) << x << "," << y;
        }
    }
}

TEST(RasterRotated, QuarterTurnIsClockwise) {
    const float quarter = std::numbers::pi_v<float> / 2;
    const RefImage got = DrawNumbered(20, 20, 6, 6, 10, 10, quarter, 1.0f);
    // One column right of the centre shows the texel one row above the centre texel.
    EXPECT_EQ(got.At(11, 10), NumberOf(3, 2));
    EXPECT_EQ(got.At(10, 10), NumberOf(3, 3));
    // One row below the centre shows the texel one column right of it.
    EXPECT_EQ(got.At(10, 11), NumberOf(4, 3));
}

TEST(RasterRotated, ScaleTwoCoversEachTexelWithTwoByTwoPixels) {
    const RefImage got = DrawNumbered(24, 24, 5, 4, 11, 12, 0.0f, 2.0f);
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 24; ++x) {
            // Floor division: pixels left of the centre map to negative halves.
            const int tx = int(std::floor((x - 11) / 2.0)) + 2,
                      ty = int(std::floor((y - 12) / 2.0)) + 2;
            const bool in = tx >= 0 && tx < 5 && ty >= 0 && ty < 4;
            EXPECT_EQ(got.At(x, y), in ? NumberOf(tx, ty) : kUntouched) << x << "," << y;
        }
    }
}

TEST(RasterRotated, NegativeScaleTurnsHalfWayAndZeroScaleDrawsNothing) {
    const RefImage half = DrawNumbered(16, 16, 5, 5, 8, 8, 0.0f, -1.0f);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const int tx = 8 - x + 2, ty = 8 - y + 2;
            const bool in = tx >= 0 && tx < 5 && ty >= 0 && ty < 5;
            EXPECT_EQ(half.At(x, y), in ? NumberOf(tx, ty) : kUntouched) << x << "," << y;
        }
    }
    const RefImage none = DrawNumbered(16, 16, 5, 5, 8, 8, 0.7f, 0.0f);
    for (uint32_t px : none.pixels) ASSERT_EQ(px, kUntouched);
}

// Every pixel against the inverse rotation evaluated at its top-left corner in floating point:
// the exact texel away from texel boundaries, a neighbour allowed next to them.
TEST(RasterRotated, MappingMatchesTheFloatingPointReference) {
    std::mt19937 rng(23);
    const float scales[] = {1.0f, 0.5f, 0.75f, 1.5f, 2.0f, 3.25f, -1.25f};
    for (int trial = 0; trial < 250; ++trial) {
        const int w = Between(rng, 1, 12), h = Between(rng, 1, 12);
        const int dw = 40, dh = 40;
        const int cx = Between(rng, -4, dw + 4), cy = Between(rng, -4, dh + 4);
        const float angle = float(rng() % 100000) / 100000.0f * 14.0f - 7.0f;
        const float scale = scales[rng() % 7];
        const RefImage got = DrawNumbered(dw, dh, w, h, cx, cy, angle, scale);
        // Truncated sines and steps lose under a unit of 2^-18 per pixel and row walked.
        const double margin = 4.0 * (dw + dh) / 262144.0 / std::min(1.0, std::fabs(double(scale)));
        for (int y = 0; y < dh; ++y) {
            for (int x = 0; x < dw; ++x) {
                const RefTexel e = RefRotatedTexel(w, h, cx, cy, angle, scale, x, y, margin);
                bool ok = false;
                for (double du : {-margin, 0.0, margin}) {
                    for (double dv : {-margin, 0.0, margin}) {
                        const int tu = int(std::floor(e.u + du)), tv = int(std::floor(e.v + dv));
                        const bool in = tu >= 0 && tv >= 0 && tu < w && tv < h;
                        ok |= got.At(x, y) == (in ? NumberOf(tu, tv) : kUntouched);
                    }
                }
                ASSERT_TRUE(ok) << "pixel " << x << "," << y << " angle " << angle << " scale "
                                << scale << " centre " << cx << "," << cy << " source " << w << "x"
                                << h << ": drew 0x" << std::hex << got.At(x, y) << std::dec
                                << ", exact texel " << e.u << "," << e.v;
            }
        }
    }
}

// Mirrored drawing: at angle 0 the source's texel (i, j) lands i columns left of the right
// corner, one column right of the unmirrored image's mirror.
TEST(RasterRotated, TurnMirrorsLeftToRight) {
    const RefImage got = DrawNumbered(16, 16, 6, 4, 8, 8, 0.0f, 1.0f, 1);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const int i = 11 - x, j = y - 6;
            const bool in = i >= 0 && i < 6 && j >= 0 && j < 4;
            EXPECT_EQ(got.At(x, y), in ? NumberOf(i, j) : kUntouched) << x << "," << y;
        }
    }
}

// A source and a blend graph taller than 4096 rows are drawn whole, bottom rows included.
TEST(RasterRotated, TallSourcesAndBlendGraphsAreDrawnWhole) {
    const int h = 5000;
    RefImage src = FlatImage(0, TestKind::Direct, 1, h, 0);
    for (int y = 0; y < h; ++y) src.At(0, y) = uint32_t(y) & 0xFFFF;
    const RefImage dst = FlatImage(0, TestKind::Direct, 3, h, 0xFFFF);
    RefMask mask{1, h, std::vector<uint8_t>(h, 0)};
    mask.bytes[h - 1] = 255;
    RefState st = WholeImageState(0, 0, dst);
    for (int i = 0; i < 256; ++i) st.weights[i] = i == 255 ? 255 : 0;
    TestMemImg d(dst), s(src);
    ApplyState(st);
    BlitMemImgRotated(d.get(), s.get(), 1, h / 2, 0.0f, 1.0f, 0, 0, nullptr);
    RefImage got = d.Read(dst);
    EXPECT_EQ(got.At(1, 0), 0u);
    EXPECT_EQ(got.At(1, 4096), 4096u);
    EXPECT_EQ(got.At(1, h - 1), uint32_t(h - 1));
    EXPECT_EQ(got.At(0, h - 1), 0xFFFFu);
    // Through the blend graph only the last row has weight: 255 of 256 toward the texel.
    TestMemImg d2(dst);
    TestMask m(mask);
    BlitMemImgRotated(d2.get(), s.get(), 1, h / 2, 0.0f, 1.0f, 0, 0, m.get());
    got = d2.Read(dst);
    EXPECT_EQ(got.At(1, 4200), 0xFFFFu);
    // (d * 256 + (s - d) * 255) >> 8 per field lands on the texel here.
    EXPECT_EQ(got.At(1, h - 1), uint32_t(h - 1));
}

// Every palette entry is drawn as the source holds it now, whatever its entry count says and
// whatever an earlier draw of another palette image left behind.
TEST(RasterRotated, PaletteSourcesDrawTheirCurrentEntries) {
    for (int type : {0, 1}) {
        RefImage first = FlatImage(type, TestKind::Palette, 4, 1, 0);
        RefImage second = FlatImage(type, TestKind::Palette, 4, 1, 0);
        for (int i = 0; i < 4; ++i) {
            first.At(i, 0) = uint32_t(i);
            second.At(i, 0) = uint32_t(i);
            first.entries[i] = 0x1111u * uint32_t(i + 1);
            second.entries[i] = 0x2222u * uint32_t(i + 1) + (type == 1 ? 0xAB000000u : 0);
        }
        const RefImage dst = FlatImage(type, TestKind::Direct, 8, 3, 0);
        TestMemImg d(dst), a(first), b(second);
        // Neither counts its entries, as for a palette image not filled by a transfer.
        a.get()->body->paletteCount = 0;
        b.get()->body->paletteCount = 2;
        ApplyState(WholeImageState(0, 0, dst));
        BlitMemImgRotated(d.get(), a.get(), 4, 0, 0.0f, 1.0f, 0, 0, nullptr);
        BlitMemImgRotated(d.get(), b.get(), 4, 1, 0.0f, 1.0f, 0, 0, nullptr);
        const RefImage got = d.Read(dst);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(got.At(2 + i, 0), first.entries[i]) << type << " " << i;
            EXPECT_EQ(got.At(2 + i, 1), second.entries[i]) << type << " " << i;
        }
    }
}

TEST(RasterRotated, RefusalsDrawNothing) {
    const RefImage src = FlatImage(1, TestKind::Direct, 4, 4, 0x00FF00FF);
    auto unchanged = [&](const RefImage& dst, const RefImage& from, float angle, float scale,
                         const RefMask* mask) {
        TestMemImg d(dst), s(from);
        TestMask m(mask ? *mask : RefMask{1, 1, {0}});
        ApplyState(WholeImageState(0, 0, dst));
        BlitMemImgRotated(d.get(), s.get(), 4, 4, angle, scale, 0, 0, mask ? m.get() : nullptr);
        BlitMemImgRotated(d.get(), s.get(), 4, 4, angle, scale, 0, 1, mask ? m.get() : nullptr);
        return d.Read(dst).pixels == dst.pixels;
    };
    const RefImage dst = FlatImage(1, TestKind::Direct, 8, 8, 7);
    EXPECT_TRUE(unchanged(FlatImage(0, TestKind::Direct, 8, 8, 7), src, 0.0f, 1.0f, nullptr));
    EXPECT_TRUE(unchanged(FlatImage(1, TestKind::Alpha, 8, 8, 7), src, 0.0f, 1.0f, nullptr));
    EXPECT_TRUE(unchanged(FlatImage(1, TestKind::Palette, 8, 8, 7), src, 0.0f, 1.0f, nullptr));
    EXPECT_TRUE(unchanged(dst, src, std::nanf(""), 1.0f, nullptr));
    EXPECT_TRUE(unchanged(dst, src, 0.5f, INFINITY, nullptr));
    const RefMask small{4, 3, std::vector<uint8_t>(12, 255)};
    EXPECT_TRUE(unchanged(dst, src, 0.0f, 1.0f, &small));
    // Scaled far beyond the fixed-point range: refused rather than wrapped.
    EXPECT_TRUE(unchanged(dst, src, 0.3f, 5000.0f, nullptr));
    EXPECT_FALSE(unchanged(dst, src, 0.3f, 1.0f, nullptr));
}

// The documented pixel values of the rotated stage on both destination kinds.
TEST(RasterRotated, DocumentedValues) {
    auto draw = [](int type, TestKind kind, uint32_t mode, int p, uint32_t bright, uint32_t texel,
                   uint32_t d, int trans, uint32_t entry = 0) {
        RefImage src = FlatImage(type, kind, 1, 1, texel);
        src.entries[texel & 0xFF] = entry;
        src.key = 0x10000;
        const RefImage dst = FlatImage(type, TestKind::Direct, 3, 3, d);
        TestMemImg ds(dst), s(src);
        ApplyState(WholeImageState(mode, p, dst, bright));
        BlitMemImgRotated(ds.get(), s.get(), 1, 1, 0.0f, 1.0f, trans, 0, nullptr);
        return ds.Read(dst).At(1, 1);
    };
    const uint32_t off = 0xFFFFFF;
    // Mode 1 at 128: 0 toward 31 gives 15, 31 toward 0 gives 16.
    EXPECT_EQ(draw(0, TestKind::Direct, 1, 128, off, 0x001F, 0x0000, 0), 0x000Fu);
    EXPECT_EQ(draw(0, TestKind::Direct, 1, 128, off, 0x0000, 0x001F, 0), 0x0010u);
    // Mode 10 at 255 on RGB565: the complement of the texel word.
    EXPECT_EQ(draw(0, TestKind::Direct, 10, 255, off, 0x1234, 0x5678, 0), 0xEDCBu);
    // Mode 10 at 255 on 32-bit is not exact: black over black gives 254.
    EXPECT_EQ(draw(1, TestKind::Direct, 10, 255, off, 0, 0, 0) & 0xFF, 254u);
    // Mode 3 on a palette source at 0 still subtracts: green's low bit cleared, red's set.
    EXPECT_EQ(draw(0, TestKind::Palette, 3, 0, off, 0, 0x0000, 0, 0xFFFF), 0x0800u);
    EXPECT_EQ(draw(0, TestKind::Palette, 3, 0, off, 0, 0x1234, 0, 0xFFFF), 0x1A14u);
    EXPECT_EQ(draw(1, TestKind::Palette, 3, 0, off, 0, 0xAA123456, 0, 0xFFFFFF), 0x00133556u);
    EXPECT_EQ(draw(0, TestKind::Direct, 3, 0, off, 0, 0x1234, 0), 0x1234u);
    // Mode 2, alpha alone with bright on: red 31 at alpha 128 and red bright 200 adds 11.
    EXPECT_EQ(draw(0, TestKind::Alpha, 2, 255, 0xC8FFFF, 0x0080F800, 0, 0) >> 11, 11u);
    // Mode 11 green keeps fraction bits without bright: 1 onto 63 at a 255 gives 1, with
    // bright on 0, and with trans on (the a = 255 shortcut) 0.
    EXPECT_EQ(draw(0, TestKind::Alpha, 11, 255, off, 0x00FF0020, 0x07E0, 0) >> 5 & 63, 1u);
    EXPECT_EQ(draw(0, TestKind::Alpha, 11, 255, 0xFFFFFE, 0x00FF0020, 0x07E0, 0) >> 5 & 63, 0u);
    EXPECT_EQ(draw(0, TestKind::Alpha, 11, 255, off, 0x00FF0020, 0x07E0, 1) >> 5 & 63, 0u);
    // Mode 4 with alpha 0 blackens, trans on or off.
    EXPECT_EQ(draw(0, TestKind::Alpha, 4, 0, off, 0x0000FFFF, 0xFFFF, 1), 0u);
    EXPECT_EQ(draw(1, TestKind::Alpha, 4, 0, off, 0x00FFFFFF, 0x77FFFFFF, 0), 0x77000000u);
    // Mode 2 with alpha 255, white at 255: 255 with trans on, 253 with it off.
    EXPECT_EQ(draw(1, TestKind::Alpha, 2, 255, off, 0xFFFFFFFF, 0, 1) & 0xFF, 255u);
    EXPECT_EQ(draw(1, TestKind::Alpha, 2, 255, off, 0xFFFFFFFF, 0, 0) & 0xFF, 253u);
    // Mode 0 with alpha 255 and trans on copies the whole word.
    EXPECT_EQ(draw(1, TestKind::Alpha, 0, 0, off, 0xFF123456, 0x00000000, 1), 0xFF123456u);
}

}  // namespace
