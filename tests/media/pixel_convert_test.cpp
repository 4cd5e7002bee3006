// The pixel converter: its shortcuts against its general path over random images, formats and
// modes; palettes, dithering, transparent colours, alpha images; the copy and the stretch.
#include "image/pixel_convert.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "image_writers.h"

namespace {

ColorFormat RandomPalette(std::mt19937& rng) {
    ColorFormat f{};
    SetColorFormatPalette8(&f);
    for (auto& e : f.palette) {
        e = {static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()),
             static_cast<uint8_t>(rng() & 1 ? 0 : rng())};
    }
    return f;
}

std::vector<ColorFormat> DirectFormats() {
    ColorFormat grey{};
    SetColorFormatGrey8(&grey);
    return {Masks(16, 0xF800, 0x7E0, 0x1F, 0),
            Masks(16, 0x7C00, 0x3E0, 0x1F, 0),
            Masks(16, 0x7C00, 0x3E0, 0x1F, 0x8000),
            Masks(16, 0xF00, 0xF0, 0xF, 0),
            Masks(16, 0xF00, 0xF0, 0xF, 0xF000),
            Masks(24, 0xFF0000, 0xFF00, 0xFF, 0),
            Masks(32, 0xFF0000, 0xFF00, 0xFF, 0),
            Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000),
            Masks(32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000),
            Masks(32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000),
            Masks(32, 0xF800, 0x7E0, 0x1F, 0xFF0000),
            Masks(16, 0xE0, 0x1C, 0x3, 0xFF00),
            grey};
}

struct Buffer {
    std::vector<uint8_t> bytes;
    int pitch = 0;
};

Buffer RandomBuffer(std::mt19937& rng, int width, int height, int pixelBytes,
                    const std::vector<uint32_t>& values) {
    Buffer b;
    b.pitch = width * pixelBytes + static_cast<int>(rng() % 5);
    b.bytes.resize(static_cast<size_t>(b.pitch) * height);
    for (auto& v : b.bytes) v = static_cast<uint8_t>(rng());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            StorePixelValue(&b.bytes[y * b.pitch + x * pixelBytes], pixelBytes,
                            values[rng() % values.size()]);
        }
    }
    return b;
}

