// Drawing and measuring text in a font handle's glyphs, horizontally or vertically: from the
// cache graph through the graph drawing calls, or from the memory cache into the software
// screen's image. DrawStringWithFont is public (orbek/orbek.h).
#pragma once

#include <orbek/orbek.h>
#include <platform/win32_types.h>

#include "graphics/mem_img.h"

// drawFlag 0 measures: the extent along the writing direction, truncated. drawFlag 1 draws: 0.
// The scales apply with scaleFlag, to a texture cache or a measurement. target is the image a
// memory cache draws into (null: the draw target's), clip the rectangle it may touch. size
// receives {extent, cell height} for horizontal, {cell height, extent} for vertical text.
// -1 while drawing is off or graphics do not run, for a bad font, or when a character cannot
// be cached.
int DrawStringCore(int drawFlag, int x, int y, int scaleFlag, double xScale, double yScale,
                   const char* text, ScreenColor color, MEMIMG* target, const RECT* clip,
                   Handle font, ScreenColor edgeColor, int length, int vertical, int* size);
int DrawStringFromTextureCache(int x, int y, const char* text, ScreenColor color, Handle font,
                               ScreenColor edgeColor, int vertical);
int DrawStringToMemImg(int x, int y, const char* text, ScreenColor color, Handle font,
                       ScreenColor edgeColor, int vertical);
