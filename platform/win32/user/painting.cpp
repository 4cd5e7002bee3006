// Painting a window: the update region (kept as one rectangle), WM_PAINT through BeginPaint and
// EndPaint, window device contexts, FillRect onto the window's surface, and what GetDeviceCaps
// reports for the desktop.
#include "window_surface.h"

#include <algorithm>

#include "../gdi/gdi_objects.h"
#include "user_state.h"

namespace {

RECT ClientRect(const WindowRecord& record) {
    return {0, 0, record.rect.right - record.rect.left, record.rect.bottom - record.rect.top};
}

bool IsEmpty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

}  // namespace

uint32_t* LockWindowSurface(HWND window, int* width, int* height, int* pitchBytes) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    WindowRecord* record = FindWindowRecord(window);
    if (record == nullptr || record->hostWindow == 0) return nullptr;
    return Host().lockSurface(record->hostWindow, width, height, pitchBytes);
}

void UnlockWindowSurface(HWND window) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    WindowRecord* record = FindWindowRecord(window);
    if (record != nullptr && record->hostWindow != 0) Host().unlockSurface(record->hostWindow);
}

bool ShowImageOnWindow(HWND window, const HostImage& image, int x, int y) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    WindowRecord* record = FindWindowRecord(window);
    return record != nullptr && record->hostWindow != 0 &&
           Host().showImage(record->hostWindow, image, x, y);
}

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    if (window == nullptr) {
        for (auto& entry : gUser.windows) InvalidateRect(entry.second.handle, nullptr, erase);
        return TRUE;
    }
    WindowRecord* record = FindWindowRecord(window);
    if (record == nullptr) return FALSE;
    RECT client = ClientRect(*record);
    RECT add = rect != nullptr ? *rect : client;
    add = {std::max(add.left, client.left), std::max(add.top, client.top),
           std::min(add.right, client.right), std::min(add.bottom, client.bottom)};
    if (IsEmpty(add)) return TRUE;
    if (record->needsPaint) {
        record->update = {
            std::min(record->update.left, add.left), std::min(record->update.top, add.top),
            std::max(record->update.right, add.right), std::max(record->update.bottom, add.bottom)};
    } else {
        record->update = add;
    }
    record->needsPaint = true;
    return TRUE;
}

BOOL ValidateRect(HWND window, const RECT* rect) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    WindowRecord* record = FindWindowRecord(window);
    if (record == nullptr) return FALSE;
    const RECT& u = record->update;
    if (rect == nullptr || (rect->left <= u.left && rect->top <= u.top && rect->right >= u.right &&
                            rect->bottom >= u.bottom)) {
        record->needsPaint = false;
        record->update = {};
    }
    return TRUE;
}

BOOL UpdateWindow(HWND window) {
    {
        std::lock_guard<std::recursive_mutex> guard(gUser.lock);
        WindowRecord* record = FindWindowRecord(window);
        if (record == nullptr) return FALSE;
        if (!record->needsPaint || !record->visible) return TRUE;
    }
    SendMessageA(window, WM_PAINT, 0, 0);
    return TRUE;
}

HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
    if (paint == nullptr) return nullptr;
    *paint = {};
    {
        std::lock_guard<std::recursive_mutex> guard(gUser.lock);
        WindowRecord* record = FindWindowRecord(window);
        if (record == nullptr) return nullptr;
        paint->rcPaint = record->needsPaint ? record->update : RECT{};
        paint->fErase = record->needsPaint ? TRUE : FALSE;
        record->needsPaint = false;
        record->update = {};
    }
    paint->hdc = GetDC(window);
    return paint->hdc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) {
    if (paint != nullptr) ReleaseDC(window, paint->hdc);
    return TRUE;
}

HDC GetDC(HWND window) {
    if (window != nullptr && !IsWindow(window)) return nullptr;
    auto context = std::make_shared<DeviceContext>();
    context->window = window;
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    if (WindowRecord* record = FindWindowRecord(window)) context->hostWindow = record->hostWindow;
    return InsertDeviceContext(context);
}

int ReleaseDC(HWND window, HDC dc) {
    std::shared_ptr<DeviceContext> context = FindDeviceContext(dc);
    if (context == nullptr || context->window != window) return 0;
    return RemoveDeviceContext(dc) ? 1 : 0;
}

HWND WindowFromDC(HDC dc) {
    std::shared_ptr<DeviceContext> context = FindDeviceContext(dc);
    return context != nullptr ? context->window : nullptr;
}

int GetDeviceCaps(HDC dc, int index) {
    if (FindDeviceContext(dc) == nullptr) return 0;
    HostDisplayMode mode = CurrentDisplayMode();
    switch (index) {
        case BITSPIXEL:
            return mode.bits;
        case PLANES:
            return 1;
        case HORZRES:
            return mode.width;
        case VERTRES:
            return mode.height;
        case VREFRESH:
            return mode.refresh;
        default:
            return 0;
    }
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    std::shared_ptr<Brush> fill = FindGdiObjectOf<Brush>(brush);
    HWND window = WindowFromDC(dc);
    if (rect == nullptr || fill == nullptr || window == nullptr) return 0;
    if (fill->hollow) return 1;
    int width = 0, height = 0, pitch = 0;
    uint32_t* pixels = LockWindowSurface(window, &width, &height, &pitch);
    if (pixels == nullptr) return 0;
    uint32_t colour =
        ((fill->colour & 0xFF) << 16) | (fill->colour & 0xFF00) | ((fill->colour >> 16) & 0xFF);
    for (int y = std::max(0, static_cast<int>(rect->top)); y < std::min(height, int(rect->bottom));
         ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(pixels) + y * pitch);
        for (int x = std::max(0, static_cast<int>(rect->left));
             x < std::min(width, int(rect->right)); ++x) {
            row[x] = colour;
        }
    }
    UnlockWindowSurface(window);
    return 1;
}