// One conversion with modes drawn at random, through ConvertPixelRect and through its general
// path, from identical destinations; each mode is on now and then, so that the conditions of
// every shortcut come up often.
void CheckRandomCase(std::mt19937& rng, const ColorFormat& sf, const ColorFormat& df) {
    ColorFormat grey{};
    SetColorFormatGrey8(&grey);
    ColorFormat argb = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    auto next = [&rng] { return static_cast<uint32_t>(rng()); };
    int width = 1 + next() % 9, height = 1 + next() % 4;
    int left = next() % 3, top = next() % 2;
    // A few colours per image, so that transparent colours are hit.
    std::vector<uint32_t> values = {next(), next(), next()};
    Buffer src = RandomBuffer(rng, left + width, top + height, sf.pixelBytes, values);
    const ColorFormat& af = next() % 2 ? grey : argb;
    Buffer alpha = RandomBuffer(rng, left + width, top + height, af.pixelBytes, {next(), next()});
    bool withAlphaImage = next() % 5 == 0;
    Buffer dest = RandomBuffer(rng, width + 2, height + 1, df.pixelBytes, {next()});
    Buffer reference = dest;

    uint32_t picked = values[next() % values.size()];
    uint32_t key = next();
    switch (next() % 3) {
        case 0:
            key = picked;
            break;
        case 1: {
            // The colour of a source pixel, as keyToAlpha takes it.
            int r, g, b;
            if (sf.pixelBytes == 1) {
                const PaletteEntry& e = sf.palette[picked & 0xFF];
                r = e.red, g = e.green, b = e.blue;
            } else {
                UnpackColorForFormat(&sf, picked, &r, &g, &b, nullptr);
            }
            key = (r << 16) | (g << 8) | b;
            break;
        }
        default:
            break;
    }
    RECT rect = {left, top, left + width, top + height};
    PixelRectConversion c;
    c.destX = next() % 3;
    c.destY = next() % 2;
    c.mirror = next() % 5 == 0;
    c.keyToAlpha = next() % 2;
    c.ditherMode = next() % 2 ? 0 : 1 + next() % 2;
    c.alphaOnly = next() % 8 == 0;
    c.alphaFromRed = next() % 8 == 0;
    c.skipKeyed = next() % 4 == 0;
    c.remapPalette = next() % 2;
    c.keyColor = key;
    c.srcPixels = src.bytes.data();
    c.srcPitch = src.pitch;
    c.srcFormat = &sf;
    c.alphaPixels = withAlphaImage ? alpha.bytes.data() : nullptr;
    c.alphaPitch = alpha.pitch;
    c.alphaFormat = &af;
    c.srcRect = &rect;
    c.destFormat = &df;
    c.destPixels = dest.bytes.data();
    c.destPitch = dest.pitch;
    int fast = ConvertPixelRect(c);
    c.destPixels = reference.bytes.data();
    c.destPitch = reference.pitch;
    int general = ConvertPixelRectGeneral(c);
    ASSERT_EQ(fast, general);
    ASSERT_EQ(dest.bytes, reference.bytes)
        << int(sf.bitsPerPixel) << " bits " << std::hex << sf.redMask << "/" << sf.alphaMask
        << " to " << std::dec << int(df.bitsPerPixel) << " bits " << std::hex << df.redMask << "/"
        << df.alphaMask << std::dec << " mirror " << c.mirror << " key " << c.keyToAlpha
        << " skip " << c.skipKeyed << " dither " << c.ditherMode << " alphaImage "
        << withAlphaImage;
}

// Every shortcut must write exactly what the general path writes, for every pair of formats.
// Destinations of one byte are palettes, which the general path does not define.
TEST(ConvertPixelRect, ShortcutsMatchGeneralPath) {
    std::mt19937 rng(1234);
    std::vector<ColorFormat> formats = DirectFormats();
    for (size_t si = 0; si <= formats.size(); ++si) {
        for (const ColorFormat& df : formats) {
            if (df.pixelBytes == 1) continue;
            for (int repeat = 0; repeat < 40; ++repeat) {
                ColorFormat sf = si == formats.size() ? RandomPalette(rng) : formats[si];
                ASSERT_NO_FATAL_FAILURE(CheckRandomCase(rng, sf, df));
            }
        }
    }
}

TEST(ConvertPixelRect, EmptyRectangleWritesNothing) {
    ColorFormat f = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0);
    uint32_t src = 0x123456, dest = 7;
    RECT rect = {0, 0, 0, 1};
    EXPECT_EQ(ConvertPixelRect({.destPixels = &dest,
                                .destPitch = 4,
                                .destFormat = &f,
                                .srcPixels = &src,
                                .srcPitch = 4,
                                .srcFormat = &f,
                                .srcRect = &rect}),
              -1);
    EXPECT_EQ(dest, 7u);
}

