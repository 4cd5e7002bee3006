// The SDL2 host's key and text events for the window layer's test hooks: a key of SDL's position
// pressed or released in a host window, or text typed or composed there, through SDL's own queue.
#pragma once

#include <cstdint>

void SdlPushKey(uint32_t hostWindow, int scancode, bool down);
// Text an input method commits (SDL_TEXTINPUT), or its composition (SDL_TEXTEDITING).
void SdlPushText(uint32_t hostWindow, const char* utf8, bool editing, int start, int length);
// A window event of SDL's numbering (SDL_WINDOWEVENT_SHOWN, ...), as a window manager makes it.
void SdlPushWindowEvent(uint32_t hostWindow, int sdlWindowEvent);
