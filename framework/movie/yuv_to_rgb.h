// The colour conversion of decoded movie pictures (three YUV planes) into 32-bit images. A
// picture whose chroma planes are half its size both ways (4:2:0) takes the 14-bit fixed-point
// tables; every other chroma layout the same formula in floating point. The 4:2:0 rows run in
// SSE2 unless a test selects the plain loops, which are the reference the SSE2 rows must equal.
#pragma once

#include <cstdint>

#include "image/color_format.h"

// One decoded picture: plane pointers with their sizes and strides.
struct YuvPicture {
    const uint8_t* y;
    const uint8_t* u;
    const uint8_t* v;
    int32_t yWidth, yHeight, yStride;
    int32_t uvWidth, uvHeight, uvStride;
};

// The conversion tables; built once at start-up.
void BuildYUVToRGBTables();

// Writes image->width x image->height pixels (blue, green, red, 255) of the picture from luma
// column left and row top on; columns and rows past the picture repeat its last ones.
void ConvertYUVPictureToImage(const YuvPicture& picture, int32_t left, int32_t top,
                              GraphImage* image);

// Test hook: true runs only the plain per-pixel loops.
void SetYUVConversionPlainLoopsOnly(bool on);
