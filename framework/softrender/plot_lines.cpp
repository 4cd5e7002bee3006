// Lines of single pixels: the end points are clipped to the draw area along the line through
// the unclipped ones, then an integer error walk along the major axis draws from the start up
// to, not including, the end, each pixel blended as the filled rectangle blends.
#include <algorithm>

#include "core/string_functions.h"
#include "softrender/blit_frame.h"
#include "softrender/raster.h"
#include "softrender/solid_ops.h"

namespace {

// A fraction with a positive denominator; the products of two 33-bit values need 128 bits.
struct Fraction {
    __int128 num;
    __int128 den;
};

bool Less(const Fraction& a, const Fraction& b) {
    return a.num * b.den < b.num * a.den;
}

// Narrows [low, high] of the segment parameter t to where lo < p + t * d < hi; false when a
// coordinate that does not move lies outside.
bool NarrowTo(int64_t p, int64_t d, int64_t lo, int64_t hi, Fraction* low, Fraction* high) {
    if (d == 0) return lo < p && p < hi;
    Fraction enter{lo - p, d}, leave{hi - p, d};
    if (d < 0) {
        enter = {p - hi, -d};
        leave = {p - lo, -d};
    }
    if (Less(*low, enter)) *low = enter;
    if (Less(leave, *high)) *high = leave;
    return true;
}

// Whether the segment passes within less than a pixel of the area's pixels, as the walk's own
// pixels do: through the open box (left - 1, right) x (top - 1, bottom). A segment that does
// not can have no pixel of its walk in the area, yet the clipping below could leave its end
// points on the area's border.
bool PassesNearArea(int64_t x1, int64_t y1, int64_t x2, int64_t y2, const RECT& a) {
    Fraction low{0, 1}, high{1, 1};
    if (!NarrowTo(x1, x2 - x1, a.left - int64_t{1}, a.right, &low, &high)) return false;
    if (!NarrowTo(y1, y2 - y1, a.top - int64_t{1}, a.bottom, &low, &high)) return false;
    return Less(low, high);
}

// The walk: major steps from the start, a minor step whenever the error fills up.
template <bool Wide, int Mode>
void WalkLine(uint8_t* p, int64_t major, int64_t minor, ptrdiff_t majorStep, ptrdiff_t minorStep,
              const SolidColour& colour) {
    int64_t error = 0;
    for (int64_t k = 0; k < major; ++k) {
        BlendSolidAt<Wide, Mode>(p, colour);
        error += minor;
        p += majorStep;
        if (error >= major) {
            p += minorStep;
            error -= major;
        }
    }
}

}  // namespace

void PlotMemImgLine(MEMIMG* dest, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
    if (!CanDrawOnto(dest)) return;
    const RECT a = DrawableArea(dest);
    if (a.left == a.right || a.top == a.bottom) return;
    if (!PassesNearArea(x1, y1, x2, y2, a)) return;

    // Slopes and intercepts from the unclipped end points.
    const double dx = static_cast<double>(x2) - x1, dy = static_cast<double>(y2) - y1;
    const double kx = dy != 0.0 ? dx / dy : 0.0;
    const double ky = dx != 0.0 ? dy / dx : 0.0;
    const double bx = x1 - kx * y1;
    const double by = y1 - ky * x1;
    auto yAt = [&](int64_t x) {
        return int64_t{TruncateDoubleToInt(ky * static_cast<double>(x) + by)};
    };
    auto xAt = [&](int64_t y) {
        return int64_t{TruncateDoubleToInt(kx * static_cast<double>(y) + bx)};
    };

    // The start is clipped onto the area's edge pixels, the end onto the pixels just outside.
    int64_t sx = x1, sy = y1, ex = x2, ey = y2;
    if (sx < a.left) {
        sx = a.left;
        sy = yAt(sx);
    } else if (sx >= a.right) {
        sx = a.right - 1;
        sy = yAt(sx);
    }
    if (ex < a.left) {
        ex = a.left - 1;
        ey = yAt(ex);
    } else if (ex >= a.right) {
        ex = a.right;
        ey = yAt(ex);
    }
    if (sy < a.top) {
        sy = a.top;
        sx = xAt(sy);
    } else if (sy >= a.bottom) {
        sy = a.bottom - 1;
        sx = xAt(sy);
    }
    if (ey < a.top) {
        ey = a.top - 1;
        ex = xAt(ey);
    } else if (ey >= a.bottom) {
        ey = a.bottom;
        ex = xAt(ey);
    }
    sx = std::clamp<int64_t>(sx, a.left, a.right - 1);
    sy = std::clamp<int64_t>(sy, a.top, a.bottom - 1);
    ex = std::clamp<int64_t>(ex, a.left - 1, a.right);
    ey = std::clamp<int64_t>(ey, a.top - 1, a.bottom);

    const int64_t deltaX = ex - sx, deltaY = ey - sy;
    if (deltaX == 0 && deltaY == 0) return;
    const bool wide = dest->body->colorType == 1;
    SolidColour s;
    if (!PrepareSolidColour(wide, BrightenByShift(colour, wide, gMemImgDraw.bright), &s)) return;

    // A 45-degree line steps along x.
    const int bytes = wide ? 4 : 2;
    const ptrdiff_t stepX = deltaX >= 0 ? bytes : -bytes;
    const ptrdiff_t pitch = dest->body->pitch;
    const ptrdiff_t stepY = deltaY >= 0 ? pitch : -pitch;
    const int64_t lenX = deltaX >= 0 ? deltaX : -deltaX, lenY = deltaY >= 0 ? deltaY : -deltaY;
    const bool xMajor = lenX >= lenY;
    uint8_t* start = PixelAddress(dest, sx, sy, bytes);
    ForgetRunLengthStream(dest);
    WithSolidVariant(s, [&](auto w, auto m) {
        constexpr bool kWide = TagValue<decltype(w)>;
        constexpr int kMode = TagValue<decltype(m)>;
        if (xMajor)
            WalkLine<kWide, kMode>(start, lenX, lenY, stepX, stepY, s);
        else
            WalkLine<kWide, kMode>(start, lenY, lenX, stepY, stepX, s);
    });
}

void PlotMemImgLines(MEMIMG* dest, const MemImgLineRecord* records, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        const MemImgLineRecord& r = records[i];
        PlotMemImgLine(dest, r.x1, r.y1, r.x2, r.y2, r.colour);
    }
}
