// What reaches a window: frames the software Direct3D device presents (converted, stretched,
// with their rectangles, at the vertical blank unless presented immediately or to a window that
// shows nothing) and DIBs drawn onto a window's device context; and DIB headers whose bit count
// no colour table fits.
#include <gtest/gtest.h>
#include <platform/d3d9.h>
#include <platform/mmsystem.h>
#include <platform/testing.h>
#include <platform/testing_d3d9.h>
#include <platform/testing_ddraw.h>
#include <platform/testing_host.h>
#include <platform/win32.h>
#include <platform/win32_gdi.h>
#include "win32/user/window_surface.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr DWORD kColorFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;

struct ColorVertex {
    float x, y, z, rhw;
    D3DCOLOR diffuse;
};

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;

class PresentWiringTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestResetPlatform();
        TestUseHeadlessHost(true);
        TestD3d9Reset();
        TestSetVerticalBlankIntervals({});
        TestUseVirtualClock(true);
        TestSetClockMicroseconds(1'000'000);
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.lpszClassName = "PresentTarget";
        ASSERT_NE(RegisterClassExA(&windowClass), 0);
        window_ = CreateWindowExA(0, "PresentTarget", "present", 0, 0, 0, 64, 48, nullptr, nullptr,
                                  nullptr, nullptr);
        ASSERT_NE(window_, nullptr);
        ShowWindow(window_, SW_SHOW);
    }

    void TearDown() override {
        ReleaseDevice();
        EXPECT_EQ(TestD3d9LiveObjects(), 0);
        TestD3d9Reset();
        TestSetVerticalBlankIntervals({});
        TestUseHeadlessHost(true);
        TestResetPlatform();
    }

    // A 32x24 back buffer for the window, cleared to blue.
    void CreateDevice(D3DFORMAT format = D3DFMT_X8R8G8B8,
                      UINT interval = D3DPRESENT_INTERVAL_IMMEDIATE) {
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d_, nullptr);
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = 32;
        pp.BackBufferHeight = 24;
        pp.BackBufferFormat = format;
        pp.BackBufferCount = 1;
        pp.SwapEffect = D3DSWAPEFFECT_COPY;
        pp.hDeviceWindow = window_;
        pp.Windowed = TRUE;
        pp.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
        pp.PresentationInterval = interval;
        ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_,
                                     D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device_),
                  D3D_OK);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0), D3D_OK);
    }

    void ReleaseDevice() {
        if (device_ != nullptr) {
            EXPECT_EQ(device_->Release(), 0u);
        }
        if (d3d_ != nullptr) {
            EXPECT_EQ(d3d_->Release(), 0u);
        }
        device_ = nullptr;
        d3d_ = nullptr;
    }

    void Quad(float x0, float y0, float x1, float y1, D3DCOLOR color) {
        std::vector<ColorVertex> v = {{x0, y0, 0, 1, color},
                                      {x1, y0, 0, 1, color},
                                      {x0, y1, 0, 1, color},
                                      {x1, y1, 0, 1, color}};
        ASSERT_EQ(device_->SetFVF(kColorFvf), D3D_OK);
        ASSERT_EQ(device_->BeginScene(), D3D_OK);
        ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v.data(), sizeof(ColorVertex)),
                  D3D_OK);
        ASSERT_EQ(device_->EndScene(), D3D_OK);
    }

    uint32_t Shown(int x, int y) {
        int width = 0, height = 0;
        std::vector<uint32_t> pixels = TestHostReadSurface(window_, &width, &height);
        EXPECT_EQ(width, 64);
        EXPECT_EQ(height, 48);
        if (x >= width || y >= height) return 0xDEADBEEF;
        return pixels[static_cast<size_t>(y) * width + x];
    }

    HWND window_ = nullptr;
    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
};

