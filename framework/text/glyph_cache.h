// The glyph cache of a font handle: its size rules, its graphs or memory column, and where a
// slot's cell lies. The cache's calls for the string drawer are in text/font.h.
#pragma once

#include "text/font.h"

// Sizes the cache for the record's cell and makes its graphs and image (a memory column when
// there is no texture cache, or the graphs cannot be made); 0 / -1 (logged).
int SetupGlyphCache(FontRecord* record, FontCreateFlags flags, int fromAsyncWorker);
// Deletes the cache graphs and frees the images.
void ReleaseGlyphCache(FontRecord* record, int fromAsyncWorker);

// Where glyphs lie in their cells: at (1, 1) in a texture cache, at (0, 0) in memory.
int GlyphCellMargin(const FontRecord* record);
// The top-left of the slot's cell in the cache image (or the memory column).
void GlyphCellOrigin(const FontRecord* record, int slot, int* x, int* y);
// 1 when the edge of the size reaches (dx, dy) from a glyph pixel; sizes above 4 cover the whole
// square of side 2 x size + 1.
int EdgeMaskCovers(int edgeSize, int dx, int dy);
