#include "graphics/pixel_format_table.h"

#include <initializer_list>

#include "graphics/d3d_device.h"
#include "graphics_fixture.h"

namespace {

using PixelFormatTableTest = GraphicsFixture;

TestD3d9Profile RefusingTextures(std::initializer_list<D3DFORMAT> formats, DWORD usage = 0) {
    TestD3d9Profile profile = TestD3d9DefaultProfile();
    for (D3DFORMAT format : formats) profile.refusedFormats.push_back({format, usage});
    return profile;
}

TEST_F(PixelFormatTableTest, TheDefaultDeviceGetsTheFirstChoiceOfEveryEntry) {
    ASSERT_EQ(SetupLibrary(), 0);
    const D3DFORMAT* f = gPixelFormats.formats;
    EXPECT_EQ(f[kFormat16], D3DFMT_R5G6B5);
    EXPECT_EQ(f[kFormat32], D3DFMT_X8R8G8B8);
    EXPECT_EQ(f[kFormatAlpha16], D3DFMT_A4R4G4B4);
    EXPECT_EQ(f[kFormatAlpha32], D3DFMT_A8R8G8B8);
    EXPECT_EQ(f[kFormatAlphaTest16], D3DFMT_A1R5G5B5);
    EXPECT_EQ(f[kFormatAlphaTest32], D3DFMT_A8R8G8B8);
    EXPECT_EQ(f[kFormatDxt1], D3DFMT_DXT1);
    EXPECT_EQ(f[kFormatDxt1 + 4], D3DFMT_DXT5);
    // A 32-bit back buffer puts X1R5G5B5 before R5G6B5 for 16-bit draw targets.
    EXPECT_EQ(f[kFormatDrawTarget16], D3DFMT_X1R5G5B5);
    EXPECT_EQ(f[kFormatDrawTarget32], D3DFMT_X8R8G8B8);
    EXPECT_EQ(f[kFormatDrawTargetAlpha], D3DFMT_A8R8G8B8);
    EXPECT_EQ(f[14], D3DFMT_UNKNOWN);
    EXPECT_EQ(gPixelFormats.zBufferFormat, D3DFMT_D16);
    EXPECT_EQ(gPixelFormats.drawTargetIndex, kFormatDrawTarget32);
    EXPECT_EQ(gPixelFormats.alphaTestIndex, kFormatAlphaTest32);
    EXPECT_TRUE(InOrder(
        ReadLog(), {
                       "16bit カラーフォーマットは D3DFMT_R5G6B5 です\r\n",
                       "アルファテスト用 32bit カラーフォーマットは D3DFMT_A8R8G8B8 です\r\n",
                       "ＤＸＴ１テクスチャフォーマットはD3DFMT_DXT1 です\r\n",
                       "描画用 16bit カラーフォーマットは D3DFMT_X1R5G5B5 です\r\n",
                       "使用できる描画用ABGR整数16ビット型カラーフォーマットがありませんでした\r\n",
                   }));
}

TEST_F(PixelFormatTableTest, WithoutXrgbTexturesTheThirtyTwoBitEntryTakesTheSixteenBitFormat) {
    TestD3d9Profile profile = RefusingTextures({D3DFMT_X8R8G8B8});
    profile.desktop.Format = D3DFMT_R5G6B5;
    TestD3d9SetProfile(profile);
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(gPixelFormats.formats[kFormat32], D3DFMT_R5G6B5);
    // The back buffer's own layout comes first for 16-bit draw targets.
    EXPECT_EQ(gPixelFormats.formats[kFormatDrawTarget16], D3DFMT_R5G6B5);
    EXPECT_TRUE(InOrder(ReadLog(), {"32bit カラーフォーマットは D3DFMT_R5G6B5 です\r\n"}));
}

TEST_F(PixelFormatTableTest, WithoutDxtTheBlockFormatsFallBackToAlphaFormats) {
    TestD3d9Profile profile = TestD3d9DefaultProfile();
    profile.dxt = false;
    TestD3d9SetProfile(profile);
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(gPixelFormats.formats[kFormatDxt1], gPixelFormats.formats[kFormatAlphaTest16]);
    for (int kind = 1; kind < 5; ++kind) {
        EXPECT_EQ(gPixelFormats.formats[kFormatDxt1 + kind], D3DFMT_A8R8G8B8);
    }
    EXPECT_TRUE(InOrder(ReadLog(), {"ＤＸＴ１テクスチャフォーマットは使えません\r\n",
                                    "ＤＸＴ５テクスチャフォーマットは使えません\r\n"}));
}

TEST_F(PixelFormatTableTest, AMissingAlphaFormatRefusesTheDevice) {
    TestD3d9SetProfile(RefusingTextures({D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8}));
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(IsDirect3DMode(), 0);
    EXPECT_TRUE(InOrder(ReadLog(), {"32bit カラーフォーマットは D3DFMT_X8R8G8B8 です\r\n",
                                    "使用できるアルファ付き 16bit "
                                    "カラーフォーマットが見つかりませんでした\r\n"}));
}

TEST_F(PixelFormatTableTest, AMissingSixteenBitFormatRefusesTheDevice) {
    TestD3d9SetProfile(RefusingTextures({D3DFMT_R5G6B5, D3DFMT_X1R5G5B5}));
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(IsDirect3DMode(), 0);
    EXPECT_TRUE(
        InOrder(ReadLog(), {"使用できる 16bit カラーフォーマットが見つかりませんでした\r\n"}));
}

TEST_F(PixelFormatTableTest, WithoutDepthFormatsTheDeviceIsRefused) {
    TestD3d9SetProfile(
        RefusingTextures({D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D32}, D3DUSAGE_DEPTHSTENCIL));
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(IsDirect3DMode(), 0);
    EXPECT_TRUE(InOrder(ReadLog(), {"使用できる Zバッファフォーマットが見つかりませんでした\r\n"}));
}

TEST_F(PixelFormatTableTest, TheDepthFormatIsTheFirstThatMatchesTheBackBuffer) {
    TestD3d9SetProfile(RefusingTextures({D3DFMT_D16}, D3DUSAGE_DEPTHSTENCIL));
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(gPixelFormats.zBufferFormat, D3DFMT_D24X8);
}

TEST_F(PixelFormatTableTest, MissingDrawTargetFormatsOnlyDisableTheirKind) {
    TestD3d9SetProfile(RefusingTextures(
        {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4}, D3DUSAGE_RENDERTARGET));
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(IsDirect3DMode(), 1);
    EXPECT_EQ(gPixelFormats.formats[kFormatDrawTarget16], D3DFMT_X8R8G8B8);
    EXPECT_EQ(gPixelFormats.formats[kFormatDrawTargetAlpha], D3DFMT_UNKNOWN);
    EXPECT_EQ(gPixelFormats.formats[kFormatAlpha32], D3DFMT_A8R8G8B8);
    EXPECT_TRUE(InOrder(ReadLog(), {"使用できる描画用アルファ付き 32bit "
                                    "カラーフォーマットがありませんでした\r\n"}));
}

TEST_F(PixelFormatTableTest, EntriesDescribeHowTheirPixelsAreWritten) {
    EXPECT_EQ(ColorFormatOfFormatIndex(-1), nullptr);
    EXPECT_EQ(ColorFormatOfFormatIndex(kPixelFormatCount), nullptr);
    const ColorFormat* alphaTest = ColorFormatOfFormatIndex(kFormatAlphaTest16);
    EXPECT_EQ(alphaTest->redMask, 0x7C00u);
    EXPECT_EQ(alphaTest->alphaMask, 0x8000u);
    EXPECT_EQ(alphaTest->pixelBytes, 2);
    const ColorFormat* dxt1 = ColorFormatOfFormatIndex(kFormatDxt1);
    EXPECT_EQ(dxt1->dxtKind, 1);
    EXPECT_EQ(dxt1->bitsPerPixel, 4);
    EXPECT_EQ(dxt1->alphaMask, 0xFF000000u);
    EXPECT_EQ(ColorFormatOfFormatIndex(kFormatDxt1 + 2)->dxtKind, 3);
    EXPECT_EQ(ColorFormatOfFormatIndex(kFormatDxt1 + 2)->bitsPerPixel, 8);
    const ColorFormat* halfFloat = ColorFormatOfFormatIndex(19);
    EXPECT_EQ(halfFloat->channelCount, 1);
    EXPECT_EQ(halfFloat->channelBits, 16);
    EXPECT_EQ(halfFloat->isFloat, 1);
    EXPECT_EQ(ColorFormatOfFormatIndex(kFormatDrawTarget16)->greenMask, 0x07E0u);
}

TEST_F(PixelFormatTableTest, Direct3DFormatsHaveColourFormatsOnlyWhereTheyAreKnown) {
    EXPECT_EQ(ColorFormatOfD3DFormat(D3DFMT_A8L8), nullptr);
    EXPECT_EQ(ColorFormatOfD3DFormat(D3DFMT_DXT1), nullptr);
    EXPECT_EQ(ColorFormatOfD3DFormat(D3DFMT_R8G8B8)->pixelBytes, 3);
    const ColorFormat* abgr = ColorFormatOfD3DFormat(D3DFMT_A2B10G10R10);
    EXPECT_EQ(abgr->redMask, 0x3FFu);
    EXPECT_EQ(abgr->blueMask, 0x3FF00000u);
    EXPECT_EQ(abgr->alphaMask, 0xC0000000u);
    EXPECT_EQ(ColorFormatOfD3DFormat(D3DFMT_X1R5G5B5)->alphaMask, 0u);
    EXPECT_EQ(ColorFormatOfD3DFormat(D3DFMT_A8R3G3B2)->alphaMask, 0xFF00u);
    EXPECT_EQ(ColorFormatOfD3DFormat(D3DFMT_A32B32G32R32F)->channelCount, 4);
    EXPECT_EQ(ColorFormatOfD3DFormat(D3DFMT_A32B32G32R32F)->channelBits, 32);
    EXPECT_STREQ(D3DFormatName(D3DFMT_A16B16G16R16F), "D3DFMT_A16B16G16R16F");
    EXPECT_STREQ(D3DFormatName(D3DFMT_UNKNOWN), "D3DFMT_UNKNOWN");
}

}  // namespace