TEST_F(PresentWiringTest, APresentedFrameIsStretchedOverTheClientArea) {
    CreateDevice();
    Quad(0, 0, 16, 12, 0xFFFF0000);
    Quad(16, 12, 32, 24, 0xFF00FF00);
    int presents = TestHostReadWindow(window_).presents;
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(TestHostReadWindow(window_).presents, presents + 1);

    // Each back-buffer pixel covers 2x2 window pixels.
    EXPECT_EQ(Shown(0, 0), kRed);
    EXPECT_EQ(Shown(31, 23), kRed);
    EXPECT_EQ(Shown(32, 23), kBlue);
    EXPECT_EQ(Shown(31, 24), kBlue);
    EXPECT_EQ(Shown(32, 24), kGreen);
    EXPECT_EQ(Shown(63, 47), kGreen);
    EXPECT_EQ(Shown(63, 0), kBlue);
    EXPECT_EQ(Shown(0, 47), kBlue);
}

TEST_F(PresentWiringTest, SourceAndDestinationRectanglesPickAndPlaceThePicture) {
    CreateDevice();
    Quad(0, 0, 16, 12, 0xFFFF0000);
    Quad(16, 12, 32, 24, 0xFF00FF00);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);

    // The green quarter, halved, into the top-left corner; the rest of the window keeps what
    // the last present left there.
    RECT source = {16, 12, 32, 24};
    RECT dest = {0, 0, 8, 6};
    ASSERT_EQ(device_->Present(&source, &dest, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(Shown(0, 0), kGreen);
    EXPECT_EQ(Shown(7, 5), kGreen);
    EXPECT_EQ(Shown(8, 0), kRed);
    EXPECT_EQ(Shown(0, 6), kRed);
    EXPECT_EQ(Shown(63, 47), kGreen);

    // A destination partly outside the client area is clipped to it.
    RECT corner = {0, 0, 1, 1};
    RECT overhanging = {60, 44, 68, 52};
    ASSERT_EQ(device_->Present(&corner, &overhanging, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(Shown(60, 44), kRed);
    EXPECT_EQ(Shown(63, 47), kRed);
    EXPECT_EQ(Shown(59, 47), kGreen);
}

TEST_F(PresentWiringTest, SixteenBitBackBuffersAreConvertedToTheWindowsFormat) {
    for (D3DFORMAT format : {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5}) {
        SCOPED_TRACE(format);
        CreateDevice(format);
        Quad(0, 0, 16, 12, 0xFFFF0000);
        Quad(16, 12, 32, 24, 0xFF00FF00);
        ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        EXPECT_EQ(Shown(0, 0), kRed);
        EXPECT_EQ(Shown(40, 30), kGreen);
        EXPECT_EQ(Shown(40, 0), kBlue);
        ReleaseDevice();
    }
}

// Shown at its own size, a frame reaches the window without GDI, in its own format: each
// channel must still come out scaled to 8 bits and rounded, as GDI shows the same pixels.
TEST_F(PresentWiringTest, AFrameShownAtItsOwnSizeKeepsItsChannelsExact) {
    struct Case {
        D3DFORMAT format;
        uint32_t raw;
        uint32_t rgb;
    };
    const Case cases[] = {
        {D3DFMT_X8R8G8B8, 0xAB123456, 0x123456},
        // Channels where rounding and repeating the top bits part: 3/31, 12/63, 24/31.
        {D3DFMT_R5G6B5, 0x1998, 0x1931C5},
        // The unused top bit set; 7/31, 28/31, 3/31.
        {D3DFMT_X1R5G5B5, 0x9F83, 0x3AE619},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        CreateDevice(c.format);
        ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        IDirect3DSurface9* back = nullptr;
        ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(back->LockRect(&locked, nullptr, 0), D3D_OK);
        // Pixel (5, 3).
        BYTE* at = static_cast<BYTE*>(locked.pBits) + 3 * locked.Pitch;
        if (c.format == D3DFMT_X8R8G8B8) {
            std::memcpy(at + 5 * 4, &c.raw, 4);
        } else {
            uint16_t raw = static_cast<uint16_t>(c.raw);
            std::memcpy(at + 5 * 2, &raw, 2);
        }
        ASSERT_EQ(back->UnlockRect(), D3D_OK);
        back->Release();
        // A 4x4 corner around it, one to one at (40, 30).
        RECT source = {4, 2, 8, 6};
        RECT dest = {40, 30, 44, 34};
        ASSERT_EQ(device_->Present(&source, &dest, nullptr, nullptr), D3D_OK);
        EXPECT_EQ(Shown(41, 31), c.rgb);
        EXPECT_EQ(Shown(40, 30), kBlue);
        EXPECT_EQ(Shown(43, 33), kBlue);
        ReleaseDevice();
    }
}

TEST_F(PresentWiringTest, IntervalOneWaitsForTheNextBlankAndImmediateDoesNot) {
    // A 50 Hz display: blanks every 20 ms on the clock.
    TestHostSetDesktopMode({1920, 1080, 32, 50});
    CreateDevice(D3DFMT_X8R8G8B8, D3DPRESENT_INTERVAL_ONE);
    TestSetClockMicroseconds(1'005'000);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(timeGetTime(), 1020u);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(timeGetTime(), 1040u);
    ReleaseDevice();

    CreateDevice(D3DFMT_X8R8G8B8, D3DPRESENT_INTERVAL_IMMEDIATE);
    TestSetClockMicroseconds(1'005'000);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(timeGetTime(), 1005u);
}

TEST_F(PresentWiringTest, PresentsToAWindowThatShowsNothingDoNotWait) {
    TestSetVerticalBlankIntervals({7000});
    CreateDevice(D3DFMT_X8R8G8B8, D3DPRESENT_INTERVAL_ONE);
    ShowWindow(window_, SW_MINIMIZE);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(timeGetTime(), 1000u);
    ShowWindow(window_, SW_RESTORE);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(timeGetTime(), 1007u);
    ShowWindow(window_, SW_HIDE);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(timeGetTime(), 1007u);
}

TEST_F(PresentWiringTest, PresentsWaitOnTheScriptedBlanksToo) {
    TestSetVerticalBlankIntervals({7000});
    CreateDevice(D3DFMT_X8R8G8B8, D3DPRESENT_INTERVAL_DEFAULT);
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(timeGetTime(), 1007u);
    // DirectDraw's own count is for DirectDraw's waits.
    EXPECT_EQ(TestCountVerticalBlankWaits(), 0);
}

// A 4x2 24-bit bottom-up DIB: the bottom row red, green, blue, white; the top row black.
struct SmallDib {
    BITMAPINFO info{};
    uint8_t bits[2][12] = {{0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255}, {}};
    SmallDib() {
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = 4;
        info.bmiHeader.biHeight = 2;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
    }
};

TEST_F(PresentWiringTest, SetDIBitsToDeviceDrawsOntoAWindowUnstretched) {
    RECT all = {0, 0, 64, 48};
    HDC dc = GetDC(window_);
    ASSERT_NE(dc, nullptr);
    ASSERT_EQ(FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))), 1);
    const uint32_t white = Shown(0, 0);
    ASSERT_EQ(white, 0xFFFFFFu);

    SmallDib dib;
    int presents = TestHostReadWindow(window_).presents;
    // Two pixels of the bottom row from its second pixel on, to (10, 5).
    EXPECT_EQ(SetDIBitsToDevice(dc, 10, 5, 2, 1, 1, 0, 0, 2, dib.bits, &dib.info, DIB_RGB_COLORS),
              2);
    EXPECT_EQ(TestHostReadWindow(window_).presents, presents + 1);
    EXPECT_EQ(Shown(10, 5), kGreen);
    EXPECT_EQ(Shown(11, 5), kBlue);
    EXPECT_EQ(Shown(9, 5), white);
    EXPECT_EQ(Shown(12, 5), white);
    EXPECT_EQ(Shown(10, 6), white);
    EXPECT_EQ(Shown(10, 4), white);

    // Not every scan line given, or a start other than the first: nothing drawn.
    EXPECT_EQ(SetDIBitsToDevice(dc, 0, 0, 4, 2, 0, 0, 0, 1, dib.bits, &dib.info, DIB_RGB_COLORS),
              0);
    EXPECT_EQ(SetDIBitsToDevice(dc, 0, 0, 4, 2, 0, 0, 1, 2, dib.bits, &dib.info, DIB_RGB_COLORS),
              0);
    EXPECT_EQ(Shown(0, 0), white);
    EXPECT_EQ(ReleaseDC(window_, dc), 1);
}

