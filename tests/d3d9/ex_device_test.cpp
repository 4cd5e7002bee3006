// The Ex object and device: the "d3d9.dll" entry and its hiding, CreateDeviceEx's rules on the
// full-screen display mode, and what an Ex device does differently (no managed pool, hanging
// instead of being lost, the frame latency).
#include "device_fixture.h"

namespace {

class ExDeviceTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        // Offered whatever the run's environment says.
        TestSetExportMissing("d3d9.dll", "Direct3DCreate9Ex", false);
    }

    void TearDown() override {
        // Plain devices first: one may have been made by the Ex object.
        ReleaseDevice();
        if (deviceEx_ != nullptr) {
            EXPECT_EQ(deviceEx_->Release(), 0u);
        }
        if (d3dEx_ != nullptr) {
            EXPECT_EQ(d3dEx_->Release(), 0u);
        }
        DeviceTest::TearDown();
    }

    void CreateObject() { ASSERT_EQ(Direct3DCreate9Ex(D3D_SDK_VERSION, &d3dEx_), D3D_OK); }

    HRESULT CreateEx(D3DPRESENT_PARAMETERS pp, D3DDISPLAYMODEEX* mode) {
        return d3dEx_->CreateDeviceEx(0, D3DDEVTYPE_HAL, kWindow, D3DCREATE_MIXED_VERTEXPROCESSING,
                                      &pp, mode, &deviceEx_);
    }

    void CreateWindowedEx() { ASSERT_EQ(CreateEx(Windowed(), nullptr), D3D_OK); }

    static D3DPRESENT_PARAMETERS Windowed() {
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = 16;
        pp.BackBufferHeight = 16;
        pp.SwapEffect = D3DSWAPEFFECT_COPY;
        pp.hDeviceWindow = kWindow;
        pp.Windowed = TRUE;
        return pp;
    }

    static D3DPRESENT_PARAMETERS FullScreen() {
        D3DPRESENT_PARAMETERS pp = Windowed();
        pp.BackBufferWidth = 640;
        pp.BackBufferHeight = 480;
        pp.BackBufferFormat = D3DFMT_R5G6B5;
        pp.Windowed = FALSE;
        return pp;
    }

    IDirect3D9Ex* d3dEx_ = nullptr;
    IDirect3DDevice9Ex* deviceEx_ = nullptr;
};

