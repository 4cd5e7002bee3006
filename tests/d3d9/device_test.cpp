// The Direct3D object and the device: what they report under each profile, device creation
// rules, loss, reference counts and the rules every draw is checked against.
#include <thread>

#include "device_fixture.h"

namespace {

D3DPRESENT_PARAMETERS Windowed(UINT width, UINT height, D3DFORMAT format = D3DFMT_UNKNOWN) {
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = width;
    pp.BackBufferHeight = height;
    pp.BackBufferFormat = format;
    pp.SwapEffect = D3DSWAPEFFECT_COPY;
    pp.Windowed = TRUE;
    return pp;
}

}  // namespace

TEST_F(DeviceTest, TheObjectReportsAdapterModesFormatsAndIdentity) {
    EXPECT_EQ(Direct3DCreate9(31), nullptr);
    d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d_, nullptr);
    D3DDISPLAYMODE desktop;
    ASSERT_EQ(d3d_->GetAdapterDisplayMode(0, &desktop), D3D_OK);
    EXPECT_EQ(desktop.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(d3d_->GetAdapterModeCount(0, D3DFMT_R5G6B5), 6u);
    EXPECT_EQ(d3d_->GetAdapterModeCount(0, D3DFMT_X1R5G5B5), 0u);
    D3DADAPTER_IDENTIFIER9 id;
    ASSERT_EQ(d3d_->GetAdapterIdentifier(0, 0, &id), D3D_OK);
    EXPECT_STRNE(id.Description, "");
    const D3DFORMAT screen = D3DFMT_X8R8G8B8;
    for (D3DFORMAT format : {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4,
                             D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_DXT1, D3DFMT_DXT5}) {
        EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, screen, 0, D3DRTYPE_TEXTURE, format),
                  D3D_OK)
            << format;
    }
    EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, screen, D3DUSAGE_RENDERTARGET,
                                      D3DRTYPE_TEXTURE, D3DFMT_A4R4G4B4),
              D3D_OK);
    for (D3DFORMAT refused : {D3DFMT_A16B16G16R16F, D3DFMT_L8, D3DFMT_V8U8, D3DFMT_A8L8}) {
        EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, screen, D3DUSAGE_RENDERTARGET,
                                          D3DRTYPE_TEXTURE, refused),
                  D3DERR_NOTAVAILABLE);
    }
    EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, screen, D3DUSAGE_RENDERTARGET,
                                      D3DRTYPE_TEXTURE, D3DFMT_DXT1),
              D3DERR_NOTAVAILABLE);
    for (D3DFORMAT depth : {D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D32}) {
        EXPECT_EQ(d3d_->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, screen, D3DFMT_R5G6B5, depth),
                  D3D_OK);
    }
    DWORD quality = 0;
    EXPECT_EQ(d3d_->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, screen, TRUE, D3DMULTISAMPLE_NONE,
                                               &quality),
              D3D_OK);
    EXPECT_EQ(d3d_->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, screen, TRUE,
                                               D3DMULTISAMPLE_4_SAMPLES, &quality),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d_->GetDeviceCaps(1, D3DDEVTYPE_HAL, nullptr), D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, ProfilesChangeCapsFormatsAndModes) {
    TestD3d9Profile profile = TestD3d9DefaultProfile();
    profile.shaders = false;
    profile.tempRegister = false;
    profile.dxt = false;
    profile.maxTextureSize = 0;
    profile.textureCaps = D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY;
    profile.refusedFormats = {{D3DFMT_X8R8G8B8, 0}};
    profile.modes = {{640, 480, 60, D3DFMT_X8R8G8B8}};
    TestD3d9SetProfile(profile);
    d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
    D3DCAPS9 caps;
    ASSERT_EQ(d3d_->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_EQ(caps.PixelShaderVersion, 0u);
    EXPECT_EQ(caps.VertexShaderVersion, 0u);
    EXPECT_EQ(caps.PrimitiveMiscCaps & D3DPMISCCAPS_TSSARGTEMP, 0u);
    EXPECT_EQ(caps.MaxTextureWidth, 0u);  // the framework reads 0 as 256
    EXPECT_NE(caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY, 0u);
    EXPECT_EQ(d3d_->GetAdapterModeCount(0, D3DFMT_R5G6B5), 0u);
    const D3DFORMAT screen = D3DFMT_X8R8G8B8;
    EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, screen, 0, D3DRTYPE_TEXTURE, D3DFMT_DXT3),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(
        d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, screen, 0, D3DRTYPE_TEXTURE, D3DFMT_X8R8G8B8),
        D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d_->CheckDeviceFormat(0, D3DDEVTYPE_HAL, screen, D3DUSAGE_RENDERTARGET,
                                      D3DRTYPE_TEXTURE, D3DFMT_X8R8G8B8),
              D3D_OK);
}

