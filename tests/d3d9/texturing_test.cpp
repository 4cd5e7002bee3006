// Texture sampling: texel centres, point and bilinear filtering, address modes, mip levels,
// texture coordinate sets and the formats a texture can be stored in.
#include "device_fixture.h"

namespace {

std::vector<DWORD> Pattern(UINT width, UINT height) {
    std::vector<DWORD> pixels(width * height);
    for (UINT i = 0; i < pixels.size(); ++i) {
        pixels[i] = 0xFF000000u | ((i * 37u) & 0xFF) << 16 | ((i * 91u + 13) & 0xFF) << 8 |
                    ((i * 53u + 101) & 0xFF);
    }
    return pixels;
}

}  // namespace

TEST_F(DeviceTest, OneToOneQuadAtHalfPixelOffsetsCopiesTexelsExactly) {
    CreateDevice(32, 32);
    const UINT w = 13, h = 9;
    std::vector<DWORD> texels = Pattern(w, h);
    device_->SetTexture(0, MakeTexture32(D3DFMT_X8R8G8B8, w, h, texels));
    for (DWORD filter : {D3DTEXF_POINT, D3DTEXF_LINEAR}) {
        Clear(0);
        device_->SetSamplerState(0, D3DSAMP_MAGFILTER, filter);
        device_->SetSamplerState(0, D3DSAMP_MINFILTER, filter);
        // Placed at (5, 7): corners at x - 0.5 put texel centres on pixel centres.
        TexturedRect(4.5f, 6.5f, 4.5f + w, 6.5f + h, 0, 0, 1, 1);
        std::vector<DWORD> image = Pixels();
        for (UINT y = 0; y < 32; ++y) {
            for (UINT x = 0; x < 32; ++x) {
                bool inside = x >= 5 && x < 5 + w && y >= 7 && y < 7 + h;
                DWORD expected = inside ? texels[(y - 7) * w + x - 5] : 0xFF000000u;
                ASSERT_EQ(image[y * 32 + x], expected) << x << "," << y << " filter " << filter;
            }
        }
    }
}

