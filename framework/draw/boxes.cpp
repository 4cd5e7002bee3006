// Boxes: filled and outlined rectangles under the current blend mode and bright, drawn by the
// Direct3D device in Direct3D mode and by the software renderer otherwise (graphs choose their
// renderer by whether they have textures, boxes by the mode). PutBox, PutBoxFilled and
// PutBoxOutline are public (orbek/orbek.h).
#include <orbek/orbek.h>

#include "core/clamped_math.h"
#include "core/shell_hooks.h"
#include "draw/graph_vertices.h"
#include "draw/software_draw.h"
#include "draw/subtractive_emulation.h"
#include "graphics/draw_state.h"
#include "graphics/screen_state.h"

namespace {

using BoxRenderer = int (*)(int x1, int y1, int x2, int y2, ScreenColor color);

int DrawBox(int x1, int y1, int x2, int y2, ScreenColor color, BoxRenderer device,
            BoxRenderer software) {
    // Corners beyond the band cover no more of any screen; held there, the outline's edges
    // (a corner plus or minus one) cannot overflow.
    x1 = ClampToFar(x1), y1 = ClampToFar(y1), x2 = ClampToFar(x2), y2 = ClampToFar(y2);
    const DrawSettings& s = gDrawSettings;
    if (s.ignoreChanges || s.emptyDrawArea) return 0;
    const bool direct3D = IsDirect3DMode();
    WaitWhileInactive();
    // As given, unordered.
    const RECT rect = {x1, y1, x2, y2};
    // The software renderer subtracts by itself.
    return DrawInBrackets(rect, direct3D && NeedsSubtractBlendEmulation(), [&] {
        return direct3D ? device(x1, y1, x2, y2, color) : software(x1, y1, x2, y2, color);
    });
}

}  // namespace

int PutBoxFilled(int32_t x1, int32_t y1, int32_t x2, int32_t y2, ScreenColor color) {
    return DrawBox(x1, y1, x2, y2, color, HwFillBox, SoftFillBox);
}

int PutBoxOutline(int32_t x1, int32_t y1, int32_t x2, int32_t y2, ScreenColor color) {
    return DrawBox(x1, y1, x2, y2, color, HwOutlineBox, SoftOutlineBox);
}

int PutBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2, ScreenColor color, int32_t fill) {
    return fill ? PutBoxFilled(x1, y1, x2, y2, color) : PutBoxOutline(x1, y1, x2, y2, color);
}
