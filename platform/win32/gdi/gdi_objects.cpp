// The tables behind GDI object and device-context handles, and the stock objects.
#include "gdi_objects.h"

#include <map>
#include <mutex>

struct GdiObjectState {
    std::mutex mutex;
    std::map<uintptr_t, std::shared_ptr<GdiObject>> objects;
    std::map<uintptr_t, std::shared_ptr<DeviceContext>> contexts;
    uintptr_t nextHandle = 0x20000;
    std::map<int, HGDIOBJ> stock;
};

static GdiObjectState gGdi;

static uintptr_t NextHandle() {
    gGdi.nextHandle += 0x10;
    return gGdi.nextHandle;
}

HGDIOBJ InsertGdiObject(std::shared_ptr<GdiObject> object) {
    std::lock_guard<std::mutex> guard(gGdi.mutex);
    uintptr_t handle = NextHandle();
    gGdi.objects[handle] = std::move(object);
    return reinterpret_cast<HGDIOBJ>(handle);
}

std::shared_ptr<GdiObject> FindGdiObject(HGDIOBJ handle) {
    std::lock_guard<std::mutex> guard(gGdi.mutex);
    auto found = gGdi.objects.find(reinterpret_cast<uintptr_t>(handle));
    return found == gGdi.objects.end() ? nullptr : found->second;
}

HDC InsertDeviceContext(std::shared_ptr<DeviceContext> context) {
    std::lock_guard<std::mutex> guard(gGdi.mutex);
    uintptr_t handle = NextHandle();
    gGdi.contexts[handle] = std::move(context);
    return reinterpret_cast<HDC>(handle);
}

std::shared_ptr<DeviceContext> FindDeviceContext(HDC handle) {
    std::lock_guard<std::mutex> guard(gGdi.mutex);
    auto found = gGdi.contexts.find(reinterpret_cast<uintptr_t>(handle));
    return found == gGdi.contexts.end() ? nullptr : found->second;
}

bool RemoveDeviceContext(HDC handle) {
    std::lock_guard<std::mutex> guard(gGdi.mutex);
    return gGdi.contexts.erase(reinterpret_cast<uintptr_t>(handle)) != 0;
}

HGDIOBJ GetStockObject(int object) {
    if (object != WHITE_BRUSH && object != BLACK_BRUSH && object != NULL_BRUSH) return nullptr;
    {
        std::lock_guard<std::mutex> guard(gGdi.mutex);
        auto found = gGdi.stock.find(object);
        if (found != gGdi.stock.end()) return found->second;
    }
    auto brush = std::make_shared<Brush>();
    brush->colour = object == WHITE_BRUSH ? RGB(255, 255, 255) : RGB(0, 0, 0);
    brush->hollow = object == NULL_BRUSH;
    HGDIOBJ handle = InsertGdiObject(brush);
    std::lock_guard<std::mutex> guard(gGdi.mutex);
    gGdi.stock[object] = handle;
    return handle;
}

HBRUSH CreateSolidBrush(COLORREF colour) {
    auto brush = std::make_shared<Brush>();
    brush->colour = colour & 0xFFFFFF;
    return InsertGdiObject(brush);
}

BOOL DeleteObject(HGDIOBJ object) {
    std::lock_guard<std::mutex> guard(gGdi.mutex);
    for (const auto& entry : gGdi.stock) {
        if (entry.second == object) return TRUE;
    }
    return gGdi.objects.erase(reinterpret_cast<uintptr_t>(object)) != 0 ? TRUE : FALSE;
}