TEST_F(ExDeviceTest, TheExEntryPointIsExportedUnlessHidden) {
    HMODULE module = LoadLibraryA("d3d9.dll");
    auto create =
        reinterpret_cast<PFN_Direct3DCreate9Ex>(GetProcAddress(module, "Direct3DCreate9Ex"));
    ASSERT_NE(create, nullptr);
    IDirect3D9Ex* object = reinterpret_cast<IDirect3D9Ex*>(1);
    EXPECT_EQ(create(31, &object), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    TestSetExportMissing("d3d9.dll", "Direct3DCreate9Ex", true);
    EXPECT_EQ(GetProcAddress(module, "Direct3DCreate9Ex"), nullptr);
    EXPECT_NE(GetProcAddress(module, "Direct3DCreate9"), nullptr);
    FreeLibrary(module);
}

TEST_F(ExDeviceTest, OnlyExObjectsAndDevicesAnswerForTheExInterfaces) {
    CreateObject();
    void* asked = nullptr;
    ASSERT_EQ(d3dEx_->QueryInterface(IID_IDirect3D9Ex, &asked), S_OK);
    EXPECT_EQ(asked, d3dEx_);
    d3dEx_->Release();
    CreateWindowedEx();
    ASSERT_EQ(deviceEx_->QueryInterface(IID_IDirect3DDevice9Ex, &asked), S_OK);
    EXPECT_EQ(asked, deviceEx_);
    deviceEx_->Release();

    CreateDevice(8, 8);
    EXPECT_EQ(d3d_->QueryInterface(IID_IDirect3D9Ex, &asked), E_NOINTERFACE);
    EXPECT_EQ(device_->QueryInterface(IID_IDirect3DDevice9Ex, &asked), E_NOINTERFACE);
    EXPECT_EQ(device_->QueryInterface(IID_IDirect3DDevice9, &asked), S_OK);
    device_->Release();
}

TEST_F(ExDeviceTest, AFullScreenDisplayModeGoesWithFullScreenAndMatchesTheBackBuffer) {
    CreateObject();
    D3DDISPLAYMODEEX mode = {sizeof(D3DDISPLAYMODEEX),       640, 480, 0, D3DFMT_R5G6B5,
                             D3DSCANLINEORDERING_PROGRESSIVE};
    EXPECT_EQ(CreateEx(Windowed(), &mode), D3DERR_INVALIDCALL);
    EXPECT_EQ(CreateEx(FullScreen(), nullptr), D3DERR_INVALIDCALL);
    for (auto change : {&D3DDISPLAYMODEEX::Size, &D3DDISPLAYMODEEX::Width,
                        &D3DDISPLAYMODEEX::Height, &D3DDISPLAYMODEEX::RefreshRate}) {
        D3DDISPLAYMODEEX other = mode;
        other.*change += 1;
        EXPECT_EQ(CreateEx(FullScreen(), &other), D3DERR_INVALIDCALL);
    }
    D3DDISPLAYMODEEX wrongFormat = mode;
    wrongFormat.Format = D3DFMT_X8R8G8B8;
    EXPECT_EQ(CreateEx(FullScreen(), &wrongFormat), D3DERR_INVALIDCALL);
    EXPECT_EQ(deviceEx_, nullptr);
    ASSERT_EQ(CreateEx(FullScreen(), &mode), D3D_OK);
    EXPECT_NE(deviceEx_, nullptr);
}

TEST_F(ExDeviceTest, AProfileWithoutExDevicesAndInjectedFailuresRefuseThem) {
    CreateObject();
    TestD3d9Profile profile = TestD3d9DefaultProfile();
    profile.exDevices = false;
    TestD3d9SetProfile(profile);
    EXPECT_EQ(CreateEx(Windowed(), nullptr), D3DERR_NOTAVAILABLE);
    // The same object still makes plain devices.
    D3DPRESENT_PARAMETERS pp = Windowed();
    ASSERT_EQ(d3dEx_->CreateDevice(0, D3DDEVTYPE_HAL, kWindow, D3DCREATE_MIXED_VERTEXPROCESSING,
                                   &pp, &device_),
              D3D_OK);
    TestD3d9SetProfile(TestD3d9DefaultProfile());
    TestFailNthCall("CreateDeviceEx", 1);
    EXPECT_EQ(CreateEx(Windowed(), nullptr), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(CreateEx(Windowed(), nullptr), D3D_OK);
}

TEST_F(ExDeviceTest, AnExDeviceHasNoManagedPool) {
    CreateObject();
    CreateWindowedEx();
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(
        deviceEx_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
        D3DERR_INVALIDCALL);
    IDirect3DVolumeTexture9* volume = nullptr;
    EXPECT_EQ(deviceEx_->CreateVolumeTexture(4, 4, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED,
                                             &volume, nullptr),
              D3DERR_INVALIDCALL);
    IDirect3DVertexBuffer9* vertices = nullptr;
    EXPECT_EQ(deviceEx_->CreateVertexBuffer(64, 0, kColorFvf, D3DPOOL_MANAGED, &vertices, nullptr),
              D3DERR_INVALIDCALL);
    IDirect3DIndexBuffer9* indices = nullptr;
    EXPECT_EQ(
        deviceEx_->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &indices, nullptr),
        D3DERR_INVALIDCALL);
    // A dynamic texture in the default pool is what locks instead.
    ASSERT_EQ(deviceEx_->CreateTexture(4, 4, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                       &texture, nullptr),
              D3D_OK);
    D3DLOCKED_RECT lock{};
    EXPECT_EQ(texture->LockRect(0, &lock, nullptr, 0), D3D_OK);
    texture->UnlockRect(0);
    texture->Release();
}

TEST_F(ExDeviceTest, ALostExDeviceHangsAndCannotPresent) {
    CreateObject();
    CreateWindowedEx();
    TestD3d9LoseDevices();
    EXPECT_EQ(deviceEx_->TestCooperativeLevel(), D3DERR_DEVICEHUNG);
    EXPECT_EQ(deviceEx_->TestCooperativeLevel(), D3DERR_DEVICEHUNG);
    EXPECT_EQ(deviceEx_->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICEHUNG);
}

TEST_F(ExDeviceTest, TheFrameLatencyIsOneToSixteenWithZeroForTheDefault) {
    CreateObject();
    CreateWindowedEx();
    EXPECT_EQ(TestD3d9ReadMaximumFrameLatency(deviceEx_), 3u);
    EXPECT_EQ(deviceEx_->SetMaximumFrameLatency(1), D3D_OK);
    EXPECT_EQ(TestD3d9ReadMaximumFrameLatency(deviceEx_), 1u);
    EXPECT_EQ(deviceEx_->SetMaximumFrameLatency(17), D3DERR_INVALIDCALL);
    EXPECT_EQ(TestD3d9ReadMaximumFrameLatency(deviceEx_), 1u);
    EXPECT_EQ(deviceEx_->SetMaximumFrameLatency(0), D3D_OK);
    EXPECT_EQ(TestD3d9ReadMaximumFrameLatency(deviceEx_), 3u);
}

}  // namespace