TEST(ConvertPixelRect, WideningReachesFullAndNarrowingTruncates) {
    ColorFormat f565 = Masks(16, 0xF800, 0x7E0, 0x1F, 0);
    ColorFormat f24 = Masks(24, 0xFF0000, 0xFF00, 0xFF, 0);
    uint16_t white = 0xFFFF, grey = (16 << 11) | (32 << 5) | 16;
    uint8_t out[6] = {};
    RECT one = {0, 0, 1, 1};
    ConvertPixelRect({.destPixels = out,
                      .destPitch = 6,
                      .destFormat = &f24,
                      .srcPixels = &white,
                      .srcPitch = 2,
                      .srcFormat = &f565,
                      .srcRect = &one});
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[1], 255);
    EXPECT_EQ(out[2], 255);
    ConvertPixelRect({.destPixels = out,
                      .destPitch = 6,
                      .destFormat = &f24,
                      .srcPixels = &grey,
                      .srcPitch = 2,
                      .srcFormat = &f565,
                      .srcRect = &one});
    EXPECT_EQ(out[0], 16 * 8 + 16 * 7 / 31);
    EXPECT_EQ(out[1], 32 * 4 + 32 * 3 / 63);

    // A rectangle that does not start at column 0 is read from left x 3 bytes.
    uint8_t row[9] = {1, 2, 3, 0xFF, 0xFF, 0xFF, 4, 5, 6};
    uint16_t narrow = 0;
    RECT second = {1, 0, 2, 1};
    ConvertPixelRect({.destPixels = &narrow,
                      .destPitch = 2,
                      .destFormat = &f565,
                      .srcPixels = row,
                      .srcPitch = 9,
                      .srcFormat = &f24,
                      .srcRect = &second});
    EXPECT_EQ(narrow, 0xFFFF);
}

TEST(ConvertPixelRect, PaletteDestinations) {
    std::mt19937 rng(5);
    ColorFormat pal = RandomPalette(rng);
    uint8_t src[4] = {3, 250, 17, 9}, dest[4] = {};
    RECT rect = {0, 0, 4, 1};
    // The same palette copies the indices and reports the largest.
    EXPECT_EQ(ConvertPixelRect({.destPixels = dest,
                                .destPitch = 4,
                                .destFormat = &pal,
                                .srcPixels = src,
                                .srcPitch = 4,
                                .srcFormat = &pal,
                                .srcRect = &rect,
                                .remapPalette = 1}),
              250);
    EXPECT_EQ(std::memcmp(dest, src, 4), 0);

    // Another palette maps each colour to its nearest entry.
    ColorFormat other = pal;
    for (int i = 0; i < 256; ++i) other.palette[i] = pal.palette[255 - i];
    EXPECT_EQ(ConvertPixelRect({.destPixels = dest,
                                .destPitch = 4,
                                .destFormat = &other,
                                .srcPixels = src,
                                .srcPitch = 4,
                                .srcFormat = &pal,
                                .srcRect = &rect,
                                .remapPalette = 1}),
              0);
    for (int i = 0; i < 4; ++i) {
        const PaletteEntry& e = pal.palette[src[i]];
        EXPECT_EQ(dest[i], PackColorForFormat(&other, e.red, e.green, e.blue, 0));
    }

    // Colour pixels find their nearest entry, 16-bit channels scaled to bytes first.
    ColorFormat two{};
    SetColorFormatPalette8(&two);
    for (auto& e : two.palette) e = {128, 128, 128, 0};
    two.palette[1] = {0, 0, 0, 0};
    two.palette[2] = {255, 255, 255, 0};
    ColorFormat f565 = Masks(16, 0xF800, 0x7E0, 0x1F, 0);
    uint16_t colours[3] = {0xFFFF, 0, 0x8410};
    RECT three = {0, 0, 3, 1};
    EXPECT_EQ(ConvertPixelRect({.destPixels = dest,
                                .destPitch = 4,
                                .destFormat = &two,
                                .srcPixels = colours,
                                .srcPitch = 6,
                                .srcFormat = &f565,
                                .srcRect = &three}),
              0);
    EXPECT_EQ(dest[0], 2);
    EXPECT_EQ(dest[1], 1);
    EXPECT_EQ(dest[2], 0);
}

