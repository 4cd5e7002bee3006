// Offscreen plain surfaces in the video formats YV12, YUY2 and UYVY: what the device answers
// about them, the memory layout a lock gives, and StretchRect's conversion to RGB.
#include <algorithm>
#include <cmath>
#include <random>

#include "device_fixture.h"

namespace {

// BT.601 video range in 14-bit fixed point, floored, each channel limited to 0..255.
DWORD ExpectedArgb(int y, int u, int v) {
    auto channel = [](double sum) {
        return static_cast<DWORD>(std::clamp(std::floor(sum / 16384), 0.0, 255.0));
    };
    double luma = 19070.0 * (y - 16);
    return 0xFF000000u | channel(luma + 26148.0 * (v - 128)) << 16 |
           channel(luma - 6406.0 * (u - 128) - 13320.0 * (v - 128)) << 8 |
           channel(luma + 33062.0 * (u - 128));
}

// A picture with its own Y per pixel and U, V per 2x2 block.
struct Samples {
    int width, height;
    std::vector<BYTE> y, u, v;
    int Y(int x, int row) const { return y[row * width + x]; }
    int U(int x, int row) const { return u[(row / 2) * (width / 2) + x / 2]; }
    int V(int x, int row) const { return v[(row / 2) * (width / 2) + x / 2]; }
};

Samples RandomSamples(int width, int height, unsigned seed) {
    std::mt19937 random(seed);
    Samples s{width, height, {}, {}, {}};
    for (int i = 0; i < width * height; ++i) s.y.push_back(static_cast<BYTE>(random()));
    for (int i = 0; i < width * height / 4; ++i) {
        s.u.push_back(static_cast<BYTE>(random()));
        s.v.push_back(static_cast<BYTE>(random()));
    }
    return s;
}

class YuvSurfaceTest : public DeviceTest {
protected:
    IDirect3DSurface9* MakeSurface(D3DFORMAT format, UINT width, UINT height) {
        IDirect3DSurface9* surface = nullptr;
        EXPECT_EQ(device_->CreateOffscreenPlainSurface(width, height, format, D3DPOOL_DEFAULT,
                                                       &surface, nullptr),
                  D3D_OK);
        return surface != nullptr ? Keep(surface) : nullptr;
    }

    // Writes the samples through a lock in the layout Direct3D gives the format.
    void Write(IDirect3DSurface9* surface, D3DFORMAT format, const Samples& s) {
        D3DLOCKED_RECT locked;
        ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), D3D_OK);
        BYTE* bits = static_cast<BYTE*>(locked.pBits);
        int pitch = locked.Pitch;
        for (int row = 0; row < s.height; ++row) {
            for (int x = 0; x < s.width; x += 2) {
                BYTE* pair = bits + row * pitch + x * 2;
                BYTE y0 = s.y[row * s.width + x], y1 = s.y[row * s.width + x + 1];
                BYTE u = static_cast<BYTE>(s.U(x, row)), v = static_cast<BYTE>(s.V(x, row));
                if (format == D3DFMT_YV12) {
                    bits[row * pitch + x] = y0;
                    bits[row * pitch + x + 1] = y1;
                    // V plane after the luma rows, U plane after it, both at half the pitch.
                    BYTE* vPlane = bits + pitch * s.height;
                    BYTE* uPlane = vPlane + (pitch / 2) * (s.height / 2);
                    vPlane[(row / 2) * (pitch / 2) + x / 2] = v;
                    uPlane[(row / 2) * (pitch / 2) + x / 2] = u;
                } else if (format == D3DFMT_YUY2) {
                    pair[0] = y0, pair[1] = u, pair[2] = y1, pair[3] = v;
                } else {
                    pair[0] = u, pair[1] = y0, pair[2] = v, pair[3] = y1;
                }
            }
        }
        ASSERT_EQ(surface->UnlockRect(), D3D_OK);
    }

    IDirect3DSurface9* MakeTarget(UINT width, UINT height) {
        IDirect3DSurface9* target = nullptr;
        EXPECT_EQ(device_->CreateRenderTarget(width, height, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE,
                                              0, TRUE, &target, nullptr),
                  D3D_OK);
        return Keep(target);
    }
};

constexpr D3DFORMAT kVideoFormats[] = {D3DFMT_YV12, D3DFMT_YUY2, D3DFMT_UYVY};

