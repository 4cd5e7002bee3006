// The filled rectangle: an axis-aligned rectangle, corners in either order and its larger
// edges exclusive, clipped to the draw area and blended with one colour under the blend mode.
#include <algorithm>
#include <cstring>

#include "softrender/blit_frame.h"
#include "softrender/raster.h"
#include "softrender/solid_ops.h"

namespace {

// Packed selects the packed-byte runs of the translucent and additive modes.
template <bool Wide, int Mode, bool Packed>
void FillRows(uint8_t* first, ptrdiff_t pitch, int64_t width, int64_t height,
              const SolidColour& colour) {
    if constexpr (Mode == 0) {
        // A plain fill writes its first row once and copies it down.
        BlendSolidRun<Wide, 0>(first, width, colour);
        const size_t rowBytes = static_cast<size_t>(width) * (Wide ? 4 : 2);
        for (int64_t y = 1; y < height; ++y) std::memcpy(first + y * pitch, first, rowBytes);
    } else if constexpr (Packed && (Mode == 1 || Mode == 2)) {
        BlendSolidRectPacked<Wide, Mode>(first, pitch, width, height, colour);
    } else {
        for (int64_t y = 0; y < height; ++y)
            BlendSolidRun<Wide, Mode>(first + y * pitch, width, colour);
    }
}

}  // namespace

void FillMemImgRect(MEMIMG* dest, const int32_t rect[4], uint32_t colour) {
    if (!CanDrawOnto(dest)) return;
    int64_t left = 0, top = 0, right = dest->width, bottom = dest->height;
    if (rect != nullptr) {
        left = std::min(rect[0], rect[2]);
        right = std::max(rect[0], rect[2]);
        top = std::min(rect[1], rect[3]);
        bottom = std::max(rect[1], rect[3]);
    }
    const RECT r = ClipWideRect(left, top, right, bottom, DrawableArea(dest));
    if (r.left == r.right || r.top == r.bottom) return;

    const bool wide = dest->body->colorType == 1;
    SolidColour s;
    if (!PrepareSolidColour(wide, BrightenByShift(colour, wide, gMemImgDraw.bright), &s)) return;
    ForgetRunLengthStream(dest);
    uint8_t* first = PixelAddress(dest, r.left, r.top, wide ? 4 : 2);
    const bool packed = PackedByteLoopsSelected() && (s.mode == 1 || s.mode == 2);
    WithSolidVariant(s, [&](auto w, auto m) {
        WithFlag(packed, [&](auto simd) {
            FillRows<TagValue<decltype(w)>, TagValue<decltype(m)>, TagValue<decltype(simd)>>(
                first, dest->body->pitch, r.right - r.left, r.bottom - r.top, s);
        });
    });
}