TEST(ConvertPixelRect, KeyToAlphaMakesOnlyTheKeyTransparent) {
    ColorFormat xrgb = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0);
    ColorFormat argb = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    uint32_t src[3] = {0xFFFF00FF, 0xFF123456, 0x00FF00FF}, dest[3] = {};
    RECT rect = {0, 0, 3, 1};
    ConvertPixelRect({.destPixels = dest,
                      .destPitch = 12,
                      .destFormat = &argb,
                      .srcPixels = src,
                      .srcPitch = 12,
                      .srcFormat = &xrgb,
                      .srcRect = &rect,
                      .keyToAlpha = 1,
                      .keyColor = 0x00FF00FF});
    EXPECT_EQ(dest[0], 0x00FF00FFu);
    EXPECT_EQ(dest[1], 0xFF123456u);
    EXPECT_EQ(dest[2], 0x00FF00FFu);

    // Skipped pixels keep what the destination held; the others become opaque.
    uint32_t kept[3] = {1, 2, 3};
    ConvertPixelRect({.destPixels = kept,
                      .destPitch = 12,
                      .destFormat = &argb,
                      .srcPixels = src,
                      .srcPitch = 12,
                      .srcFormat = &xrgb,
                      .srcRect = &rect,
                      .keyColor = 0x00FF00FF,
                      .skipKeyed = 1});
    EXPECT_EQ(kept[0], 1u);
    EXPECT_EQ(kept[1], 0xFF123456u);
    EXPECT_EQ(kept[2], 3u);
}

TEST(ConvertPixelRect, AlphaImageMirrorAndModes) {
    ColorFormat xrgb = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0);
    ColorFormat argb = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    ColorFormat grey{};
    SetColorFormatGrey8(&grey);
    uint32_t src[2] = {0x112233, 0x445566}, dest[2] = {};
    uint8_t alpha[2] = {0x80, 0x7F};
    RECT rect = {0, 0, 2, 1};
    ConvertPixelRect({.destPixels = dest,
                      .destPitch = 8,
                      .destFormat = &argb,
                      .srcPixels = src,
                      .srcPitch = 8,
                      .srcFormat = &xrgb,
                      .alphaPixels = alpha,
                      .alphaPitch = 2,
                      .alphaFormat = &grey,
                      .srcRect = &rect,
                      .mirror = 1});
    EXPECT_EQ(dest[0], 0x7F445566u);
    EXPECT_EQ(dest[1], 0x80112233u);

    ConvertPixelRect({.destPixels = dest,
                      .destPitch = 8,
                      .destFormat = &argb,
                      .srcPixels = src,
                      .srcPitch = 8,
                      .srcFormat = &xrgb,
                      .srcRect = &rect,
                      .alphaOnly = 1,
                      .alphaFromRed = 1});
    EXPECT_EQ(dest[0], 0x11000000u);
    EXPECT_EQ(dest[1], 0x44000000u);
}

TEST(ConvertPixelRect, OrderedDitherFollowsTheMatrix) {
    ColorFormat argb = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    ColorFormat f565 = Masks(16, 0xF800, 0x7E0, 0x1F, 0);
    // Red and blue drop 3 bits worth 4; green drops 2 bits worth 0.
    uint32_t src[8];
    for (auto& p : src) p = 0xFF040404;
    uint16_t dest[8] = {};
    RECT rect = {0, 0, 4, 2};
    ConvertPixelRect({.destPixels = dest,
                      .destPitch = 8,
                      .destFormat = &f565,
                      .srcPixels = src,
                      .srcPitch = 16,
                      .srcFormat = &argb,
                      .srcRect = &rect,
                      .ditherMode = 1});
    // Thresholds are 8 x M >> 4: row 0 gives 0, 4, 1, 5; row 1 gives 6, 2, 7, 3.
    const int up[8] = {1, 0, 1, 0, 0, 1, 0, 1};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(dest[i] >> 11, up[i]) << i;
        EXPECT_EQ(dest[i] & 31, up[i]) << i;
        EXPECT_EQ((dest[i] >> 5) & 63, 1) << i;
    }
}

