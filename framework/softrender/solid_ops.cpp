// Preparation of a solid colour for the blend modes: the mode at the current parameter, the
// two ways of applying bright, and the scaled colour that modes 2 and 3 add or subtract.
#include "softrender/solid_ops.h"

#include "softrender/blit_frame.h"
#include "softrender/mem_img.h"

// Each channel of colour through its own product table row; byte 3 becomes 0.
static uint32_t ThroughRows(uint32_t colour, bool wide, const uint32_t* blue, const uint32_t* green,
                            const uint32_t* red) {
    if (!wide) return Pack565(red[Red565(colour)], green[Green565(colour)], blue[Blue565(colour)]);
    return PackBgr(blue[ByteOf(colour, 0)], green[ByteOf(colour, 1)], red[ByteOf(colour, 2)]);
}

uint32_t BrightenByTable(uint32_t colour, bool wide, uint32_t bright) {
    const auto& rows = gMemImgDraw.productTable;
    const uint32_t kept = wide ? colour & 0xFF000000 : 0;
    return kept | ThroughRows(colour, wide, rows[bright & 0xFF], rows[bright >> 8 & 0xFF],
                              rows[bright >> 16 & 0xFF]);
}

uint32_t BrightenByShift(uint32_t colour, bool wide, uint32_t bright) {
    if ((bright & 0xFFFFFF) == 0xFFFFFF) return colour;
    const uint32_t b = ByteOf(bright, 0), g = ByteOf(bright, 1), r = ByteOf(bright, 2);
    if (!wide) {
        return Pack565(Red565(colour) * r >> 8, Green565(colour) * g >> 8,
                       Blue565(colour) * b >> 8);
    }
    return (colour & 0xFF000000) | PackBgr(ByteOf(colour, 0) * b >> 8, ByteOf(colour, 1) * g >> 8,
                                           ByteOf(colour, 2) * r >> 8);
}

bool PrepareSolidColour(bool wide, uint32_t colour, SolidColour* out) {
    const uint32_t p = CurrentBlendParam();
    out->mode = ModeAtParam(static_cast<uint32_t>(gMemImgDraw.blendMode), p);
    if (out->mode < 0) return false;
    out->wide = wide;
    out->ctx = ParamBlendContext(p);
    out->colour = colour;
    if (out->mode == 2 || out->mode == 3) {
        const uint32_t* row = out->ctx.productP;
        out->colour = ThroughRows(colour, wide, row, row, row);
    }
    return true;
}
