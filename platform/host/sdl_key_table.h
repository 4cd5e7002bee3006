// SDL scancodes as Windows virtual keys, at the positions of a Japanese keyboard.
#pragma once

#include <SDL.h>

#include "platform/win32_types.h"

// 0 for a key the layer does not report; `extended` as Windows marks the key in lParam.
BYTE VirtualKeyOfScancode(SDL_Scancode code, bool* extended);
