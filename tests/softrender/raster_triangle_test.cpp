// The triangle rasteriser and the quad blit: coverage against an exact reference rasteriser,
// texture mapping against the exact affine map, the documented small shapes, clipping, the
// solid-colour bodies of every mode, and the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

#include "raster_harness.h"
#include "raster_reference.h"
#include "softrender/raster.h"

namespace {

std::string Where(const TriangleVertex t[3], int x, int y) {
    std::string s = "pixel (" + std::to_string(x) + "," + std::to_string(y) + ") of triangle";
    for (int i = 0; i < 3; ++i) {
        s += " (" + std::to_string(t[i].x) + "," + std::to_string(t[i].y) + ")";
    }
    return s;
}

// Draws the solid triangle on a counting canvas with the given draw area.
void Count(CountingCanvas* canvas, const TriangleVertex t[3], const int area[4]) {
    canvas->Prepare(area[0], area[1], area[2], area[3]);
    RasterizeMemImgTriangle(canvas->get(), nullptr, t, 0, nullptr, 1);
}

// The canvas holds, at each pixel, the sum of the triangles' reference coverages, within the
// area; where a reference is undecided the pixel may or may not have been counted.
void ExpectCoverage(CountingCanvas& canvas, const TriangleVertex* const* tris, int count,
                    const int area[4]) {
    for (int y = 0; y < canvas.height(); ++y) {
        for (int x = 0; x < canvas.width(); ++x) {
            int sure = 0, maybe = 0;
            const bool inside = x >= area[0] && x < area[2] && y >= area[1] && y < area[3];
            for (int i = 0; i < count && inside; ++i) {
                const int c = RefTriangleCoverage(tris[i], x, y);
                sure += c == 1;
                maybe += c == 2;
            }
            const int got = canvas.At(x, y);
            ASSERT_TRUE(got >= sure && got <= sure + maybe)
                << Where(tris[0], x, y) << ": drawn " << got << " times, expected " << sure << " (+"
                << maybe << " undecided)";
        }
    }
}

TEST(RasterTriangleCoverage, DocumentedShapes) {
    CountingCanvas canvas(16, 16);
    const int area[4] = {0, 0, 16, 16};
    // Rows 0 to 9, row r covering columns 0 to 10 - r; row 10 is not drawn.
    const TriangleVertex corner[3] = {{0, 0, 0, 0}, {10, 0, 0, 0}, {0, 10, 0, 0}};
    Count(&canvas, corner, area);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(canvas.At(x, y), y < 10 && x <= 10 - y) << x << "," << y;

    // A single row, row 5, columns 0 to 4.
    CountingCanvas thin(16, 16);
    const TriangleVertex flat[3] = {{0, 5, 0, 0}, {4, 5, 0, 0}, {0, 6, 0, 0}};
    Count(&thin, flat, area);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) EXPECT_EQ(thin.At(x, y), y == 5 && x <= 4) << x << "," << y;

    // The middle vertex on the right: its second edge starts one fixed-point step right of
    // it with a step one unit shorter, so where that edge lands exactly on a column boundary
    // (row 6, x = 9.0) it stays left of it.
    CountingCanvas bent(16, 16);
    const TriangleVertex right[3] = {{0, 0, 0, 0}, {8, 4, 0, 0}, {9, 8, 0, 0}};
    Count(&bent, right, area);
    EXPECT_EQ(bent.At(8, 6), 1);
    EXPECT_EQ(bent.At(9, 6), 0);
    EXPECT_EQ(bent.At(9, 7), 1);
}

TEST(RasterTriangleCoverage, DegenerateTrianglesDrawNothing) {
    const int area[4] = {0, 0, 16, 16};
    const TriangleVertex collinear[3] = {{1, 1, 0, 0}, {5, 5, 0, 0}, {9, 9, 0, 0}};
    const TriangleVertex twoEqual[3] = {{3, 4, 0, 0}, {3, 4, 0, 0}, {9, 12, 0, 0}};
    const TriangleVertex oneRow[3] = {{0, 7, 0, 0}, {9, 7, 0, 0}, {4, 7, 0, 0}};
    for (const TriangleVertex* t : {collinear, twoEqual, oneRow}) {
        CountingCanvas canvas(16, 16);
        Count(&canvas, t, area);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) ASSERT_EQ(canvas.At(x, y), 0) << Where(t, x, y);
    }
}

