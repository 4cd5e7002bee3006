// Test images and draw states for the rasteriser and primitives tests, and a canvas that
// counts how many times each pixel is drawn.
#pragma once

#include <cstdint>

#include "blit_harness.h"
#include "softrender/mem_img.h"

// A 32-bit image whose pixel at (x, y) is 0x00yyxx01, so every drawn pixel names its texel.
RefImage NumberedImage(int w, int h);
uint32_t NumberOf(int x, int y);

// A black 32-bit image on which additive draws of blue 1 count: after drawing, At(x, y) is the
// number of times the pixel was drawn.
class CountingCanvas {
public:
    CountingCanvas(int w, int h);
    // Sets the draw state for counting draws with the given draw area.
    void Prepare(int left, int top, int right, int bottom);
    MEMIMG* get() { return image_.get(); }
    int At(int x, int y);
    int width() const { return blank_.width; }
    int height() const { return blank_.height; }

private:
    RefImage blank_;
    TestMemImg image_;
};
