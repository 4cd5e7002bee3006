// Draw screens: where drawing goes (the back buffer, the front screen or a draw-target graph),
// clearing the target, and the flip that ends each frame.
#pragma once

#include <orbek/orbek.h>
#include <platform/d3d9.h>
#include <platform/win32_user.h>

#include "graphics/draw_state.h"

constexpr UINT_PTR kFrontScreenTimerId = 32767;
constexpr UINT kFrontScreenTimerMs = 32;

// SelectDrawScreen, EraseDrawScreen and FlipScreen are public (orbek/orbek.h). SelectDrawScreen
// gives -1 before graphics start-up, for a graph that is no draw target, or a bad handle.

int SetRenderTargetSlot(int slot, int target);
// From now on the screen ids draw into the sub back buffer.
int UseSubBackBuffer();
int ShowBackBufferOnWindow();
// 1 while a flip runs.
int IsFlipRunning();
// The front-screen timer shows the back buffer on the window while the front screen is the
// draw target.
int StartFrontScreenTimer(int start);
void CALLBACK FrontScreenTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time);
