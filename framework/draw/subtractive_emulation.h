// The subtractive blend on a Direct3D device without the reverse-subtract operation: the
// destination is inverted, the draw adds, and the destination is inverted again, which gives
// d - s * a. Also the brackets every drawing call puts around its renderer call.
#pragma once

#include <platform/win32_user.h>

#include "graphics/masks.h"

// Both invert the destination over the rectangle, keeping the caller's bright and blend
// parameter; Begin leaves the additive blend mode for the draw, End the subtractive one again.
int BeginSubtractBlendEmulation(const RECT* rect);
int EndSubtractBlendEmulation(const RECT* rect);
// 1 when a Direct3D draw in the current blend mode needs the emulation.
int NeedsSubtractBlendEmulation();

// Runs draw (returning 0 or -1) inside the mask bracket while mask drawing is on and, with
// emulate, inside the subtractive emulation; returns draw's result.
template <class Draw>
int DrawInBrackets(const RECT& rect, bool emulate, Draw draw) {
    const bool masked = IsMaskDrawingOn();
    if (masked) BeginMaskDrawArea(rect);
    if (emulate) BeginSubtractBlendEmulation(&rect);
    const int result = draw();
    if (emulate) EndSubtractBlendEmulation(&rect);
    if (masked) EndMaskDrawArea(rect);
    return result;
}