// Every order of the three vertices, either winding, draws the same pixels.
TEST(RasterTriangleCoverage, VertexOrderAndWindingDoNotMatter) {
    std::mt19937 rng(7);
    const int area[4] = {0, 0, 24, 24};
    for (int trial = 0; trial < 60; ++trial) {
        TriangleVertex v[3];
        for (TriangleVertex& p : v) p = {Between(rng, -3, 26), Between(rng, -3, 26), 0, 0};
        int order[3] = {0, 1, 2};
        CountingCanvas first(24, 24);
        Count(&first, v, area);
        while (std::next_permutation(order, order + 3)) {
            const TriangleVertex w[3] = {v[order[0]], v[order[1]], v[order[2]]};
            CountingCanvas other(24, 24);
            Count(&other, w, area);
            for (int y = 0; y < 24; ++y)
                for (int x = 0; x < 24; ++x)
                    ASSERT_EQ(other.At(x, y), first.At(x, y)) << Where(w, x, y);
        }
    }
}

// Random triangles inside, straddling and outside the draw area, above and left of the image
// too: each pixel is drawn once where the reference covers it and never elsewhere, so no row
// is walked twice.
TEST(RasterTriangleCoverage, MatchesTheReferenceRasteriser) {
    std::mt19937 rng(11);
    for (int trial = 0; trial < 400; ++trial) {
        const int w = Between(rng, 8, 40), h = Between(rng, 8, 40);
        const int area[4] = {Between(rng, 0, 4), Between(rng, 0, 4), w - Between(rng, 0, 4),
                             h - Between(rng, 0, 4)};
        TriangleVertex t[3];
        for (TriangleVertex& p : t)
            p = {Between(rng, -12, w + 12), Between(rng, -12, h + 12), 0, 0};
        CountingCanvas canvas(w, h);
        Count(&canvas, t, area);
        const TriangleVertex* tris[1] = {t};
        ExpectCoverage(canvas, tris, 1, area);
        if (HasFatalFailure()) return;
    }
}

// A top vertex above row 0 with the middle vertex on the left: converted toward zero, the
// middle vertex's row would be walked twice and (2, 0), (1, 1), (7, 1) lost.
TEST(RasterTriangleCoverage, ShapesAboveTheImageKeepTheirRows) {
    const TriangleVertex t[3] = {{5, -3, 0, 0}, {0, 2, 0, 0}, {9, 6, 0, 0}};
    const int area[4] = {0, 0, 12, 12};
    CountingCanvas canvas(12, 12);
    Count(&canvas, t, area);
    const TriangleVertex* tris[1] = {t};
    ExpectCoverage(canvas, tris, 1, area);
    EXPECT_EQ(canvas.At(2, 0), 1);
    EXPECT_EQ(canvas.At(1, 1), 1);
    EXPECT_EQ(canvas.At(7, 1), 1);
    for (int x = 0; x < 12; ++x) EXPECT_LE(canvas.At(x, 2), 1) << x;
}

// Two triangles sharing an edge both draw the pixels on it (both span ends are inclusive), and
// no pixel elsewhere is drawn twice.
TEST(RasterTriangleCoverage, SharedEdgesAreDrawnByBoth) {
    std::mt19937 rng(13);
    const int area[4] = {0, 0, 32, 32};
    for (int trial = 0; trial < 200; ++trial) {
        TriangleVertex q[4];
        for (TriangleVertex& p : q) p = {Between(rng, -4, 35), Between(rng, -4, 35), 0, 0};
        const TriangleVertex a[3] = {q[0], q[1], q[2]}, b[3] = {q[1], q[2], q[3]};
        CountingCanvas canvas(32, 32);
        canvas.Prepare(area[0], area[1], area[2], area[3]);
        RasterizeMemImgTriangle(canvas.get(), nullptr, a, 0, nullptr, 1);
        RasterizeMemImgTriangle(canvas.get(), nullptr, b, 0, nullptr, 1);
        const TriangleVertex* tris[2] = {a, b};
        ExpectCoverage(canvas, tris, 2, area);
        if (HasFatalFailure()) return;
    }
}

