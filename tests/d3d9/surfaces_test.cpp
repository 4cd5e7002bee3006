// Surfaces in their byte layouts: each format's encoding, locks and their pitch, and the copy
// and fill operations with their pool and format rules.
#include <cstring>

#include "device_fixture.h"

namespace {

DWORD ReadRaw(IDirect3DSurface9* surface, UINT x, UINT y, UINT bytes) {
    D3DLOCKED_RECT locked;
    EXPECT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    DWORD value = 0;
    std::memcpy(&value, static_cast<BYTE*>(locked.pBits) + y * locked.Pitch + x * bytes, bytes);
    surface->UnlockRect();
    return value;
}

void FillArgb(IDirect3DTexture9* texture, UINT level, DWORD color, const RECT* rect, DWORD flags) {
    D3DSURFACE_DESC desc;
    texture->GetLevelDesc(level, &desc);
    RECT whole = {0, 0, static_cast<LONG>(desc.Width), static_cast<LONG>(desc.Height)};
    const RECT& r = rect != nullptr ? *rect : whole;
    D3DLOCKED_RECT locked;
    ASSERT_EQ(texture->LockRect(level, &locked, rect, flags), D3D_OK);
    for (LONG y = 0; y < r.bottom - r.top; ++y) {
        auto* row = reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch);
        for (LONG x = 0; x < r.right - r.left; ++x) row[x] = color;
    }
    texture->UnlockRect(level);
}

DWORD LevelPixel(IDirect3DTexture9* texture, UINT level, UINT x, UINT y) {
    IDirect3DSurface9* surface = nullptr;
    texture->GetSurfaceLevel(level, &surface);
    DWORD value = TestD3d9ReadPixel(surface, x, y);
    surface->Release();
    return value;
}

}  // namespace

TEST_F(DeviceTest, ColourFillEncodesEachFormatRoundingToItsBits) {
    CreateDevice(4, 4);
    struct Case {
        D3DFORMAT format;
        D3DCOLOR color;
        DWORD raw;
        UINT bytes;
    } cases[] = {
        {D3DFMT_A8R8G8B8, 0x80FF8040, 0x80FF8040, 4},
        {D3DFMT_X8R8G8B8, 0x00FF8040, 0xFFFF8040, 4},  // unused bits written as ones
        {D3DFMT_R5G6B5, 0x80FF8040, 0xFC08, 2},        // 31, 32 (31.6), 8 (7.8)
        {D3DFMT_X1R5G5B5, 0x80FF8040, 0xFE08, 2},      // 31, 16 (15.6), 8
        {D3DFMT_A1R5G5B5, 0x80FF8040, 0xFE08, 2},      // alpha 0.502 rounds to 1
        {D3DFMT_A1R5G5B5, 0x7FFF8040, 0x7E08, 2},
        {D3DFMT_A4R4G4B4, 0x80FF8040, 0x8F84, 2},  // 8 (7.5), 15, 8, 4 (3.8)
    };
    for (const Case& c : cases) {
        IDirect3DSurface9* surface = nullptr;
        ASSERT_EQ(device_->CreateOffscreenPlainSurface(4, 4, c.format, D3DPOOL_DEFAULT, &surface,
                                                       nullptr),
                  D3D_OK);
        ASSERT_EQ(device_->ColorFill(surface, nullptr, c.color), D3D_OK);
        EXPECT_EQ(ReadRaw(surface, 3, 2, c.bytes), c.raw) << "format " << c.format;
        surface->Release();
    }
}

