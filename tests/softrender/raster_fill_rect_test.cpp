// The filled rectangle: normalisation and exclusive edges, clipping at every edge of the draw
// area and of the image, every mode on both destination kinds against the model, and the
// documented values.
#include <gtest/gtest.h>

#include <random>

#include "raster_harness.h"
#include "raster_reference.h"
#include "softrender/raster.h"

namespace {

// Fills on a copy of dst and returns the result.
RefImage Fill(const RefImage& dst, const RefState& st, const int32_t* rect, uint32_t colour) {
    TestMemImg d(dst);
    ApplyState(st);
    FillMemImgRect(d.get(), rect, colour);
    return d.Read(dst);
}

// Which pixels a fill of rect (or the whole image) covers under the draw area.
bool Covered(const RefImage& dst, const RefState& st, const int32_t* rect, int x, int y) {
    int64_t l = 0, t = 0, r = dst.width, b = dst.height;
    if (rect != nullptr) {
        l = std::min(rect[0], rect[2]);
        r = std::max(rect[0], rect[2]);
        t = std::min(rect[1], rect[3]);
        b = std::max(rect[1], rect[3]);
    }
    return x >= l && x < r && y >= t && y < b && x >= st.area[0] && x < st.area[2] &&
           y >= st.area[1] && y < st.area[3];
}

TEST(RasterFillRect, CornersInEitherOrderAndExclusiveEdges) {
    const RefImage dst = FlatImage(1, TestKind::Direct, 24, 24, 0);
    const RefState st = WholeImageState(0, 0, dst);
    const int32_t ordered[4] = {3, 4, 9, 12}, reversed[4] = {9, 12, 3, 4}, mixed[4] = {9, 4, 3, 12};
    const RefImage want = Fill(dst, st, ordered, 0xAB123456);
    EXPECT_EQ(Fill(dst, st, reversed, 0xAB123456).pixels, want.pixels);
    EXPECT_EQ(Fill(dst, st, mixed, 0xAB123456).pixels, want.pixels);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 24; ++x)
            EXPECT_EQ(want.At(x, y), Covered(dst, st, ordered, x, y) ? 0xAB123456u : 0u)
                << x << "," << y;

    const int32_t noWidth[4] = {10, 10, 10, 20}, noHeight[4] = {10, 10, 20, 10};
    EXPECT_EQ(Fill(dst, st, noWidth, 1).pixels, dst.pixels);
    EXPECT_EQ(Fill(dst, st, noHeight, 1).pixels, dst.pixels);
    const int32_t one[4] = {10, 10, 11, 11};
    const RefImage single = Fill(dst, st, one, 1);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 24; ++x) EXPECT_EQ(single.At(x, y), x == 10 && y == 10 ? 1u : 0u);
}

// Rectangles crossing each edge of the draw area, lying wholly outside it, a null rectangle,
// a draw area reaching beyond the image, and extreme corners: the fill stays inside both.
TEST(RasterFillRect, ClipsToTheDrawAreaAndTheImage) {
    std::mt19937 rng(29);
    for (int trial = 0; trial < 400; ++trial) {
        const int type = trial % 2;
        const RefImage dst = RandomDestination(rng, type, Between(rng, 1, 20), Between(rng, 1, 20));
        RefState st = WholeImageState(0, 0, dst);
        st.area[0] = Between(rng, -3, dst.width);
        st.area[1] = Between(rng, -3, dst.height);
        st.area[2] = Between(rng, st.area[0], dst.width + 3);
        st.area[3] = Between(rng, st.area[1], dst.height + 3);
        int32_t rect[4];
        for (int k = 0; k < 4; ++k)
            rect[k] = Between(rng, -6, (k % 2 ? dst.height : dst.width) + 6);
        if (trial % 17 == 0) rect[0] = INT32_MIN, rect[2] = INT32_MAX;
        const int32_t* r = trial % 11 == 0 ? nullptr : rect;
        const uint32_t colour = type == 1 ? 0xA5C3E1F7 : 0xE1F7;
        const RefImage got = Fill(dst, st, r, colour);
        for (int y = 0; y < dst.height; ++y) {
            for (int x = 0; x < dst.width; ++x) {
                const bool in = Covered(dst, st, r, x, y);
                ASSERT_EQ(got.At(x, y), in ? colour : dst.At(x, y))
                    << trial << ": " << x << "," << y;
            }
        }
    }
}

