// DXT expansion against a plain reading of the format, DIBs of every kind into images and
// images back into DIBs, and the YUV converters.
#include "image/image_convert.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "core/tracked_memory.h"
#include "image_writers.h"

namespace {

GraphImage DxtImage(int kind, int width, int height, const std::vector<uint8_t>& blocks) {
    GraphImage image{};
    image.format.dxtKind = static_cast<uint8_t>(kind);
    image.width = width;
    image.height = height;
    image.pixels = AllocMemory(static_cast<uint32_t>(blocks.size()), "", 0);
    std::memcpy(image.pixels, blocks.data(), blocks.size());
    return image;
}

TEST(ExpandCompressedGraphImage, MatchesPlainReadingOfEveryKind) {
    std::mt19937 rng(77);
    for (int kind = 1; kind <= 5; ++kind) {
        for (int size : {4, 8, 5, 13}) {
            int width = size, height = size == 13 ? 6 : size;
            int across = (width + 3) / 4, down = (height + 3) / 4;
            int blockBytes = kind == 1 ? 8 : 16;
            std::vector<uint8_t> blocks(static_cast<size_t>(across) * down * blockBytes);
            for (auto& b : blocks) b = static_cast<uint8_t>(rng());
            GraphImage image = DxtImage(kind, width, height, blocks);
            ASSERT_EQ(ExpandCompressedGraphImage(&image), 0);
            EXPECT_EQ(image.format.dxtKind, 0);
            EXPECT_EQ(image.pitch, width * 4);
            EXPECT_EQ(image.format.alphaMask, 0xFF000000u);
            auto* pixels = static_cast<uint32_t*>(image.pixels);
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    const uint8_t* block = &blocks[((y / 4) * across + x / 4) * blockBytes];
                    ASSERT_EQ(pixels[y * width + x],
                              ReferenceDxtTexel(kind, block, (y % 4) * 4 + x % 4))
                        << "kind " << kind << " at " << x << "," << y;
                }
            }
            FreeGraphImage(&image);
        }
    }
}

