// One colour blended onto destination pixels under each blend mode: what the solid triangle,
// the filled rectangle and the lines share. Bright is applied to the colour beforehand by the
// caller, since the triangle brightens through the product table and the other two by a shift.
#pragma once

#include <cstddef>
#include <cstdint>

#include "softrender/blend_ops.h"
#include "softrender/blit_kernels.h"

// One solid draw: the destination's pixel width, the mode that runs, and what it blends with:
// the colour, or for modes 2 and 3 the colour scaled by p once for the whole draw.
struct SolidColour {
    bool wide;
    int mode;
    uint32_t colour;
    BlendContext ctx;
};

// An RGB565 colour is read from its low 16 bits only, here and in the blends below, so bits
// above them never reach a pixel.

// Bright through the product table rows, at each field's own width; byte 3 is kept. The rows
// of a bright of 0xFFFFFF are the identity.
uint32_t BrightenByTable(uint32_t colour, bool wide, uint32_t bright);

// Bright as channel * bright byte >> 8, only while bright is on; byte 3 is kept.
uint32_t BrightenByShift(uint32_t colour, bool wide, uint32_t bright);

// The draw of an already brightened colour under the current blend mode and parameter; false
// when the mode draws nothing at that parameter.
bool PrepareSolidColour(bool wide, uint32_t colour, SolidColour* out);

template <bool Wide, int Mode>
inline uint32_t BlendSolid(uint32_t d, const SolidColour& s) {
    if constexpr (Mode == 2) {
        return Wide ? PackedAdd32(d, s.colour) : PackedAdd565(d, s.colour);
    } else if constexpr (Mode == 3) {
        return Wide ? PackedSub32(d, s.colour) : PackedSub565(d, s.colour);
    } else {
        // Every other mode blends as an opaque direct pixel of the colour does.
        using C = Combo<Wide ? SrcKind::Direct32 : SrcKind::Direct565, Mode, false, false, false,
                        BlitPath::Mapped>;
        return BlendPixel<C>(d, Sample{s.colour, s.colour, 0}, 0, PixelClass::Opaque, s.ctx);
    }
}

// The pixel at p.
template <bool Wide, int Mode>
inline void BlendSolidAt(uint8_t* p, const SolidColour& s) {
    if constexpr (Wide)
        Store32(p, BlendSolid<true, Mode>(Load32(p), s));
    else
        Store16(p, BlendSolid<false, Mode>(Load16(p), s));
}

// count pixels from p to the right. The stores could alias the caller's record as far as the
// compiler knows, so a local copy keeps the colour and the rows out of the loop.
template <bool Wide, int Mode>
inline void BlendSolidRun(uint8_t* p, int64_t count, const SolidColour& s) {
    const SolidColour local = s;
    for (int64_t i = 0; i < count; ++i, p += Wide ? 4 : 2) BlendSolidAt<Wide, Mode>(p, local);
}

// The packed-byte (SSE2) form of BlendSolidRun for modes 1 and 2 over `height` rows of
// `width` pixels from `first`: the same pixels, sixteen bytes at a time.
template <bool Wide, int Mode>
void BlendSolidRectPacked(uint8_t* first, ptrdiff_t pitch, int64_t width, int64_t height,
                          const SolidColour& s);

// Calls f with the width as a bool constant and the mode as an integral constant.
template <class F>
inline void WithSolidVariant(const SolidColour& s, F&& f) {
    WithFlag(s.wide, [&](auto w) { WithMode(s.mode, [&](auto m) { f(w, m); }); });
}
