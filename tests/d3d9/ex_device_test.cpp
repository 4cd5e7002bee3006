// The Ex object and device: the "d3d9.dll" entry and its hiding, CreateDeviceEx's rules on the
// full-screen display mode, and what an Ex device does differently (no managed pool, the frame
// latency).
#include "device_fixture.h"

namespace {

class ExDeviceTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        // Offered whatever the run's environment says.
        TestSetExportMissing("d3d9.dll", "Direct3DCreate9Ex", false);
        ASSERT_EQ(Direct3DCreate9Ex(D3D_SDK_VERSION, &d3dEx_), D3D_OK);
    }

    void TearDown() override {
        // Plain devices first: one may have been made by the Ex object.
        ReleaseDevice();
        if (deviceEx_ != nullptr) {
            EXPECT_EQ(deviceEx_->Release(), 0u);
        }
        EXPECT_EQ(d3dEx_->Release(), 0u);
        DeviceTest::TearDown();
    }

    HRESULT CreateEx(bool windowed, D3DDISPLAYMODEEX* mode) {
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = windowed ? 16 : 640;
        pp.BackBufferHeight = windowed ? 16 : 480;
        pp.BackBufferFormat = windowed ? D3DFMT_UNKNOWN : D3DFMT_R5G6B5;
        pp.SwapEffect = D3DSWAPEFFECT_COPY;
        pp.hDeviceWindow = kWindow;
        pp.Windowed = windowed;
        return d3dEx_->CreateDeviceEx(0, D3DDEVTYPE_HAL, kWindow, D3DCREATE_MIXED_VERTEXPROCESSING,
                                      &pp, mode, &deviceEx_);
    }

    IDirect3D9Ex* d3dEx_ = nullptr;
    IDirect3DDevice9Ex* deviceEx_ = nullptr;
};

TEST_F(ExDeviceTest, TheExEntryIsExportedUnlessHiddenAndOnlyExObjectsAnswerForTheirInterfaces) {
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

    void* asked = nullptr;
    ASSERT_EQ(d3dEx_->QueryInterface(IID_IDirect3D9Ex, &asked), S_OK);
    d3dEx_->Release();
    ASSERT_EQ(CreateEx(true, nullptr), D3D_OK);
    ASSERT_EQ(deviceEx_->QueryInterface(IID_IDirect3DDevice9Ex, &asked), S_OK);
    deviceEx_->Release();
    CreateDevice(8, 8);
    EXPECT_EQ(d3d_->QueryInterface(IID_IDirect3D9Ex, &asked), E_NOINTERFACE);
    EXPECT_EQ(device_->QueryInterface(IID_IDirect3DDevice9Ex, &asked), E_NOINTERFACE);
}

TEST_F(ExDeviceTest, AFullScreenDisplayModeGoesWithFullScreenAndMatchesTheBackBuffer) {
    D3DDISPLAYMODEEX mode = {sizeof(D3DDISPLAYMODEEX),       640, 480, 0, D3DFMT_R5G6B5,
                             D3DSCANLINEORDERING_PROGRESSIVE};
    EXPECT_EQ(CreateEx(true, &mode), D3DERR_INVALIDCALL);
    EXPECT_EQ(CreateEx(false, nullptr), D3DERR_INVALIDCALL);
    for (auto field : {&D3DDISPLAYMODEEX::Size, &D3DDISPLAYMODEEX::Width, &D3DDISPLAYMODEEX::Height,
                       &D3DDISPLAYMODEEX::RefreshRate}) {
        D3DDISPLAYMODEEX other = mode;
        other.*field += 1;
        EXPECT_EQ(CreateEx(false, &other), D3DERR_INVALIDCALL);
    }
    D3DDISPLAYMODEEX otherFormat = mode;
    otherFormat.Format = D3DFMT_X8R8G8B8;
    EXPECT_EQ(CreateEx(false, &otherFormat), D3DERR_INVALIDCALL);
    EXPECT_EQ(CreateEx(false, &mode), D3D_OK);
}

TEST_F(ExDeviceTest, AnExDeviceHasNoManagedPoolAndQueuesOneToSixteenFrames) {
    ASSERT_EQ(CreateEx(true, nullptr), D3D_OK);
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

    EXPECT_EQ(TestD3d9ReadMaximumFrameLatency(deviceEx_), 3u);
    EXPECT_EQ(deviceEx_->SetMaximumFrameLatency(1), D3D_OK);
    EXPECT_EQ(deviceEx_->SetMaximumFrameLatency(17), D3DERR_INVALIDCALL);
    EXPECT_EQ(TestD3d9ReadMaximumFrameLatency(deviceEx_), 1u);
    EXPECT_EQ(deviceEx_->SetMaximumFrameLatency(0), D3D_OK);
    EXPECT_EQ(TestD3d9ReadMaximumFrameLatency(deviceEx_), 3u);
}

}  // namespace