TEST_F(DeviceTest, SixteenBitTexturesCopyIntoSixteenBitTargetsUnchanged) {
    CreateDevice(8, 4, D3DFMT_R5G6B5);
    std::vector<WORD> texels = {0xF800, 0x07E0, 0x001F, 0xFFFF, 0x8410, 0x0841, 0x7BEF, 0xA554};
    device_->SetTexture(0, MakeTexture16(D3DFMT_R5G6B5, 8, 1, texels));
    TexturedRect(-0.5f, -0.5f, 7.5f, 0.5f, 0, 0, 1, 1);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(back_->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    const WORD* row = static_cast<const WORD*>(locked.pBits);
    for (UINT x = 0; x < 8; ++x) EXPECT_EQ(row[x], texels[x]) << x;
    back_->UnlockRect();
}

TEST_F(DeviceTest, BilinearTapsAtKnownPositions) {
    CreateDevice(8, 8);
    // Two texels, black and white: a tap a quarter of the way between their centres gives a
    // quarter of white; one half-way gives half.
    device_->SetTexture(0, MakeTexture32(D3DFMT_X8R8G8B8, 2, 1, {0xFF000000, 0xFFFFFFFF}));
    device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    // u at pixel x: 0.25 + x * 0.125, i.e. texel coordinate 0.5 + x * 0.25.
    TexturedRect(-0.5f, -0.5f, 7.5f, 0.5f, 0.25f - 0.0625f, 0.5f, 1.25f - 0.0625f, 0.5f);
    const DWORD expected[] = {0x00, 0x40, 0x80, 0xBF, 0xFF, 0xFF, 0xFF, 0xFF};
    for (UINT x = 0; x < 8; ++x) {
        DWORD e = expected[x];
        EXPECT_EQ(Pixel(x, 0), 0xFF000000u | e << 16 | e << 8 | e) << x;
    }
}

TEST_F(DeviceTest, AddressModesFoldCoordinatesOutsideTheTexture) {
    CreateDevice(8, 1);
    // Texels 0..3 of distinct greys; u from -1 to 1 across 8 pixels hits texels -4..3.
    std::vector<DWORD> texels = {0xFF101010, 0xFF202020, 0xFF303030, 0xFF404040};
    device_->SetTexture(0, MakeTexture32(D3DFMT_X8R8G8B8, 4, 1, texels));
    device_->SetSamplerState(0, D3DSAMP_BORDERCOLOR, 0xFFAA0000);
    struct Case {
        DWORD mode;
        int texel[8];  // -1: the border colour
    } cases[] = {
        {D3DTADDRESS_WRAP, {0, 1, 2, 3, 0, 1, 2, 3}},
        {D3DTADDRESS_MIRROR, {3, 2, 1, 0, 0, 1, 2, 3}},
        {D3DTADDRESS_CLAMP, {0, 0, 0, 0, 0, 1, 2, 3}},
        {D3DTADDRESS_BORDER, {-1, -1, -1, -1, 0, 1, 2, 3}},
        {D3DTADDRESS_MIRRORONCE, {3, 2, 1, 0, 0, 1, 2, 3}},
    };
    for (const Case& c : cases) {
        device_->SetSamplerState(0, D3DSAMP_ADDRESSU, c.mode);
        TexturedRect(-0.5f, -0.5f, 7.5f, 0.5f, -1, 0.5f, 1, 0.5f);
        for (UINT x = 0; x < 8; ++x) {
            DWORD expected = c.texel[x] < 0 ? 0xFFAA0000u : texels[c.texel[x]];
            EXPECT_EQ(Pixel(x, 0), expected) << "mode " << c.mode << " pixel " << x;
        }
    }
}

TEST_F(DeviceTest, MinificationPicksTheMipLevelOfTheFootprint) {
    CreateDevice(8, 8);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(
        device_->CreateTexture(32, 32, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
        D3D_OK);
    Keep(texture);
    ASSERT_EQ(texture->GetLevelCount(), 6u);
    const DWORD levelColor[] = {0xFF0000FF, 0xFF00FF00, 0xFFFF0000,
                                0xFFFFFF00, 0xFF00FFFF, 0xFFFFFFFF};
    for (UINT level = 0; level < 6; ++level) {
        D3DSURFACE_DESC desc;
        texture->GetLevelDesc(level, &desc);
        EXPECT_EQ(desc.Width, 32u >> level);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(texture->LockRect(level, &locked, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < desc.Height; ++y) {
            auto* row =
                reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch);
            for (UINT x = 0; x < desc.Width; ++x) row[x] = levelColor[level];
        }
        texture->UnlockRect(level);
    }
    device_->SetTexture(0, texture);
    device_->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    // 32 texels over 8 pixels: 4 texels a pixel, level 2.
    TexturedRect(-0.5f, -0.5f, 7.5f, 7.5f, 0, 0, 1, 1);
    EXPECT_EQ(Pixel(3, 3), levelColor[2]);
    // Magnified: level 0 whatever the mip filter; MAXMIPLEVEL moves the top level down.
    TexturedRect(-0.5f, -0.5f, 7.5f, 7.5f, 0, 0, 0.1f, 0.1f);
    EXPECT_EQ(Pixel(3, 3), levelColor[0]);
    device_->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, 1);
    TexturedRect(-0.5f, -0.5f, 7.5f, 7.5f, 0, 0, 0.1f, 0.1f);
    EXPECT_EQ(Pixel(3, 3), levelColor[1]);
    // Without mip filtering the top level is used even when minified.
    device_->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, 0);
    device_->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    TexturedRect(-0.5f, -0.5f, 7.5f, 7.5f, 0, 0, 1, 1);
    EXPECT_EQ(Pixel(3, 3), levelColor[0]);
}

TEST_F(DeviceTest, TexCoordIndexChoosesTheCoordinateSet) {
    CreateDevice(4, 1);
    device_->SetTexture(
        0, MakeTexture32(D3DFMT_X8R8G8B8, 4, 1, {0xFF000011, 0xFF000022, 0xFF000033, 0xFF000044}));
    // Set 0 reads texel 3, set 1 texel 1, everywhere.
    std::vector<TwoTextureVertex> v = {
        {-0.5f, -0.5f, 0, 1, 0xFFFFFFFF, 0, 0.875f, 0.5f, 0.375f, 0.5f},
        {3.5f, -0.5f, 0, 1, 0xFFFFFFFF, 0, 0.875f, 0.5f, 0.375f, 0.5f},
        {-0.5f, 0.5f, 0, 1, 0xFFFFFFFF, 0, 0.875f, 0.5f, 0.375f, 0.5f},
        {3.5f, 0.5f, 0, 1, 0xFFFFFFFF, 0, 0.875f, 0.5f, 0.375f, 0.5f}};
    Draw(D3DPT_TRIANGLESTRIP, kTwoTextureFvf, v, 2);
    EXPECT_EQ(Pixel(0, 0), 0xFF000044u);
    device_->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 1);
    Draw(D3DPT_TRIANGLESTRIP, kTwoTextureFvf, v, 2);
    EXPECT_EQ(Pixel(0, 0), 0xFF000022u);
}