TEST(RasterFillRect, EveryModeMatchesTheModel) {
    std::mt19937 rng(31);
    const uint32_t modes[] = {0, 1, 2, 3, 4, 10, 11, 5, 9, 12, 0xFFFFFFFF};
    const int params[] = {0, 1, 128, 254, 255};
    const uint32_t brights[] = {0xFFFFFF, 0xFF000000, 0x000000, 0xFFFFFE, 0x3C9A51};
    for (int type : {0, 1}) {
        for (uint32_t mode : modes) {
            for (int p : params) {
                for (uint32_t bright : brights) {
                    const RefImage dst = RandomDestination(rng, type, 9, 7);
                    uint32_t colour = uint32_t(rng());
                    if (type == 0 && rng() % 2) colour &= 0xFFFF;
                    const RefState st = WholeImageState(mode, p, dst, bright);
                    const int32_t rect[4] = {1, 1, 8, 6};
                    RefImage want = dst;
                    const int m = RefSolidMode(mode, p);
                    const uint32_t c =
                        RefBrightByShift(type == 0 ? colour & 0xFFFF : colour, type, bright);
                    for (int y = 1; y < 6 && m >= 0; ++y)
                        for (int x = 1; x < 8; ++x)
                            want.At(x, y) = RefSolidPixel(type, m, p, c, want.At(x, y));
                    ASSERT_EQ(Fill(dst, st, rect, colour).pixels, want.pixels)
                        << "type " << type << " mode " << int32_t(mode) << " p " << p << " bright "
                        << std::hex << bright << " colour " << colour;
                }
            }
        }
    }
}

// The packed-byte runs of modes 1 and 2 against the plain ones on rows of every length from
// one pixel up, at every parameter, random colours and destinations; and the model's pixels.
TEST(RasterFillRect, PackedRunsGiveThePlainRunsPixels) {
    std::mt19937 rng(37);
    for (int type : {0, 1}) {
        for (uint32_t mode : {1u, 2u}) {
            for (int p = 1; p < 256; ++p) {
                const int width = 1 + int(rng() % 40);
                const RefImage dst = RandomDestination(rng, type, width, 3);
                uint32_t colour = type == 0 ? rng() & 0xFFFF : uint32_t(rng());
                // A channel of 0 or 1 adds nothing once its lowest bit is set apart.
                if (type == 1 && rng() % 3 == 0) colour &= ~(0xFEu << (8 * (rng() % 3)));
                RefState st = WholeImageState(mode, p, dst);
                RefImage drawn[2];
                for (bool packed : {false, true}) {
                    st.packedBytes = packed;
                    drawn[packed] = Fill(dst, st, nullptr, colour);
                }
                ASSERT_EQ(drawn[1].pixels, drawn[0].pixels)
                    << "type " << type << " mode " << mode << " p " << p << " width " << width
                    << std::hex << " colour " << colour;
                const int m = RefSolidMode(mode, p);
                for (int y = 0; y < 3; ++y)
                    for (int x = 0; x < width; ++x)
                        ASSERT_EQ(drawn[1].At(x, y),
                                  RefSolidPixel(type, m, p, colour, dst.At(x, y)))
                            << "type " << type << " mode " << mode << " p " << p;
            }
        }
    }
}

