// Lines: the documented examples, unclipped lines against the integer walk, clipping at
// every edge and corner of the draw area, batches, blending, and the destinations refused.
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <set>
#include <utility>

#include "raster_harness.h"
#include "raster_reference.h"
#include "softrender/raster.h"

namespace {

using Pixels = std::set<std::pair<int, int>>;

// The pixels a line draws on a counting canvas of w x h with the given draw area; every pixel
// must be drawn at most once.
Pixels Plot(int x1, int y1, int x2, int y2, int w = 100, int h = 100, const int area[4] = nullptr) {
    CountingCanvas canvas(w, h);
    if (area != nullptr)
        canvas.Prepare(area[0], area[1], area[2], area[3]);
    else
        canvas.Prepare(0, 0, w, h);
    PlotMemImgLine(canvas.get(), x1, y1, x2, y2, 1);
    Pixels out;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int n = canvas.At(x, y);
            EXPECT_LE(n, 1) << x << "," << y;
            if (n > 0) out.insert({x, y});
        }
    }
    return out;
}

// The walk of an unclipped line: pixel k at major offset k and minor offset
// floor(k * minor / major), the end excluded, a 45-degree line stepping along x.
Pixels Walk(int x1, int y1, int x2, int y2) {
    const int dx = x2 - x1, dy = y2 - y1;
    const int ax = std::abs(dx), ay = std::abs(dy), sx = dx >= 0 ? 1 : -1, sy = dy >= 0 ? 1 : -1;
    Pixels out;
    if (ax >= ay) {
        for (int k = 0; k < ax; ++k) out.insert({x1 + sx * k, y1 + sy * (k * ay / ax)});
    } else {
        for (int k = 0; k < ay; ++k) out.insert({x1 + sx * (k * ax / ay), y1 + sy * k});
    }
    return out;
}

Pixels Row(int y, int from, int to) {
    Pixels out;
    for (int x = from; x <= to; ++x) out.insert({x, y});
    return out;
}

TEST(RasterLines, DocumentedExamples) {
    Pixels shallow = Row(0, 0, 3);
    for (const auto& p : Row(1, 4, 6)) shallow.insert(p);
    for (const auto& p : Row(2, 7, 9)) shallow.insert(p);
    EXPECT_EQ(Plot(0, 0, 10, 3), shallow);
    Pixels steep;
    for (const auto& [x, y] : shallow) steep.insert({y, x});
    EXPECT_EQ(Plot(0, 0, 3, 10), steep);

    EXPECT_TRUE(Plot(5, 5, 5, 5).empty());
    EXPECT_EQ(Plot(5, 5, 6, 5), Pixels({{5, 5}}));
    EXPECT_EQ(Plot(5, 5, 5, 6), Pixels({{5, 5}}));
    EXPECT_EQ(Plot(95, 0, 120, 0), Row(0, 95, 99));
    EXPECT_EQ(Plot(120, 5, 95, 5), Row(5, 96, 99));
    Pixels diagonal;
    for (int i = 0; i < 20; ++i) diagonal.insert({i, i});
    EXPECT_EQ(Plot(-10, -10, 20, 20), diagonal);
    EXPECT_TRUE(Plot(-30, 10, -5, 60).empty());
    // Past the corner: its end points would clip onto the border, but the line misses the
    // area, so nothing is drawn.
    EXPECT_TRUE(Plot(90, -20, 120, 10).empty());
}

TEST(RasterLines, UnclippedLinesFollowTheIntegerWalk) {
    std::mt19937 rng(37);
    for (int trial = 0; trial < 500; ++trial) {
        const int x1 = Between(rng, 0, 99), y1 = Between(rng, 0, 99);
        const int x2 = Between(rng, 0, 99), y2 = Between(rng, 0, 99);
        ASSERT_EQ(Plot(x1, y1, x2, y2), Walk(x1, y1, x2, y2))
            << x1 << "," << y1 << " to " << x2 << "," << y2;
    }
}

