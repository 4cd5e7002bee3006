// A software Direct3D device for the conformance tests, with helpers that draw through it and
// read its pixels back.
#pragma once

#include <gtest/gtest.h>
#include <platform/d3d9.h>
#include <platform/testing.h>
#include <platform/testing_d3d9.h>

#include <algorithm>
#include <vector>

constexpr DWORD kColorFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;
constexpr DWORD kTexturedFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
constexpr DWORD kTwoTextureFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2;

struct ColorVertex {
    float x, y, z, rhw;
    D3DCOLOR diffuse;
};

struct TexturedScreenVertex {
    float x, y, z, rhw;
    D3DCOLOR diffuse;
    float u, v;
};

struct TwoTextureVertex {
    float x, y, z, rhw;
    D3DCOLOR diffuse, specular;
    float u0, v0, u1, v1;
};

// A colour's channels as 0 to 1, and back rounded to the nearest step.
struct Rgba {
    double r, g, b, a;
};

inline Rgba Unpack(DWORD c) {
    return {((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, (c & 0xFF) / 255.0,
            (c >> 24) / 255.0};
}

inline DWORD Pack(Rgba c) {
    auto q = [](double v) { return static_cast<DWORD>(std::clamp(v, 0.0, 1.0) * 255.0 + 0.5); };
    return q(c.a) << 24 | q(c.r) << 16 | q(c.g) << 8 | q(c.b);
}

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestResetPlatform();
        TestD3d9Reset();
    }

    void TearDown() override {
        ReleaseDevice();
        EXPECT_EQ(TestD3d9LiveObjects(), 0) << "objects leaked";
        TestD3d9Reset();
    }

    void CreateDevice(UINT width = 32, UINT height = 32, D3DFORMAT format = D3DFMT_X8R8G8B8) {
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d_, nullptr);
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = width;
        pp.BackBufferHeight = height;
        pp.BackBufferFormat = format;
        pp.BackBufferCount = 1;
        pp.SwapEffect = D3DSWAPEFFECT_COPY;
        pp.hDeviceWindow = kWindow;
        pp.Windowed = TRUE;
        pp.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
        ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, kWindow, D3DCREATE_MIXED_VERTEXPROCESSING,
                                     &pp, &device_),
                  D3D_OK);
        ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back_), D3D_OK);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        Clear(0);
    }

    void ReleaseDevice() {
        for (IUnknown* object : owned_) object->Release();
        owned_.clear();
        if (back_ != nullptr) back_->Release();
        if (device_ != nullptr) {
            EXPECT_EQ(device_->Release(), 0u);
        }
        if (d3d_ != nullptr) {
            EXPECT_EQ(d3d_->Release(), 0u);
        }
        back_ = nullptr;
        device_ = nullptr;
        d3d_ = nullptr;
    }

    // Released with the device.
    template <class T>
    T* Keep(T* object) {
        owned_.push_back(object);
        return object;
    }

    void Clear(D3DCOLOR color) {
        ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, color, 1.0f, 0), D3D_OK);
    }

    // A managed texture filled with A8R8G8B8-ordered words written through a lock as 32-bit
    // pixels (for 32-bit formats) or as the given 16-bit words.
    IDirect3DTexture9* MakeTexture32(D3DFORMAT format, UINT width, UINT height,
                                     const std::vector<DWORD>& pixels) {
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(
            device_->CreateTexture(width, height, 1, 0, format, D3DPOOL_MANAGED, &texture, nullptr),
            D3D_OK);
        D3DLOCKED_RECT locked;
        EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < height; ++y) {
            auto* row =
                reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch);
            for (UINT x = 0; x < width; ++x) row[x] = pixels[y * width + x];
        }
        texture->UnlockRect(0);
        return Keep(texture);
    }

    IDirect3DTexture9* MakeTexture16(D3DFORMAT format, UINT width, UINT height,
                                     const std::vector<WORD>& pixels) {
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(
            device_->CreateTexture(width, height, 1, 0, format, D3DPOOL_MANAGED, &texture, nullptr),
            D3D_OK);
        D3DLOCKED_RECT locked;
        EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < height; ++y) {
            auto* row =
                reinterpret_cast<WORD*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch);
            for (UINT x = 0; x < width; ++x) row[x] = pixels[y * width + x];
        }
        texture->UnlockRect(0);
        return Keep(texture);
    }

    template <class V>
    void Draw(D3DPRIMITIVETYPE type, DWORD fvf, const std::vector<V>& vertices, UINT primitives) {
        ASSERT_EQ(device_->SetFVF(fvf), D3D_OK);
        ASSERT_EQ(device_->BeginScene(), D3D_OK);
        EXPECT_EQ(device_->DrawPrimitiveUP(type, primitives, vertices.data(), sizeof(V)), D3D_OK);
        ASSERT_EQ(device_->EndScene(), D3D_OK);
    }

    // A rectangle as two triangles of a list, in pixel coordinates.
    void FillRect(float x0, float y0, float x1, float y1, D3DCOLOR color) {
        std::vector<ColorVertex> v = {{x0, y0, 0, 1, color}, {x1, y0, 0, 1, color},
                                      {x0, y1, 0, 1, color}, {x1, y0, 0, 1, color},
                                      {x1, y1, 0, 1, color}, {x0, y1, 0, 1, color}};
        Draw(D3DPT_TRIANGLELIST, kColorFvf, v, 2);
    }

    // A textured rectangle as a strip, texture coordinates u0..u1, v0..v1.
    void TexturedRect(float x0, float y0, float x1, float y1, float u0, float v0, float u1,
                      float v1, D3DCOLOR color = 0xFFFFFFFF) {
        std::vector<TexturedScreenVertex> v = {{x0, y0, 0, 1, color, u0, v0},
                                               {x1, y0, 0, 1, color, u1, v0},
                                               {x0, y1, 0, 1, color, u0, v1},
                                               {x1, y1, 0, 1, color, u1, v1}};
        Draw(D3DPT_TRIANGLESTRIP, kTexturedFvf, v, 2);
    }

    DWORD Pixel(UINT x, UINT y) { return TestD3d9ReadPixel(back_, x, y); }
    // The whole back buffer as A8R8G8B8, row by row.
    std::vector<DWORD> Pixels() { return TestD3d9ReadSurface(back_, nullptr, nullptr); }

    // A lockable A8R8G8B8 render target, bound as target 0.
    IDirect3DSurface9* UseArgbTarget(UINT width, UINT height) {
        IDirect3DSurface9* target = nullptr;
        EXPECT_EQ(device_->CreateRenderTarget(width, height, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE,
                                              0, TRUE, &target, nullptr),
                  D3D_OK);
        EXPECT_EQ(device_->SetRenderTarget(0, target), D3D_OK);
        return Keep(target);
    }

    static inline const HWND kWindow = reinterpret_cast<HWND>(0x1234);
    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    IDirect3DSurface9* back_ = nullptr;
    std::vector<IUnknown*> owned_;
};
