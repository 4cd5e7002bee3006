// The loops of the mapped path: the textured triangle's rows and the rotated blit's box, each
// pixel drawn through DrawMappedPixel. Included by the kind_loops_<kind>.cpp files only.
#pragma once

#include <cstdint>

#include "softrender/kind_loops.h"
#include "softrender/mapped_pixels.h"
#include "softrender/triangle_walk.h"

template <class C>
void DrawTexturedTriangle(const TriangleSetup& t, const MappedSource& src, const BlendContext& c) {
    const uint32_t dudx = static_cast<uint32_t>(t.dudx), dvdx = static_cast<uint32_t>(t.dvdx);
    WalkTriangle(t, [&](const TriangleSpan& s) {
        uint8_t* dp = s.address;
        uint32_t u = s.u, v = s.v;
        for (int64_t i = 0; i < s.n; ++i, dp += DstBytes(C::kind), u += dudx, v += dvdx) {
            DrawMappedPixel<C>(dp, u, v, src, c);
        }
    });
}

template <SrcKind K>
void DrawTexturedTriangleOfKind(const TriangleSetup& t, const MappedSource& src,
                                const BlitSetup& setup) {
    WithCombo<BlitPath::Mapped, K>(
        setup, [&](auto combo) { DrawTexturedTriangle<decltype(combo)>(t, src, setup.ctx); });
}

// Row k starts exactly at the first row's position plus k row steps, so the steps never
// accumulate rounding across rows.
template <class C>
void DrawRotatedBox(const RotatedWalk& w, const MappedSource& src, const BlendContext& c) {
    for (int64_t k = 0; k < w.rows; ++k) {
        uint8_t* dp = w.dest + k * w.destPitch;
        uint32_t u = w.u + static_cast<uint32_t>(k) * w.duRow;
        uint32_t v = w.v + static_cast<uint32_t>(k) * w.dvRow;
        for (int64_t i = 0; i < w.cols; ++i, dp += DstBytes(C::kind), u += w.du, v += w.dv) {
            DrawMappedPixel<C>(dp, u, v, src, c);
        }
    }
}

template <SrcKind K>
void DrawRotatedBoxOfKind(const RotatedWalk& w, const MappedSource& src, const BlitSetup& setup) {
    WithCombo<BlitPath::Mapped, K>(
        setup, [&](auto combo) { DrawRotatedBox<decltype(combo)>(w, src, setup.ctx); });
}
