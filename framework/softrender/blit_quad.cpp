// The quad blit: a whole image drawn onto four corners in strip order as two textured
// triangles, after a quick rejection of shapes whose widened bounding box misses the draw
// area.
#include <algorithm>

#include "softrender/blit_frame.h"
#include "softrender/raster.h"

void BlitMemImgToQuad(MEMIMG* dest, const MEMIMG* src, const int32_t corners[4][2], int32_t trans,
                      const MEMIMG* mask) {
    int64_t minX = corners[0][0], maxX = minX, minY = corners[0][1], maxY = minY;
    for (int i = 1; i < 4; ++i) {
        minX = std::min<int64_t>(minX, corners[i][0]);
        maxX = std::max<int64_t>(maxX, corners[i][0]);
        minY = std::min<int64_t>(minY, corners[i][1]);
        maxY = std::max<int64_t>(maxY, corners[i][1]);
    }
    // Margins of 2 left and top and 4 right and bottom; 64 bits, so extreme corners cannot wrap.
    const RECT box = ClipWideRect(minX - 2, minY - 2, maxX + 4, maxY + 4, DrawableArea(dest));
    if (box.left == box.right || box.top == box.bottom) return;

    const int32_t w = src->width, h = src->height;
    auto vertex = [&](int corner, int32_t u, int32_t v) {
        return TriangleVertex{corners[corner][0], corners[corner][1], u, v};
    };
    const TriangleVertex first[3] = {vertex(0, 0, 0), vertex(1, w, 0), vertex(2, 0, h)};
    RasterizeMemImgTriangle(dest, src, first, trans, mask, 0);
    const TriangleVertex second[3] = {vertex(1, w, 0), vertex(2, 0, h), vertex(3, w, h)};
    RasterizeMemImgTriangle(dest, src, second, trans, mask, 0);
}
