// The pixels a window shows, for the layer's own presenters (the Direct3D device's present,
// DIB output to a window's DC): client-size 0x00RRGGBB rows to draw on, unlocking shows them;
// or an image shown one to one in its own layout, which costs no conversion on the way.
#pragma once

#include <cstdint>

#include "../../host/host.h"
#include "platform/win32_user.h"

// Null for a window that is gone or has no surface.
uint32_t* LockWindowSurface(HWND window, int* width, int* height, int* pitchBytes);
void UnlockWindowSurface(HWND window);
// Shows `image` with its top-left pixel at (x, y) of the client area, clipped to it. False for
// a window that is gone or has no surface.
bool ShowImageOnWindow(HWND window, const HostImage& image, int x, int y);