TEST(RasterTriangleCoverage, PositionsOutsideTheFixedPointRangeDrawNothing) {
    const int area[4] = {0, 0, 16, 16};
    const TriangleVertex far[3] = {{0, 0, 0, 0}, {8192, 0, 0, 0}, {0, 10, 0, 0}};
    const TriangleVertex low[3] = {{-8193, 0, 0, 0}, {10, 0, 0, 0}, {0, 10, 0, 0}};
    const TriangleVertex edge[3] = {{-8192, -8192, 0, 0}, {8191, 0, 0, 0}, {0, 8191, 0, 0}};
    for (const TriangleVertex* t : {far, low}) {
        CountingCanvas canvas(16, 16);
        Count(&canvas, t, area);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) ASSERT_EQ(canvas.At(x, y), 0) << Where(t, x, y);
    }
    // The extremes of the range still draw.
    CountingCanvas canvas(16, 16);
    Count(&canvas, edge, area);
    const TriangleVertex* tris[1] = {edge};
    ExpectCoverage(canvas, tris, 1, area);
}

// Texels against the exact affine map of the vertices: exact away from texel boundaries, a
// neighbour allowed where the truncated gradients may round the other way.
TEST(RasterTriangleTexture, MatchesTheExactAffineMap) {
    std::mt19937 rng(17);
    const int sw = 13, sh = 11;
    const RefImage src = NumberedImage(sw, sh);
    constexpr uint32_t kUntouched = 0xFFFFFFFF;
    for (int trial = 0; trial < 300; ++trial) {
        const int w = 28, h = 28;
        const RefImage dst = FlatImage(1, TestKind::Direct, w, h, kUntouched);
        TriangleVertex t[3];
        for (TriangleVertex& p : t) {
            p = {Between(rng, -6, w + 6), Between(rng, -6, h + 6), Between(rng, -3, sw + 3),
                 Between(rng, -3, sh + 3)};
        }
        RefState st = WholeImageState(0, 0, dst);
        st.area[0] = Between(rng, 0, 5);
        st.area[1] = Between(rng, 0, 5);
        TestMemImg d(dst), s(src);
        ApplyState(st);
        RasterizeMemImgTriangle(d.get(), s.get(), t, 0, nullptr, 0);
        const RefImage got = d.Read(dst);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const uint32_t px = got.At(x, y);
                const bool inside = x >= st.area[0] && y >= st.area[1];
                const int cover = inside ? RefTriangleCoverage(t, x, y) : 0;
                if (cover == 0) {
                    ASSERT_EQ(px, kUntouched) << Where(t, x, y);
                    continue;
                }
                const RefTexel e = RefTriangleTexel(t, x, y);
                bool ok = false;
                for (double du : {-e.margin, 0.0, e.margin}) {
                    for (double dv : {-e.margin, 0.0, e.margin}) {
                        const int tu = int(std::floor(e.u + du)), tv = int(std::floor(e.v + dv));
                        const bool in = tu >= 0 && tv >= 0 && tu < sw && tv < sh;
                        ok |= px == (in ? NumberOf(tu, tv) : kUntouched);
                    }
                }
                if (cover == 2) ok |= px == kUntouched;
                ASSERT_TRUE(ok) << Where(t, x, y) << ": drew 0x" << std::hex << px << std::dec
                                << ", exact texel " << e.u << "," << e.v;
            }
        }
    }
}

