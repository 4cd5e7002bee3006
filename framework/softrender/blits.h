// The software renderer's blits: a whole memory image drawn onto another at 1:1 or stretched
// and mirrored, clipped to the draw area, under the memory-image draw state (blend mode and
// parameter, bright, blend-graph weights). Neither reports anything nor allocates.
#pragma once

#include <cstdint>

#include "softrender/mem_img.h"

// Draws src with its top-left pixel at (x, y). trans non-zero skips transparent pixels; mask
// is a one-byte-per-pixel blend-graph image read at the source's coordinates, or null.
void BlitMemImgUnscaled(MEMIMG* dest, MEMIMG* src, int32_t x, int32_t y, int32_t trans,
                        MEMIMG* mask);

// Draws src stretched onto rect {x1, y1, x2, y2} (right and bottom exclusive); x1 > x2 mirrors
// left-right, y1 > y2 top-bottom.
void BlitMemImgScaled(MEMIMG* dest, MEMIMG* src, const int32_t rect[4], int32_t trans,
                      MEMIMG* mask);

// Test hook: true makes the blits run their plain loops where the processor would otherwise
// select the packed-byte ones.
void SetBlitPlainLoopsOnly(bool on);