TEST(ConvertPixelRect, ErrorCarryRunsAcrossRows) {
    ColorFormat argb = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    ColorFormat f565 = Masks(16, 0xF800, 0x7E0, 0x1F, 0);
    uint32_t src[6];
    for (auto& p : src) p = 0xFF040000;
    uint16_t dest[6] = {};
    RECT rect = {0, 0, 3, 2};
    ConvertPixelRect({.destPixels = dest,
                      .destPitch = 6,
                      .destFormat = &f565,
                      .srcPixels = src,
                      .srcPitch = 12,
                      .srcFormat = &argb,
                      .srcRect = &rect,
                      .ditherMode = 2});
    // 4 of 8 is carried: every second pixel rounds up, and the count goes on into row 1.
    const int up[6] = {0, 1, 0, 1, 0, 1};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(dest[i] >> 11, up[i]) << i;
}

GraphImage ImageOf(int width, int height) {
    GraphImage image{};
    AllocGraphImageXRGB32(width, height, &image);
    auto* p = static_cast<uint32_t*>(image.pixels);
    for (int i = 0; i < width * height; ++i) p[i] = 0xFF000000 | (i * 0x010203);
    return image;
}

TEST(CopyGraphImageRect, ClipsAgainstBothImages) {
    GraphImage src = ImageOf(10, 2), dest = ImageOf(10, 2);
    std::memset(dest.pixels, 0, 80);
    EXPECT_EQ(CopyGraphImageRect(-5, 0, 10, 1, 0, 0, &src, &dest), 0);
    auto* s = static_cast<uint32_t*>(src.pixels);
    auto* d = static_cast<uint32_t*>(dest.pixels);
    for (int x = 0; x < 10; ++x) EXPECT_EQ(d[x], x < 5 ? 0u : s[x - 5]) << x;
    EXPECT_EQ(d[10], 0u);

    // A rectangle entirely outside does nothing and still succeeds.
    EXPECT_EQ(CopyGraphImageRect(0, 0, 3, 3, 20, 0, &src, &dest), 0);
    EXPECT_EQ(CopyWholeGraphImage(0, 1, &src, &dest), 0);
    for (int x = 0; x < 10; ++x) EXPECT_EQ(d[10 + x], s[x]);
    FreeGraphImage(&src);
    FreeGraphImage(&dest);
}

TEST(StretchGraphImageRect, SameSizeIsACopyAndCornersAreChecked) {
    GraphImage src = ImageOf(4, 4), a = ImageOf(4, 4), b = ImageOf(4, 4);
    std::memset(a.pixels, 0, 64);
    std::memset(b.pixels, 0, 64);
    EXPECT_EQ(StretchGraphImageRect(1, 1, 3, 3, &src, 0, 0, 2, 2, &a, 1), 0);
    EXPECT_EQ(CopyGraphImageRect(1, 1, 2, 2, 0, 0, &src, &b), 0);
    EXPECT_EQ(std::memcmp(a.pixels, b.pixels, 64), 0);
    EXPECT_EQ(StretchGraphImageRect(2, 0, 2, 1, &src, 0, 0, 1, 1, &a, 0), -1);
    EXPECT_EQ(StretchGraphImageRect(0, 0, 5, 1, &src, 0, 0, 1, 1, &a, 0), -1);
    EXPECT_EQ(StretchGraphImageRect(0, 0, 1, 1, &src, 0, 0, 4, 5, &a, 0), -1);
    FreeGraphImage(&src);
    FreeGraphImage(&a);
    FreeGraphImage(&b);
}

