// DIB output onto a window: the DIB is decoded through a 32-bit DIB section (so every kind
// SetDIBitsToDevice reads is accepted) and stretched, nearest pixel, into the window's surface.
#include <platform/win32_gdi.h>
#include <platform/window_surface.h>

#include <cstring>

namespace {

// The whole DIB as top-down 0x00RRGGBB rows of `width` pixels, in a section that the caller
// deletes; null when the DIB cannot be read.
HBITMAP DecodeToSection(const BITMAPINFO* info, const void* bits, UINT colorUse,
                        const uint32_t** pixels) {
    const BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0) return nullptr;
    LONG rows = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    BITMAPINFO sectionInfo{};
    sectionInfo.bmiHeader = {
        sizeof(BITMAPINFOHEADER), h.biWidth, -rows, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* sectionBits = nullptr;
    HBITMAP section =
        CreateDIBSection(nullptr, &sectionInfo, DIB_RGB_COLORS, &sectionBits, nullptr, 0);
    if (section == nullptr) return nullptr;
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(memory, section);
    int drawn =
        SetDIBitsToDevice(memory, 0, 0, static_cast<DWORD>(h.biWidth), static_cast<DWORD>(rows), 0,
                          0, 0, static_cast<UINT>(rows), bits, info, colorUse);
    SelectObject(memory, previous);
    DeleteDC(memory);
    if (drawn == 0) {
        DeleteObject(section);
        return nullptr;
    }
    *pixels = static_cast<const uint32_t*>(sectionBits);
    return section;
}

}  // namespace

int StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc,
                  int srcWidth, int srcHeight, const void* bits, const BITMAPINFO* info,
                  UINT colorUse, DWORD rop) {
    HWND window = WindowFromDC(dc);
    if (window == nullptr || bits == nullptr || info == nullptr || rop != SRCCOPY ||
        destWidth <= 0 || destHeight <= 0 || srcWidth <= 0 || srcHeight <= 0) {
        return 0;
    }
    const uint32_t* pixels = nullptr;
    HBITMAP section = DecodeToSection(info, bits, colorUse, &pixels);
    if (section == nullptr) return 0;
    const int64_t dibWidth = info->bmiHeader.biWidth;
    const int64_t dibHeight = info->bmiHeader.biHeight < 0 ? -int64_t{info->bmiHeader.biHeight}
                                                           : info->bmiHeader.biHeight;
    // A bottom-up DIB's source origin is its lower-left corner.
    const int64_t srcTop = info->bmiHeader.biHeight < 0 ? ySrc : dibHeight - ySrc - srcHeight;

    int width = 0, height = 0, pitch = 0;
    uint32_t* surface = LockWindowSurface(window, &width, &height, &pitch);
    if (surface == nullptr) {
        DeleteObject(section);
        return 0;
    }
    for (int64_t dy = 0; dy < destHeight; ++dy) {
        int64_t ty = yDest + dy;
        // Each destination pixel takes the source pixel under its centre.
        int64_t sy = srcTop + (2 * dy + 1) * srcHeight / (2 * int64_t{destHeight});
        if (ty < 0 || ty >= height || sy < 0 || sy >= dibHeight) continue;
        uint32_t* out =
            reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(surface) + ty * pitch);
        const uint32_t* in = pixels + sy * dibWidth;
        for (int64_t dx = 0; dx < destWidth; ++dx) {
            int64_t tx = xDest + dx;
            int64_t sx = xSrc + (2 * dx + 1) * srcWidth / (2 * int64_t{destWidth});
            if (tx < 0 || tx >= width || sx < 0 || sx >= dibWidth) continue;
            out[tx] = in[sx] & 0xFFFFFF;
        }
    }
    UnlockWindowSurface(window);
    DeleteObject(section);
    return srcHeight;
}
