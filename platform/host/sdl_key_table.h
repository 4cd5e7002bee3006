// SDL's key positions as the scan codes (DirectInput key codes) of a Japanese keyboard.
#pragma once

#include <SDL.h>

#include "platform/win32_types.h"

// 0 for a key the layer does not report.
BYTE ScanCodeOfSdlScancode(SDL_Scancode position);