TEST_F(DeviceTest, PerspectiveCorrectTexturingOfNonUniformRhw) {
    CreateDevice(8, 1);
    device_->SetTexture(0, MakeTexture32(D3DFMT_X8R8G8B8, 2, 1, {0xFF000000, 0xFFFFFFFF}));
    // The right end is four times as far (rhw 0.25): the texel boundary at u = 0.5 lies at
    // screen x = 0.8 of the way in perspective, not half-way.
    std::vector<TexturedScreenVertex> v = {{-0.5f, -0.5f, 0, 1.0f, 0xFFFFFFFF, 0, 0.5f},
                                           {7.5f, -0.5f, 0, 0.25f, 0xFFFFFFFF, 1, 0.5f},
                                           {-0.5f, 0.5f, 0, 1.0f, 0xFFFFFFFF, 0, 0.5f},
                                           {7.5f, 0.5f, 0, 0.25f, 0xFFFFFFFF, 1, 0.5f}};
    Draw(D3DPT_TRIANGLESTRIP, kTexturedFvf, v, 2);
    // u(x) = (t / 4) / (1 - t + t / 4) with t = (x + 0.5) / 8; u < 0.5 while t < 0.8.
    for (UINT x = 0; x < 8; ++x) {
        double t = (x + 0.5) / 8.0;
        bool white = (t / 4) / (1 - t + t / 4) >= 0.5;
        EXPECT_EQ(Pixel(x, 0), white ? 0xFFFFFFFFu : 0xFF000000u) << x;
    }
}

TEST_F(DeviceTest, SixteenBitTexelsWidenByRepeatingTheirHighBits) {
    CreateDevice(4, 1);
    IDirect3DSurface9* target = UseArgbTarget(4, 1);
    struct Case {
        D3DFORMAT format;
        WORD texel;
        DWORD argb;
    } cases[] = {
        {D3DFMT_R5G6B5, 0x7BEF, 0xFF7B7D7B},  // 15, 31, 15
        {D3DFMT_R5G6B5, 0xF81F, 0xFFFF00FF},
        {D3DFMT_X1R5G5B5, 0x0421, 0xFF080808},  // X bit clear still reads opaque
        {D3DFMT_A1R5G5B5, 0x7FFF, 0x00FFFFFF},
        {D3DFMT_A1R5G5B5, 0x8000, 0xFF000000},
        {D3DFMT_A4R4G4B4, 0x5A3C, 0x55AA33CC},
    };
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    for (const Case& c : cases) {
        device_->SetTexture(0, MakeTexture16(c.format, 1, 1, {c.texel}));
        TexturedRect(-0.5f, -0.5f, 3.5f, 0.5f, 0, 0, 1, 1);
        EXPECT_EQ(TestD3d9ReadPixel(target, 2, 0), c.argb) << "format " << c.format;
    }
}

TEST_F(DeviceTest, DxtBlocksDecodeAsTheFrameworkExpandsThem) {
    CreateDevice(4, 4);
    IDirect3DTexture9* texture = nullptr;
    auto load = [&](D3DFORMAT format, const std::vector<BYTE>& block) {
        ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, format, D3DPOOL_MANAGED, &texture, nullptr),
                  D3D_OK);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
        EXPECT_EQ(locked.Pitch % static_cast<INT>(block.size()), 0);
        std::copy(block.begin(), block.end(), static_cast<BYTE*>(locked.pBits));
        texture->UnlockRect(0);
    };
    auto texel = [&](UINT x, UINT y) {
        IDirect3DSurface9* level = nullptr;
        texture->GetSurfaceLevel(0, &level);
        DWORD value = TestD3d9ReadPixel(level, x, y);
        level->Release();
        return value;
    };
    // DXT1, c0 = white > c1 = 0x0010 (blue 16): indices 0, 1, 2, 3 along the first row.
    load(D3DFMT_DXT1, {0xFF, 0xFF, 0x10, 0x00, 0xE4, 0, 0, 0});
    DWORD blue = 16 * 255 / 31;  // 131
    EXPECT_EQ(texel(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(texel(1, 0), 0xFF000000u | blue);
    EXPECT_EQ(texel(2, 0),
              0xFF000000u | (2 * 255 / 3) << 16 | (2 * 255 / 3) << 8 | (2 * 255 + blue) / 3);
    EXPECT_EQ(texel(3, 0), 0xFF000000u | (255 / 3) << 16 | (255 / 3) << 8 | (255 + 2 * blue) / 3);
    EXPECT_EQ(texel(0, 1), 0xFFFFFFFFu);
    texture->Release();
    // DXT1 with c0 <= c1: index 3 is transparent.
    load(D3DFMT_DXT1, {0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(texel(2, 2) >> 24, 0u);
    texture->Release();
    // DXT3: explicit 4-bit alpha (pixel 1 = 0xF, pixel 0 = 0x3).
    load(D3DFMT_DXT3, {0xF3, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0});
    EXPECT_EQ(texel(0, 0), 0x33FFFFFFu);
    EXPECT_EQ(texel(1, 0), 0xFFFFFFFFu);
    texture->Release();
    // DXT5: a0 = 200 > a1 = 100; index 2 is (6 * 200 + 100) / 7.
    load(D3DFMT_DXT5, {200, 100, 0x02, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0});
    EXPECT_EQ(texel(0, 0) >> 24, (6u * 200 + 100) / 7);
    EXPECT_EQ(texel(1, 0) >> 24, 200u);
    texture->Release();
}
