// The textured pixel of the triangle rasteriser and the rotated blit: a source position in
// 18-bit fixed point is bounds-tested, its texel fetched, tested for transparency, weighted by
// the blend graph and blended with the blits' per-pixel arithmetic. Each combination of source
// kind, mode, blend graph, bright and transparency is its own instantiation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "softrender/blit_frame.h"
#include "softrender/blit_kernels.h"
#include "softrender/mem_img.h"

// One whole pixel or texel in 18-bit fixed point.
constexpr int kFixed18Shift = 18;
constexpr int64_t kFixed18One = int64_t{1} << kFixed18Shift;

// The source as the pixel reads it. The limits are the size in fixed point, widened so that a
// source of 16384 or more texels cannot wrap them.
struct MappedSource {
    const uint8_t* pixels;
    ptrdiff_t pitch;
    const uint8_t* mask;
    ptrdiff_t maskPitch;
    uint64_t uLimit;
    uint64_t vLimit;
};

// The blend of one draw from src on the mapped path; false when it draws nothing: the mode is
// not drawn at the current parameter, or the blend graph is smaller than the source.
bool PrepareMappedDraw(const MEMIMG* src, int32_t trans, const MEMIMG* mask, BlitSetup* out);

MappedSource DescribeMappedSource(const MEMIMG* src, const MEMIMG* mask);

// The destination pixel at dp for source position (u, v); a position outside the source
// (negative ones too, compared unsigned) leaves it.
template <class C>
inline void DrawMappedPixel(uint8_t* dp, uint32_t u, uint32_t v, const MappedSource& s,
                            const BlendContext& c) {
    if (u >= s.uLimit || v >= s.vLimit) return;
    const ptrdiff_t cu = u >> kFixed18Shift, cv = v >> kFixed18Shift;
    const uint8_t* mp = C::mask ? s.mask + cv * s.maskPitch + cu : nullptr;
    DrawPixel<C>(dp, s.pixels + cv * s.pitch + cu * SrcBytes(C::kind), mp, c);
}