TEST_F(PresentWiringTest, BitCountsWithoutAColourTableLayoutAreRefusedBeforeReading) {
    // Only the header is there: a colour table read for these counts would run past it.
    HDC memory = CreateCompatibleDC(nullptr);
    BITMAPINFO sectionInfo{};
    sectionInfo.bmiHeader = {sizeof(BITMAPINFOHEADER), 4, 4, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* sectionBits = nullptr;
    HBITMAP section =
        CreateDIBSection(nullptr, &sectionInfo, DIB_RGB_COLORS, &sectionBits, nullptr, 0);
    ASSERT_NE(section, nullptr);
    HGDIOBJ previous = SelectObject(memory, section);
    HDC windowDc = GetDC(window_);
    std::vector<uint8_t> bits(64, 0xAB);
    for (WORD bitCount : {0, 2, 3, 7, 12, 40}) {
        SCOPED_TRACE(bitCount);
        auto header = std::make_unique<BITMAPINFOHEADER>();
        *header = {sizeof(BITMAPINFOHEADER), 4, 4, 1, bitCount, BI_RGB, 0, 0, 0, 0, 0};
        const auto* info = reinterpret_cast<const BITMAPINFO*>(header.get());
        EXPECT_EQ(
            SetDIBitsToDevice(memory, 0, 0, 4, 4, 0, 0, 0, 4, bits.data(), info, DIB_RGB_COLORS),
            0);
        EXPECT_EQ(
            SetDIBitsToDevice(windowDc, 0, 0, 4, 4, 0, 0, 0, 4, bits.data(), info, DIB_RGB_COLORS),
            0);
    }
    EXPECT_EQ(static_cast<const uint32_t*>(sectionBits)[0], 0u);
    ReleaseDC(window_, windowDc);
    SelectObject(memory, previous);
    DeleteObject(section);
    DeleteDC(memory);
}

// The SDL2 host on a real (or virtual X) display: run with ORBEK_REAL_DISPLAY=1.
TEST(PresentWiringRealDisplayTest, APresentReachesTheSdlWindow) {
    const char* wanted = std::getenv("ORBEK_REAL_DISPLAY");
    if (wanted == nullptr || std::string(wanted) != "1") GTEST_SKIP() << "ORBEK_REAL_DISPLAY=1";
    TestResetPlatform();
    TestUseHeadlessHost(false);
    TestD3d9Reset();
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.lpszClassName = "RealPresentTarget";
    ASSERT_NE(RegisterClassExA(&windowClass), 0);
    HWND window = CreateWindowExA(0, "RealPresentTarget", "present", 0, 0, 0, 64, 48, nullptr,
                                  nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_SHOW);

    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = 32;
    pp.BackBufferHeight = 24;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_COPY;
    pp.hDeviceWindow = window;
    pp.Windowed = TRUE;
    pp.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
    IDirect3DDevice9* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp,
                                &device),
              D3D_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0), D3D_OK);
    D3DRECT topLeft = {0, 0, 16, 12};
    ASSERT_EQ(device->Clear(1, &topLeft, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0), D3D_OK);
    for (int frame = 0; frame < 3; ++frame) {
        ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }

    int width = 0, height = 0, pitch = 0;
    uint32_t* pixels = LockWindowSurface(window, &width, &height, &pitch);
    ASSERT_NE(pixels, nullptr);
    ASSERT_EQ(width, 64);
    ASSERT_EQ(height, 48);
    auto at = [&](int x, int y) {
        return reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(pixels) +
                                                 y * pitch)[x] &
               0xFFFFFF;
    };
    EXPECT_EQ(at(0, 0), kRed);
    EXPECT_EQ(at(31, 23), kRed);
    EXPECT_EQ(at(32, 24), kGreen);
    UnlockWindowSurface(window);

    EXPECT_EQ(device->Release(), 0u);
    EXPECT_EQ(d3d->Release(), 0u);
    DestroyWindow(window);
    TestUseHeadlessHost(true);
    TestResetPlatform();
}

}  // namespace
