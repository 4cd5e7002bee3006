// What both hosts do with a shown image: the host pixel layouts' sizes, the part of an image
// that lands on a surface, and the conversion to 0x00RRGGBB as GDI shows a DIB of the same
// layout (each channel scaled to 8 bits and rounded).
#pragma once

#include <cstdint>

#include "host.h"

int HostPixelBytes(HostPixelFormat format);

// The part of an image placed at (x, y) that lies on a surface of the given size: where it
// goes there and the image's pixel that goes to its top-left corner. Width or height 0: none.
struct HostImageClip {
    int x = 0, y = 0, width = 0, height = 0;
    const uint8_t* first = nullptr;
};
HostImageClip ClipHostImage(const HostImage& image, int x, int y, int surfaceWidth,
                            int surfaceHeight);

void ConvertRowToXrgb(HostPixelFormat format, const void* in, int count, uint32_t* out);
