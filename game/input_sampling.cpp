// Input sampling: the keys by their codes and joypad 1's directions and buttons, combined
// by OR into the held flags.
#include "input_sampling.h"

#include <orbek/orbek.h>

GameInput gGameInput;

namespace {

bool PadButtonHeld(JoypadBits bits, int32_t button) {
    // The assignment comes from the save file too; a button outside the pad's range is never
    // held rather than an undefined shift.
    if (button < 0 || button >= kJoypadButtons) return false;
    return (bits >> (kJoypadFirstButtonBit + button) & 1u) != 0;
}

}  // namespace

void UpdateInput() {
    GameInput& in = gGameInput;
    in.prevDecide = in.inDecide;
    in.prevPause = in.inPause;
    in.prevHold = in.inHold;
    in.prevUp = in.inUp;
    in.prevDown = in.inDown;
    in.prevLeft = in.inLeft;
    in.prevRight = in.inRight;
    for (int32_t b = 0; b < kPadButtonFlags; ++b) {
        in.prevButton[b] = in.inButton[b];
        in.inButton[b] = 0;
    }

    // A failed read leaves the table as cleared here: no key is down.
    uint8_t keys[256] = {};
    CopyAllKeyStates(keys);
    in.inDecide = keys[kKeyZ] != 0;
    in.inPause = keys[kKeyP] != 0;
    in.inHold = keys[kKeyF5] != 0;
    in.inUp = keys[kKeyUp] != 0 || keys[kKeyNumPad8] != 0;
    in.inDown = keys[kKeyDown] != 0 || keys[kKeyNumPad2] != 0;
    in.inLeft = keys[kKeyLeft] != 0 || keys[kKeyNumPad4] != 0;
    in.inRight = keys[kKeyRight] != 0 || keys[kKeyNumPad6] != 0;
    in.inQuit = keys[kKeyEscape] != 0;

    if (in.padCount <= 0) return;
    JoypadBits bits = GetJoypadBits(1);
    if (PadButtonHeld(bits, in.PadButtonConfig[0])) in.inDecide = 1;
    if (PadButtonHeld(bits, in.PadButtonConfig[1])) in.inPause = 1;
    if ((bits & kJoypadUp) != 0) in.inUp = 1;
    if ((bits & kJoypadDown) != 0) in.inDown = 1;
    if ((bits & kJoypadLeft) != 0) in.inLeft = 1;
    if ((bits & kJoypadRight) != 0) in.inRight = 1;
    for (int32_t b = 0; b < kPadButtonFlags; ++b) in.inButton[b] = PadButtonHeld(bits, b);
}

void ClearHeldButtons() {
    for (int32_t& held : gGameInput.inButton) held = 0;
}
