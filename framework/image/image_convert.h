// Whole-image conversions beside the pixel converter: an expanded copy of a DXT image, Windows
// DIBs to and from decoded images, and the YUV frame converters of the movie renderer.
#pragma once

#include <platform/win32_gdi.h>

#include <cstdint>

#include "image/color_format.h"

// Room for a DIB header and a 256-entry colour table, as the image reader allocates it.
constexpr uint32_t kDibInfoBytes = 1068;

// ExpandCompressedGraphImage into a new image that the caller then owns; the source stays as
// it is. -1 when it cannot be made.
int ExpandGraphImageCopy(const GraphImage* source, GraphImage* out);

// 0: the image borrows the caller's bits; 1: the pixels were copied into memory the image
// owns; -1 on failure.
int MakeGraphImageFromDIB(const BITMAPINFO* bitmapInfo, const void* bits, GraphImage* image,
                          int copyFlag);
// Any DIB drawn into a top-down 24-bit DIB section, whose pixels the image then owns: 1, or -1
// with a log line.
int ConvertDIBToRGB24Image(const BITMAPINFO* bitmapInfo, const void* bits, GraphImage* image);
// Writes a top-down BI_RGB header (8 bits with the palette, else 24 bits) into bitmapInfo,
// which must hold kDibInfoBytes. 0: *bits points into the image's pixels; 1: *bits is a new
// block from AllocMemory; -1 on failure.
int MakeDIBFromGraphImage(const GraphImage* image, BITMAPINFO* bitmapInfo, void** bits,
                          int copyFlag, int force24);

// YUV frames into the destination's 32-bit pixels (blue, green, red, 255). Sizes must be
// multiples of the chroma sampling; -1 otherwise.
int ConvertYV12ToARGB(const uint8_t* src, int width, int height, GraphImage* dest);
int ConvertNV12ToARGB(const uint8_t* src, int width, int height, GraphImage* dest);
int ConvertNV11ToARGB(const uint8_t* src, int width, int height, GraphImage* dest);
int ConvertYUY2ToARGB(const uint8_t* src, int width, int height, GraphImage* dest);
int ConvertUYVYToARGB(const uint8_t* src, int width, int height, GraphImage* dest);
int ConvertYVYUToARGB(const uint8_t* src, int width, int height, GraphImage* dest);