// Horizontal and vertical lines into and out of the area through each edge: exactly the
// unclipped walk's pixels inside the area.
TEST(RasterLines, AxisLinesClipExactlyAtEveryEdge) {
    const int area[4] = {10, 20, 60, 70};
    auto inside = [&](const Pixels& all) {
        Pixels out;
        for (const auto& [x, y] : all)
            if (x >= area[0] && x < area[2] && y >= area[1] && y < area[3]) out.insert({x, y});
        return out;
    };
    const int lines[][4] = {
        {0, 30, 30, 30}, {30, 30, 0, 30}, {40, 30, 90, 30}, {90, 30, 40, 30},  // left, right
        {30, 0, 30, 40}, {30, 40, 30, 0}, {30, 50, 30, 95}, {30, 95, 30, 50},  // top, bottom
        {0, 25, 90, 25}, {90, 25, 0, 25}, {35, 0, 35, 95},  {35, 95, 35, 0},   // through
        {10, 0, 10, 95}, {59, 95, 59, 0}, {0, 20, 95, 20},  {95, 69, 0, 69},   // on edges
        {0, 19, 95, 19}, {60, 0, 60, 95}, {9, 0, 9, 95},    {0, 70, 95, 70}};  // beside
    for (const auto& l : lines) {
        EXPECT_EQ(Plot(l[0], l[1], l[2], l[3], 100, 100, area),
                  inside(Walk(l[0], l[1], l[2], l[3])))
            << l[0] << "," << l[1] << " to " << l[2] << "," << l[3];
    }
}

// Lines of any slope crossing any edge or corner, and lines with extreme end points: every
// pixel drawn lies in the area, within one pixel of the exact line along its minor axis, and
// no pixel is drawn twice.
TEST(RasterLines, ClippedLinesStayInTheAreaAndOnTheLine) {
    std::mt19937 rng(41);
    const int area[4] = {20, 15, 70, 60};
    for (int trial = 0; trial < 600; ++trial) {
        int v[4];
        for (int k = 0; k < 4; ++k) v[k] = Between(rng, -40, 140);
        if (trial % 50 == 0) v[rng() % 4] = trial % 100 == 0 ? INT_MIN : INT_MAX;
        const Pixels drawn = Plot(v[0], v[1], v[2], v[3], 100, 100, area);
        const double dx = double(v[2]) - v[0], dy = double(v[3]) - v[1];
        for (const auto& [x, y] : drawn) {
            ASSERT_TRUE(x >= area[0] && x < area[2] && y >= area[1] && y < area[3])
                << x << "," << y;
            // Distance along the minor axis from the line through the end points.
            const double off = std::abs(dx) >= std::abs(dy)
                                   ? std::abs(v[1] + dy * (x - v[0]) / dx - y)
                                   : std::abs(v[0] + dx * (y - v[1]) / dy - x);
            ASSERT_LT(off, 2.0) << "pixel " << x << "," << y << " of " << v[0] << "," << v[1]
                                << " to " << v[2] << "," << v[3];
        }
    }
}

// A one-pixel draw area: only its pixel is ever drawn.
TEST(RasterLines, NeverWriteOutsideATinyArea) {
    std::mt19937 rng(43);
    const int area[4] = {50, 50, 51, 51};
    for (int trial = 0; trial < 300; ++trial) {
        const Pixels drawn = Plot(Between(rng, 0, 99), Between(rng, 0, 99), Between(rng, 0, 99),
                                  Between(rng, 0, 99), 100, 100, area);
        for (const auto& p : drawn) ASSERT_EQ(p, std::make_pair(50, 50));
    }
    const int empty[4] = {50, 50, 50, 60};
    EXPECT_TRUE(Plot(0, 55, 99, 55, 100, 100, empty).empty());
}

