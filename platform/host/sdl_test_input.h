// The SDL2 host's key event for the window layer's test hook: a key of SDL's position pressed or
// released in a host window, through SDL's own queue.
#pragma once

#include <cstdint>

void SdlPushKey(uint32_t hostWindow, int scancode, bool down);
