// The pixels a window shows, for the layer's own presenters (the Direct3D device's present,
// DIB output to a window's DC): client-size 0x00RRGGBB rows; unlocking shows them.
#pragma once

#include <cstdint>

#include "platform/win32_user.h"

// Null for a window that is gone or has no surface.
uint32_t* LockWindowSurface(HWND window, int* width, int* height, int* pitchBytes);
void UnlockWindowSurface(HWND window);
