// What the system reports about the display and its settings: screen metrics, the display
// modes (always with 640x480 and 320x240 at 16 and 32 bits, shown scaled in full screen), the
// mode in force, and the SystemParametersInfoA values the framework reads and writes.
#include <algorithm>
#include <vector>

#include "user_state.h"

struct SystemSettingsState {
    bool modeChanged = false;  // ChangeDisplaySettingsA set `mode`
    HostDisplayMode mode{};
    bool screenSaverActive = true;
    DWORD foregroundLockTimeout = 200000;
};

static SystemSettingsState gSettings;

static HostDisplayMode DesktopMode() {
    if (!EnsureHostStarted()) return {640, 480, 32, 60};
    return Host().desktopMode();
}

// The host's modes of 16 bits and more, then the small modes that are always offered.
static std::vector<HostDisplayMode> DisplayModes() {
    std::vector<HostDisplayMode> modes;
    if (EnsureHostStarted()) {
        modes.resize(static_cast<size_t>(std::max(0, Host().listDisplayModes(nullptr, 0))));
        modes.resize(static_cast<size_t>(
            std::max(0, Host().listDisplayModes(modes.data(), static_cast<int>(modes.size())))));
    }
    std::erase_if(modes, [](const HostDisplayMode& m) { return m.bits < 16; });
    for (int bits : {16, 32}) {
        for (HostDisplayMode small :
             {HostDisplayMode{640, 480, bits, 60}, HostDisplayMode{320, 240, bits, 60}}) {
            bool listed = std::any_of(modes.begin(), modes.end(), [&](const HostDisplayMode& m) {
                return m.width == small.width && m.height == small.height && m.bits == bits;
            });
            if (!listed) modes.push_back(small);
        }
    }
    return modes;
}

HostDisplayMode CurrentDisplayMode() {
    {
        std::lock_guard<std::recursive_mutex> guard(gUser.lock);
        if (gSettings.modeChanged) return gSettings.mode;
    }
    return DesktopMode();
}

void ResetSystemSettings() {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    gSettings = SystemSettingsState{};
}

int GetSystemMetrics(int index) {
    HostDisplayMode mode = CurrentDisplayMode();
    if (index == SM_CXSCREEN) return mode.width;
    if (index == SM_CYSCREEN) return mode.height;
    return 0;
}

BOOL EnumDisplaySettingsA(LPCSTR device, DWORD modeIndex, DEVMODEA* mode) {
    if (mode == nullptr || device != nullptr) return FALSE;
    HostDisplayMode found{};
    if (modeIndex == ENUM_CURRENT_SETTINGS) {
        found = CurrentDisplayMode();
    } else {
        std::vector<HostDisplayMode> modes = DisplayModes();
        if (modeIndex >= modes.size()) return FALSE;
        found = modes[modeIndex];
    }
    mode->dmSize = sizeof(DEVMODEA);
    mode->dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY;
    mode->dmBitsPerPel = static_cast<DWORD>(found.bits);
    mode->dmPelsWidth = static_cast<DWORD>(found.width);
    mode->dmPelsHeight = static_cast<DWORD>(found.height);
    mode->dmDisplayFrequency = static_cast<DWORD>(found.refresh);
    return TRUE;
}

LONG ChangeDisplaySettingsA(DEVMODEA* mode, DWORD flags) {
    if (mode == nullptr) {
        std::lock_guard<std::recursive_mutex> guard(gUser.lock);
        gSettings.modeChanged = false;
        return DISP_CHANGE_SUCCESSFUL;
    }
    HostDisplayMode current = CurrentDisplayMode();
    HostDisplayMode wanted{
        (mode->dmFields & DM_PELSWIDTH) != 0 ? static_cast<int32_t>(mode->dmPelsWidth)
                                             : current.width,
        (mode->dmFields & DM_PELSHEIGHT) != 0 ? static_cast<int32_t>(mode->dmPelsHeight)
                                              : current.height,
        (mode->dmFields & DM_BITSPERPEL) != 0 ? static_cast<int32_t>(mode->dmBitsPerPel)
                                              : current.bits,
        (mode->dmFields & DM_DISPLAYFREQUENCY) != 0 ? static_cast<int32_t>(mode->dmDisplayFrequency)
                                                    : 0};
    std::vector<HostDisplayMode> modes = DisplayModes();
    auto match = std::find_if(modes.begin(), modes.end(), [&](const HostDisplayMode& m) {
        return m.width == wanted.width && m.height == wanted.height && m.bits == wanted.bits &&
               (wanted.refresh == 0 || m.refresh == wanted.refresh);
    });
    if (match == modes.end()) return DISP_CHANGE_BADMODE;
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    gSettings.modeChanged = true;
    gSettings.mode = *match;
    return DISP_CHANGE_SUCCESSFUL;
}

BOOL SystemParametersInfoA(UINT action, UINT uiParam, LPVOID pvParam, UINT winIni) {
    std::lock_guard<std::recursive_mutex> guard(gUser.lock);
    switch (action) {
        case SPI_GETSCREENSAVEACTIVE:
            if (pvParam == nullptr) return FALSE;
            *static_cast<BOOL*>(pvParam) = gSettings.screenSaverActive ? TRUE : FALSE;
            return TRUE;
        case SPI_SETSCREENSAVEACTIVE:
            gSettings.screenSaverActive = uiParam != 0;
            if (EnsureHostStarted()) Host().enableScreenSaver(gSettings.screenSaverActive);
            return TRUE;
        case SPI_GETFOREGROUNDLOCKTIMEOUT:
            if (pvParam == nullptr) return FALSE;
            *static_cast<DWORD*>(pvParam) = gSettings.foregroundLockTimeout;
            return TRUE;
        case SPI_SETFOREGROUNDLOCKTIMEOUT:
            gSettings.foregroundLockTimeout =
                static_cast<DWORD>(reinterpret_cast<uintptr_t>(pvParam));
            return TRUE;
        default:  // the screen-saver-running switch exists only on Windows 9x
            return FALSE;
    }
}
