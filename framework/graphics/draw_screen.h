// Draw screens: where drawing goes (the back buffer, the front screen or a draw-target graph),
// clearing the target, and the flip that ends each frame.
#pragma once

#include <orbek/orbek.h>
#include <platform/d3d9.h>
#include <platform/win32_user.h>

// Besides kBackScreen and kFrontScreen (the back buffer, shown on the window every 32 ms):
// accepted as the back buffer; they keep the target size they find.
constexpr int kBackScreenAlias3 = -3;
constexpr int kBackScreenAlias5 = -5;

// 1 for the screen ids (not a graph).
int IsScreenId(int screen);
// SelectDrawScreen, EraseDrawScreen and FlipScreen are public (orbek/orbek.h). SelectDrawScreen
// gives -1 before graphics start-up, for a graph that is no draw target, or a bad handle.

// The current draw target of slot 0.
int GetDrawScreen();
int SetRenderTargetSlot(int slot, int target);
// From now on the screen ids draw into the sub back buffer.
int UseSubBackBuffer();
int ShowBackBufferOnWindow();
// The device surface that the screen ids draw into.
IDirect3DSurface9* ScreenSurface();
// 1 while a flip runs.
int IsFlipRunning();
