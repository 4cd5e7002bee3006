// GDI objects (brushes, bitmaps) and device contexts behind their handles. Each kind of object
// derives from GdiObject or DeviceContext; DeleteObject, ReleaseDC and DeleteDC drop them.
#pragma once

#include <memory>

#include "platform/win32_user.h"

struct GdiObject {
    virtual ~GdiObject() = default;
};

struct Brush : GdiObject {
    COLORREF colour = 0;
    bool hollow = false;  // the NULL_BRUSH stock object paints nothing
};

// A window's device context (window null: the screen's). Memory contexts derive from it.
struct DeviceContext {
    virtual ~DeviceContext() = default;
    HWND window = nullptr;
    uint32_t hostWindow = 0;  // the host window whose surface a window's context draws on
    // The selected font, kept alive while selected; null until one is selected (the system
    // font then serves).
    HGDIOBJ font = nullptr;
    std::shared_ptr<GdiObject> fontObject;
};

// Handles of stock objects are never freed; DeleteObject answers TRUE for them and keeps them.
HGDIOBJ InsertGdiObject(std::shared_ptr<GdiObject> object);
std::shared_ptr<GdiObject> FindGdiObject(HGDIOBJ handle);
HDC InsertDeviceContext(std::shared_ptr<DeviceContext> context);
std::shared_ptr<DeviceContext> FindDeviceContext(HDC handle);
bool RemoveDeviceContext(HDC handle);

// SelectObject for fonts: the font selected before (the system font at first), or null when
// the object is no font.
HGDIOBJ SelectFontIntoContext(DeviceContext* context, HGDIOBJ font);

template <class T>
std::shared_ptr<T> FindGdiObjectOf(HGDIOBJ handle) {
    return std::dynamic_pointer_cast<T>(FindGdiObject(handle));
}
