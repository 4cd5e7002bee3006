// What every image fuzz target does with its input: read it through the public image reader
// from memory, plainly and mirrored, and for an image that decodes, expand it, convert every
// pixel to 32 bits, turn it into a DIB and free everything again.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/tracked_memory.h"
#include "image/image_convert.h"
#include "image/image_loaders.h"
#include "image/pixel_convert.h"

inline void ExerciseDecodedImage(GraphImage* image) {
    if (ExpandCompressedGraphImage(image) != 0) return;
    GraphImage argb{};
    if (AllocGraphImageARGB32(image->width, image->height, &argb) == 0) {
        RECT whole = {0, 0, image->width, image->height};
        ConvertPixelRect({.destPixels = argb.pixels,
                          .destPitch = argb.pitch,
                          .destFormat = &argb.format,
                          .srcPixels = image->pixels,
                          .srcPitch = image->pitch,
                          .srcFormat = &image->format,
                          .srcRect = &whole,
                          .ditherMode = 1});
        FreeGraphImage(&argb);
    }
    alignas(BITMAPINFO) uint8_t info[kDibInfoBytes];
    void* bits = nullptr;
    if (MakeDIBFromGraphImage(image, reinterpret_cast<BITMAPINFO*>(info), &bits, 1, 0) == 1) {
        FreeMemory(bits);
    }
}

inline int FuzzImageReader(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    // Headers may claim any size; pictures of a few megabytes find the same faults faster.
    SetGraphImageByteLimit(1u << 20);
    for (int mirror = 0; mirror < 2; ++mirror) {
        GraphImage image{};
        if (ReadGraphImage(nullptr, data, static_cast<uint32_t>(size), 1, &image, mirror) == 0) {
            ExerciseDecodedImage(&image);
            FreeGraphImage(&image);
        }
    }
    return 0;
}
