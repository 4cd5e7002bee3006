// The frame that the blits and the rasteriser share: the refusals, the drawable area, the
// mode that runs at the current parameter, the source kind and the operation a mode runs after
// its shortcuts, the blend context taken from the memory-image draw state, and the choice of
// the loop instantiation that fits one call.
#pragma once

#include <platform/win32.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "softrender/blit_kernels.h"
#include "softrender/mem_img.h"

struct BlitSetup {
    SrcKind kind;
    int op;       // blend mode 0-4, 10, 11, or a shortcut operation
    bool mask;    // a blend-graph image is given
    bool bright;  // the bright's low 24 bits differ from 0xFFFFFF
    bool trans;   // transparency on and able to match (a key outside the pixel's range cannot)
    bool simd;    // packed-byte loops selected
    BlendContext ctx;
};

// One unscaled draw: pointers at the first drawn pixel of each image and their pitches.
struct BlitJob {
    BlitSetup setup;
    int width;
    int height;
    uint8_t* dst;
    ptrdiff_t dstPitch;
    const uint8_t* src;
    ptrdiff_t srcPitch;
    const uint8_t* mask;
    ptrdiff_t maskPitch;
};

// Whether the packed-byte (SSE2) loops run: the processor flag, unless a test asked for the
// plain loops.
bool PackedByteLoopsSelected();

// A destination without palette or alpha, of colour type 0 or 1.
bool CanDrawOnto(const MEMIMG* dest);

// CanDrawOnto, and the source of the destination's colour type.
bool CanBlitOnto(const MEMIMG* dest, const MEMIMG* src);

// The draw area limited to the destination's own size.
RECT DrawableArea(const MEMIMG* dest);

// {left, top, right, bottom} taken in 64 bits and clamped into area as ClipRectInto does:
// right and bottom raised to left and top, then bottom, top, right, left each clamped.
RECT ClipWideRect(int64_t left, int64_t top, int64_t right, int64_t bottom, const RECT& area);

// The blend parameter as the tables can take it.
uint32_t CurrentBlendParam();

// The mode that runs at parameter p (mode 1 at 255 is mode 0), or -1 when nothing is drawn:
// modes 1, 2 and 3 at 0, and every mode the software renderer does not draw.
int ModeAtParam(uint32_t mode, uint32_t p);

// The table rows of parameter p; no bright rows, weights, palette or key.
BlendContext ParamBlendContext(uint32_t p);

// Fills out for one call on the given path; false when the mode draws nothing at the current
// parameter (or is not drawn by the software renderer at all).
bool PrepareBlit(const MEMIMG* src, int32_t trans, const MEMIMG* mask, BlitPath path,
                 BlitSetup* out);

// Calls f with a value of the Combo type of s on Path, for the general operations (modes 0-4,
// 10, 11; nothing for a shortcut operation) of a source of kind K, which s must have. The
// run-length walk takes transparency from its runs, so there the flag is fixed on.
template <BlitPath Path, SrcKind K, class F>
inline void WithCombo(const BlitSetup& s, F&& f) {
    WithMode(s.op, [&](auto op) {
        WithFlag(s.mask, [&](auto mask) {
            WithFlag(s.bright, [&](auto bright) {
                auto call = [&](auto trans) {
                    f(Combo<K, TagValue<decltype(op)>, TagValue<decltype(mask)>,
                            TagValue<decltype(bright)>, TagValue<decltype(trans)>, Path>{});
                };
                if constexpr (Path == BlitPath::RunLength)
                    call(std::true_type{});
                else
                    WithFlag(s.trans, call);
            });
        });
    });
}

// A software draw changes the destination's pixels, so its run-length stream no longer
// describes them.
void ForgetRunLengthStream(MEMIMG* dest);

// First byte of the pixel at (x, y) of an image with the given pixel size.
inline uint8_t* PixelAddress(const MEMIMG* img, int64_t x, int64_t y, int pixelBytes) {
    return static_cast<uint8_t*>(img->pixels) + y * img->body->pitch + x * pixelBytes;
}