TEST(StretchGraphImageRect, NearestAndBilinear) {
    GraphImage src{}, dest{};
    ColorFormat argb = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    AllocGraphImage(2, 1, &argb, &src);
    AllocGraphImage(4, 1, &argb, &dest);
    auto* s = static_cast<uint32_t*>(src.pixels);
    auto* d = static_cast<uint32_t*>(dest.pixels);
    s[0] = 0xFF000000;
    s[1] = 0xFFC8C8C8;
    EXPECT_EQ(StretchGraphImageRect(0, 0, 2, 1, &src, 0, 0, 4, 1, &dest, 0), 0);
    EXPECT_EQ(d[0], s[0]);
    EXPECT_EQ(d[1], s[0]);
    EXPECT_EQ(d[2], s[1]);
    EXPECT_EQ(d[3], s[1]);

    // Weights of 65,535; the last column's right neighbour is itself, not outside the image.
    EXPECT_EQ(StretchGraphImageRect(0, 0, 2, 1, &src, 0, 0, 4, 1, &dest, 1), 0);
    auto channel = [](uint32_t p) { return p & 0xFF; };
    uint32_t wFull = (65535u * 65535u) >> 16, wHalfLeft = (65535u * 32767u) >> 16,
             wHalfRight = (65535u * 32768u) >> 16;
    EXPECT_EQ(channel(d[0]), 0u);
    EXPECT_EQ(channel(d[1]), (200 * wHalfRight) >> 16);
    EXPECT_EQ(channel(d[2]), (200 * wFull) >> 16);
    EXPECT_EQ(channel(d[3]), (200 * wHalfLeft + 200 * wHalfRight) >> 16);
    EXPECT_EQ(d[3] >> 24, (255 * wHalfLeft + 255 * wHalfRight) >> 16);
    FreeGraphImage(&src);
    FreeGraphImage(&dest);
}

// Opaque sources without an alpha channel: palettes (whose entries' alpha bytes are 0, as the
// decoders leave them), greyscale, 16-bit without alpha, 24 and 32 bits.
TEST(StretchGraphImageRect, FormatsWithoutAlphaStayOpaqueAndAgreeWithTheCopy) {
    std::mt19937 rng(7);
    ColorFormat palette = RandomPalette(rng);
    for (auto& e : palette.palette) e.alpha = 0;
    std::vector<ColorFormat> formats = {palette,
                                        Masks(16, 0xF800, 0x7E0, 0x1F, 0),
                                        Masks(16, 0x7C00, 0x3E0, 0x1F, 0),
                                        Masks(16, 0xF00, 0xF0, 0xF, 0),
                                        Masks(24, 0xFF0000, 0xFF00, 0xFF, 0),
                                        Masks(32, 0xFF0000, 0xFF00, 0xFF, 0)};
    SetColorFormatGrey8(&formats.emplace_back());
    for (const ColorFormat& format : formats) {
        SCOPED_TRACE(::testing::Message() << "bits " << int{format.bitsPerPixel});
        GraphImage src{}, copy{}, dest{};
        ASSERT_EQ(AllocGraphImage(3, 2, &format, &src), 0);
        for (int y = 0; y < 2; ++y) {
            auto* row = static_cast<uint8_t*>(src.pixels) + y * src.pitch;
            for (int i = 0; i < 3 * format.pixelBytes; ++i) row[i] = static_cast<uint8_t>(rng());
        }
        ASSERT_EQ(AllocGraphImageARGB32(3, 2, &copy), 0);
        ASSERT_EQ(AllocGraphImageARGB32(6, 4, &dest), 0);
        ASSERT_EQ(CopyGraphImageRect(0, 0, 3, 2, 0, 0, &src, &copy), 0);
        auto* c = static_cast<uint32_t*>(copy.pixels);
        auto* d = static_cast<uint32_t*>(dest.pixels);
        ASSERT_EQ(StretchGraphImageRect(0, 0, 3, 2, &src, 0, 0, 6, 4, &dest, 0), 0);
        for (int i = 0; i < 24; ++i) EXPECT_EQ(d[i], c[(i / 12) * 3 + (i % 6) / 2]) << i;
        ASSERT_EQ(StretchGraphImageRect(0, 0, 3, 2, &src, 0, 0, 6, 4, &dest, 1), 0);
        for (int i = 0; i < 24; ++i) EXPECT_EQ(d[i] >> 24, 255u) << i;
        FreeGraphImage(&src);
        FreeGraphImage(&copy);
        FreeGraphImage(&dest);
    }
}

}  // namespace
