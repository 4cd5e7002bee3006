// The subtractive-blend emulation. With the subtractive mode on a device that cannot subtract,
// the blend states compute (1 - d) x source, so a white box at full parameter inverts the
// destination; between two inversions an additive draw gives 1 - ((1 - d) + s * a) = d - s * a,
// saturating at 0 where the addition saturated at 1.
#include "draw/subtractive_emulation.h"

#include "draw/graph_vertices.h"
#include "graphics/device_resources.h"
#include "graphics/draw_settings.h"

namespace {

constexpr uint32_t kWhiteBright = 0xFFFFFF;

// Inverts the destination over the rectangle under a white bright, then gives the bright back;
// returns the caller's blend parameter.
int InvertDestination(const RECT* rect) {
    const DrawSettings& s = gDrawSettings;
    const uint32_t bright =
        static_cast<uint32_t>(s.brightRed << 16 | s.brightGreen << 8 | s.brightBlue);
    const int param = s.blendParam;
    const ScreenColor white = PackScreenColor(-1, -1, -1);
    if (bright != kWhiteBright) ApplyBrightColorValue(kWhiteBright);
    ChangeBlendMode(BlendSubtractive, 255);
    HwFillBox(rect->left, rect->top, rect->right, rect->bottom, white);
    if (bright != kWhiteBright) ApplyBrightColorValue(bright);
    return param;
}

}  // namespace

int BeginSubtractBlendEmulation(const RECT* rect) {
    ChangeBlendMode(BlendAdditivePass, InvertDestination(rect));
    return 0;
}

int EndSubtractBlendEmulation(const RECT* rect) {
    ChangeBlendMode(BlendSubtractive, InvertDestination(rect));
    return 0;
}

int NeedsSubtractBlendEmulation() {
    return gDrawSettings.blendMode == BlendSubtractive && !gDeviceResources.nativeBlendOp ? 1 : 0;
}
