// Colour formats and decoded images: presets, mask analysis, one-pixel packing and the small
// whole-image operations.
#include "image/color_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/tracked_memory.h"
#include "image/image_convert.h"
#include "image_writers.h"

namespace {

TEST(ColorFormat, PresetsWriteOnlyTheirHead) {
    ColorFormat f;
    std::memset(&f, 0xEE, sizeof(f));
    SetColorFormatPalette8(&f);
    EXPECT_EQ(f.pixelBytes, 1);
    EXPECT_EQ(f.bitsPerPixel, 8);
    EXPECT_EQ(f.dxtKind, 0);
    EXPECT_EQ(f.spareMask, 0xFF000000u);
    EXPECT_EQ(f.spareShift, 0xEE);  // not written by this preset
    EXPECT_EQ(f.palette[3].red, 0xEE);

    SetColorFormatXRGB32(&f);
    EXPECT_EQ(f.spareShift, 24);
    EXPECT_EQ(f.spareWidth, 8);

    SetColorFormatGrey8(&f);
    EXPECT_EQ(f.palette[200].red, 200);
    EXPECT_EQ(f.palette[200].blue, 200);
    EXPECT_EQ(f.palette[200].alpha, 0);
}

TEST(ColorFormat, MasksGiveWidthsShiftsAndSpareBits) {
    ColorFormat f = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0);
    EXPECT_EQ(f.spareMask, 0xFF000000u);
    EXPECT_EQ(f.spareShift, 24);
    EXPECT_EQ(f.spareWidth, 8);
    f = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    EXPECT_EQ(f.spareMask, 0u);
    EXPECT_EQ(f.spareShift, 0);
    EXPECT_EQ(f.spareWidth, 0);

    f = Masks(16, 0xF800, 0x7E0, 0x1F, 0);
    EXPECT_EQ(f.greenWidth, 6);
    EXPECT_EQ(f.greenShift, 5);
    EXPECT_EQ(f.pixelBytes, 2);

    // A mask with a gap counts only its lowest run.
    f = Masks(16, 0xB000, 0, 0, 0);
    EXPECT_EQ(f.redShift, 12);
    EXPECT_EQ(f.redWidth, 2);

    SetColorFormatFromMasks(&f, 0, 0, 0, 0, 0, 4, 16, 1);
    EXPECT_EQ(f.pixelBytes, 8);
    EXPECT_EQ(f.isFloat, 1);
    EXPECT_EQ(f.redMask, 0u);
}

TEST(ColorFormat, PackPutsUnusedBitsToOnesAndTruncates) {
    ColorFormat f{};
    SetColorFormatXRGB32(&f);
    EXPECT_EQ(PackColorForFormat(&f, 1, 2, 3, 0), 0xFF010203u);
    SetColorFormatARGB32(&f);
    EXPECT_EQ(PackColorForFormat(&f, 1, 2, 3, 0x80), 0x80010203u);
    f = Masks(16, 0x7C00, 0x3E0, 0x1F, 0);
    EXPECT_EQ(PackColorForFormat(&f, 0xFF, 0x07, 0x08, 0), 0x8000u | (31 << 10) | (0 << 5) | 1);
}

TEST(ColorFormat, PackIntoPaletteFindsNearestLowestEntry) {
    ColorFormat f{};
    SetColorFormatPalette8(&f);
    for (auto& e : f.palette) e = {200, 200, 200, 0};
    f.palette[5] = {30, 20, 10, 0};
    f.palette[9] = {30, 20, 10, 99};  // alpha plays no part
    f.palette[12] = {31, 20, 10, 0};
    EXPECT_EQ(PackColorForFormat(&f, 10, 20, 30, 0), 5u);
    EXPECT_EQ(PackColorForFormat(&f, 10, 20, 32, 0), 12u);
}

TEST(ColorFormat, UnpackScalesNarrowChannels) {
    ColorFormat f = Masks(16, 0xF800, 0x7E0, 0x1F, 0);
    int r = -1, g = -1, b = -1, a = -1;
    UnpackColorForFormat(&f, 0xFFFF, &r, &g, &b, &a);
    EXPECT_EQ(r, 255);
    EXPECT_EQ(g, 255);
    EXPECT_EQ(b, 255);
    EXPECT_EQ(a, 0);
    UnpackColorForFormat(&f, 0x0800 | (32 << 5), &r, &g, &b, nullptr);
    EXPECT_EQ(r, 8);
    EXPECT_EQ(g, 32 * 255 / 63);

    // 8-bit colour without alpha leaves the alpha output alone.
    f = Masks(24, 0xFF0000, 0xFF00, 0xFF, 0);
    a = 77;
    UnpackColorForFormat(&f, 0x123456, &r, &g, &b, &a);
    EXPECT_EQ(r, 0x12);
    EXPECT_EQ(b, 0x56);
    EXPECT_EQ(a, 77);

    // 4-bit alpha beside 8-bit colour is scaled.
    f = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0x0F000000);
    UnpackColorForFormat(&f, 0x0A000000, nullptr, nullptr, nullptr, &a);
    EXPECT_EQ(a, 10 * 255 / 15);

    // A channel that the format lacks reads as 0 instead of dividing by zero.
    f = Masks(16, 0, 0x7E0, 0x1F, 0);
    UnpackColorForFormat(&f, 0xFFFF, &r, &g, &b, &a);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(g, 255);
}