TEST(RasterFillRect, DocumentedValues) {
    auto fill = [](int type, uint32_t mode, int p, uint32_t d, uint32_t colour,
                   uint32_t bright = 0xFFFFFF) {
        const RefImage dst = FlatImage(type, TestKind::Direct, 3, 1, d);
        return Fill(dst, WholeImageState(mode, p, dst, bright), nullptr, colour).At(1, 0);
    };
    // Mode 1 at 255 is a plain fill, byte 3 included; at 0 nothing changes.
    EXPECT_EQ(fill(1, 1, 255, 0x11223344, 0xAB405060), 0xAB405060u);
    EXPECT_EQ(fill(1, 1, 0, 0x11223344, 0xAB405060), 0x11223344u);
    EXPECT_EQ(fill(1, 2, 0, 0x11223344, 0xAB405060), 0x11223344u);
    EXPECT_EQ(fill(1, 3, 0, 0x11223344, 0xAB405060), 0x11223344u);
    // 32-bit add of blue 1 onto (255, 0, 0, 255): blue saturates, green's low bit, byte 3 cleared.
    EXPECT_EQ(fill(1, 2, 255, 0xFF0000FF, 0x00000001), 0x000001FFu);
    // 32-bit subtract: black from (0, 128, 128, 128); (0, 16, 32, 48) from (255, 16, 32, 48).
    EXPECT_EQ(fill(1, 3, 255, 0x00808080, 0x00000000), 0x00818180u);
    EXPECT_EQ(fill(1, 3, 255, 0xFF102030, 0x00102030), 0x00010100u);
    // RGB565 at 255: (10, 20, 30) plus (5, 5, 5) and minus it.
    const uint32_t d565 = 10u << 11 | 20u << 5 | 30u, c565 = 5u << 11 | 5u << 5 | 5u;
    EXPECT_EQ(fill(0, 2, 255, d565, c565), 15u << 11 | 25u << 5 | 31u);
    EXPECT_EQ(fill(0, 3, 255, d565, c565), 7u << 11 | 16u << 5 | 25u);
    // Mode 4, and mode 11 at 255, with white darken white by one step per channel.
    EXPECT_EQ(fill(0, 4, 0, 0xFFFF, 0xFFFF), 0xF7DEu);
    EXPECT_EQ(fill(0, 11, 255, 0xFFFF, 0xFFFF), 0xF7DEu);
    EXPECT_EQ(fill(1, 4, 0, 0x33FFFFFF, 0xFFFFFFFF), 0x33FEFEFEu);
    EXPECT_EQ(fill(1, 11, 255, 0x33FFFFFF, 0x00FFFFFF), 0x33FEFEFEu);
    // Bright by a shift: 255, 255, 254 still turns a red or green of 255 into 254.
    EXPECT_EQ(fill(1, 0, 0, 0, 0x12FFFFFF, 0xFFFFFE), 0x12FEFEFDu);
    // The upper bits of an RGB565 colour never reach the image.
    EXPECT_EQ(fill(0, 0, 0, 0, 0xFFFFF7DF), 0xF7DFu);
    EXPECT_EQ(fill(0, 2, 255, 0, 0xFFFF0001), 0x0001u);
}

// Two RGB565 pixels are stored per word: an odd width and an odd start keep their neighbours.
TEST(RasterFillRect, PlainFillOfOddSpansLeavesNeighbours) {
    const RefImage dst = FlatImage(0, TestKind::Direct, 9, 3, 0x1111);
    const int32_t rect[4] = {1, 1, 6, 2};
    const RefImage got = Fill(dst, WholeImageState(0, 0, dst), rect, 0xFFFFABCD);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 9; ++x)
            EXPECT_EQ(got.At(x, y), y == 1 && x >= 1 && x < 6 ? 0xABCDu : 0x1111u) << x << "," << y;
}

TEST(RasterFillRect, PaletteAlphaAndMaskImagesAreNeverFilled) {
    const RefImage palette = FlatImage(0, TestKind::Palette, 4, 4, 3);
    const RefImage alpha = FlatImage(1, TestKind::Alpha, 4, 4, 0x80123456);
    for (const RefImage* dst : {&palette, &alpha}) {
        EXPECT_EQ(Fill(*dst, WholeImageState(0, 0, *dst), nullptr, 0xFFFFFFFF).pixels, dst->pixels);
    }
    MEMIMG mask{};
    ASSERT_EQ(CreateMemImg(&mask, 4, 4, -1, 0, kMemImgSingle8, 0, 0, 0, nullptr), 0);
    ClearMemImgRect(&mask, nullptr, 9);
    ApplyState(WholeImageState(0, 0, palette));
    FillMemImgRect(&mask, nullptr, 0xFFFFFFFF);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(mask.pixels[y * mask.body->pitch + x], 9);
    ReleaseMemImg(&mask);
}

}  // namespace
