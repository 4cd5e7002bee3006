// The row walk of the triangle rasteriser: the edges set up for one triangle, walked row by row
// from its top vertex, each row's span clipped to the draw area and handed to a textured or a
// solid body.
#pragma once

#include <platform/win32.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "softrender/mapped_pixels.h"

// An edge's x at the current row, its change per row and the rows it has left. Held in 64
// bits: two vertices in range can be 16383 pixels apart.
struct TriangleEdge {
    int64_t x;
    int64_t step;
    int64_t rows;
};

// One side of the triangle: one or two edges walked one after the other.
struct TriangleSide {
    TriangleEdge edges[2];
    int count;
};

// One clipped row: its first pixel, the pixels to draw, and the source position there.
struct TriangleSpan {
    uint8_t* address;
    int64_t n;
    uint32_t u;
    uint32_t v;
};

// Everything fixed for one triangle before its first row.
struct TriangleSetup {
    TriangleSide left;
    TriangleSide right;
    int64_t yTop;
    RECT area;
    uint8_t* destPixels;
    ptrdiff_t destPitch;
    int pixelBytes;
    // The texture plane: gradients per pixel right and per row down, and the reference
    // vertex (whole pixels) with its texel position.
    int32_t dudx, dudy, dvdx, dvdy;
    int64_t xRef, yRef;
    int32_t uRef, vRef;
};

// Whole pixels, by the floor.
inline int64_t ToWhole(int64_t fixed) {
    return fixed >> kFixed18Shift;
}

// Walks the rows from the top vertex's row to the row before the bottom vertex's and calls
// body for each row's span that the draw area leaves.
template <class Body>
void WalkTriangle(const TriangleSetup& t, Body&& body) {
    const RECT& a = t.area;
    TriangleEdge l = t.left.edges[0], r = t.right.edges[0];
    int leftEdge = 0, rightEdge = 0;
    for (int64_t y = t.yTop; y < a.bottom; ++y) {
        if (y >= a.top) {
            const int64_t xFirst = std::max<int64_t>(ToWhole(l.x), a.left);
            const int64_t n = ToWhole(r.x) - xFirst + 1;
            if (xFirst < a.right && n > 0) {
                TriangleSpan s;
                s.address = t.destPixels + y * t.destPitch + xFirst * t.pixelBytes;
                s.n = std::min<int64_t>(n, a.right - xFirst);
                // Recomputed from the reference vertex every row, wrapping as 32-bit values,
                // so the rounding of the gradients never accumulates.
                const uint32_t dx = static_cast<uint32_t>(xFirst - t.xRef);
                const uint32_t dy = static_cast<uint32_t>(y - t.yRef);
                s.u = static_cast<uint32_t>(t.uRef) + dx * static_cast<uint32_t>(t.dudx) +
                      dy * static_cast<uint32_t>(t.dudy);
                s.v = static_cast<uint32_t>(t.vRef) + dx * static_cast<uint32_t>(t.dvdx) +
                      dy * static_cast<uint32_t>(t.dvdy);
                body(s);
            }
        }
        l.x += l.step;
        r.x += r.step;
        if (--l.rows == 0) {
            if (++leftEdge == t.left.count) return;
            l = t.left.edges[leftEdge];
        }
        if (--r.rows == 0) {
            if (++rightEdge == t.right.count) return;
            r = t.right.edges[rightEdge];
        }
    }
}
