// Presenting the screen: the source and destination rectangles for full screen, window scale
// and the 320x240 emulation; the swap chain's present in Direct3D mode; the software screen
// image through GDI otherwise; and the 32 ms timer that shows the front screen.
#include "graphics/present_screen.h"

#include <platform/win32_gdi.h>

#include "core/shell_hooks.h"
#include "core/clocks.h"
#include "graphics/d3d_device.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/device_resources.h"
#include "graphics/screen_state.h"
#include "graphics/software_screen.h"
#include "graphics/vertex_batch.h"
#include "graphics/vertical_blank.h"

PresentState gPresent = {};

namespace {

// A present this quick did not wait for the blank itself.
constexpr int64_t kUnpacedPresentUs = 500;

struct PresentRects {
    RECT source;
    RECT dest;
};

// The emulation draws into the 320x240 corner of a 640x480 back buffer.
bool ShowsEmulatedCorner() {
    return IsEmulating320x240() && gScreen.screenWidth == 640 && gScreen.screenHeight == 480;
}

PresentRects ComputePresentRects() {
    PresentRects r;
    r.source = ShowsEmulatedCorner() ? RECT{0, 0, 320, 240}
                                     : RECT{0, 0, gScreen.screenWidth, gScreen.screenHeight};
    if (IsFullScreenMode()) {
        r.dest = {0, 0, gScreen.screenWidth, gScreen.screenHeight};
        return r;
    }
    int width = 0, height = 0;
    QueryOutputSize(&width, &height);
    // The picture fills the window's client area, which is bounded whatever the scale.
    if (!IsEmulating320x240()) ScaleToClientSize(&width, &height);
    r.dest = {0, 0, width, height};
    return r;
}

int PresentDevice(const PresentRects& rects) {
    FlushVertexBatchNow();
    CloseDeviceScene();
    if (gDeviceResources.subBackBuffer != nullptr &&
        FAILED(DeviceStretchRect(gDeviceResources.subBackBuffer, nullptr,
                                 gDeviceResources.backBuffer, nullptr, D3DTEXF_NONE))) {
        return -1;
    }
    if (gDirect3D.swapChain == nullptr) return 0;
    int64_t start = GetMicrosecondCount();
    HRESULT result;
    if (IsFullScreenMode() && !IsEmulating320x240()) {
        result = gDirect3D.swapChain->Present(nullptr, nullptr, GetDrawWindowHandle(), nullptr, 0);
    } else {
        result = gDirect3D.swapChain->Present(&rects.source, &rects.dest, nullptr, nullptr, 0);
        gPresent.lastSource = rects.source;
        gPresent.lastDest = rects.dest;
    }
    if (FAILED(result)) return -1;
    if (GetBackgroundRunFlag() && !gScreen.noVSyncWait &&
        GetMicrosecondCount() - start < kUnpacedPresentUs) {
        WaitVerticalBlankPaced();
    }
    return 0;
}

// BITMAPINFO with room for the three BI_BITFIELDS masks.
struct BitfieldsInfo {
    BITMAPINFOHEADER header;
    DWORD masks[3];
};

int PresentSoftware(PresentRects rects) {
    const MEMIMG& screen = gSoftwareScreen.screen;
    if (!IsMemImgValid(&screen)) return 0;
    if (!gScreen.noVSyncWait) WaitVerticalBlankPaced();
    const ColorFormat& format = *screen.body->format;
    BitfieldsInfo info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = screen.body->pitch / format.pixelBytes;
    info.header.biHeight = -gScreen.screenHeight;
    info.header.biPlanes = 1;
    info.header.biBitCount = format.bitsPerPixel;
    info.header.biCompression = BI_BITFIELDS;
    info.masks[0] = format.redMask;
    info.masks[1] = format.greenMask;
    info.masks[2] = format.blueMask;
    const auto* bitmapInfo = reinterpret_cast<const BITMAPINFO*>(&info);

    HWND window = GetDrawWindowHandle();
    HDC dc = GetDC(window);
    if (dc == nullptr) return 0;
    LONG sourceWidth = rects.source.right - rects.source.left;
    LONG sourceHeight = rects.source.bottom - rects.source.top;
    if (ShowsEmulatedCorner()) {
        rects.dest = {0, 0, 640, 480};
        gPresent.lastSource = gPresent.lastDest = rects.dest;
    }
    LONG destWidth = rects.dest.right - rects.dest.left;
    LONG destHeight = rects.dest.bottom - rects.dest.top;
    if (!ShowsEmulatedCorner() && destWidth == sourceWidth && destHeight == sourceHeight) {
        SetDIBitsToDevice(dc, rects.dest.left, rects.dest.top, static_cast<DWORD>(sourceWidth),
                          static_cast<DWORD>(sourceHeight), 0, 0, 0,
                          static_cast<UINT>(gScreen.screenHeight), screen.pixels, bitmapInfo,
                          DIB_RGB_COLORS);
    } else {
        StretchDIBits(dc, rects.dest.left, rects.dest.top, destWidth, destHeight, rects.source.left,
                      rects.source.top, sourceWidth, sourceHeight, screen.pixels, bitmapInfo,
                      DIB_RGB_COLORS, SRCCOPY);
    }
    ReleaseDC(window, dc);
    return 0;
}

}  // namespace

int PresentScreen() {
    PresentRects rects = ComputePresentRects();
    return IsDirect3DMode() ? PresentDevice(rects) : PresentSoftware(rects);
}