// A span clipped on the left starts at the area's left column with the texel of that column;
// the column where u reaches the source width is not drawn.
TEST(RasterTriangleTexture, ClippedSpansSampleAtTheirFirstVisibleColumn) {
    const RefImage src = NumberedImage(8, 8);
    const RefImage dst = FlatImage(1, TestKind::Direct, 12, 12, 0);
    RefState st = WholeImageState(0, 0, dst);
    st.area[0] = 3;
    TestMemImg d(dst), s(src);
    ApplyState(st);
    const TriangleVertex t[3] = {{0, 0, 0, 0}, {8, 0, 8, 0}, {0, 8, 0, 8}};
    RasterizeMemImgTriangle(d.get(), s.get(), t, 0, nullptr, 0);
    const RefImage got = d.Read(dst);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 12; ++x) {
            const bool drawn = x >= 3 && x <= 8 - y && x < 8;
            EXPECT_EQ(got.At(x, y), drawn ? NumberOf(x, y) : 0u) << x << "," << y;
        }
    }
}

// The quad of the source's own size: (x + i, y + j) shows texel (i, j); an additive draw of
// blue 1 counts two on the pixels of the diagonal from corner 2 to corner 3, one elsewhere.
TEST(RasterQuad, SourceSizedQuadMapsOneToOneAndDrawsTheDiagonalTwice) {
    const RefImage numbered = NumberedImage(4, 4);
    const RefImage dst = FlatImage(1, TestKind::Direct, 10, 10, 0);
    const int32_t corners[4][2] = {{3, 2}, {7, 2}, {3, 6}, {7, 6}};
    {
        TestMemImg d(dst), s(numbered);
        ApplyState(WholeImageState(0, 0, dst));
        BlitMemImgToQuad(d.get(), s.get(), corners, 0, nullptr);
        const RefImage got = d.Read(dst);
        for (int y = 0; y < 10; ++y) {
            for (int x = 0; x < 10; ++x) {
                const bool in = x >= 3 && x < 7 && y >= 2 && y < 6;
                EXPECT_EQ(got.At(x, y), in ? NumberOf(x - 3, y - 2) : 0u) << x << "," << y;
            }
        }
    }
    const RefImage ones = FlatImage(1, TestKind::Direct, 4, 4, 1);
    TestMemImg d(dst), s(ones);
    ApplyState(WholeImageState(2, 255, dst));
    BlitMemImgToQuad(d.get(), s.get(), corners, 0, nullptr);
    const RefImage got = d.Read(dst);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            const bool in = x >= 3 && x < 7 && y >= 2 && y < 6;
            const bool diagonal = (x - 3) + (y - 2) == 4;
            EXPECT_EQ(got.At(x, y), in ? (diagonal ? 2u : 1u) : 0u) << x << "," << y;
        }
    }
}

TEST(RasterQuad, CornersSwappedLeftRightMirrorTheSource) {
    const RefImage src = NumberedImage(5, 3);
    const RefImage dst = FlatImage(1, TestKind::Direct, 8, 8, 0);
    TestMemImg d(dst), s(src);
    ApplyState(WholeImageState(0, 0, dst));
    // Corner 1 right of corner 2: texel u lands where the vertex column minus u lies.
    const int32_t corners[4][2] = {{6, 2}, {1, 2}, {6, 5}, {1, 5}};
    BlitMemImgToQuad(d.get(), s.get(), corners, 0, nullptr);
    const RefImage got = d.Read(dst);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const bool in = x >= 2 && x <= 6 && y >= 2 && y < 5;
            EXPECT_EQ(got.At(x, y), in ? NumberOf(6 - x, y - 2) : 0u) << x << "," << y;
        }
    }
}