TEST(GraphImage, AllocRoundsPitchAndFreeClears) {
    ColorFormat f{};
    SetColorFormatRGB24(&f);
    GraphImage image{};
    ASSERT_EQ(AllocGraphImage(3, 2, &f, &image), 0);
    EXPECT_EQ(image.pitch, 12);
    EXPECT_EQ(image.format.pixelBytes, 3);
    FreeGraphImage(&image);
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.width, 0);

    SetColorFormatPalette8(&f);
    ASSERT_EQ(AllocGraphImage(5, 1, &f, &image), 0);
    EXPECT_EQ(image.pitch, 8);
    FreeGraphImage(&image);

    EXPECT_EQ(AllocGraphImage(-1, 4, &f, &image), -1);
    EXPECT_EQ(AllocGraphImage(0x40000000, 0x40000000, &f, &image), -1);

    ASSERT_EQ(AllocGraphImageARGB32(2, 2, &image), 0);
    EXPECT_EQ(image.format.alphaMask, 0xFF000000u);
    EXPECT_EQ(image.pitch, 8);
    FreeGraphImage(&image);
}

TEST(GraphImage, DataBytesCountEveryLevel) {
    GraphImage image{};
    image.format.dxtKind = 1;
    image.width = image.height = 16;
    image.mipCount = 3;
    EXPECT_EQ(ComputeGraphImageDataBytes(&image), 128 + 32 + 8);
    // Edge blocks count whole, and a level never holds less than one block.
    image.format.dxtKind = 5;
    image.width = 6;
    image.height = 5;
    image.mipCount = 3;
    EXPECT_EQ(ComputeGraphImageDataBytes(&image), 4 * 16 + 16 + 16);
    image.format.dxtKind = 7;
    EXPECT_EQ(ComputeGraphImageDataBytes(&image), -1);

    image.format.dxtKind = 0;
    image.pitch = 64;
    image.height = 16;
    image.mipCount = 2;
    EXPECT_EQ(ComputeGraphImageDataBytes(&image), 1024 + 256);
}

TEST(GraphImage, PixelAccessStaysInside) {
    GraphImage image{};
    ASSERT_EQ(AllocGraphImageXRGB32(4, 3, &image), 0);
    EXPECT_EQ(WriteGraphImagePixel(&image, 3, 2, 10, 20, 30, 0), 0);
    EXPECT_EQ(WriteGraphImagePixel(&image, 4, 0, 1, 1, 1, 0), -1);
    EXPECT_EQ(WriteGraphImagePixel(&image, -1, 0, 1, 1, 1, 0), -1);
    int r, g, b, a = 5;
    EXPECT_EQ(ReadGraphImagePixel(&image, 3, 2, &r, &g, &b, &a), 0);
    EXPECT_EQ(r, 10);
    EXPECT_EQ(g, 20);
    EXPECT_EQ(b, 30);
    EXPECT_EQ(a, 5);
    EXPECT_EQ(ReadGraphImagePixel(&image, 0, 3, &r, &g, &b, &a), -1);
    EXPECT_EQ(ReadGraphImagePixelARGB(&image, 3, 2), 0x000A141Eu);
    FreeGraphImage(&image);

    // A 5-bit channel's top bit lands on bit 7 of its byte; low bits stay clear.
    ColorFormat f = Masks(16, 0x7C00, 0x3E0, 0x1F, 0x8000);
    ASSERT_EQ(AllocGraphImage(1, 1, &f, &image), 0);
    *static_cast<uint16_t*>(image.pixels) = 0xFFFF;
    EXPECT_EQ(ReadGraphImagePixelARGB(&image, 0, 0), 0x80F8F8F8u);
    FreeGraphImage(&image);

    ColorFormat p{};
    SetColorFormatPalette8(&p);
    p.palette[7] = {3, 2, 1, 9};
    ASSERT_EQ(AllocGraphImage(2, 1, &p, &image), 0);
    static_cast<uint8_t*>(image.pixels)[1] = 7;
    EXPECT_EQ(ReadGraphImagePixel(&image, 1, 0, &r, &g, &b, &a), 0);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(b, 3);
    EXPECT_EQ(a, 9);
    EXPECT_EQ(WriteGraphImagePixel(&image, 0, 0, 1, 2, 3, 0), 0);
    EXPECT_EQ(static_cast<uint8_t*>(image.pixels)[0], 7);
    FreeGraphImage(&image);
}