TEST_F(DeviceTest, TextureCreationFollowsTheCapabilities) {
    TestD3d9Profile profile = TestD3d9DefaultProfile();
    profile.maxTextureSize = 256;
    profile.textureCaps = D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL;
    TestD3d9SetProfile(profile);
    CreateDevice(8, 8);
    IDirect3DTexture9* texture = nullptr;
    auto create = [&](UINT w, UINT h, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool) {
        HRESULT result =
            device_->CreateTexture(w, h, levels, usage, format, pool, &texture, nullptr);
        if (texture != nullptr) texture->Release();
        return result;
    };
    EXPECT_EQ(create(256, 128, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED), D3D_OK);
    EXPECT_EQ(create(512, 128, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED), D3DERR_INVALIDCALL);
    EXPECT_EQ(create(100, 60, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED), D3D_OK) << "conditional";
    EXPECT_EQ(create(100, 60, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED), D3DERR_INVALIDCALL);
    EXPECT_EQ(create(64, 64, 8, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED), D3DERR_INVALIDCALL)
        << "chain is 7";
    EXPECT_EQ(create(64, 64, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(create(64, 64, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(create(64, 64, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A1R5G5B5, D3DPOOL_DEFAULT),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(create(0, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED), D3DERR_INVALIDCALL);
    TestFailNthCall("CreateTexture", 1);
    EXPECT_EQ(create(64, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED), D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(create(64, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED), D3D_OK);
}

TEST_F(DeviceTest, DeviceCreationChecksItsParameters) {
    d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
    auto create = [&](D3DPRESENT_PARAMETERS pp, DWORD behaviour) {
        IDirect3DDevice9* device = nullptr;
        HRESULT result = d3d_->CreateDevice(0, D3DDEVTYPE_HAL, kWindow, behaviour, &pp, &device);
        EXPECT_EQ(result == D3D_OK, device != nullptr);
        if (device != nullptr) device->Release();
        return result;
    };
    const DWORD mixed = D3DCREATE_MIXED_VERTEXPROCESSING;
    EXPECT_EQ(create(Windowed(640, 480), mixed), D3D_OK) << "desktop format";
    EXPECT_EQ(create(Windowed(640, 480), 0), D3DERR_INVALIDCALL) << "no vertex processing";
    EXPECT_EQ(create(Windowed(640, 480), mixed | D3DCREATE_SOFTWARE_VERTEXPROCESSING),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(create(Windowed(640, 480, D3DFMT_A8R8G8B8), mixed), D3DERR_INVALIDCALL);
    D3DPRESENT_PARAMETERS multisampled = Windowed(640, 480);
    multisampled.MultiSampleType = D3DMULTISAMPLE_2_SAMPLES;
    EXPECT_EQ(create(multisampled, mixed), D3DERR_INVALIDCALL);
    D3DPRESENT_PARAMETERS full = Windowed(640, 480, D3DFMT_R5G6B5);
    full.Windowed = FALSE;
    EXPECT_EQ(create(full, mixed), D3D_OK);
    full.BackBufferWidth = 700;
    EXPECT_EQ(create(full, mixed), D3DERR_INVALIDCALL) << "not a display mode";
    D3DPRESENT_PARAMETERS depth = Windowed(64, 64);
    depth.EnableAutoDepthStencil = TRUE;
    depth.AutoDepthStencilFormat = D3DFMT_D24X8;
    EXPECT_EQ(create(depth, mixed), D3D_OK);

    TestD3d9Profile profile = TestD3d9DefaultProfile();
    profile.refusedVertexProcessing = D3DCREATE_MIXED_VERTEXPROCESSING;
    TestD3d9SetProfile(profile);
    EXPECT_EQ(create(Windowed(64, 64), mixed), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(create(Windowed(64, 64), D3DCREATE_SOFTWARE_VERTEXPROCESSING), D3D_OK);
    TestFailNthCall("CreateDevice", 1);
    EXPECT_EQ(create(Windowed(64, 64), D3DCREATE_SOFTWARE_VERTEXPROCESSING), D3DERR_NOTAVAILABLE);
}

TEST_F(DeviceTest, LostDevicesAnswerLostThenNotResetAndCannotPresent) {
    CreateDevice(8, 8);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
    TestD3d9LoseDevices();
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    // A device made afterwards starts fresh.
    ReleaseDevice();
    CreateDevice(8, 8);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

TEST_F(DeviceTest, ReferencesCountAsInDirect3D) {
    CreateDevice(8, 8);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8,
                                     D3DPOOL_DEFAULT, &texture, nullptr),
              D3D_OK);
    IDirect3DSurface9* level = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(0, &level), D3D_OK);
    EXPECT_EQ(texture->AddRef(), 3u) << "the level holds the texture";
    texture->Release();
    // Binding does not keep a released texture: its bindings go with it.
    ASSERT_EQ(device_->SetRenderTarget(0, level), D3D_OK);
    ASSERT_EQ(device_->SetTexture(0, texture), D3D_OK);
    EXPECT_EQ(level->Release(), 1u);
    EXPECT_EQ(texture->Release(), 0u);
    IDirect3DSurface9* current = nullptr;
    EXPECT_EQ(device_->GetRenderTarget(0, &current), D3DERR_NOTFOUND);
    EXPECT_EQ(device_->SetRenderTarget(0, back_), D3D_OK);
    // The back buffer and swap chain count on the device.
    IDirect3DSwapChain9* chain = nullptr;
    device_->GetSwapChain(0, &chain);
    EXPECT_EQ(device_->AddRef(), 4u);  // creation, back_, chain, this
    device_->Release();
    chain->Release();
}

TEST_F(DeviceTest, ObjectsAnswerTheirOwnInterfacesAndIUnknown) {
    CreateDevice(8, 8);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(
        device_->CreateTexture(4, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
        D3D_OK);
    for (const IID& iid : {IID_IUnknown, IID_IDirect3DTexture9, IID_IDirect3DBaseTexture9}) {
        void* answered = nullptr;
        ASSERT_EQ(texture->QueryInterface(iid, &answered), S_OK);
        EXPECT_EQ(answered, static_cast<void*>(texture));
        EXPECT_EQ(texture->Release(), 1u) << "the answer added a reference";
    }
    void* refused = texture;
    EXPECT_EQ(texture->QueryInterface(IID_IDirect3DSurface9, &refused), E_NOINTERFACE);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(texture->QueryInterface(IID_IDirect3DTexture9, nullptr), E_POINTER);
    void* device = nullptr;
    ASSERT_EQ(device_->QueryInterface(IID_IDirect3DDevice9, &device), S_OK);
    device_->Release();
    EXPECT_EQ(texture->Release(), 0u);
}

TEST_F(DeviceTest, DrawsNeedASceneAValidFormatAndIndicesInRange) {
    CreateDevice(8, 8);
    std::vector<ColorVertex> v = {{0, 0, 0, 1, 0xFFFFFFFF},
                                  {8, 0, 0, 1, 0xFFFFFFFF},
                                  {0, 8, 0, 1, 0xFFFFFFFF},
                                  {8, 8, 0, 1, 0xFFFFFFFF}};
    device_->SetFVF(kColorFvf);
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v.data(), sizeof(ColorVertex)),
              D3DERR_INVALIDCALL);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    EXPECT_EQ(device_->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v.data(), 12), D3DERR_INVALIDCALL)
        << "stride";
    EXPECT_EQ(device_->DrawPrimitiveUP(static_cast<D3DPRIMITIVETYPE>(9), 1, v.data(),
                                       sizeof(ColorVertex)),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 0, v.data(), sizeof(ColorVertex)),
              D3D_OK);
    const WORD badIndices[] = {0, 1, 4};
    EXPECT_EQ(device_->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 1, badIndices,
                                              D3DFMT_INDEX16, v.data(), sizeof(ColorVertex)),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(Pixel(1, 1), 0xFF000000u) << "refused draws draw nothing";
    // A 2x2 grid drawn as an indexed strip covers the target.
    const WORD indices[] = {0, 1, 2, 3};
    EXPECT_EQ(device_->DrawIndexedPrimitiveUP(D3DPT_TRIANGLESTRIP, 0, 4, 2, indices, D3DFMT_INDEX16,
                                              v.data(), sizeof(ColorVertex)),
              D3D_OK);
    device_->SetFVF(0x006 | D3DFVF_DIFFUSE);  // XYZB1: positions with a blend weight
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v.data(), 32), D3DERR_INVALIDCALL)
        << "blended positions";
    ASSERT_EQ(device_->EndScene(), D3D_OK);
    EXPECT_EQ(Pixel(7, 7), 0xFFFFFFFFu);
}

TEST_F(DeviceTest, OnlyTheCreatingThreadMayUseTheDevice) {
    CreateDevice(8, 8);
    HRESULT fromWorker = D3D_OK;
    std::thread worker([&] { fromWorker = device_->SetRenderState(D3DRS_ZENABLE, FALSE); });
    worker.join();
    EXPECT_EQ(fromWorker, D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, RenderTargetSlotsFollowTheCapsAndResetTheViewport) {
    TestD3d9Profile profile = TestD3d9DefaultProfile();
    profile.simultaneousRenderTargets = 2;
    TestD3d9SetProfile(profile);
    CreateDevice(8, 8);
    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(device_->CreateRenderTarget(4, 2, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE,
                                          &target, nullptr),
              D3D_OK);
    Keep(target);
    EXPECT_EQ(device_->SetRenderTarget(1, target), D3D_OK);
    EXPECT_EQ(device_->SetRenderTarget(2, target), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->SetRenderTarget(0, nullptr), D3DERR_INVALIDCALL);
    ASSERT_EQ(device_->SetRenderTarget(0, target), D3D_OK);
    D3DVIEWPORT9 viewport;
    device_->GetViewport(&viewport);
    EXPECT_EQ(viewport.Width, 4u);
    EXPECT_EQ(viewport.Height, 2u);
    IDirect3DSurface9* depth = nullptr;
    EXPECT_EQ(device_->GetDepthStencilSurface(&depth), D3DERR_NOTFOUND);
    EXPECT_EQ(device_->SetDepthStencilSurface(target), D3DERR_INVALIDCALL) << "not a depth surface";
}

TEST_F(DeviceTest, D3d9DllExportsThePlainEntryPoint) {
    HMODULE module = LoadLibraryA("d3d9.dll");
    ASSERT_NE(module, nullptr);
    auto create = reinterpret_cast<PFN_Direct3DCreate9>(GetProcAddress(module, "Direct3DCreate9"));
    ASSERT_NE(create, nullptr);
    IDirect3D9* d3d = create(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    EXPECT_EQ(d3d->Release(), 0u);
    FreeLibrary(module);
    TestSetModuleMissing("d3d9.dll", true);
    EXPECT_EQ(LoadLibraryA("d3d9.dll"), nullptr);
}
