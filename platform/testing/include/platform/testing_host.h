// Hooks for tests only: the headless host, its scripted events, joysticks and what it shows,
// input fed to the SDL host through SDL itself, and a recorder of the calls that the window
// layer makes to window procedures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/host_types.h"
#include "platform/win32_user.h"

// Selects the headless host (on) or the SDL2 host (off), with a fresh start either way.
void TestUseHeadlessHost(bool on);
// Destroys every window without messages, forgets classes, queues, timers, clipboard, cursor,
// key state and display settings, and resets the headless host. Window lock files go to a
// directory of this process unless TestSetWindowLockDirectory chose one.
void TestResetWindowLayer();
void TestSetWindowLockDirectory(const char* path);

// An event for the host window behind `window`, delivered by the next PeekMessageA on the
// window's thread; scheduled ones once timeGetTime reaches `atMillisecond`. A key event may
// name its virtual key or its scan code alone: the keyboard table gives the other.
void TestHostPushEvent(HWND window, HostEvent event);
void TestHostScheduleEvent(HWND window, HostEvent event, uint32_t atMillisecond);
// Makes the headless host's start fail, as SDL does without a display.
void TestHostFailStart(bool fail);
// Off: headless windows have no surface, so whatever is shown in them costs nothing (for long
// runs that only play); a reset turns surfaces back on.
void TestHostKeepSurfaces(bool on);
void TestHostSetDesktopMode(HostDisplayMode mode);
void TestHostSetDisplayModes(const std::vector<HostDisplayMode>& modes);
void TestHostSetClipboardText(const char* utf8);
std::string TestHostClipboardText();

struct TestHostWindow {
    bool exists;
    bool visible;
    bool minimised;
    bool fullScreen;
    int x, y, width, height;
    std::string titleUtf8;
    int presents;  // surface unlocks so far
};
TestHostWindow TestHostReadWindow(HWND window);
// The window's surface as last shown: width x height pixels 0x00RRGGBB.
std::vector<uint32_t> TestHostReadSurface(HWND window, int* width, int* height);
// The user puts the pointer at (x, y) of the display, with no event: as where it is over no
// window of the program (a mouse event over a window puts it at the event's place, and a
// window's Moved event moves the window).
void TestHostPlacePointer(int x, int y);
bool TestHostCursorShown();
bool TestHostScreenSaverEnabled();

// Audio: the headless output renders on the clock. While capturing (each start clears what was
// kept) it keeps every stereo frame it renders; the take renders up to now and hands over the
// interleaved left and right samples kept since the last take.
void TestHostCaptureAudio(bool on);
std::vector<int16_t> TestHostTakeAudio();
// Frames rendered since the output opened, up to now.
unsigned long long TestHostAudioFrames();

// Joysticks: what the headless host reports, in order, and the effects played on them.
struct TestHostJoystick {
    HostJoystickInfo info;
    HostJoystickState state;
};
void TestHostSetJoysticks(const std::vector<TestHostJoystick>& joysticks);
void TestHostSetJoystickState(int index, const HostJoystickState& state);
struct TestHostEffectCall {
    int index;
    int slot;
    bool start;  // false: stopped
    HostJoystickEffect effect;
};
std::vector<TestHostEffectCall> TestHostTakeJoystickEffects();

// The SDL host fed through SDL itself: key events in SDL's queue (scancodes are USB usage
// numbers, as SDL's are), and SDL's own virtual game controllers. A virtual pad has the
// standard controller's axes and buttons, numbered as SDL numbers them; rumble requests that
// reach it are kept as {pad, low, high}.
void TestSdlPushKey(HWND window, int scancode, bool down);
// UTF-8 text committed in the window, or (editing) an input method's composition with its
// cursor and selected length in characters.
void TestSdlPushText(HWND window, const char* utf8, bool editing, int start, int length);
// A window event as SDL numbers them (1 shown, 2 hidden, 3 exposed, 7 minimised, 9 restored,
// 12 focus gained, 13 focus lost), as a window manager's doings reach SDL.
void TestSdlPushWindowEvent(HWND window, int sdlWindowEvent);
// The pad's number among the virtual pads, or -1.
int TestSdlAttachVirtualPad();
void TestSdlSetVirtualPadAxis(int pad, int axis, int16_t value);
void TestSdlSetVirtualPadButton(int pad, int button, bool down);
std::vector<std::vector<uint32_t>> TestSdlTakeVirtualRumbles();
void TestSdlDetachVirtualPads();

struct TestWindowCall {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
// While on, every call the layer makes to a window procedure (sent, dispatched or from
// DefWindowProcA) is recorded.
void TestRecordWindowCalls(bool on);
std::vector<TestWindowCall> TestTakeWindowCalls();
