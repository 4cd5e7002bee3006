// Moving rectangles of pixels between any two pixel formats, and the copy and stretch
// between two decoded images built on it.
#pragma once

#include <platform/win32_user.h>

#include "image/color_format.h"

// One conversion: srcRect (right and bottom exclusive) of the source into the destination at
// (destX, destY). The optional alpha image (null pixels: none) supplies alpha through its red
// channel. Nothing is clipped: the rectangle must lie inside every buffer.
struct PixelRectConversion {
    void* destPixels = nullptr;
    int destPitch = 0;
    const ColorFormat* destFormat = nullptr;
    const void* srcPixels = nullptr;
    int srcPitch = 0;
    const ColorFormat* srcFormat = nullptr;
    const void* alphaPixels = nullptr;
    int alphaPitch = 0;
    const ColorFormat* alphaFormat = nullptr;
    int destX = 0, destY = 0;
    const RECT* srcRect = nullptr;
    int mirror = 0;
    int keyToAlpha = 0;
    uint32_t keyColor = 0;
    int ditherMode = 0;
    int alphaOnly = 0;
    int alphaFromRed = 0;
    int skipKeyed = 0;
    int remapPalette = 0;
};

// Runs the conversion: 0, -1 for an empty rectangle, or the largest index for a plain index
// copy.
int ConvertPixelRect(const PixelRectConversion& c);
// The per-pixel path that defines every result of ConvertPixelRect, without its shortcuts;
// the shortcuts must agree with it bit for bit.
int ConvertPixelRectGeneral(const PixelRectConversion& c);

// Copies a rectangle between two images, clipped to both; palettes are remapped by colour.
int CopyGraphImageRect(int srcX, int srcY, int width, int height, int destX, int destY,
                       GraphImage* srcImage, GraphImage* destImage);
int CopyWholeGraphImage(int destX, int destY, GraphImage* srcImage, GraphImage* destImage);
// Stretches (sx1, sy1)-(sx2, sy2) onto (dx1, dy1)-(dx2, dy2), nearest or bilinear.
int StretchGraphImageRect(int sx1, int sy1, int sx2, int sy2, GraphImage* srcImage, int dx1,
                          int dy1, int dx2, int dy2, GraphImage* destImage, int bilinear);
