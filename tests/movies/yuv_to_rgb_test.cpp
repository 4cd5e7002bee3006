// The conversion of decoded pictures: the SSE2 rows and the plain loops against a per-pixel
// reference that divides its way to every chroma sample, over random pictures of each chroma
// layout Theora has, odd crops and regions that reach past the picture.
#include "movie/yuv_to_rgb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

struct Layout {
    const char* name;
    int yWidth, yHeight, uvWidth, uvHeight;
};

// The chroma layouts: 4:2:0, 4:2:2 and 4:4:4, at sizes that are and are not multiples of 16.
constexpr Layout kLayouts[] = {
    {"4:2:0", 48, 32, 24, 16}, {"4:2:0 narrow", 22, 14, 11, 7}, {"4:2:2", 48, 32, 24, 32},
    {"4:4:4", 40, 24, 40, 24}, {"4:4:4 odd", 13, 9, 13, 9},
};

struct Picture {
    std::vector<uint8_t> y, u, v;
    YuvPicture planes;
};

Picture RandomPicture(const Layout& layout, std::mt19937& random) {
    Picture p;
    // Strides wider than the rows, so that a row read from the wrong place shows.
    int yStride = layout.yWidth + 5, uvStride = layout.uvWidth + 3;
    auto fill = [&](std::vector<uint8_t>& plane, size_t bytes) {
        plane.resize(bytes);
        for (uint8_t& b : plane) b = static_cast<uint8_t>(random());
    };
    fill(p.y, static_cast<size_t>(yStride) * layout.yHeight);
    fill(p.u, static_cast<size_t>(uvStride) * layout.uvHeight);
    fill(p.v, static_cast<size_t>(uvStride) * layout.uvHeight);
    p.planes = {p.y.data(), p.u.data(),     p.v.data(),      layout.yWidth, layout.yHeight,
                yStride,    layout.uvWidth, layout.uvHeight, uvStride};
    return p;
}

uint8_t Limit(int value) {
    return static_cast<uint8_t>(std::clamp(value, 0, 255));
}

// The conversion written out per pixel: 4:2:0 in 14-bit fixed point with truncating
// division, the other layouts in floating point.
uint32_t ReferencePixel(const YuvPicture& p, int x, int y) {
    int cx = x * p.uvWidth / p.yWidth, cy = y * p.uvHeight / p.yHeight;
    int lum = p.y[y * p.yStride + x], u = p.u[cy * p.uvStride + cx] - 128,
        v = p.v[cy * p.uvStride + cx] - 128;
    uint8_t r, g, b;
    if (p.yWidth == 2 * p.uvWidth && p.yHeight == 2 * p.uvHeight) {
        int luma = 19070 * (lum - 16);
        r = Limit((luma + 26148 * v) / 16384);
        g = Limit((luma - 6406 * u - 13320 * v) / 16384);
        b = Limit((luma + 33062 * u) / 16384);
    } else {
        double luma = 1.164 * (lum - 16);
        r = Limit(static_cast<int>(luma + 1.596 * v));
        g = Limit(static_cast<int>(luma - 0.391 * u - 0.813 * v));
        b = Limit(static_cast<int>(luma + 2.018 * u));
    }
    return 0xFF000000u | uint32_t{r} << 16 | uint32_t{g} << 8 | b;
}

struct Image {
    std::vector<uint32_t> pixels;
    GraphImage head{};
    Image(int width, int height) : pixels(static_cast<size_t>(width + 3) * height, 0x12345678) {
        head.width = width;
        head.height = height;
        head.pitch = (width + 3) * 4;
        head.pixels = pixels.data();
    }
    uint32_t At(int x, int y) const {
        return pixels[static_cast<size_t>(y) * (head.width + 3) + x];
    }
};

Image Convert(const YuvPicture& p, int left, int top, int width, int height, bool plain) {
    Image image(width, height);
    SetYUVConversionPlainLoopsOnly(plain);
    ConvertYUVPictureToImage(p, left, top, &image.head);
    SetYUVConversionPlainLoopsOnly(false);
    return image;
}

class YuvToRgbTest : public ::testing::Test {
protected:
    void SetUp() override { BuildYUVToRGBTables(); }
};

TEST_F(YuvToRgbTest, BothLoopsEqualTheReferenceForEveryLayoutAndCrop) {
    std::mt19937 random(7);
    for (const Layout& layout : kLayouts) {
        for (int trial = 0; trial < 40; ++trial) {
            Picture picture = RandomPicture(layout, random);
            // Random crops, odd offsets and sizes included; the region stays in the picture.
            int left = static_cast<int>(random() % layout.yWidth);
            int top = static_cast<int>(random() % layout.yHeight);
            int width = 1 + static_cast<int>(random() % (layout.yWidth - left));
            int height = 1 + static_cast<int>(random() % (layout.yHeight - top));
            if (trial == 0) left = top = 0, width = layout.yWidth, height = layout.yHeight;
            Image packed = Convert(picture.planes, left, top, width, height, false);
            Image plain = Convert(picture.planes, left, top, width, height, true);
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    uint32_t expected = ReferencePixel(picture.planes, left + x, top + y);
                    ASSERT_EQ(plain.At(x, y), expected)
                        << layout.name << " trial " << trial << " at " << x << "," << y;
                    ASSERT_EQ(packed.At(x, y), expected)
                        << layout.name << " trial " << trial << " at " << x << "," << y;
                }
                // The pitch's spare pixels stay as they were.
                ASSERT_EQ(packed.At(width, y), 0x12345678u);
            }
        }
    }
}

TEST_F(YuvToRgbTest, ExtremeSamplesSaturateAlike) {
    // Every luma value beside the chroma extremes, where the sums leave 0..255 farthest.
    const uint8_t chroma[] = {0, 1, 127, 128, 254, 255};
    for (uint8_t u : chroma) {
        for (uint8_t v : chroma) {
            std::vector<uint8_t> y(512), us(128, u), vs(128, v);
            for (int i = 0; i < 512; ++i) y[i] = static_cast<uint8_t>(i);
            YuvPicture p{y.data(), us.data(), vs.data(), 256, 2, 256, 128, 1, 128};
            Image packed = Convert(p, 0, 0, 256, 2, false);
            for (int x = 0; x < 256; ++x) {
                ASSERT_EQ(packed.At(x, 0), ReferencePixel(p, x, 0)) << +u << " " << +v;
            }
        }
    }
}

TEST_F(YuvToRgbTest, ARegionPastThePictureRepeatsItsLastColumnAndRow) {
    std::mt19937 random(3);
    Picture picture = RandomPicture(kLayouts[0], random);
    const YuvPicture& p = picture.planes;
    for (bool plain : {false, true}) {
        Image image = Convert(p, 30, 20, 40, 20, plain);
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 40; ++x) {
                ASSERT_EQ(image.At(x, y), ReferencePixel(p, std::min(30 + x, p.yWidth - 1),
                                                         std::min(20 + y, p.yHeight - 1)))
                    << x << "," << y << (plain ? " plain" : " packed");
            }
        }
    }
}

}  // namespace