TEST_F(DeviceTest, LocksReturnTheRectanglesAddressAndTheRealPitch) {
    TestD3d9SetPitchPadding(40);
    CreateDevice(8, 8);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(
        device_->CreateTexture(10, 6, 1, 0, D3DFMT_R5G6B5, D3DPOOL_SYSTEMMEM, &texture, nullptr),
        D3D_OK);
    Keep(texture);
    D3DLOCKED_RECT whole, part;
    ASSERT_EQ(texture->LockRect(0, &whole, nullptr, D3DLOCK_READONLY), D3D_OK);
    texture->UnlockRect(0);
    EXPECT_GE(whole.Pitch, 20 + 40);
    RECT r = {3, 2, 7, 5};
    ASSERT_EQ(texture->LockRect(0, &part, &r, 0), D3D_OK);
    EXPECT_EQ(part.Pitch, whole.Pitch);
    EXPECT_EQ(static_cast<BYTE*>(part.pBits),
              static_cast<BYTE*>(whole.pBits) + 2 * whole.Pitch + 3 * 2);
    EXPECT_EQ(texture->LockRect(0, &part, nullptr, 0), D3DERR_INVALIDCALL) << "locked twice";
    EXPECT_EQ(texture->UnlockRect(0), D3D_OK);
    EXPECT_EQ(texture->UnlockRect(0), D3DERR_INVALIDCALL);
    for (RECT bad : {RECT{3, 2, 3, 5}, RECT{-1, 0, 2, 2}, RECT{0, 0, 11, 2}, RECT{5, 5, 2, 6}}) {
        EXPECT_EQ(texture->LockRect(0, &part, &bad, 0), D3DERR_INVALIDCALL);
    }
}

TEST_F(DeviceTest, OnlyLockableResourcesLock) {
    CreateDevice(8, 8);
    D3DLOCKED_RECT locked;
    IDirect3DTexture9* plain = nullptr;
    ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &plain, nullptr),
              D3D_OK);
    EXPECT_EQ(Keep(plain)->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);
    IDirect3DTexture9* dynamic = nullptr;
    ASSERT_EQ(device_->CreateTexture(8, 8, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                     &dynamic, nullptr),
              D3D_OK);
    EXPECT_EQ(Keep(dynamic)->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD), D3D_OK);
    dynamic->UnlockRect(0);
    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(device_->CreateRenderTarget(8, 8, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE,
                                          &target, nullptr),
              D3D_OK);
    EXPECT_EQ(Keep(target)->LockRect(&locked, nullptr, 0), D3DERR_INVALIDCALL);
    IDirect3DSurface9* depth = nullptr;
    ASSERT_EQ(device_->CreateDepthStencilSurface(8, 8, D3DFMT_D16, D3DMULTISAMPLE_NONE, 0, TRUE,
                                                 &depth, nullptr),
              D3D_OK);
    EXPECT_EQ(Keep(depth)->LockRect(&locked, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(back_->LockRect(&locked, nullptr, 0), D3D_OK) << "lockable back buffer";
    back_->UnlockRect();
    IDirect3DTexture9* dxt = nullptr;
    ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &dxt, nullptr),
              D3D_OK);
    RECT unaligned = {2, 0, 4, 4};
    EXPECT_EQ(Keep(dxt)->LockRect(0, &locked, &unaligned, 0), D3DERR_INVALIDCALL);
    RECT block = {4, 4, 8, 8};
    ASSERT_EQ(dxt->LockRect(0, &locked, &block, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch >= 16, true);
    dxt->UnlockRect(0);
}

