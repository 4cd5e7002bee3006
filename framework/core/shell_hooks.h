// What the lower floors may see of the application shell: one small record of the shell's
// state, its accessors, and the shell's pumping, waiting and clipboard calls, which run through
// hooks the shell sets at start-up. The shell alone writes the record and the hooks; until the
// hooks are set the calls answer as a program without a window would.
#pragma once

#include <platform/win32_types.h>

#include <algorithm>
#include <cstdint>

struct ShellState {
    HINSTANCE module;
    DWORD mainThreadId;     // the thread that made the window; 0 before
    HWND window;            // the main window; null while there is none
    int32_t windowed;       // 1 window, 0 full screen; set by ChangeWindowMode
    int32_t backgroundRun;  // 1: the program runs on while its window is inactive
    int32_t active;
    int32_t closePosted;    // WM_CLOSE was posted to the window
    int32_t setUp;          // 1 once start-up finished, 0 again when shutdown ended the modules
    int32_t initialising;   // 1 while start-up runs
    int32_t ending;         // 1 during shutdown, 4 after a close request from outside
    int32_t noGraphics;     // graphics left out of the start-up (SetNoGraphicsSwitch)
    double scaleX, scaleY;  // the window-mode scale; 0 or less reads as 1
    // The shell's restyle of its window for the current mode, which a screen-mode change runs;
    // handed over when the window is made.
    int (*applyWindowStyle)();
    // The on-screen log, which the flip draws while it is shown; handed over while the log is
    // set up.
    int (*isScreenLogShown)();
    int (*drawScreenLog)();
};
extern ShellState gShell;

inline HWND GetMainHwnd() {
    return gShell.window;
}
inline int IsWindowedMode() {
    return gShell.windowed != 0 ? 1 : 0;
}
inline int IsAppActive() {
    return gShell.active;
}
inline int GetBackgroundRunFlag() {
    return gShell.backgroundRun;
}
inline int IsCloseRequested() {
    return gShell.closePosted;
}
// The window-mode scale of the picture (1.0 for both in full screen); returns x. Each pointer
// may be null.
inline double GetWindowScale(double* x, double* y) {
    double scaleX = gShell.scaleX > 0 ? gShell.scaleX : 1.0;
    double scaleY = gShell.scaleY > 0 ? gShell.scaleY : 1.0;
    if (!IsWindowedMode()) scaleX = scaleY = 1.0;
    if (x != nullptr) *x = scaleX;
    if (y != nullptr) *y = scaleY;
    return scaleX;
}
// The longest side the window's client area is given, whatever the scale asks for.
constexpr double kLargestClientSide = 16384;
// Turns a screen size into the window-mode client size, which the window takes and the picture
// fills: each side times its window scale, truncated, at least 1 and at most
// kLargestClientSide.
inline void ScaleToClientSize(int* width, int* height) {
    double scaleX, scaleY;
    GetWindowScale(&scaleX, &scaleY);
    *width = static_cast<int>(std::clamp(*width * scaleX, 1.0, kLargestClientSide));
    *height = static_cast<int>(std::clamp(*height * scaleY, 1.0, kLargestClientSide));
}
// The window drawn into: the main window, as no user window can be set.
inline HWND GetDrawWindowHandle() {
    return gShell.window;
}

// The shell's calls that the lower floors make; each may be null.
struct ShellHooks {
    int (*pumpMessages)();
    int (*waitForActivation)();
    int (*readClipboardText)(char* dst, int32_t capacity);
    int (*writeClipboardText)(const char* text);
};
extern ShellHooks gShellHooks;

// The clipboard's text, CP932. Read copies at most capacity - 1 bytes and a NUL; with a null
// dst it returns the text's size + 1; -1 without text or clipboard.
inline int ReadClipboardText(char* dst, int32_t capacity) {
    return gShellHooks.readClipboardText != nullptr ? gShellHooks.readClipboardText(dst, capacity)
                                                    : -1;
}
inline int WriteClipboardText(const char* text) {
    return gShellHooks.writeClipboardText != nullptr ? gShellHooks.writeClipboardText(text) : -1;
}

// One pump call: 0, or -1 once the program must end.
inline int PumpMessagesUnlocked() {
    return gShellHooks.pumpMessages != nullptr ? gShellHooks.pumpMessages() : 0;
}
// Pumps until the window is active again unless no waiting is needed: 0 / -1 / 1 (waiting
// would be needed but the program is quitting).
inline int WaitForActivation() {
    return gShellHooks.waitForActivation != nullptr ? gShellHooks.waitForActivation() : 0;
}
// WaitForActivation when the window is not active; 0. Drawing and loading calls start with it.
inline int WaitWhileInactive() {
    if (gShell.active == 0) WaitForActivation();
    return 0;
}
