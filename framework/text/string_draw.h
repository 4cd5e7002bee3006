// Drawing and measuring text in a font handle's glyphs, horizontally or vertically: from the
// cache graph through the graph drawing calls, or from the memory cache into the software
// screen's image. DrawStringWithFont and MeasureStringWidth are public (orbek/orbek.h).
#pragma once

#include <orbek/orbek.h>
#include <platform/win32_types.h>

#include "softrender/mem_img.h"

// One string measured or drawn by DrawStringCore.
struct StringDrawRequest {
    int draw = 0;  // 0 measures, 1 draws
    int x = 0, y = 0;
    int scaled = 0;  // the scales apply, to a texture cache or a measurement
    double xScale = 1.0, yScale = 1.0;
    const char* text = nullptr;
    int length = -1;  // bytes; -1 or more than the string has: the whole string
    ScreenColor color = 0;
    ScreenColor edgeColor = 0;
    Handle font = -1;
    MEMIMG* target = nullptr;    // the image a memory cache draws into (null: the draw target's)
    const RECT* clip = nullptr;  // the rectangle it may touch (null: the draw area)
    int vertical = 0;
};

// Measuring gives the extent along the writing direction, truncated; drawing gives 0. size
// receives {extent, cell height} for horizontal, {cell height, extent} for vertical text.
// -1 while drawing is off or graphics do not run, for a bad font, or when a character cannot
// be cached.
int DrawStringCore(const StringDrawRequest& request, int* size);
int DrawStringFromTextureCache(int x, int y, const char* text, ScreenColor color, Handle font,
                               ScreenColor edgeColor, int vertical);
int DrawStringToMemImg(int x, int y, const char* text, ScreenColor color, Handle font,
                       ScreenColor edgeColor, int vertical);