TEST_F(DeviceTest, UpdateTextureCopiesOnlyRegionsChangedSinceTheLastUpdate) {
    CreateDevice(8, 8);
    IDirect3DTexture9 *staging = nullptr, *target = nullptr;
    ASSERT_EQ(device_->CreateTexture(8, 8, 2, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM,
                                     &staging, nullptr),
              D3D_OK);
    ASSERT_EQ(
        device_->CreateTexture(8, 8, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr),
        D3D_OK);
    Keep(staging);
    Keep(target);
    // A new texture is wholly dirty.
    FillArgb(staging, 0, 0xFF111111, nullptr, D3DLOCK_NO_DIRTY_UPDATE);
    FillArgb(staging, 1, 0xFF222222, nullptr, D3DLOCK_NO_DIRTY_UPDATE);
    ASSERT_EQ(device_->UpdateTexture(staging, target), D3D_OK);
    EXPECT_EQ(LevelPixel(target, 0, 7, 7), 0xFF111111u);
    EXPECT_EQ(LevelPixel(target, 1, 3, 3), 0xFF222222u);
    // Stale content everywhere, then one locked rectangle: only that rectangle goes across,
    // on level 0 and scaled on level 1.
    FillArgb(staging, 0, 0xFFDEAD00, nullptr, D3DLOCK_NO_DIRTY_UPDATE);
    FillArgb(staging, 1, 0xFFDEAD00, nullptr, D3DLOCK_NO_DIRTY_UPDATE);
    RECT changed = {4, 2, 6, 4};
    FillArgb(staging, 0, 0xFF333333, &changed, 0);
    ASSERT_EQ(device_->UpdateTexture(staging, target), D3D_OK);
    for (UINT y = 0; y < 8; ++y) {
        for (UINT x = 0; x < 8; ++x) {
            bool inside = x >= 4 && x < 6 && y >= 2 && y < 4;
            EXPECT_EQ(LevelPixel(target, 0, x, y), inside ? 0xFF333333u : 0xFF111111u)
                << x << "," << y;
        }
    }
    EXPECT_EQ(LevelPixel(target, 1, 2, 1), 0xFFDEAD00u);
    EXPECT_EQ(LevelPixel(target, 1, 0, 0), 0xFF222222u);
    // Nothing changed since: nothing is copied.
    FillArgb(staging, 0, 0xFF444444, nullptr, D3DLOCK_NO_DIRTY_UPDATE);
    ASSERT_EQ(device_->UpdateTexture(staging, target), D3D_OK);
    EXPECT_EQ(LevelPixel(target, 0, 0, 0), 0xFF111111u);
    // Pools and formats must match Direct3D's rules.
    EXPECT_EQ(device_->UpdateTexture(target, staging), D3DERR_INVALIDCALL);
    IDirect3DTexture9* other = nullptr;
    ASSERT_EQ(device_->CreateTexture(8, 8, 2, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &other, nullptr),
              D3D_OK);
    EXPECT_EQ(device_->UpdateTexture(staging, Keep(other)), D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, UpdateSurfaceAndGetRenderTargetDataMoveRectanglesBetweenPools) {
    CreateDevice(8, 8);
    IDirect3DSurface9 *staging = nullptr, *target = nullptr, *readback = nullptr;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(4, 4, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM,
                                                   &staging, nullptr),
              D3D_OK);
    ASSERT_EQ(device_->CreateRenderTarget(8, 8, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE,
                                          &target, nullptr),
              D3D_OK);
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(8, 8, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM,
                                                   &readback, nullptr),
              D3D_OK);
    Keep(staging);
    Keep(target);
    Keep(readback);
    ASSERT_EQ(device_->ColorFill(target, nullptr, 0xFF000000), D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(staging->LockRect(&locked, nullptr, D3DLOCK_DISCARD), D3D_OK);
    for (UINT y = 0; y < 4; ++y) {
        for (UINT x = 0; x < 4; ++x) {
            reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch)[x] =
                0xFF000000u | (y * 4 + x);
        }
    }
    staging->UnlockRect();
    RECT source = {1, 1, 3, 4};
    POINT at = {5, 2};
    ASSERT_EQ(device_->UpdateSurface(staging, &source, target, &at), D3D_OK);
    ASSERT_EQ(device_->GetRenderTargetData(target, readback), D3D_OK);
    EXPECT_EQ(TestD3d9ReadPixel(readback, 5, 2), 0xFF000005u);
    EXPECT_EQ(TestD3d9ReadPixel(readback, 6, 4), 0xFF00000Eu);
    EXPECT_EQ(TestD3d9ReadPixel(readback, 4, 2), 0xFF000000u);
    POINT tooFar = {7, 2};
    EXPECT_EQ(device_->UpdateSurface(staging, &source, target, &tooFar), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->UpdateSurface(target, nullptr, staging, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->GetRenderTargetData(target, staging), D3DERR_INVALIDCALL) << "size differs";
}

