// Shows what the software Direct3D device presents: a back buffer shown at its own size goes to
// the window's surface as it is, in its own format; one stretched from the source to the
// destination rectangle goes through GDI's DIB output.
#include <platform/win32_gdi.h>
#include <platform/win32_user.h>

#include "../win32/user/window_surface.h"
#include "d3d9_state.h"

namespace {

// A BI_BITFIELDS header with its three colour masks.
struct MaskedBitmapInfo {
    BITMAPINFOHEADER header;
    DWORD masks[3];
};

// How a back buffer format is shown: its host layout and its DIB layout.
struct PresentLayout {
    HostPixelFormat host;
    WORD bits;
    DWORD masks[3];
};

bool LayoutOf(D3DFORMAT format, PresentLayout* layout) {
    switch (format) {
        case D3DFMT_X8R8G8B8:
            *layout = {HostPixelFormat::Xrgb8888, 32, {0xFF0000, 0xFF00, 0xFF}};
            return true;
        case D3DFMT_R5G6B5:
            *layout = {HostPixelFormat::Rgb565, 16, {0xF800, 0x7E0, 0x1F}};
            return true;
        case D3DFMT_X1R5G5B5:
            *layout = {HostPixelFormat::Xrgb1555, 16, {0x7C00, 0x3E0, 0x1F}};
            return true;
        default:
            return false;
    }
}

void StretchOntoWindow(const D3d9PresentedFrame& frame, const PresentLayout& layout,
                       const RECT& dest) {
    // The DIB spans the whole pitch (a multiple of 4 bytes, so its rows line up with the
    // buffer's); the source rectangle picks the shown part out of it.
    MaskedBitmapInfo info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = frame.pitch / (layout.bits / 8);
    info.header.biHeight = -static_cast<LONG>(frame.height);
    info.header.biPlanes = 1;
    info.header.biBitCount = layout.bits;
    info.header.biCompression = BI_BITFIELDS;
    for (int i = 0; i < 3; ++i) info.masks[i] = layout.masks[i];
    HDC dc = GetDC(frame.window);
    if (dc == nullptr) return;
    const RECT& source = frame.source;
    StretchDIBits(dc, dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top,
                  source.left, source.top, source.right - source.left, source.bottom - source.top,
                  frame.bits, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY);
    ReleaseDC(frame.window, dc);
}

}  // namespace

void ShowPresentedFrame(const D3d9PresentedFrame& frame) {
    PresentLayout layout;
    if (!IsWindow(frame.window) || !LayoutOf(frame.format, &layout)) return;
    RECT dest = frame.dest;
    if (frame.wholeClientArea && !GetClientRect(frame.window, &dest)) return;
    const RECT& source = frame.source;
    const LONG width = source.right - source.left, height = source.bottom - source.top;
    if (dest.right - dest.left != width || dest.bottom - dest.top != height) {
        StretchOntoWindow(frame, layout, dest);
        return;
    }
    HostImage image;
    image.pixels = frame.bits + static_cast<ptrdiff_t>(source.top) * frame.pitch +
                   static_cast<ptrdiff_t>(source.left) * (layout.bits / 8);
    image.pitchBytes = frame.pitch;
    image.width = width;
    image.height = height;
    image.format = layout.host;
    ShowImageOnWindow(frame.window, image, dest.left, dest.top);
}
