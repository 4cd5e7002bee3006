// The per-frame heartbeat: at most five window messages a call while the window is active,
// pumping and sleeping while it is inactive, then the activation changes that the window
// procedure deferred, then the main-thread services that the modules put in the pump's table.
#include "app/message_pump.h"

#include <platform/win32.h>
#include <platform/win32_user.h>

#include "app/library_setup.h"
#include "app/main_window.h"
#include "core/api_lock.h"
#include "core/clocks.h"
#include "core/desktop_composition.h"
#include "core/log.h"
#include "core/pump_services.h"
#include "core/system_info.h"
#include "core/text_input.h"
#include "graphics/draw_screen.h"
#include "graphics/graphics_system.h"
#include "graphics/screen_state.h"
#include "input/input.h"
#include "movie/movies.h"
#include "sound/soft_sound.h"
#include "sound/sound.h"

namespace {

constexpr int32_t kMessagesPerCall = 5;
constexpr int32_t kShutdownPasses = 10;
constexpr uint32_t kRepaintWhileWaiting = 64;

struct PumpState {
    ActivationRing ring;
    int32_t keyInputRunning;  // set around the key-input processing; nested calls return at once
};

PumpState gPump = {};

bool WaitingNeeded() {
    return !(gShell.closePosted != 0 || gPump.ring.count > 0 || GetBackgroundRunFlag() != 0 ||
             (gShell.active != 0 && gMainWindow.minimised == 0));
}

// The next message of the thread, else a thread message, else one of the main window.
bool TakeMessage(MSG* msg) {
    HWND sources[] = {nullptr, reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)), gShell.window};
    for (HWND source : sources) {
        if (PeekMessageA(msg, source, 0, 0, PM_NOREMOVE) &&
            PeekMessageA(msg, source, 0, 0, PM_REMOVE)) {
            return true;
        }
    }
    return false;
}