TEST(RasterQuad, ShapesBeyondTheMarginsAreRejectedAndExtremeCornersAreSafe) {
    const RefImage src = FlatImage(1, TestKind::Direct, 4, 4, 0x00ABCDEF);
    const RefImage dst = FlatImage(1, TestKind::Direct, 8, 8, 0);
    TestMemImg d(dst), s(src);
    ApplyState(WholeImageState(0, 0, dst));
    const int32_t away[4][2] = {{20, 20}, {24, 20}, {20, 24}, {24, 24}};
    const int32_t extreme[4][2] = {{INT32_MIN, INT32_MIN}, {INT32_MAX, 0}, {0, INT32_MAX}, {5, 5}};
    BlitMemImgToQuad(d.get(), s.get(), away, 0, nullptr);
    BlitMemImgToQuad(d.get(), s.get(), extreme, 0, nullptr);
    EXPECT_EQ(d.Read(dst).pixels, dst.pixels);
    // Within the margins the triangles are drawn and clipped by the rasteriser.
    const int32_t near[4][2] = {{-3, -3}, {1, -3}, {-3, 1}, {1, 1}};
    BlitMemImgToQuad(d.get(), s.get(), near, 0, nullptr);
    const RefImage got = d.Read(dst);
    EXPECT_EQ(got.At(0, 0), 0x00ABCDEFu);
    EXPECT_EQ(got.At(1, 0), 0u);
}

// The solid bodies of every mode on both destination kinds: the colour brightened through the
// product table, then blended as the model says, byte 3 as each mode leaves it.
TEST(RasterSolidTriangle, EveryModeMatchesTheModel) {
    std::mt19937 rng(19);
    const uint32_t modes[] = {0, 1, 2, 3, 4, 10, 11, 5, 12, 0xFFFFFFFF};
    const int params[] = {0, 1, 128, 254, 255};
    const uint32_t brights[] = {0xFFFFFF, 0x000000, 0xFFFFFE, 0x3C9A51};
    const TriangleVertex t[3] = {{1, 0, 0, 0}, {11, 4, 0, 0}, {3, 9, 0, 0}};
    const int area[4] = {0, 0, 12, 10};
    CountingCanvas canvas(12, 10);
    Count(&canvas, t, area);
    for (int type : {0, 1}) {
        for (uint32_t mode : modes) {
            for (int p : params) {
                for (uint32_t bright : brights) {
                    const RefImage dst = RandomDestination(rng, type, 12, 10);
                    // RGB565 colours may carry upper bits, which must not matter.
                    uint32_t colour = uint32_t(rng());
                    if (type == 0 && rng() % 2) colour &= 0xFFFF;
                    RefImage want = dst;
                    const int m = RefSolidMode(mode, p);
                    const uint32_t c =
                        RefBrightByTable(type == 0 ? colour & 0xFFFF : colour, type, bright);
                    for (int y = 0; y < 10 && m >= 0; ++y)
                        for (int x = 0; x < 12; ++x)
                            for (int k = canvas.At(x, y); k > 0; --k)
                                want.At(x, y) = RefSolidPixel(type, m, p, c, want.At(x, y));
                    TestMemImg d(dst);
                    ApplyState(WholeImageState(mode, p, dst, bright));
                    RasterizeMemImgTriangle(d.get(), nullptr, t, 0, nullptr, int32_t(colour));
                    ASSERT_EQ(d.Read(dst).pixels, want.pixels)
                        << "type " << type << " mode " << int32_t(mode) << " p " << p << " bright "
                        << std::hex << bright << " colour " << colour;
                }
            }
        }
    }
}

