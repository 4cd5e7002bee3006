// Test images, draw states and the counting canvas of the rasteriser and primitives tests.
#include "raster_harness.h"

uint32_t NumberOf(int x, int y) {
    return uint32_t(y) << 16 | uint32_t(x) << 8 | 1;
}

RefImage NumberedImage(int w, int h) {
    RefImage img = FlatImage(1, TestKind::Direct, w, h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.At(x, y) = NumberOf(x, y);
    return img;
}

CountingCanvas::CountingCanvas(int w, int h)
    : blank_(FlatImage(1, TestKind::Direct, w, h, 0)), image_(blank_) {}

void CountingCanvas::Prepare(int left, int top, int right, int bottom) {
    RefState st = WholeImageState(2, 255, blank_);
    st.area[0] = left;
    st.area[1] = top;
    st.area[2] = right;
    st.area[3] = bottom;
    ApplyState(st);
}

int CountingCanvas::At(int x, int y) {
    const MEMIMG* img = image_.get();
    return img->pixels[size_t(y) * img->body->pitch + size_t(x) * 4];
}