void RunMessageLoop() {
    DWORD self = GetCurrentThreadId();
    int32_t dispatched = 0;
    int32_t passes = 0;
    bool firstPass = true;
    bool foundAny = false;
    bool endedAtLimit = false;
    for (;;) {
        bool waiting = WaitingNeeded();
        if (!waiting) {
            gMainWindow.inactiveRecorded = 0;
            if (gMainWindow.quit != 0) break;
            if (!firstPass && (!foundAny || endedAtLimit)) break;
        }
        firstPass = false;
        if (waiting && gMainWindow.inactiveRecorded == 0) {
            gMainWindow.inactiveStart = GetMillisecondCount(0);
            gMainWindow.inactiveRecorded = 1;
        }
        if (waiting) {
            Sleep(1);
            uint32_t now = GetMillisecondCount(0);
            if (gMainWindow.repaintPending != 0 &&
                now - gMainWindow.lastRepaint > kRepaintWhileWaiting) {
                ShowBackBufferOnWindow();
                gMainWindow.lastRepaint = now;
                gMainWindow.repaintPending = 0;
            }
        }

        foundAny = false;
        endedAtLimit = false;
        MSG msg;
        while (TakeMessage(&msg)) {
            foundAny = true;
            if (msg.message == WM_ACTIVATEAPP && IsWindowedMode()) {
                gShell.active = LOWORD(msg.wParam) != 0 ? 1 : 0;
            }
            if (gMainWindow.quit != 0) return;
            if (msg.message == WM_QUIT) {
                gMainWindow.quit = 1;
                SetQuittingFlag();
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            if (++dispatched == kMessagesPerCall) {
                dispatched = 0;
                endedAtLimit = true;
                break;
            }
        }

        if (waiting) {
            RunPumpService(kPumpSockets);
            RunPumpService(kPumpStreamSounds);
            RunPumpService(kPumpMainThreadRequests);
            Sleep(24);
        }
        if (gMainWindow.quit != 0 || self != gShell.mainThreadId) break;
        passes++;
        if (gShell.ending != 0 && passes >= kShutdownPasses) break;
    }
}

void DrainActivationRing() {
    ActivationRing& ring = gPump.ring;
    while (ring.count > 0) {
        int32_t wParam = ring.wParam[ring.head];
        int32_t fromActivateApp = ring.fromActivateApp[ring.head];
        ring.head = (ring.head + 1) % kActivationRingSize;
        ring.count--;
        HandleActivation(wParam, fromActivateApp);
    }
}

// The modules' services from the pump's table, in the table's order.
void RunServices() {
    RunPumpService(kPumpStreamSounds);
    if (gMainWindow.quit == 0) RunPumpService(kPumpMainThreadRequests);
    RunPumpService(kPumpMusic);
    RunPumpService(kPumpKeyboard);
    RunPumpService(kPumpJoypadRumble);
    RunPumpService(kPumpSockets);
    gPump.keyInputRunning = 1;
    RunPumpService(kPumpKeyInput);
    gPump.keyInputRunning = 0;
}

void PauseMedia(int32_t pause) {
    if (pause != 0) {
        PauseAllMovies();
    } else {
        ResumeAllMovies();
    }
    PauseAllSoundHandles(pause);
    PauseAllSoftSoundPlayers(pause);
}

// Whether the window activations still waiting in the ring end with the window active: the
// user came back before this deactivation was handled.
bool RingEndsActive() {
    const ActivationRing& ring = gPump.ring;
    bool active = false, found = false;
    for (int32_t i = 0; i < ring.count; ++i) {
        int32_t at = (ring.head + i) % kActivationRingSize;
        if (ring.fromActivateApp[at] != 0) continue;
        const DWORD wParam = static_cast<DWORD>(ring.wParam[at]);
        active = LOWORD(wParam) != 0 && HIWORD(wParam) == 0;
        found = true;
    }
    return found && active;
}

int Deactivate() {
    const MainWindowSettings& s = gMainWindow.settings;
    bool pauseAsInWindow = IsWindowedMode();
    if (!IsWindowedMode()) {
        ReleaseDeviceForDeactivation();
        // Minimising a window the user has already brought back would undo the return and leave
        // the activation that follows waiting for a second one.
        if ((gSystemInfo.osCode >= kOsCodeWindowsVista || !IsDirect3DMode()) &&
            !RingEndsActive()) {
            ChangeDisplaySettingsA(nullptr, 0);
            ShowWindow(gShell.window, SW_MINIMIZE);
        }
        if (!IsWindowedMode() && FetchDirectDraw7Object() != nullptr) {
            if (IsDesktopCompositionOff() != 0) EnableDesktopComposition(1);
            if (GetGraphRestoreHandler() == nullptr) {
                AppendLogText("復元関数が登録されていないため終了します\n");
                PostCloseOnce();
                return -1;
            }
            PauseMedia(1);
            gMainWindow.deviceReleased = 1;
        } else {
            pauseAsInWindow = true;
        }
    }
    if (pauseAsInWindow) {
        if (gShell.backgroundRun == 0) PauseMedia(1);
        ReacquireInputDevices();
    }
    if (s.cursorClip != 0) {
        ClipCursor(nullptr);
        gMainWindow.cursorClipped = 0;
    }
    HWND drawWindow = GetDrawWindowHandle();
    if (HDC dc = GetDC(drawWindow); dc != nullptr) {
        DrawInactiveImage();
        ReleaseDC(drawWindow, dc);
    }
    return 0;
}

void Activate() {
    MarkImeCompositionForRestore();
    if (IsWindowedMode() && IsDirect3DMode()) {
        EndOpenScene();
        if (IsDeviceReady() == 0) RecreateDeviceKeepingMode();
    }
    if (!IsWindowedMode() && gShell.setUp != 0) {
        RecreateDeviceKeepingMode();
        gMainWindow.deviceReleased = 0;
        PauseMedia(0);
    } else if (GetBackgroundRunFlag() == 0) {
        PauseMedia(0);
    }
    ReacquireInputDevices();
}

}  // namespace

