// Stands in for the screen settings until they exist: sizes and switches are remembered, the
// display modes are the system's, no device is ever made, and a mode change does nothing.
#include "graphics/screen_state.h"

#include <platform/win32.h>
#include <platform/win32_user.h>

#include <vector>

namespace {

struct ScreenState {
    int32_t screenWidth, screenHeight;
    int32_t outputWidth, outputHeight;
    int32_t colorBits;
    int32_t emulate320x240;
    int32_t quitting;
    bool modesListed;
    std::vector<DisplayModeEntry> modes;
};

ScreenState gScreen = {};

}  // namespace

int QueryScreenSizeAndDepth(int* width, int* height, int* bits) {
    bool emulated = gScreen.emulate320x240 != 0;
    if (width != nullptr) *width = emulated ? 320 : gScreen.screenWidth;
    if (height != nullptr) *height = emulated ? 240 : gScreen.screenHeight;
    if (bits != nullptr) *bits = QueryColorBitDepth();
    return 0;
}

int QueryOutputSize(int* width, int* height) {
    if (width != nullptr) *width = gScreen.outputWidth != 0 ? gScreen.outputWidth : 640;
    if (height != nullptr) *height = gScreen.outputHeight != 0 ? gScreen.outputHeight : 480;
    return 0;
}

int QueryColorBitDepth() {
    return gScreen.colorBits != 0 ? gScreen.colorBits : 16;
}

void StoreScreenSize(int width, int height) {
    gScreen.screenWidth = gScreen.outputWidth = width;
    gScreen.screenHeight = gScreen.outputHeight = height;
}

int IsHardwareRenderingRequested() {
    return 1;
}

int IsDirect3DMode() {
    return 0;
}

void SetEmulation320x240(int32_t on) {
    gScreen.emulate320x240 = on;
}

int IsEmulating320x240() {
    return gScreen.emulate320x240;
}

int CountDisplayModes() {
    if (!gScreen.modesListed) {
        DEVMODEA mode{};
        for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &mode); ++i) {
            if (mode.dmBitsPerPel < 16) continue;
            gScreen.modes.push_back({static_cast<int32_t>(mode.dmPelsWidth),
                                     static_cast<int32_t>(mode.dmPelsHeight),
                                     static_cast<int32_t>(mode.dmBitsPerPel),
                                     static_cast<int32_t>(mode.dmDisplayFrequency)});
        }
        gScreen.modesListed = true;
    }
    return static_cast<int>(gScreen.modes.size());
}

DisplayModeEntry ReadDisplayMode(int index) {
    if (index < 0 || index >= CountDisplayModes()) return {-1, -1, -1, -1};
    return gScreen.modes[static_cast<size_t>(index)];
}

int ChangeScreenMode(int width, int height, int colorBits, int force, int refreshRate) {
    return 0;
}

void* FetchDirectDraw7Object() {
    return nullptr;
}

int ClearQuittingFlag() {
    gScreen.quitting = 0;
    return 0;
}

int SetQuittingFlag() {
    gScreen.quitting = 1;
    return 0;
}

int IsQuitting() {
    return gScreen.quitting;
}
