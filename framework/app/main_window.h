// The main window: its state and settings, creation and end, window and full-screen mode, the
// window-mode scale, and the services around it (cursor, mouse, clipboard, dropped files).
#pragma once

#include <orbek/orbek.h>
#include <platform/win32.h>
#include <platform/win32_user.h>

#include <cstdint>

#include "core/shell_hooks.h"

struct MouseClick {
    int32_t button;  // 1 left, 2 right, 4 middle
    int32_t x;
    int32_t y;
};

// Kept across window start-up; no operation of this system changes them except where noted.
struct MainWindowSettings {
    char className[256];  // empty: the title, else "K402618Q"
    char title[256];      // empty: "Orbek"
    int32_t styleIndex;   // 0..10, a row of the style tables
    int32_t altEnterToggle;
    void (*toggleCallback)(void* data);
    void* toggleData;
    int32_t allowDoubleStart;
    int32_t keepWindowOnClose;
    int32_t noQuitMessage;
    // Called before the procedure's own handling; a non-zero *handled returns its result.
    LRESULT(*messageHook)
    (HWND window, UINT message, WPARAM wParam, LPARAM lParam, int32_t* handled);
    int32_t resizable;
    int32_t userWidth, userHeight;
    int32_t userSizeRequested;  // the user size is a request, consumed once applied
    int32_t userSizeFixed;
    int32_t userX, userY;
    int32_t userPositionSet;
    int32_t hiddenStart;
    int32_t minimisedStart;
    int32_t cursorClip;
    int32_t iconId;
    int32_t backgroundColourSet;
    COLORREF backgroundColour;
    void (*activationCallback)(int32_t active, void* data);
    void* activationData;
};

struct MainWindowState {
    MainWindowSettings settings;
    int32_t minimised;
    int32_t quit;
    int32_t windowDestroyed;
    int32_t inPump;
    int32_t creating;
    int32_t painting;
    RECT clientRect;  // screen coordinates
    RECT windowRect;
    int32_t captionHeight;
    int32_t desktopWidth, desktopHeight, desktopBits;
    uint64_t memoryTotal, memoryFree;
    int32_t cursorWanted, cursorApplied;
    int32_t cursorClipped;
    MouseClick clicks[32];
    int32_t clickCount;
    int32_t wheel, wheelHorizontal;
    char* droppedFiles[1000];
    int32_t droppedFileCount;
    uint32_t inactiveStart;  // -1 until the window first became inactive
    int32_t inactiveRecorded;
    int32_t toggleRequested;
    int32_t modeChangeUnderWay;  // keeps WM_MOVE and WM_DISPLAYCHANGE quiet
    int32_t displayChanged;
    int32_t visibleStyle;  // the visible-style addition, on once a mode change has happened
    int32_t sizeApplied;
    int32_t userSizeResetDeferred;
    int32_t repaintPending;
    uint32_t lastRepaint;
    int32_t paintTimerArmed;
    int32_t deviceReleased;  // the device went with a full-screen deactivation
    UINT timerPeriod;
};
extern MainWindowState gMainWindow;

int SetupMainWindow();
int ShutdownMainWindow();
int ApplyWindowStyle();
int StoreWindowModeFlag(int32_t windowed);
// Sizes and places the own window for the current mode and scale.
void ApplyWindowSize();
// At the end of start-up: a user-size request deferred during it is consumed.
void ConsumeDeferredUserSize();

BOOL ForceForegroundWindow(HWND window, int32_t topmost);
// 1 show, 0 hide, -1 re-evaluate.
int ApplyCursorVisibility(int32_t show);
void QueueMouseClick(int32_t button);
int UpdateClientOriginOnMove(LPARAM lParam);
int DrawInactiveImage();
int FreeDroppedFiles();
// The clipboard calls behind ReadClipboardText and WriteClipboardText.
int ReadShellClipboardText(char* dst, int32_t capacity);
int WriteShellClipboardText(const char* text);
// Keeps tracked copies of the dropped paths, up to 1000 in all, and finishes the drop.
void StoreDroppedFiles(HDROP drop);
// Posts WM_CLOSE to the main window once.
void PostCloseOnce();
// The screen size the window shows: 640 x 480 under the 320 x 240 emulation.
void ScreenClientSize(int* width, int* height);
// Whether full screen can show the screen size: a display mode of that size is listed, or the
// size is 320 x 240 with hardware rendering; a 320 x 240 screen turns the emulation on, shown
// at 640 x 480.
bool PrepareFullScreenSize();
// The desktop's bits per pixel.
int DesktopBitsPerPixel();

LRESULT MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