TEST_F(YuvSurfaceTest, VideoFormatsAreOfferedForPlainSurfacesOnly) {
    CreateDevice();
    for (D3DFORMAT format : kVideoFormats) {
        EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_SURFACE,
                                          format),
                  D3D_OK);
        EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE,
                                          format),
                  D3DERR_NOTAVAILABLE);
        EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET,
                                          D3DRTYPE_SURFACE, format),
                  D3DERR_NOTAVAILABLE);
        EXPECT_EQ(d3d_->CheckDeviceFormatConversion(0, D3DDEVTYPE_HAL, format, D3DFMT_X8R8G8B8),
                  D3D_OK);
        EXPECT_EQ(d3d_->CheckDeviceFormatConversion(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, format),
                  D3DERR_NOTAVAILABLE);
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(device_->CreateTexture(8, 8, 1, 0, format, D3DPOOL_DEFAULT, &texture, nullptr),
                  D3DERR_INVALIDCALL);
        // Chroma is shared by pixel pairs: odd widths are refused, and odd heights for YV12.
        IDirect3DSurface9* surface = nullptr;
        EXPECT_EQ(
            device_->CreateOffscreenPlainSurface(7, 8, format, D3DPOOL_DEFAULT, &surface, nullptr),
            D3DERR_INVALIDCALL);
        EXPECT_EQ(
            device_->CreateOffscreenPlainSurface(8, 7, format, D3DPOOL_DEFAULT, &surface, nullptr),
            format == D3DFMT_YV12 ? D3DERR_INVALIDCALL : D3D_OK);
        if (surface != nullptr) surface->Release();
    }
}

TEST_F(YuvSurfaceTest, StretchRectConvertsEachLayoutToRgb) {
    CreateDevice();
    TestD3d9SetPitchPadding(4);  // a pitch beyond the row: the chroma planes follow the pitch
    Samples s = RandomSamples(16, 10, 11);
    for (D3DFORMAT format : kVideoFormats) {
        IDirect3DSurface9* surface = MakeSurface(format, 16, 10);
        ASSERT_NE(surface, nullptr);
        Write(surface, format, s);
        IDirect3DSurface9* target = MakeTarget(16, 10);
        ASSERT_EQ(device_->StretchRect(surface, nullptr, target, nullptr, D3DTEXF_NONE), D3D_OK);
        for (int row = 0; row < 10; ++row) {
            for (int x = 0; x < 16; ++x) {
                ASSERT_EQ(TestD3d9ReadPixel(target, x, row),
                          ExpectedArgb(s.Y(x, row), s.U(x, row), s.V(x, row)))
                    << format << " at " << x << "," << row;
            }
        }
        // A sub-rectangle from an odd column, and a doubled one through the filtered path.
        RECT from = {3, 1, 11, 9}, to = {0, 0, 8, 8}, wide = {0, 0, 16, 10};
        ASSERT_EQ(device_->StretchRect(surface, &from, target, &to, D3DTEXF_NONE), D3D_OK);
        EXPECT_EQ(TestD3d9ReadPixel(target, 0, 0), ExpectedArgb(s.Y(3, 1), s.U(3, 1), s.V(3, 1)));
        RECT half = {0, 0, 8, 5};
        ASSERT_EQ(device_->StretchRect(surface, &half, target, &wide, D3DTEXF_POINT), D3D_OK);
        EXPECT_EQ(TestD3d9ReadPixel(target, 15, 9), ExpectedArgb(s.Y(7, 4), s.U(7, 4), s.V(7, 4)));
    }
}

TEST_F(YuvSurfaceTest, VideoSurfacesRefuseWhatTheirLayoutCannotTake) {
    CreateDevice();
    IDirect3DSurface9* planar = MakeSurface(D3DFMT_YV12, 8, 8);
    IDirect3DSurface9* packed = MakeSurface(D3DFMT_YUY2, 8, 8);
    ASSERT_NE(planar, nullptr);
    ASSERT_NE(packed, nullptr);
    D3DLOCKED_RECT locked;
    RECT part = {0, 0, 4, 4}, odd = {1, 0, 4, 4};
    EXPECT_EQ(planar->LockRect(&locked, &part, 0), D3DERR_INVALIDCALL);  // planes lock whole
    EXPECT_EQ(packed->LockRect(&locked, &odd, 0), D3DERR_INVALIDCALL);   // pairs lock whole
    ASSERT_EQ(packed->LockRect(&locked, &part, 0), D3D_OK);
    packed->UnlockRect();
    // Nothing is written into a video surface by the device.
    EXPECT_EQ(device_->StretchRect(back_, &part, packed, &part, D3DTEXF_NONE), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->ColorFill(planar, nullptr, 0xFF102030), D3DERR_INVALIDCALL);
}

}  // namespace
