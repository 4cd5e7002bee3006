// Hooks for tests only: the headless host, its scripted events and what it shows, and a
// recorder of the calls that the window layer makes to window procedures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/host.h"
#include "platform/win32_user.h"

// Selects the headless host (on) or the SDL2 host (off), with a fresh start either way.
void TestUseHeadlessHost(bool on);
// Destroys every window without messages, forgets classes, queues, timers, clipboard, cursor,
// key state and display settings, and resets the headless host. Window lock files go to a
// directory of this process unless TestSetWindowLockDirectory chose one.
void TestResetWindowLayer();
void TestSetWindowLockDirectory(const char* path);

// An event for the host window behind `window`, delivered by the next PeekMessageA on the
// window's thread; scheduled ones once timeGetTime reaches `atMillisecond`.
void TestHostPushEvent(HWND window, HostEvent event);
void TestHostScheduleEvent(HWND window, HostEvent event, uint32_t atMillisecond);
// Makes the headless host's start fail, as SDL does without a display.
void TestHostFailStart(bool fail);
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
bool TestHostCursorShown();
bool TestHostScreenSaverEnabled();

// Audio: what the open device's callback produces for the next `frames` stereo frames.
bool TestHostRenderAudio(int16_t* out, int32_t frames);
void TestHostSetJoysticks(const std::vector<HostJoystickState>& states);
// Rumble requests so far, as {index, low, high, milliseconds}.
std::vector<std::vector<uint32_t>> TestHostTakeRumbles();

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