int PumpMessages() {
    EnterApiLock();
    int result = PumpShellMessages();
    LeaveApiLock();
    return result;
}

int PumpShellMessages() {
    if (gPump.keyInputRunning != 0) return 0;
    // A nested call (from a handler inside the pump) gives back the flag it found.
    int32_t outerInPump = gMainWindow.inPump;
    gMainWindow.inPump = 1;

    const MainWindowSettings& s = gMainWindow.settings;
    if (s.cursorClip != 0 && gShell.active != 0 && gMainWindow.minimised == 0 && IsWindowedMode() &&
        gMainWindow.cursorClipped == 0) {
        POINT cursor;
        GetCursorPos(&cursor);
        const RECT& client = gMainWindow.clientRect;
        if (client.left < cursor.x && cursor.x <= client.right && client.top < cursor.y &&
            cursor.y <= client.bottom) {
            ClipCursor(&client);
            gMainWindow.cursorClipped = 1;
        }
    }

    if (gLibrary.noWindow == 0) {
        if (gShell.window == nullptr) {
            gMainWindow.inPump = outerInPump;
            return gMainWindow.quit != 0 ? -1 : 0;
        }
        if (gMainWindow.toggleRequested != 0 && s.altEnterToggle != 0 &&
            GetCurrentThreadId() == gShell.mainThreadId) {
            gMainWindow.toggleRequested = 0;
            ChangeWindowMode(IsWindowedMode() ? 0 : 1);
            if (s.toggleCallback != nullptr) s.toggleCallback(s.toggleData);
        }
        RunMessageLoop();
        if (gShell.closePosted == 0) DrainActivationRing();
    }
    RunServices();

    gMainWindow.inPump = outerInPump;
    return gMainWindow.quit != 0 ? -1 : 0;
}

int ShouldWaitWhileInactive() {
    if (IsFlipRunning() != 0 || gMainWindow.painting != 0) return 0;
    if (gShell.active != 0 && gMainWindow.minimised == 0) return 0;
    if (gLibrary.noWindow != 0 || GetBackgroundRunFlag() != 0) return 0;
    return 1;
}

int WaitForShellActivation() {
    int should = ShouldWaitWhileInactive();
    // A window that no longer exists would never be activated: nothing to wait for.
    if (should == 0 || gMainWindow.quit != 0 || gShell.window == nullptr ||
        !IsWindow(gShell.window)) {
        return should;
    }
    gMainWindow.inactiveStart = GetMillisecondCount(0);
    int result;
    do {
        result = PumpShellMessages();
    } while (result == 0 && !(gShell.active != 0 && gMainWindow.minimised == 0));
    return result;
}

int HandleActivation(int32_t wParam, int32_t fromActivateApp) {
    int32_t active = LOWORD(static_cast<DWORD>(wParam)) != 0 ? 1 : 0;
    if (gMainWindow.creating != 0) {
        gShell.active = active;
        return 0;
    }
    if (HIWORD(static_cast<DWORD>(wParam)) != 0) active = 0;
    if (active == gShell.active) return 0;
    gShell.active = active;
    if (active == 0) {
        if (Deactivate() == -1) return -1;
    } else {
        Activate();
    }
    ApplyJoypadVibration();
    const MainWindowSettings& s = gMainWindow.settings;
    if (fromActivateApp == 0 && s.activationCallback != nullptr) {
        s.activationCallback(active, s.activationData);
    }
    return 0;
}

int QueueActivation(int32_t wParam, int32_t fromActivateApp) {
    ActivationRing& ring = gPump.ring;
    if (ring.count >= kActivationRingSize) return -1;
    ring.wParam[ring.tail] = wParam;
    ring.fromActivateApp[ring.tail] = fromActivateApp;
    ring.tail = (ring.tail + 1) % kActivationRingSize;
    ring.count++;
    return 0;
}

int32_t CountQueuedActivations() {
    return gPump.ring.count;
}
