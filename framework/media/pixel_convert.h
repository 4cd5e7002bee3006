// Moving rectangles of pixels between any two pixel formats, and the copy and stretch
// between two decoded images built on it.
#pragma once

#include <platform/win32_user.h>

#include "media/color_format.h"

// Converts srcRect (right and bottom exclusive) of the source into the destination at
// (destX, destY). The optional alpha image (null pixels: none) supplies alpha through its red
// channel. Returns 0, -1 for an empty rectangle, or the largest index for a plain index copy.
// Nothing is clipped: the rectangle must lie inside every buffer.
int ConvertPixelRect(void* destPixels, int destPitch, const ColorFormat* destFormat,
                     const void* srcPixels, int srcPitch, const ColorFormat* srcFormat,
                     const void* alphaPixels, int alphaPitch, const ColorFormat* alphaFormat,
                     int destX, int destY, const RECT* srcRect, int mirror, int keyToAlpha,
                     uint32_t keyColor, int ditherMode, int alphaOnly, int alphaFromRed,
                     int skipKeyed, int remapPalette);
// The per-pixel path that defines every result of ConvertPixelRect, without its shortcuts;
// the shortcuts must agree with it bit for bit.
int ConvertPixelRectGeneral(void* destPixels, int destPitch, const ColorFormat* destFormat,
                            const void* srcPixels, int srcPitch, const ColorFormat* srcFormat,
                            const void* alphaPixels, int alphaPitch, const ColorFormat* alphaFormat,
                            int destX, int destY, const RECT* srcRect, int mirror, int keyToAlpha,
                            uint32_t keyColor, int ditherMode, int alphaOnly, int alphaFromRed,
                            int skipKeyed, int remapPalette);

// Copies a rectangle between two images, clipped to both; palettes are remapped by colour.
int CopyGraphImageRect(int srcX, int srcY, int width, int height, int destX, int destY,
                       GraphImage* srcImage, GraphImage* destImage);
int CopyWholeGraphImage(int destX, int destY, GraphImage* srcImage, GraphImage* destImage);
// Stretches (sx1, sy1)-(sx2, sy2) onto (dx1, dy1)-(dx2, dy2), nearest or bilinear.
int StretchGraphImageRect(int sx1, int sy1, int sx2, int sy2, GraphImage* srcImage, int dx1,
                          int dy1, int dx2, int dy2, GraphImage* destImage, int bilinear);
