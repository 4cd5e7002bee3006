// The screen settings and the display's modes: size, output size and depth queries, the
// 320x240 emulation and the GDI display-mode switch. The run-time screen-mode change, which
// restarts graphics, is sequenced above in the graphics system.
#include "graphics/screen_state.h"

#include <platform/win32.h>
#include <platform/win32_user.h>

#include "core/fatal_error.h"
#include "core/log.h"
#include "core/shell_hooks.h"
#include "core/string_functions.h"
#include "core/vector_math.h"
#include "graphics/vertical_blank.h"

ScreenState gScreen = {};

void RestyleShellWindow() {
    if (gShell.applyWindowStyle != nullptr) gShell.applyWindowStyle();
}

namespace {

// Tries the screen mode through GDI, then without the refresh rate.
bool TryDisplayMode() {
    DEVMODEA mode{};
    mode.dmSize = sizeof(mode);
    mode.dmPelsWidth = static_cast<DWORD>(gScreen.screenWidth);
    mode.dmPelsHeight = static_cast<DWORD>(gScreen.screenHeight);
    mode.dmBitsPerPel = static_cast<DWORD>(gScreen.colorBits);
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
    if (gScreen.refreshRate != 0) {
        mode.dmDisplayFrequency = static_cast<DWORD>(gScreen.refreshRate);
        mode.dmFields |= DM_DISPLAYFREQUENCY;
    }
    if (ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL) return true;
    mode.dmFields &= ~DM_DISPLAYFREQUENCY;
    mode.dmDisplayFrequency = 0;
    gScreen.refreshRate = 0;
    return ChangeDisplaySettingsA(&mode, 0) == DISP_CHANGE_SUCCESSFUL;
}

}  // namespace

int QueryScreenSizeAndDepth(int* width, int* height, int* bits) {
    bool emulated = IsEmulating320x240() != 0;
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

int IsFullScreenMode() {
    return IsWindowedMode() ? 0 : 1;
}

void StoreScreenSize(int width, int height) {
    gScreen.screenWidth = width;
    gScreen.screenHeight = height;
    if (IsEmulating320x240() && width == 640) {
        if (height == 480) {
            gScreen.outputWidth = 320;
            gScreen.outputHeight = 240;
            SetProjectionScreenSize(320, 240);
        } else {
            gScreen.outputWidth = 640;
            gScreen.outputHeight = height != 0 ? height : 480;
        }
        return;
    }
    gScreen.outputWidth = width != 0 ? width : 640;
    gScreen.outputHeight = height != 0 ? height : 480;
    SetProjectionScreenSize(gScreen.outputWidth, gScreen.outputHeight);
}

int SwitchHardwareRendering(int useHardware) {
    if (gShell.setUp != 0) return -1;
    gScreen.softwareRenderingForced = useHardware ? 0 : 1;
    return 0;
}

int IsHardwareRenderingRequested() {
    return gScreen.softwareRenderingForced ? 0 : 1;
}

int IsDirect3DMode() {
    return gScreen.direct3DMode;
}

void SetEmulation320x240(int32_t on) {
    gScreen.emulate320x240 = on;
}

void SetEmulation320x240Fallback(int32_t on) {
    gScreen.emulate320x240Fallback = on;
}

int IsEmulating320x240() {
    return gScreen.emulate320x240 != 0 || gScreen.emulate320x240Fallback != 0 ? 1 : 0;
}

int CountDisplayModes() {
    if (gScreen.displayModes == nullptr) {
        BuildDisplayModeList(&gScreen.displayModeCount, &gScreen.displayModes);
    }
    return gScreen.displayModeCount;
}

DisplayModeEntry ReadDisplayMode(int index) {
    if (index < 0 || index >= CountDisplayModes()) return {-1, -1, -1, -1};
    return gScreen.displayModes[index];
}

int HasDisplayMode(int width, int height, int bits) {
    for (int i = 0, count = CountDisplayModes(); i < count; ++i) {
        const DisplayModeEntry& mode = gScreen.displayModes[i];
        if (mode.width == width && mode.height == height && mode.bits == bits) return 1;
    }
    return 0;
}

void BuildDisplayModeList(int32_t* count, DisplayModeEntry** list) {
    if (*list != nullptr) HeapFree(GetProcessHeap(), 0, *list);
    *list = nullptr;
    *count = 0;
    int32_t found = 0;
    DEVMODEA mode{};
    for (DWORD i = 0;; ++i) {
        mode = DEVMODEA{};
        mode.dmSize = sizeof(mode);
        if (!EnumDisplaySettingsA(nullptr, i, &mode)) break;
        if (mode.dmBitsPerPel >= 16) ++found;
    }
    if (found == 0) return;
    auto* modes = static_cast<DisplayModeEntry*>(
        HeapAlloc(GetProcessHeap(), 0, sizeof(DisplayModeEntry) * static_cast<size_t>(found)));
    if (modes == nullptr) return;
    // The second pass stops at the first pass's count, should the display have gained modes.
    int32_t filled = 0;
    for (DWORD i = 0; filled < found; ++i) {
        mode = DEVMODEA{};
        mode.dmSize = sizeof(mode);
        if (!EnumDisplaySettingsA(nullptr, i, &mode)) break;
        if (mode.dmBitsPerPel < 16) continue;
        modes[filled++] = {
            static_cast<int32_t>(mode.dmPelsWidth), static_cast<int32_t>(mode.dmPelsHeight),
            static_cast<int32_t>(mode.dmBitsPerPel), static_cast<int32_t>(mode.dmDisplayFrequency)};
    }
    *list = modes;
    *count = filled;
}

void FreeDisplayModeList() {
    if (gScreen.displayModes != nullptr) HeapFree(GetProcessHeap(), 0, gScreen.displayModes);
    gScreen.displayModes = nullptr;
    gScreen.displayModeCount = 0;
}

int ApplyDisplayModeSettings() {
    EmitLogFormat("画面モードの変更処理を開始します %u x %u  %u bit ",
                  static_cast<unsigned>(gScreen.screenWidth),
                  static_cast<unsigned>(gScreen.screenHeight),
                  static_cast<unsigned>(gScreen.colorBits));
    RaiseLogIndent();
    if (gScreen.colorBits != 16 && gScreen.colorBits != 32) {
        LowerLogIndent();
        return -1;
    }
    AppendLogText("画面解像度を変更します... ");
    bool done = TryDisplayMode();
    if (!done && gScreen.screenWidth == 320 && gScreen.screenHeight == 240) {
        StoreScreenSize(640, 480);
        SetEmulation320x240Fallback(1);
        done = TryDisplayMode();
        if (done) RestyleShellWindow();
    }
    LowerLogIndent();
    if (!done) return AppendLogText("画面モードの変更に失敗しました\n");
    AppendLogText("成功しました\n");
    return 0;
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

void* FetchDirectDraw7Object() {
    return GetDirectDraw7Object();
}