TEST(RasterLines, BatchesDrawEachRecordInOrder) {
    CountingCanvas canvas(20, 20);
    canvas.Prepare(0, 0, 20, 20);
    // A box outline: four edges whose corners meet, the sixth word ignored.
    const MemImgLineRecord box[4] = {
        {2, 2, 10, 2, 1, 77}, {10, 2, 10, 8, 1, -5}, {10, 8, 2, 8, 1, 0}, {2, 8, 2, 2, 1, 255}};
    PlotMemImgLines(canvas.get(), box, 0);
    PlotMemImgLines(canvas.get(), box, -3);
    EXPECT_EQ(canvas.At(2, 2), 0);
    PlotMemImgLines(canvas.get(), box, 4);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) {
            const bool edge = (x >= 2 && x <= 10 && (y == 2 || y == 8)) ||
                              (y >= 2 && y <= 8 && (x == 2 || x == 10));
            EXPECT_EQ(canvas.At(x, y), edge ? 1 : 0) << x << "," << y;
        }
    }
    // Later lines blend over earlier ones: translucent black halves a white pixel twice.
    const RefImage white = FlatImage(1, TestKind::Direct, 8, 2, 0x00FFFFFF);
    TestMemImg img(white);
    ApplyState(WholeImageState(1, 128, white));
    const MemImgLineRecord twice[2] = {{0, 0, 4, 0, 0, 0}, {2, 0, 6, 0, 0, 0}};
    PlotMemImgLines(img.get(), twice, 2);
    const RefImage got = img.Read(white);
    EXPECT_EQ(got.At(1, 0) & 0xFF, 127u);
    EXPECT_EQ(got.At(3, 0) & 0xFF, 63u);
    EXPECT_EQ(got.At(5, 0) & 0xFF, 127u);
    EXPECT_EQ(got.At(6, 0) & 0xFF, 255u);
}

// Each line pixel is blended as the filled rectangle blends it, bright by a shift included.
TEST(RasterLines, PixelsBlendAsTheFilledRectangle) {
    std::mt19937 rng(47);
    const uint32_t modes[] = {0, 1, 2, 3, 4, 10, 11, 7, 13};
    const uint32_t brights[] = {0xFFFFFF, 0x204060, 0xFFFFFE};
    for (int type : {0, 1}) {
        for (uint32_t mode : modes) {
            for (int p : {0, 100, 255}) {
                for (uint32_t bright : brights) {
                    const RefImage dst = RandomDestination(rng, type, 12, 3);
                    const uint32_t colour = uint32_t(rng());
                    RefImage want = dst;
                    const int m = RefSolidMode(mode, p);
                    const uint32_t c =
                        RefBrightByShift(type == 0 ? colour & 0xFFFF : colour, type, bright);
                    for (int x = 1; x < 10 && m >= 0; ++x)
                        want.At(x, 1) = RefSolidPixel(type, m, p, c, want.At(x, 1));
                    TestMemImg img(dst);
                    ApplyState(WholeImageState(mode, p, dst, bright));
                    PlotMemImgLine(img.get(), 1, 1, 10, 1, colour);
                    ASSERT_EQ(img.Read(dst).pixels, want.pixels)
                        << "type " << type << " mode " << mode << " p " << p << " bright "
                        << bright;
                }
            }
        }
    }
}

TEST(RasterLines, PaletteAlphaAndMaskImagesAreNeverDrawnOn) {
    const RefImage palette = FlatImage(0, TestKind::Palette, 6, 6, 3);
    const RefImage alpha = FlatImage(0, TestKind::Alpha, 6, 6, 0x00801234);
    for (const RefImage* dst : {&palette, &alpha}) {
        TestMemImg img(*dst);
        ApplyState(WholeImageState(0, 0, *dst));
        PlotMemImgLine(img.get(), 0, 0, 6, 6, 0xFFFF);
        PlotMemImgLine(img.get(), 5, 0, 5, 6, 0xFFFF);
        EXPECT_EQ(img.Read(*dst).pixels, dst->pixels);
    }
}

}  // namespace
