// The triangle rasteriser: three vertices in 18-bit fixed point at their pixel centres are
// sorted into top, middle and bottom and walked row by row along their edges; each row's span,
// both ends included, is clipped to the draw area and handed to a textured or a solid body.
// Positions become whole pixels by the floor, so shapes reaching above or left of the image
// keep their rows consecutive and their texture in place.
#include <algorithm>

#include "core/string_functions.h"
#include "softrender/kind_loops.h"
#include "softrender/raster.h"
#include "softrender/solid_ops.h"
#include "softrender/triangle_walk.h"

namespace {

// The whole range of an 18-bit fixed-point value.
constexpr int32_t kMinCoordinate = -8192;
constexpr int32_t kMaxCoordinate = 8191;

bool InRange(int32_t v) {
    return v >= kMinCoordinate && v <= kMaxCoordinate;
}

// Exchange sort of the indices 0, 1, 2 by key. Equal keys are not swapped, so the sort is not
// stable (keys 1, 1, 0 give 2, 1, 0); which vertex comes first decides the texture's rounding.
void SortIndices(const int64_t key[3], int order[3]) {
    order[0] = 0;
    order[1] = 1;
    order[2] = 2;
    for (int i = 0; i < 2; ++i) {
        for (int j = i + 1; j < 3; ++j) {
            if (key[order[i]] > key[order[j]]) std::swap(order[i], order[j]);
        }
    }
}

TriangleEdge MakeEdge(int64_t xStart, int64_t xEnd, int64_t yStart, int64_t yEnd) {
    const int64_t rows = ToWhole(yEnd) - ToWhole(yStart);
    return {xStart, (xEnd - xStart) / rows, rows};
}

int32_t Gradient(int64_t numerator, int64_t area) {
    return TruncateDoubleToInt(static_cast<double>(numerator) * 262144.0 /
                               static_cast<double>(area));
}

// False when nothing can be drawn: a coordinate out of range, or a degenerate triangle.
bool SetUpTriangle(const MEMIMG* dest, const TriangleVertex vertices[3], bool textured,
                   TriangleSetup* t) {
    int64_t X[3], Y[3], U[3], V[3];
    for (int i = 0; i < 3; ++i) {
        const TriangleVertex& p = vertices[i];
        if (!InRange(p.x) || !InRange(p.y)) return false;
        if (textured && (!InRange(p.u) || !InRange(p.v))) return false;
        // Vertices stand at their pixel centres, texel coordinates at texel edges.
        X[i] = p.x * kFixed18One + kFixed18One / 2;
        Y[i] = p.y * kFixed18One + kFixed18One / 2;
        U[i] = p.u * kFixed18One;
        V[i] = p.v * kFixed18One;
    }
    int byX[3], byY[3];
    SortIndices(X, byX);
    SortIndices(Y, byY);

    // Doubled area and texture gradients from the reference vertex, in whole units.
    const int a0 = byX[0], a1 = byX[1], a2 = byX[2];
    auto delta = [&](const int64_t* c, int a) { return ToWhole(c[a] - c[a0]); };
    const int64_t dx1 = delta(X, a1), dx2 = delta(X, a2), dy1 = delta(Y, a1), dy2 = delta(Y, a2);
    const int64_t area = dy1 * dx2 - dy2 * dx1;
    if (area == 0) return false;
    const int64_t du1 = delta(U, a1), du2 = delta(U, a2), dv1 = delta(V, a1), dv2 = delta(V, a2);
    t->dudx = Gradient(dy1 * du2 - dy2 * du1, area);
    t->dudy = Gradient(du1 * dx2 - du2 * dx1, area);
    t->dvdx = Gradient(dy1 * dv2 - dy2 * dv1, area);
    t->dvdy = Gradient(dv1 * dx2 - dv2 * dx1, area);
    t->xRef = ToWhole(X[a0]);
    t->yRef = ToWhole(Y[a0]);
    t->uRef = static_cast<int32_t>(U[a0]);
    t->vRef = static_cast<int32_t>(V[a0]);

    const int T = byY[0], M = byY[1], B = byY[2];
    auto edge = [&](int a, int b) { return MakeEdge(X[a], X[b], Y[a], Y[b]); };
    if (Y[T] == Y[M]) {
        const bool tRight = X[T] > X[M];
        t->left = {{edge(tRight ? M : T, B)}, 1};
        t->right = {{edge(tRight ? T : M, B)}, 1};
    } else if (Y[M] == Y[B]) {
        const bool mRight = X[M] > X[B];
        t->left = {{edge(T, mRight ? B : M)}, 1};
        t->right = {{edge(T, mRight ? M : B)}, 1};
    } else {
        constexpr double kFixedUnit = 3.814697265625e-06;  // 2^-18
        const double toMiddle =
            static_cast<double>(X[M] - X[T]) / (static_cast<double>(Y[M] - Y[T]) * kFixedUnit);
        const double toBottom =
            static_cast<double>(X[B] - X[T]) / (static_cast<double>(Y[B] - Y[T]) * kFixedUnit);
        if (toMiddle < toBottom) {
            t->left = {{edge(T, M), edge(M, B)}, 2};
            t->right = {{edge(T, B)}, 1};
        } else {
            // The right side's second edge starts one fixed-point step right of the middle.
            t->right = {{edge(T, M), MakeEdge(X[M] + 1, X[B], Y[M], Y[B])}, 2};
            t->left = {{edge(T, B)}, 1};
        }
    }
    t->yTop = ToWhole(Y[T]);
    t->area = DrawableArea(dest);
    t->destPixels = dest->pixels;
    t->destPitch = dest->body->pitch;
    t->pixelBytes = dest->body->colorType == 1 ? 4 : 2;
    return true;
}

template <bool Wide, int Mode>
void DrawSolidTriangle(const TriangleSetup& t, const SolidColour& colour) {
    WalkTriangle(t,
                 [&](const TriangleSpan& s) { BlendSolidRun<Wide, Mode>(s.address, s.n, colour); });
}

}  // namespace

void RasterizeMemImgTriangle(MEMIMG* dest, const MEMIMG* src, const TriangleVertex vertices[3],
                             int32_t trans, const MEMIMG* mask, int32_t colour) {
    if (src != nullptr ? !CanBlitOnto(dest, src) : !CanDrawOnto(dest)) return;
    TriangleSetup t;
    if (!SetUpTriangle(dest, vertices, src != nullptr, &t)) return;

    if (src != nullptr) {
        BlitSetup setup;
        if (!PrepareMappedDraw(src, trans, mask, &setup)) return;
        const MappedSource s = DescribeMappedSource(src, mask);
        ForgetRunLengthStream(dest);
        WithKind(setup.kind, [&](auto kind) {
            DrawTexturedTriangleOfKind<TagValue<decltype(kind)>>(t, s, setup);
        });
        return;
    }
    const bool wide = dest->body->colorType == 1;
    const uint32_t c = BrightenByTable(static_cast<uint32_t>(colour), wide, gMemImgDraw.bright);
    SolidColour s;
    if (!PrepareSolidColour(wide, c, &s)) return;
    ForgetRunLengthStream(dest);
    WithSolidVariant(s, [&](auto w, auto m) {
        DrawSolidTriangle<TagValue<decltype(w)>, TagValue<decltype(m)>>(t, s);
    });
}
