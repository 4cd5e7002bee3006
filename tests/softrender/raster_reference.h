// Plain models of the rasteriser and primitives for the tests: the textured pixel and the
// solid colour blend per channel from the documented tables, and the triangle's coverage and
// texture mapping and the rotated mapping in exact or floating-point geometry.
#pragma once

#include <cstdint>

#include "blit_reference.h"
#include "softrender/raster.h"

// What one textured draw does, fixed before any pixel.
struct RefMappedCall {
    uint32_t mode;  // after the parameter shortcuts
    int p;
    bool maskOn;
    bool brightOn;
    int bright[3];  // blue, green, red bytes
    bool trans;
    const uint8_t* weights;
};

// False when the draw draws nothing at all (the mode is not drawn at the parameter).
bool RefPrepareMapped(const RefImage& src, int32_t trans, bool hasMask, const RefState& st,
                      RefMappedCall* out);

// The destination value after drawing the source pixel raw (an index for palette sources)
// with the given blend-graph byte over d.
uint32_t RefMappedPixel(const RefMappedCall& c, const RefImage& src, uint32_t raw, uint8_t maskByte,
                        uint32_t d);

// The mode a solid colour runs at p, or -1 when it draws nothing.
int RefSolidMode(uint32_t mode, int p);
// The colour after bright: through the product table always (triangles), or by a shift by 8
// while bright is on (rectangles and lines).
uint32_t RefBrightByTable(uint32_t colour, int colorType, uint32_t bright);
uint32_t RefBrightByShift(uint32_t colour, int colorType, uint32_t bright);
// The destination value after blending the prepared colour c over d in the given mode.
uint32_t RefSolidPixel(int colorType, int mode, int p, uint32_t c, uint32_t d);

// Whether a triangle draws pixel (x, y): 0 no, 1 yes, 2 either (its edge passes so close to
// the column boundary that the fixed-point steps may round either way). Edges run through the
// vertices' pixel centres and are sampled at each row's centre; both span ends are drawn.
int RefTriangleCoverage(const TriangleVertex v[3], int x, int y);

// The texel coordinate the triangle's affine map gives at pixel (x, y), exactly, and how far
// off the fixed-point gradients may put it.
struct RefTexel {
    double u;
    double v;
    double margin;
};
RefTexel RefTriangleTexel(const TriangleVertex v[3], int x, int y);

// The source position the rotated blit maps pixel (x, y) to, from the pixel's top-left
// corner, in floating point.
RefTexel RefRotatedTexel(int srcWidth, int srcHeight, int cx, int cy, double angle, double scale,
                         int x, int y, double margin);