TEST_F(DeviceTest, StretchRectCopiesConvertsAndScales) {
    CreateDevice(8, 8);
    IDirect3DSurface9* small = nullptr;
    ASSERT_EQ(device_->CreateRenderTarget(2, 2, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE,
                                          &small, nullptr),
              D3D_OK);
    Keep(small);
    RECT left = {0, 0, 1, 2}, right = {1, 0, 2, 2};
    device_->ColorFill(small, &left, 0xFF000000);
    device_->ColorFill(small, &right, 0xFFFFFFFF);
    // Point stretch to 8x8: each source pixel covers a 4x8 block.
    ASSERT_EQ(device_->StretchRect(small, nullptr, back_, nullptr, D3DTEXF_POINT), D3D_OK);
    EXPECT_EQ(Pixel(3, 7), 0xFF000000u);
    EXPECT_EQ(Pixel(4, 0), 0xFFFFFFFFu);
    // Linear stretch: destination centres between the two source centres blend them.
    ASSERT_EQ(device_->StretchRect(small, nullptr, back_, nullptr, D3DTEXF_LINEAR), D3D_OK);
    EXPECT_EQ(Pixel(1, 0), 0xFF000000u);  // source x 0.125: clamped to the first pixel
    EXPECT_EQ(Pixel(3, 0), 0xFF606060u);  // source x 0.875: 0.375 of white
    // Into a 16-bit target: converted.
    IDirect3DSurface9* sixteen = nullptr;
    ASSERT_EQ(device_->CreateRenderTarget(2, 2, D3DFMT_R5G6B5, D3DMULTISAMPLE_NONE, 0, TRUE,
                                          &sixteen, nullptr),
              D3D_OK);
    ASSERT_EQ(device_->StretchRect(small, nullptr, Keep(sixteen), nullptr, D3DTEXF_NONE), D3D_OK);
    EXPECT_EQ(ReadRaw(sixteen, 1, 1, 2), 0xFFFFu);
    // Plain textures are not StretchRect sources; overlapping copies within a surface fail.
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(
        device_->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr),
        D3D_OK);
    IDirect3DSurface9* level = nullptr;
    Keep(texture)->GetSurfaceLevel(0, &level);
    EXPECT_EQ(device_->StretchRect(level, nullptr, small, nullptr, D3DTEXF_NONE),
              D3DERR_INVALIDCALL);
    level->Release();
    RECT a = {0, 0, 2, 1}, b = {1, 0, 2, 1};
    EXPECT_EQ(device_->StretchRect(small, &a, small, &b, D3DTEXF_NONE), D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, ColourFillOnlyOnDefaultPoolTargetsAndPlainSurfaces) {
    CreateDevice(8, 8);
    IDirect3DTexture9 *managed = nullptr, *drawable = nullptr;
    ASSERT_EQ(
        device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &managed, nullptr),
        D3D_OK);
    ASSERT_EQ(device_->CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8,
                                     D3DPOOL_DEFAULT, &drawable, nullptr),
              D3D_OK);
    IDirect3DSurface9 *managedLevel = nullptr, *drawableLevel = nullptr;
    Keep(managed)->GetSurfaceLevel(0, &managedLevel);
    Keep(drawable)->GetSurfaceLevel(0, &drawableLevel);
    EXPECT_EQ(device_->ColorFill(managedLevel, nullptr, 0xFFFFFFFF), D3DERR_INVALIDCALL);
    RECT r = {1, 1, 3, 2};
    EXPECT_EQ(device_->ColorFill(drawableLevel, &r, 0x12345678), D3D_OK);
    EXPECT_EQ(TestD3d9ReadPixel(drawableLevel, 2, 1), 0x12345678u);
    EXPECT_EQ(TestD3d9ReadPixel(drawableLevel, 2, 2), 0x00000000u);
    RECT outside = {2, 2, 5, 3};
    EXPECT_EQ(device_->ColorFill(drawableLevel, &outside, 0), D3DERR_INVALIDCALL);
    managedLevel->Release();
    drawableLevel->Release();
}

