// The game's logical inputs: keyboard and the first joypad sampled once per pass of every loop
// into held flags, each with its copy from the pass before. Modules read the flags, never the
// devices.
#pragma once

#include <cstdint>

constexpr int32_t kPadButtonFlags = 10;

struct GameInput {
    int32_t inDecide, prevDecide;  // decide, and brake in play
    int32_t inPause, prevPause;
    int32_t inHold, prevHold;  // F5
    int32_t inUp, prevUp;
    int32_t inDown, prevDown;
    int32_t inLeft, prevLeft;
    int32_t inRight, prevRight;
    int32_t inQuit;  // Esc: acts while held, so it has no previous copy
    int32_t inButton[kPadButtonFlags], prevButton[kPadButtonFlags];
    // The pad buttons (0..9) that act as decide/brake and as pause; kept in the save file.
    int32_t PadButtonConfig[2];
    int32_t padCount;  // pads found at start-up; the pad is read only when there is one
};
extern GameInput gGameInput;

// Held now and not in the pass before.
inline bool Pressed(int32_t held, int32_t previous) {
    return held != 0 && previous == 0;
}

void UpdateInput();
void ClearHeldButtons();