TEST(ExpandCompressedGraphImage, ThreeColourBlockAndPremultipliedEdges) {
    // c0 <= c1 with every index 3: transparent.
    GraphImage image = DxtImage(1, 4, 4, {0x00, 0x10, 0x00, 0x20, 0xFF, 0xFF, 0xFF, 0xFF});
    ASSERT_EQ(ExpandCompressedGraphImage(&image), 0);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(static_cast<uint32_t*>(image.pixels)[i] >> 24, 0u);
    FreeGraphImage(&image);

    // DXT4 with alpha 0 and with alpha below the colour: no division by zero, no overflow.
    std::vector<uint8_t> block = {0, 10, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    block[2] = 0x49;  // texels 0 to 2 take alpha code 1 (10), the rest code 0 (alpha 0)
    image = DxtImage(4, 4, 4, block);
    ASSERT_EQ(ExpandCompressedGraphImage(&image), 0);
    auto* p = static_cast<uint32_t*>(image.pixels);
    EXPECT_EQ(p[0], 0x0AFFFFFFu);
    EXPECT_EQ(p[3], 0x00000000u);
    FreeGraphImage(&image);

    image = DxtImage(5, 16, 16, std::vector<uint8_t>(256, 0));
    image.mipCount = 3;
    ASSERT_EQ(ExpandCompressedGraphImage(&image), 0);
    EXPECT_EQ(image.pitch, 64);
    EXPECT_EQ(image.mipCount, 0);
    FreeGraphImage(&image);
}

const BITMAPINFO* InfoOf(const DibPicture& d) {
    return reinterpret_cast<const BITMAPINFO*>(d.info.data());
}

std::vector<uint32_t> RgbOf(GraphImage* image) {
    std::vector<uint32_t> out = ReadAllPixels(image);
    for (auto& p : out) p &= 0xFFFFFF;
    return out;
}

TEST(MakeGraphImageFromDIB, EveryKindThroughTheSection) {
    std::mt19937 rng(3);
    const DibKind kinds[] = {DibKind::Pal1,  DibKind::Pal4,    DibKind::Pal8,      DibKind::Rle4,
                             DibKind::Rle8,  DibKind::Rgb555,  DibKind::Fields565, DibKind::Rgb24,
                             DibKind::Rgb32, DibKind::Fields32};
    for (DibKind kind : kinds) {
        for (bool withDelta : {false, true}) {
            bool runLength = kind == DibKind::Rle4 || kind == DibKind::Rle8;
            if (withDelta && !runLength) continue;
            // Bottom-up DIBs of every kind go through the section.
            DibPicture d = MakeDib(kind, 13, 7, false, rng, 40, withDelta);
            GraphImage image{};
            ASSERT_EQ(MakeGraphImageFromDIB(InfoOf(d), d.bits.data(), &image, 0), 1)
                << static_cast<int>(kind);
            EXPECT_EQ(image.format.bitsPerPixel, 24);
            EXPECT_EQ(image.pitch, 40);
            EXPECT_EQ(RgbOf(&image), d.rgb) << static_cast<int>(kind);
            FreeGraphImage(&image);
        }
    }
    // A V5 header: bitfield masks inside the header, the colour table behind it.
    for (DibKind kind : {DibKind::Fields565, DibKind::Pal8}) {
        DibPicture d = MakeDib(kind, 5, 3, false, rng, 124);
        GraphImage image{};
        ASSERT_EQ(MakeGraphImageFromDIB(InfoOf(d), d.bits.data(), &image, 0), 1);
        EXPECT_EQ(RgbOf(&image), d.rgb);
        FreeGraphImage(&image);
    }
}

TEST(MakeGraphImageFromDIB, TopDownDirectDibsAreBorrowedOrCopied) {
    std::mt19937 rng(4);
    DibPicture d = MakeDib(DibKind::Rgb24, 5, 3, true, rng);
    GraphImage image{};
    EXPECT_EQ(MakeGraphImageFromDIB(InfoOf(d), d.bits.data(), &image, 0), 0);
    EXPECT_EQ(image.pixels, d.bits.data());
    EXPECT_EQ(image.pitch, 16);
    EXPECT_EQ(RgbOf(&image), d.rgb);
    EXPECT_EQ(MakeGraphImageFromDIB(InfoOf(d), d.bits.data(), &image, 1), 1);
    EXPECT_NE(image.pixels, d.bits.data());
    EXPECT_EQ(RgbOf(&image), d.rgb);
    FreeGraphImage(&image);

    d = MakeDib(DibKind::Fields565, 3, 2, true, rng);
    EXPECT_EQ(MakeGraphImageFromDIB(InfoOf(d), d.bits.data(), &image, 0), 0);
    EXPECT_EQ(image.format.greenMask, 0x7E0u);
    EXPECT_EQ(image.format.greenWidth, 6);
    EXPECT_EQ(image.format.spareMask, 0u);
    d = MakeDib(DibKind::Rgb555, 3, 2, true, rng);
    EXPECT_EQ(MakeGraphImageFromDIB(InfoOf(d), d.bits.data(), &image, 0), 0);
    EXPECT_EQ(image.format.redMask, 0x7C00u);
    EXPECT_EQ(image.format.spareMask, 0x8000u);

    // 32 bits without masks: refused top-down, converted bottom-up.
    d = MakeDib(DibKind::Rgb32, 3, 2, true, rng);
    EXPECT_EQ(MakeGraphImageFromDIB(InfoOf(d), d.bits.data(), &image, 0), -1);
    d = MakeDib(DibKind::Rgb32, 3, 2, false, rng);
    EXPECT_EQ(MakeGraphImageFromDIB(InfoOf(d), d.bits.data(), &image, 0), 1);
    EXPECT_EQ(RgbOf(&image), d.rgb);
    FreeGraphImage(&image);

    // A compression GDI does not draw gives no image.
    d = MakeDib(DibKind::Rgb24, 3, 2, false, rng);
    d.info[16] = 4;
    EXPECT_EQ(MakeGraphImageFromDIB(InfoOf(d), d.bits.data(), &image, 0), -1);
}

TEST(MakeDIBFromGraphImage, PalettesBorrowAndEverythingElseBecomes24Bits) {
    alignas(BITMAPINFO) uint8_t block[kDibInfoBytes];
    auto* info = reinterpret_cast<BITMAPINFO*>(block);
    ColorFormat pal{};
    SetColorFormatPalette8(&pal);
    pal.palette[2] = {1, 2, 3, 0};
    GraphImage image{};
    ASSERT_EQ(AllocGraphImage(6, 2, &pal, &image), 0);
    std::memset(image.pixels, 2, 16);
    void* bits = nullptr;
    EXPECT_EQ(MakeDIBFromGraphImage(&image, info, &bits, 0, 0), 0);
    EXPECT_EQ(bits, image.pixels);
    EXPECT_EQ(info->bmiHeader.biBitCount, 8);
    EXPECT_EQ(info->bmiHeader.biHeight, -2);
    EXPECT_EQ(info->bmiColors[2].rgbRed, 3);
    EXPECT_EQ(MakeDIBFromGraphImage(&image, info, &bits, 1, 0), 1);
    EXPECT_NE(bits, image.pixels);
    EXPECT_EQ(static_cast<uint8_t*>(bits)[9], 2);
    FreeMemory(bits);

    // Forced to 24 bits the palette colours are written out.
    EXPECT_EQ(MakeDIBFromGraphImage(&image, info, &bits, 0, 1), 1);
    EXPECT_EQ(info->bmiHeader.biBitCount, 24);
    const uint8_t* rgb = static_cast<uint8_t*>(bits);
    EXPECT_EQ(rgb[0], 1);
    EXPECT_EQ(rgb[2], 3);
    EXPECT_EQ(rgb[20], 1);  // the second row starts at (6 + 1) * 3 / 4 * 4
    FreeMemory(bits);
    FreeGraphImage(&image);

    // An ARGB image round-trips through a DIB and back.
    ASSERT_EQ(AllocGraphImageARGB32(3, 2, &image), 0);
    for (int i = 0; i < 6; ++i)
        static_cast<uint32_t*>(image.pixels)[i] = 0x80000000 | (i * 0x030507);
    ASSERT_EQ(MakeDIBFromGraphImage(&image, info, &bits, 0, 0), 1);
    GraphImage back{};
    ASSERT_EQ(MakeGraphImageFromDIB(info, bits, &back, 1), 1);
    std::vector<uint32_t> expected = RgbOf(&image);
    EXPECT_EQ(RgbOf(&back), expected);
    FreeGraphImage(&back);
    FreeMemory(bits);
    FreeGraphImage(&image);
}

// YUV as the converters define it: 15-bit fixed point, luma used as it stands.
uint32_t ReferenceYuv(int y, int u, int v) {
    u -= 128;
    v -= 128;
    auto clamp = [](int x) { return x < 0 ? 0 : (x > 0x7F8000 ? 255 : x >> 15); };
    int b = clamp(y * 32768 + u * 58064), g = clamp(y * 32768 - u * 11272 - v * 23396),
        r = clamp(y * 32768 + v * 45940);
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

TEST(YuvConverters, EveryLayoutSamplesItsChroma) {
    std::mt19937 rng(9);
    const int w = 8, h = 4;
    std::vector<uint8_t> src(w * h * 2);
    for (auto& b : src) b = static_cast<uint8_t>(rng());
    GraphImage frame{};
    ASSERT_EQ(AllocGraphImageXRGB32(w, h, &frame), 0);
    auto* out = static_cast<uint32_t*>(frame.pixels);
    const uint8_t* chroma = src.data() + w * h;

    // Planar layouts: luma, then chroma found by (x, y) -> index of U, index of V.
    struct Planar {
        int (*convert)(const uint8_t*, int, int, GraphImage*);
        std::function<std::pair<int, int>(int, int)> uv;
    };
    const int quarter = (w / 2) * (h / 2);
    const Planar planar[] = {{ConvertYV12ToARGB,
                              [&](int x, int y) {
                                  int c = (y / 2) * (w / 2) + x / 2;
                                  return std::pair(quarter + c, c);
                              }},
                             {ConvertNV12ToARGB,
                              [&](int x, int y) {
                                  int c = ((y / 2) * (w / 2) + x / 2) * 2;
                                  return std::pair(c, c + 1);
                              }},
                             {ConvertNV11ToARGB, [&](int x, int y) {
                                  int c = (y * (w / 4) + x / 4) * 2;
                                  return std::pair(c, c + 1);
                              }}};
    for (const Planar& p : planar) {
        ASSERT_EQ(p.convert(src.data(), w, h, &frame), 0);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                auto [u, v] = p.uv(x, y);
                EXPECT_EQ(out[y * w + x], ReferenceYuv(src[y * w + x], chroma[u], chroma[v]));
            }
        }
    }
    // Packed layouts: byte positions of Y0, Y1, U and V in each group of two pixels.
    struct Packed {
        int (*convert)(const uint8_t*, int, int, GraphImage*);
        int y0, y1, u, v;
    };
    const Packed packed[] = {{ConvertYUY2ToARGB, 0, 2, 1, 3},
                             {ConvertUYVYToARGB, 1, 3, 0, 2},
                             {ConvertYVYUToARGB, 0, 2, 3, 1}};
    for (const Packed& p : packed) {
        ASSERT_EQ(p.convert(src.data(), w, h, &frame), 0);
        for (int i = 0; i < w * h; ++i) {
            const uint8_t* group = &src[(i / 2) * 4];
            EXPECT_EQ(out[i], ReferenceYuv(group[i % 2 ? p.y1 : p.y0], group[p.u], group[p.v]));
        }
    }
    // Full white and black luma saturate without wrapping; sizes must fit the sampling.
    std::vector<uint8_t> grey = {255, 128, 0, 128};
    ASSERT_EQ(ConvertYUY2ToARGB(grey.data(), 2, 1, &frame), 0);
    EXPECT_EQ(out[0], 0xFFFFFFFFu);
    EXPECT_EQ(out[1], 0xFF000000u);
    EXPECT_EQ(ConvertYV12ToARGB(src.data(), 3, 2, &frame), -1);
    EXPECT_EQ(ConvertYUY2ToARGB(src.data(), w * 2, h, &frame), -1);
    FreeGraphImage(&frame);
}

}  // namespace