TEST_F(DeviceTest, ClearIsLimitedToTheViewportAndItsRectangles) {
    CreateDevice(8, 8);
    D3DVIEWPORT9 viewport = {2, 2, 4, 4, 0.0f, 1.0f};
    device_->SetViewport(&viewport);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0), D3D_OK);
    EXPECT_EQ(Pixel(1, 1), 0xFF000000u);
    EXPECT_EQ(Pixel(2, 2), 0xFF00FF00u);
    EXPECT_EQ(Pixel(6, 6), 0xFF000000u);
    D3DRECT rects[] = {{0, 0, 3, 3}, {5, 5, 8, 8}};
    ASSERT_EQ(device_->Clear(2, rects, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0), D3D_OK);
    EXPECT_EQ(Pixel(2, 2), 0xFFFF0000u);
    EXPECT_EQ(Pixel(5, 5), 0xFFFF0000u);
    EXPECT_EQ(Pixel(0, 0), 0xFF000000u);
    EXPECT_EQ(Pixel(3, 3), 0xFF00FF00u);
    EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL)
        << "no depth";
    EXPECT_EQ(device_->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_STENCIL, 0, 1.0f, 0),
              D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, PresentShowsTheBackBufferAndKeepsIt) {
    CreateDevice(8, 8);
    TestD3d9KeepPresents(true);
    FillRect(0, 0, 4, 8, 0xFF123456);
    RECT source = {0, 0, 4, 4}, dest = {10, 20, 18, 28};
    ASSERT_EQ(device_->Present(&source, &dest, nullptr, nullptr), D3D_OK);
    TestD3d9Frame frame;
    ASSERT_TRUE(TestD3d9LastPresent(&frame));
    EXPECT_EQ(frame.window, kWindow);
    EXPECT_EQ(frame.width, 8u);
    EXPECT_EQ(frame.pixels[3], 0xFF123456u);
    EXPECT_EQ(frame.pixels[4], 0xFF000000u);
    EXPECT_EQ(frame.source.right, 4);
    EXPECT_EQ(frame.dest.left, 10);
    EXPECT_FALSE(frame.wholeClientArea);
    // The copy swap effect keeps the back buffer: drawing on continues over it.
    EXPECT_EQ(Pixel(3, 7), 0xFF123456u);
    IDirect3DSwapChain9* chain = nullptr;
    ASSERT_EQ(device_->GetSwapChain(0, &chain), D3D_OK);
    ASSERT_EQ(chain->Present(nullptr, nullptr, nullptr, nullptr, 0), D3D_OK);
    chain->Release();
    ASSERT_TRUE(TestD3d9LastPresent(&frame));
    EXPECT_EQ(frame.presentCount, 2);
    EXPECT_TRUE(frame.wholeClientArea);
    device_->BeginScene();
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL)
        << "inside a scene";
    device_->EndScene();
}

TEST_F(DeviceTest, VolumeTexturesAndBuffersLockAndCopy) {
    CreateDevice(8, 8);
    IDirect3DVolumeTexture9 *staging = nullptr, *volume = nullptr;
    ASSERT_EQ(device_->CreateVolumeTexture(4, 4, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM,
                                           &staging, nullptr),
              D3D_OK);
    ASSERT_EQ(device_->CreateVolumeTexture(4, 4, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &volume,
                                           nullptr),
              D3D_OK);
    Keep(staging);
    Keep(volume);
    D3DLOCKED_BOX box;
    EXPECT_EQ(volume->LockBox(0, &box, nullptr, 0), D3DERR_INVALIDCALL) << "default pool";
    D3DBOX part = {1, 1, 3, 3, 2, 3};
    ASSERT_EQ(staging->LockBox(0, &box, &part, 0), D3D_OK);
    EXPECT_GE(box.SlicePitch, 4 * box.RowPitch);
    *static_cast<DWORD*>(box.pBits) = 0xFFABCDEF;
    EXPECT_EQ(staging->UnlockBox(0), D3D_OK);
    EXPECT_EQ(device_->UpdateTexture(staging, volume), D3D_OK);
    IDirect3DVolumeTexture9* wrongSize = nullptr;
    ASSERT_EQ(device_->CreateVolumeTexture(2, 4, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT,
                                           &wrongSize, nullptr),
              D3D_OK);
    EXPECT_EQ(device_->UpdateTexture(staging, Keep(wrongSize)), D3DERR_INVALIDCALL);

    IDirect3DVertexBuffer9* vertices = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(64, D3DUSAGE_WRITEONLY, kColorFvf, D3DPOOL_MANAGED,
                                          &vertices, nullptr),
              D3D_OK);
    void* data = nullptr;
    EXPECT_EQ(Keep(vertices)->Lock(60, 8, &data, 0), D3DERR_INVALIDCALL) << "past the end";
    ASSERT_EQ(vertices->Lock(16, 0, &data, 0), D3D_OK);  // 0: to the end
    std::memset(data, 0xAB, 48);
    EXPECT_EQ(vertices->Unlock(), D3D_OK);
    IDirect3DIndexBuffer9* indices = nullptr;
    EXPECT_EQ(device_->CreateIndexBuffer(64, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &indices, nullptr),
              D3DERR_INVALIDCALL);
    ASSERT_EQ(device_->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &indices, nullptr),
              D3D_OK);
    Keep(indices);

    const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
        D3DDECL_END()};
    IDirect3DVertexDeclaration9* declaration = nullptr;
    ASSERT_EQ(device_->CreateVertexDeclaration(elements, &declaration), D3D_OK);
    EXPECT_EQ(device_->SetVertexDeclaration(Keep(declaration)), D3D_OK);
}
