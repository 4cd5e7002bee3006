// Shows what the software Direct3D device presents: the back buffer goes to the present's
// window through GDI's DIB output, converted from its format and stretched from the source to
// the destination rectangle.
#include <platform/win32_gdi.h>
#include <platform/win32_user.h>

#include "d3d9_state.h"

namespace {

// A BI_BITFIELDS header with its three colour masks.
struct MaskedBitmapInfo {
    BITMAPINFOHEADER header;
    DWORD masks[3];
};

}  // namespace

void ShowPresentedFrame(const D3d9PresentedFrame& frame) {
    if (!IsWindow(frame.window)) return;
    MaskedBitmapInfo info{};
    WORD bits = 16;
    switch (frame.format) {
        case D3DFMT_X8R8G8B8:
            bits = 32;
            info.masks[0] = 0xFF0000;
            info.masks[1] = 0xFF00;
            info.masks[2] = 0xFF;
            break;
        case D3DFMT_R5G6B5:
            info.masks[0] = 0xF800;
            info.masks[1] = 0x7E0;
            info.masks[2] = 0x1F;
            break;
        case D3DFMT_X1R5G5B5:
            info.masks[0] = 0x7C00;
            info.masks[1] = 0x3E0;
            info.masks[2] = 0x1F;
            break;
        default:
            return;
    }
    // The DIB spans the whole pitch (a multiple of 4 bytes, so its rows line up with the
    // buffer's); the source rectangle picks the shown part out of it.
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = frame.pitch / (bits / 8);
    info.header.biHeight = -static_cast<LONG>(frame.height);
    info.header.biPlanes = 1;
    info.header.biBitCount = bits;
    info.header.biCompression = BI_BITFIELDS;
    RECT dest = frame.dest;
    if (frame.wholeClientArea && !GetClientRect(frame.window, &dest)) return;
    HDC dc = GetDC(frame.window);
    if (dc == nullptr) return;
    const RECT& source = frame.source;
    StretchDIBits(dc, dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top,
                  source.left, source.top, source.right - source.left, source.bottom - source.top,
                  frame.bits, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY);
    ReleaseDC(frame.window, dc);
}
