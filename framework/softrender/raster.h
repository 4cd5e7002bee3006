// The software renderer's rasteriser and primitives: textured or solid triangles, an image
// drawn onto four corners, rotated and scaled images, filled rectangles and lines, on RGB565
// and 32-bit memory images under the memory-image draw state (draw area, blend mode and
// parameter, bright, blend-graph weights). None of them reports anything or allocates; a draw
// they cannot make leaves the destination untouched.
#pragma once

#include <cstdint>

#include "softrender/mem_img.h"

// A destination pixel and the source texel that lands on it, in whole pixels and texels.
struct TriangleVertex {
    int32_t x;
    int32_t y;
    int32_t u;
    int32_t v;
};

// One line of a batch: from (x1, y1) up to, not including, (x2, y2). The sixth word is not
// read (the box outline keeps the blend parameter there).
struct MemImgLineRecord {
    int32_t x1;
    int32_t y1;
    int32_t x2;
    int32_t y2;
    uint32_t colour;
    int32_t unused;
};

// Draws a triangle texture-mapped from src, or filled with colour (in the destination's pixel
// format) when src is null. Positions and texel coordinates must lie within -8192..8191.
// trans non-zero skips transparent texels; mask is a one-byte-per-pixel blend-graph image read
// at the texel's position, at least as large as src, or null.
void RasterizeMemImgTriangle(MEMIMG* dest, const MEMIMG* src, const TriangleVertex vertices[3],
                             int32_t trans, const MEMIMG* mask, int32_t colour);

// Draws the whole of src onto four corners {x, y} in strip order: source top-left, top-right,
// bottom-left, bottom-right; as two triangles, so the pixels of their shared diagonal are drawn
// twice.
void BlitMemImgToQuad(MEMIMG* dest, const MEMIMG* src, const int32_t corners[4][2], int32_t trans,
                      const MEMIMG* mask);

// Draws src turned by angle (radians, clockwise on the screen) and scaled, its centre texel
// (width / 2, height / 2) on (cx, cy). turn non-zero mirrors it left to right first.
void BlitMemImgRotated(MEMIMG* dest, const MEMIMG* src, int32_t cx, int32_t cy, float angle,
                       float scale, int32_t trans, int32_t turn, const MEMIMG* mask);

// Fills rect {x1, y1, x2, y2} (corners in either order, the larger edges exclusive; null for
// the whole image) with a colour in the destination's pixel format.
void FillMemImgRect(MEMIMG* dest, const int32_t rect[4], uint32_t colour);

// Plots one line of single pixels; the start is drawn, the end is not.
void PlotMemImgLine(MEMIMG* dest, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);

// Plots count lines in order; a count of 0 or less draws nothing.
void PlotMemImgLines(MEMIMG* dest, const MemImgLineRecord* records, int32_t count);