TEST(GraphImage, PixelAccessExpandsDxtFirst) {
    GraphImage image{};
    image.format.dxtKind = 1;
    image.width = image.height = 4;
    auto* block = static_cast<uint8_t*>(AllocMemory(8, "", 0));
    const uint8_t white[8] = {0xFF, 0xFF, 0, 0, 0, 0, 0, 0};  // c0 white, every index 0
    std::memcpy(block, white, 8);
    image.pixels = block;
    int r = 0, a = 0;
    EXPECT_EQ(ReadGraphImagePixel(&image, 2, 2, &r, nullptr, nullptr, &a), 0);
    EXPECT_EQ(r, 255);
    EXPECT_EQ(a, 255);
    EXPECT_EQ(image.format.dxtKind, 0);
    EXPECT_EQ(image.pitch, 16);
    FreeGraphImage(&image);
}

std::vector<uint32_t> Pixels(const GraphImage& image) {
    std::vector<uint32_t> out;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) out.push_back(ReadGraphImagePixelARGB(&image, x, y));
    }
    return out;
}

TEST(GraphImage, FlipAndHalfTurn) {
    ColorFormat f{};
    SetColorFormatRGB24(&f);
    GraphImage image{};
    ASSERT_EQ(AllocGraphImage(3, 3, &f, &image), 0);
    for (int i = 0; i < 9; ++i) WriteGraphImagePixel(&image, i % 3, i / 3, i, 0, 0, 0);
    ASSERT_EQ(FlipGraphImageLeftRight(&image), 0);
    std::vector<uint32_t> flipped = Pixels(image);
    EXPECT_EQ(flipped[0] >> 16, 2u);
    EXPECT_EQ(flipped[2] >> 16, 0u);
    EXPECT_EQ(flipped[5] >> 16, 3u);

    ASSERT_EQ(RotateGraphImageHalfTurn(&image), 0);
    std::vector<uint32_t> turned = Pixels(image);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(turned[i], flipped[8 - i]) << i;
    FreeGraphImage(&image);

    image.width = 0;
    EXPECT_EQ(FlipGraphImageLeftRight(&image), -1);
    image.format.dxtKind = 3;
    EXPECT_EQ(RotateGraphImageHalfTurn(&image), -1);
}

TEST(GraphImage, ShrinkAveragesBlocksAndEdges) {
    ColorFormat f = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    uint32_t src[2 * 4] = {0x04080C10, 0x00000000, 0x00000001, 0x03000000,
                           0x00000000, 0x00000000, 0x00000001, 0x01000000};
    uint32_t dest[2] = {};
    ASSERT_EQ(ShrinkPixelsByHalf(&f, dest, 8, src, 16, 0, 0, 0, 0, 4, 2), 0);
    EXPECT_EQ(dest[0], 0x01020304u);
    EXPECT_EQ(dest[1], 0x01000000u);  // blue 2 / 4 truncates to 0, alpha 4 / 4

    // A column of two averages along its length only.
    uint32_t column[2] = {0x00000010, 0x00000020};
    ASSERT_EQ(ShrinkPixelsByHalf(&f, dest, 8, column, 4, 0, 0, 0, 0, 1, 2), 0);
    EXPECT_EQ(dest[0], 0x00000018u);
    uint16_t one = 0x1234, out = 0;
    ColorFormat f16 = Masks(16, 0xF800, 0x7E0, 0x1F, 0);
    ASSERT_EQ(ShrinkPixelsByHalf(&f16, &out, 2, &one, 2, 0, 0, 0, 0, 1, 1), 0);
    EXPECT_EQ(out, 0x1234);

    EXPECT_EQ(ShrinkPixelsByHalf(&f, dest, 8, src, 16, 0, 0, 0, 0, 3, 2), -1);
    ColorFormat f24 = Masks(24, 0xFF0000, 0xFF00, 0xFF, 0);
    EXPECT_EQ(ShrinkPixelsByHalf(&f24, dest, 8, src, 16, 0, 0, 0, 0, 2, 2), -1);
}

TEST(GraphImage, ClearRectInsideOnly) {
    GraphImage image{};
    ASSERT_EQ(AllocGraphImageXRGB32(4, 4, &image), 0);
    std::memset(image.pixels, 0xAB, 64);
    EXPECT_EQ(ClearGraphImageRect(&image, 1, 1, 2, 2), 0);
    auto* p = static_cast<uint32_t*>(image.pixels);
    EXPECT_EQ(p[5], 0u);
    EXPECT_EQ(p[10], 0u);
    EXPECT_EQ(p[4], 0xABABABABu);
    EXPECT_EQ(p[7], 0xABABABABu);
    EXPECT_EQ(ClearGraphImageRect(&image, 3, 0, 2, 1), -1);
    FreeGraphImage(&image);
}

}  // namespace
