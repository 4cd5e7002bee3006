// Memory images: creation, pitch rules, derivation and release of shared bodies, clearing,
// copying and transfers from decoded images; the blend tables; the soft-image handle kind.
#include "softrender/mem_img.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "graphics/soft_image.h"

namespace {

struct MemImgTest : ::testing::Test {
    MEMIMG img{};
    void TearDown() override { ReleaseMemImg(&img); }
};

TEST_F(MemImgTest, PitchAndItsLog2) {
    ASSERT_EQ(CreateMemImgDefault(&img, 640, 480, 0), 0);
    EXPECT_EQ(img.body->pitch, 1280);
    EXPECT_EQ(img.body->pitchLog2, -1);
    ReleaseMemImg(&img);
    ASSERT_EQ(CreateMemImgDefault(&img, 512, 4, 0), 0);
    EXPECT_EQ(img.body->pitch, 1024);
    EXPECT_EQ(img.body->pitchLog2, 10);
    ReleaseMemImg(&img);
    ASSERT_EQ(CreateMemImgDefault(&img, 1, 3, kMemImgSingle8), 0);
    EXPECT_EQ(img.body->pitch, 16);
    EXPECT_EQ(img.body->pitchLog2, -1);
    ReleaseMemImg(&img);
    // A given pitch is kept; one narrower than a row is refused.
    ASSERT_EQ(CreateMemImg(&img, 10, 2, 64, 0, kMemImgXrgb8888, 0, 0, 0, nullptr), 0);
    EXPECT_EQ(img.body->pitchLog2, 6);
    ReleaseMemImg(&img);
    EXPECT_EQ(CreateMemImg(&img, 10, 2, 20, 0, kMemImgXrgb8888, 0, 0, 0, nullptr), -1);
    EXPECT_EQ(IsMemImgValid(&img), 0);
}

TEST_F(MemImgTest, FlagsAndFormatsFollowTheColourType) {
    ASSERT_EQ(CreateMemImg(&img, 4, 4, -1, 7, kMemImgRgb565, 0, 1, 0, nullptr), 0);
    EXPECT_EQ(img.body->format->pixelBytes, 4);
    EXPECT_EQ(img.body->format->alphaMask, 0x00FF0000u);
    EXPECT_EQ(img.body->pitch, 16);
    EXPECT_EQ(img.body->transparentColor, 7u);
    EXPECT_EQ(img.body->palette, nullptr);
    ReleaseMemImg(&img);
    // A palette rules out alpha; single-channel types have neither.
    ASSERT_EQ(CreateMemImg(&img, 4, 4, -1, 0, kMemImgXrgb8888, 1, 1, 0, nullptr), 0);
    EXPECT_EQ(img.body->alphaFlag, 0);
    EXPECT_EQ(img.body->format->pixelBytes, 1);
    ASSERT_NE(img.body->palette, nullptr);
    EXPECT_EQ(img.body->paletteHigh, img.body->palette + 1024);
    ReleaseMemImg(&img);
    ASSERT_EQ(CreateMemImg(&img, 4, 4, -1, 0, kMemImgSingle16, 1, 1, 0, nullptr), 0);
    EXPECT_EQ(img.body->paletteFlag, 0);
    EXPECT_EQ(img.body->format->pixelBytes, 2);
    EXPECT_EQ(img.body->format->redMask, 0xFFFFu);

    ReleaseMemImg(&img);
    SetMemImgDefaultColorType(kMemImgXrgb8888);
    ASSERT_EQ(CreateMemImgDefault(&img, 2, 2, -1), 0);
    EXPECT_EQ(img.body->colorType, kMemImgXrgb8888);
    SetMemImgDefaultColorType(kMemImgRgb565);

    EXPECT_EQ(GetMemImgColorFormat(4, 0, 0), nullptr);
    EXPECT_EQ(GetMemImgColorFormat(1, 1, 0)->alphaMask, 0xFF000000u);
    EXPECT_EQ(GetMemImgColorFormat(0, 0, 0), GetMemImgColorFormat(0, 0, 0));
    EXPECT_EQ(GetMemImgColorFormat(0, 0, 0)->bitsPerPixel, 16);
}

TEST_F(MemImgTest, CreatingTwiceKeepsTheFirstImage) {
    ASSERT_EQ(CreateMemImgDefault(&img, 8, 8, 1), 0);
    MemImgBody* body = img.body;
    EXPECT_EQ(CreateMemImg(&img, 4, 4, -1, 0, 0, 0, 0, 0, nullptr), -1);
    EXPECT_EQ(img.body, body);
    EXPECT_EQ(img.width, 8);
}

TEST_F(MemImgTest, CallerPixelsAreNotOwned) {
    uint32_t pixels[16] = {};
    ASSERT_EQ(CreateMemImg(&img, 4, 4, 16, 0, kMemImgXrgb8888, 0, 0, 0, pixels), 0);
    EXPECT_EQ(img.pixels, reinterpret_cast<uint8_t*>(pixels));
    EXPECT_EQ(img.body->callerBufferFlag, 1);
    ReleaseMemImg(&img);  // must not free the array
    EXPECT_EQ(img.magic, 0u);
}

TEST_F(MemImgTest, DerivedImagesShareTheBody) {
    ASSERT_EQ(CreateMemImgDefault(&img, 32, 32, kMemImgXrgb8888), 0);
    MEMIMG child{};
    DeriveMemImg(&child, &img, 10, 10, 23, 20);  // 10 + 23 > 32
    EXPECT_EQ(IsMemImgValid(&child), 0);
    DeriveMemImg(&child, &img, -1, 0, 2, 2);
    EXPECT_EQ(IsMemImgValid(&child), 0);
    DeriveMemImg(&child, &img, 4, 2, 8, 6);
    ASSERT_EQ(IsMemImgValid(&child), 1);
    EXPECT_EQ(child.pixels, img.pixels + 2 * img.body->pitch + 16);
    EXPECT_EQ(child.body->refCount, 2);

    // The parent goes first; the child's pixels stay usable until it goes too.
    ReleaseMemImg(&img);
    EXPECT_EQ(child.body->refCount, 1);
    ClearMemImgRect(&child, nullptr, 0x12345678);
    EXPECT_EQ(*reinterpret_cast<uint32_t*>(child.pixels), 0x12345678u);
    ReleaseMemImg(&child);
    EXPECT_EQ(child.body, nullptr);
}

TEST_F(MemImgTest, ClearIsClippedToTheImage) {
    ASSERT_EQ(CreateMemImgDefault(&img, 4, 3, kMemImgRgb565), 0);
    ClearMemImgRect(&img, nullptr, 0);
    RECT outside = {10, 10, 20, 20};
    ClearMemImgRect(&img, &outside, 0xFFFF);
    RECT corner = {-5, 1, 2, 9};
    ClearMemImgRect(&img, &corner, 0xABCD);
    auto at = [&](int x, int y) {
        return *reinterpret_cast<uint16_t*>(img.pixels + y * img.body->pitch + x * 2);
    };
    EXPECT_EQ(at(0, 0), 0);
    EXPECT_EQ(at(0, 1), 0xABCD);
    EXPECT_EQ(at(1, 2), 0xABCD);
    EXPECT_EQ(at(2, 1), 0);
}

TEST_F(MemImgTest, CopyConvertsBetweenTypesAndChecksRectangles) {
    ASSERT_EQ(CreateMemImgDefault(&img, 4, 4, kMemImgXrgb8888), 0);
    MEMIMG dest{};
    ASSERT_EQ(CreateMemImgDefault(&dest, 4, 4, kMemImgRgb565), 0);
    ClearMemImgRect(&img, nullptr, 0xFFFF0000);
    ClearMemImgRect(&dest, nullptr, 0);
    RECT rect = {1, 1, 3, 2};
    EXPECT_EQ(CopyMemImgRect(&dest, &img, &rect, 2, 3), 0);
    EXPECT_EQ(*reinterpret_cast<uint16_t*>(dest.pixels + 3 * dest.body->pitch + 4), 0xF800);
    EXPECT_EQ(*reinterpret_cast<uint16_t*>(dest.pixels + 3 * dest.body->pitch + 2), 0);
    EXPECT_EQ(CopyMemImgRect(&dest, &img, &rect, 3, 3), -1);
    ReleaseMemImg(&dest);
}

TEST_F(MemImgTest, TransferBringsPixelsAlphaAndPalette) {
    GraphImage image{};
    ASSERT_EQ(AllocGraphImageXRGB32(2, 2, &image), 0);
    auto* p = static_cast<uint32_t*>(image.pixels);
    p[0] = 0xFF102030, p[1] = 0xFF405060, p[2] = 0xFF708090, p[3] = 0xFFA0B0C0;
    GraphImage alpha{};
    ColorFormat grey{};
    SetColorFormatGrey8(&grey);
    ASSERT_EQ(AllocGraphImage(2, 2, &grey, &alpha), 0);
    std::memcpy(alpha.pixels, "\x11\x22\x00\x00\x33\x44", 6);
    ASSERT_EQ(CreateMemImg(&img, 2, 2, -1, 0, kMemImgXrgb8888, 0, 1, 0, nullptr), 0);
    img.body->runLengthFlag = 1;
    ASSERT_EQ(TransferImageToMemImg(&image, &alpha, &img, 0, 0, 2, 2, 0, 0, 0), 0);
    auto* out = reinterpret_cast<uint32_t*>(img.pixels);
    EXPECT_EQ(out[0], 0x11102030u);
    EXPECT_EQ(out[1], 0x22405060u);
    EXPECT_EQ(reinterpret_cast<uint32_t*>(img.pixels + img.body->pitch)[1], 0x44A0B0C0u);
    EXPECT_EQ(img.body->runLengthFlag, 0);
    EXPECT_EQ(TransferImageToMemImg(&image, nullptr, &img, 1, 0, 2, 2, 0, 0, 0), -1);
    ReleaseMemImg(&img);
    FreeGraphImage(&alpha);
    FreeGraphImage(&image);

    // A palette image brings its entries in the memory image's own colour type.
    ColorFormat pal{};
    SetColorFormatPalette8(&pal);
    pal.palette[5] = {0xFF, 0x00, 0xFF, 0};
    ASSERT_EQ(AllocGraphImage(2, 1, &pal, &image), 0);
    std::memcpy(image.pixels, "\x05\x02", 2);
    ASSERT_EQ(CreateMemImg(&img, 2, 1, -1, 0, kMemImgRgb565, 1, 0, 0, nullptr), 0);
    ASSERT_EQ(TransferImageToMemImg(&image, nullptr, &img, 0, 0, 2, 1, 0, 0, 0), 0);
    EXPECT_EQ(img.pixels[0], 5);
    EXPECT_EQ(img.body->paletteCount, 6);
    uint16_t entry;
    std::memcpy(&entry, img.body->palette + 10, 2);
    EXPECT_EQ(entry, 0xF81F);
    std::memcpy(&entry, img.body->paletteHigh + 10, 2);
    EXPECT_EQ(entry, 0xF81F);
    FreeGraphImage(&image);
}

// A transfer of every pixel of an image made with a stream buffer writes the stream from the
// new pixels; anything less, or a change to the pixels afterwards, leaves it unusable.
TEST_F(MemImgTest, WholeTransfersWriteTheRunLengthStream) {
    GraphImage image{};
    ASSERT_EQ(AllocGraphImageARGB32(4, 2, &image), 0);
    const uint32_t argb[8] = {0x00123456, 0xFF123456, 0x80123456, 0x80654321,
                              0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000};
    for (int y = 0; y < 2; ++y)
        std::memcpy(static_cast<uint8_t*>(image.pixels) + y * image.pitch, argb + y * 4, 16);
    ASSERT_EQ(CreateMemImg(&img, 4, 2, -1, 0, kMemImgXrgb8888, 0, 1, 1, nullptr), 0);
    ASSERT_NE(img.body->runLengthMemory, nullptr);
    MemImgBody* body = img.body;
    auto stream = [&] {
        return std::vector<uint8_t>(body->runLengthMemory, body->runLengthMemory + 6);
    };
    const std::vector<uint8_t> written = {0x00, 0x40, 0x81, 0xC0, 0x43, 0xC0};

    ASSERT_EQ(TransferImageToMemImg(&image, nullptr, &img, 0, 0, 4, 2, 0, 0, 0), 0);
    EXPECT_EQ(body->runLengthFlag, 1);
    EXPECT_EQ(stream(), written);
    EXPECT_EQ(body->premultipliedFlag, 0);
    // A refused transfer touches neither flag nor stream.
    EXPECT_EQ(TransferImageToMemImg(&image, nullptr, &img, 1, 0, 4, 2, 0, 0, 0), -1);
    EXPECT_EQ(body->runLengthFlag, 1);
    ASSERT_EQ(TransferImageToMemImg(&image, nullptr, &img, 0, 0, 2, 2, 0, 0, 0), 0);
    EXPECT_EQ(body->runLengthFlag, 0);
    ASSERT_EQ(TransferImageToMemImg(&image, nullptr, &img, 0, 0, 4, 2, 0, 0, 0), 0);
    EXPECT_EQ(body->runLengthFlag, 1);

    // A whole sub-image is not the whole body the stream describes.
    MEMIMG row{};
    DeriveMemImg(&row, &img, 0, 1, 4, 1);
    ASSERT_EQ(TransferImageToMemImg(&image, nullptr, &row, 0, 0, 4, 1, 0, 0, 0), 0);
    EXPECT_EQ(body->runLengthFlag, 0);
    EXPECT_EQ(stream(), written);
    ReleaseMemImg(&row);

    ASSERT_EQ(TransferImageToMemImg(&image, nullptr, &img, 0, 0, 4, 2, 0, 0, 0), 0);
    RECT outside = {5, 0, 9, 2};
    ClearMemImgRect(&img, &outside, 0);
    EXPECT_EQ(body->runLengthFlag, 1);
    RECT pixel = {3, 1, 4, 2};
    ClearMemImgRect(&img, &pixel, 0);
    EXPECT_EQ(body->runLengthFlag, 0);
    ASSERT_EQ(TransferImageToMemImg(&image, nullptr, &img, 0, 0, 4, 2, 0, 0, 0), 0);
    MEMIMG other{};
    ASSERT_EQ(CreateMemImg(&other, 1, 1, -1, 0, kMemImgXrgb8888, 0, 1, 0, nullptr), 0);
    EXPECT_EQ(CopyMemImgRect(&img, &other, nullptr, 0, 0), 0);
    EXPECT_EQ(body->runLengthFlag, 0);
    ReleaseMemImg(&other);
    FreeGraphImage(&image);
}

TEST(MemImgTables, ProductsAndInterpolation) {
    SetupMemImgTables();
    const MemImgDrawState& s = gMemImgDraw;
    EXPECT_EQ(s.productTable[255][255], 255u);
    EXPECT_EQ(s.productTable[128][128], 64u);
    EXPECT_EQ(s.signedProductTable[128][0], -128);
    EXPECT_EQ(s.signedProductTable[100][255 - 3], -1);  // -300 / 255 toward zero
    EXPECT_EQ(s.signedProductTable[100][255 + 3], 1);
    EXPECT_EQ(s.signedProductTable[200][511], 0);
    EXPECT_EQ(s.lerp6Table[63][10][50], 10);
    EXPECT_EQ(s.lerp6Table[0][10][50], 50);
    EXPECT_EQ(s.lerp6Table[21][63][0], 21);
}

TEST(MemImgTables, BlendGraphThresholds) {
    SetBlendGraphThresholds(0, 40);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(gMemImgDraw.blendGraphThresholds[i], 255);
    SetBlendGraphThresholds(128, 255);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(gMemImgDraw.blendGraphThresholds[i], i);
    SetBlendGraphThresholds(128, 0);
    EXPECT_EQ(gMemImgDraw.blendGraphThresholds[127], 0);
    EXPECT_EQ(gMemImgDraw.blendGraphThresholds[128], 128);
    EXPECT_EQ(gMemImgDraw.blendGraphThresholds[129], 255);
}

TEST(SoftImages, HandlesFreeTheirImagesWhenDeleted) {
    ASSERT_EQ(RegisterSoftImageHandleType(), 0);
    EXPECT_EQ(RegisterSoftImageHandleType(), -1);
    HandleRegistry* registry = GetSoftImageHandleRegistry();
    Handle handle = IssueHandle(registry, -1);
    ASSERT_GE(handle, 0);
    EXPECT_EQ((handle >> 26) & 31, kHandleKindSoftImage);
    auto* record = reinterpret_cast<SoftImageRecord*>(FindHandleRecord(registry, handle));
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(AllocGraphImageARGB32(8, 8, &record->image), 0);
    EXPECT_EQ(DeleteAllSoftImages(), 0);
    EXPECT_EQ(FindHandleRecord(registry, handle), nullptr);
    EXPECT_EQ(UnregisterSoftImageHandleType(), 0);
    EXPECT_EQ(UnregisterSoftImageHandleType(), -1);
}

}  // namespace
