// Presenting the finished screen: through the device's swap chain, or through GDI from the
// software screen image; and the front-screen timer that shows the back buffer while the front
// screen is the draw target.
#pragma once

#include <platform/win32_user.h>

#include <cstdint>

constexpr UINT_PTR kFrontScreenTimerId = 32767;
constexpr UINT kFrontScreenTimerMs = 32;

struct PresentState {
    RECT lastSource;  // the rectangles of the last present that used them
    RECT lastDest;
};
extern PresentState gPresent;

// 0, or -1 when the device refused the present.
int PresentScreen();
int StartFrontScreenTimer(int start);
void CALLBACK FrontScreenTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time);