TEST(RasterSolidTriangle, DocumentedValues) {
    const TriangleVertex t[3] = {{0, 0, 0, 0}, {4, 0, 0, 0}, {0, 4, 0, 0}};
    auto draw = [&](int type, uint32_t mode, int p, uint32_t bright, uint32_t d, uint32_t colour) {
        const RefImage dst = FlatImage(type, TestKind::Direct, 6, 6, d);
        TestMemImg img(dst);
        ApplyState(WholeImageState(mode, p, dst, bright));
        RasterizeMemImgTriangle(img.get(), nullptr, t, 0, nullptr, int32_t(colour));
        return img.Read(dst).At(0, 0);
    };
    // Mode 0 stores the colour's fourth byte; a bright of 0 fills black, keeping that byte.
    EXPECT_EQ(draw(1, 0, 0, 0xFFFFFF, 0x11223344, 0xAA405060), 0xAA405060u);
    EXPECT_EQ(draw(1, 0, 0, 0x000000, 0x11223344, 0xAA405060), 0xAA000000u);
    // Bright through the product table: blue byte 254 turns 255 into 254, 0xFFFFFF is exact.
    EXPECT_EQ(draw(1, 0, 0, 0xFFFFFE, 0, 0x00FFFFFF), 0x00FFFFFEu);
    // Mode 2: blue 200 onto 100 saturates, its carry sets green's lowest bit.
    EXPECT_EQ(draw(1, 2, 255, 0xFFFFFF, 0x77000064, 0x000000C8), 0x000001FFu);
    // Modes 10 and 11 at 0 leave the pixel; mode 1 at 0 draws nothing.
    EXPECT_EQ(draw(0, 10, 0, 0xFFFFFF, 0x1234, 0xFFFF), 0x1234u);
    EXPECT_EQ(draw(0, 11, 0, 0xFFFFFF, 0x1234, 0x0000), 0x1234u);
    EXPECT_EQ(draw(1, 1, 0, 0xFFFFFF, 0x11223344, 0xAA405060), 0x11223344u);
    // Upper bits of an RGB565 colour are dropped, even where bright looks the fields up.
    EXPECT_EQ(draw(0, 0, 0, 0x808080, 0, 0xFFFFF7DF), 0x7BEFu);
}

TEST(RasterTriangleRefusals, DrawNothing) {
    const TriangleVertex t[3] = {{0, 0, 0, 0}, {6, 0, 6, 0}, {0, 6, 0, 6}};
    const RefImage src565 = FlatImage(0, TestKind::Direct, 6, 6, 0xFFFF);
    const RefImage src32 = FlatImage(1, TestKind::Direct, 6, 6, 0xFFFFFFFF);
    const RefImage dst565 = FlatImage(0, TestKind::Direct, 8, 8, 0x1234);
    const RefImage alphaDst = FlatImage(1, TestKind::Alpha, 8, 8, 0x12345678);
    const RefImage paletteDst = FlatImage(1, TestKind::Palette, 8, 8, 7);
    auto unchanged = [&](const RefImage& dst, const RefImage* src, const MEMIMG* mask) {
        TestMemImg d(dst);
        ApplyState(WholeImageState(0, 0, dst));
        if (src != nullptr) {
            TestMemImg s(*src);
            RasterizeMemImgTriangle(d.get(), s.get(), t, 0, mask, 0);
        } else {
            RasterizeMemImgTriangle(d.get(), nullptr, t, 0, nullptr, 0x7F);
        }
        return d.Read(dst).pixels == dst.pixels;
    };
    EXPECT_TRUE(unchanged(dst565, &src32, nullptr));     // colour types differ
    EXPECT_TRUE(unchanged(alphaDst, &src32, nullptr));   // alpha destination
    EXPECT_TRUE(unchanged(alphaDst, nullptr, nullptr));  // solid onto alpha
    EXPECT_TRUE(unchanged(paletteDst, nullptr, nullptr));
    TestMask smallMask(RefMask{5, 6, std::vector<uint8_t>(30, 255)});
    EXPECT_TRUE(unchanged(dst565, &src565, smallMask.get()));  // blend graph smaller than source
    TestMask bigMask(RefMask{6, 6, std::vector<uint8_t>(36, 255)});
    EXPECT_FALSE(unchanged(dst565, &src565, bigMask.get()));
    // Texel coordinates out of the fixed-point range.
    const TriangleVertex far[3] = {{0, 0, 0, 0}, {6, 0, 9000, 0}, {0, 6, 0, 6}};
    TestMemImg d(dst565), s(src565);
    ApplyState(WholeImageState(0, 0, dst565));
    RasterizeMemImgTriangle(d.get(), s.get(), far, 0, nullptr, 0);
    EXPECT_EQ(d.Read(dst565).pixels, dst565.pixels);
}

}  // namespace
