// Triangle, line and point rasterisation. Triangles are walked a row at a time with edge
// functions in 24.8 fixed point, stepped exactly from row to row, so the top-left rule decides
// exactly which pixels a shared edge belongs to; attributes are planes evaluated at each pixel
// centre, in fixed point from the primitive's first pixel on.
#include "rasterizer.h"

#include <cmath>
#include <cstdint>
#include <utility>

namespace {

// Positions further out than this are not drawn: it keeps the edge arithmetic in 64 bits.
constexpr double kGuardBand = 1048576.0;
constexpr int64_t kSubpixel = 256;

bool Snap(float v, int64_t* out) {
    if (!(std::fabs(v) < kGuardBand)) return false;  // also refuses NaN
    *out = std::llround(static_cast<double>(v) * kSubpixel);
    return true;
}

int64_t FloorDiv(int64_t n, int64_t d) {
    return n >= 0 ? n / d : -((-n + d - 1) / d);
}
int64_t CeilDiv(int64_t n, int64_t d) {
    return -FloorDiv(-n, d);
}

Plane Constant(double value) {
    return {0.0, 0.0, value};
}

// Planes through three points.
struct PlaneFit {
    double x0, y0, dx1, dy1, dx2, dy2, invDet;

    Plane Fit(double f0, double f1, double f2) const {
        double df1 = f1 - f0, df2 = f2 - f0;
        double a = (df1 * dy2 - df2 * dy1) * invDet;
        double b = (df2 * dx1 - df1 * dx2) * invDet;
        return {a, b, f0 - a * x0 - b * y0};
    }
};

float Channel(const Color& c, int index) {
    return c.v[index];
}

// Attribute planes of a primitive whose attributes come from `fit`, applied to the values of
// three vertices (weighted by 1/w in perspective); only the planes the pipeline reads.
template <class FitFn>
void FillPlanes(const DrawPipeline& p, const ScreenVertex* v[3], const ScreenVertex& provoking,
                bool perspective, FitFn fit, Interpolants* in) {
    double w[3];
    for (int i = 0; i < 3; ++i) w[i] = perspective ? v[i]->rhw : 1.0;
    auto weighted = [&](auto value) {
        return fit(value(*v[0]) * w[0], value(*v[1]) * w[1], value(*v[2]) * w[2]);
    };
    in->perspective = perspective;
    in->flat = !p.gouraud;
    if (perspective) in->q = fit(w[0], w[1], w[2]);
    if (p.depth != nullptr) in->z = fit(v[0]->z, v[1]->z, v[2]->z);
    in->flatDiffuse = ArgbFromColor(provoking.diffuse);
    in->flatSpecular = ArgbFromColor(provoking.specular);
    if (p.gouraud) {
        for (int c = 0; c < 4; ++c) {
            in->diffuse[c] = weighted([c](const ScreenVertex& s) { return Channel(s.diffuse, c); });
            if (p.needsSpecular) {
                in->specular[c] =
                    weighted([c](const ScreenVertex& s) { return Channel(s.specular, c); });
            }
        }
    }
    for (int set = 0; set < kMaxTexSets; ++set) {
        if ((p.texSets & (1u << set)) == 0) continue;
        for (int k = 0; k < 2; ++k) {
            in->tex[set][k] = weighted([set, k](const ScreenVertex& s) { return s.tex[set][k]; });
        }
    }
}

// The bound of one edge on a pixel row, stepped exactly from row to row: the edge keeps
// A x + K(y) >= bias, with K growing by dk a row. For A > 0 `bound` is the first pixel x
// inside, for A < 0 the last; `rest` is what the bound leaves over, in [0, |A|).
struct EdgeWalk {
    int64_t a, k, dk;  // k holds K(y) - bias
    int64_t bound, rest;
    int64_t stepWhole, stepRest;  // dk = |A| stepWhole + stepRest, 0 <= stepRest < |A|

    void Start(int64_t coefficient, int64_t offset, int64_t rowStep) {
        a = coefficient;
        k = offset;
        dk = rowStep;
        if (a == 0) return;
        const int64_t span = a > 0 ? a : -a;
        stepWhole = FloorDiv(dk, span);
        stepRest = dk - stepWhole * span;
        if (a > 0) {
            bound = CeilDiv(-k, a);
            rest = a * bound + k;
        } else {
            bound = FloorDiv(k, span);
            rest = k - span * bound;
        }
    }

    void NextRow() {
        k += dk;
        if (a == 0) return;
        const int64_t span = a > 0 ? a : -a;
        int64_t sum = rest + stepRest;
        int64_t carry = sum >= span ? 1 : 0;
        rest = sum - carry * span;
        bound += a > 0 ? -stepWhole - carry : stepWhole + carry;
    }
};

inline bool InClip(const DrawPipeline& p, int64_t x, int64_t y) {
    return x >= p.clip.left && x < p.clip.right && y >= p.clip.top && y < p.clip.bottom;
}

}  // namespace

void RasterizeTriangle(DrawPipeline& p, const ScreenVertex& a, const ScreenVertex& b,
                       const ScreenVertex& c, const ScreenVertex& provoking) {
    const ScreenVertex* v[3] = {&a, &b, &c};
    int64_t X[3], Y[3];
    for (int i = 0; i < 3; ++i) {
        if (!Snap(v[i]->x, &X[i]) || !Snap(v[i]->y, &Y[i])) return;
    }
    int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (Y[1] - Y[0]);
    if (area == 0) return;
    if (area < 0) {  // walk every triangle clockwise on screen
        std::swap(v[1], v[2]);
        std::swap(X[1], X[2]);
        std::swap(Y[1], Y[2]);
    }

    int64_t minX = std::min({X[0], X[1], X[2]}), maxX = std::max({X[0], X[1], X[2]});
    int64_t minY = std::min({Y[0], Y[1], Y[2]}), maxY = std::max({Y[0], Y[1], Y[2]});
    int64_t left = std::max<int64_t>(CeilDiv(minX, kSubpixel), p.clip.left);
    int64_t right = std::min<int64_t>(FloorDiv(maxX, kSubpixel), p.clip.right - 1);
    int64_t top = std::max<int64_t>(CeilDiv(minY, kSubpixel), p.clip.top);
    int64_t bottom = std::min<int64_t>(FloorDiv(maxY, kSubpixel), p.clip.bottom - 1);
    if (left > right || top > bottom) return;

    PlaneFit fit;
    fit.x0 = static_cast<double>(X[0]) / kSubpixel;
    fit.y0 = static_cast<double>(Y[0]) / kSubpixel;
    fit.dx1 = static_cast<double>(X[1] - X[0]) / kSubpixel;
    fit.dy1 = static_cast<double>(Y[1] - Y[0]) / kSubpixel;
    fit.dx2 = static_cast<double>(X[2] - X[0]) / kSubpixel;
    fit.dy2 = static_cast<double>(Y[2] - Y[0]) / kSubpixel;
    fit.invDet = 1.0 / (fit.dx1 * fit.dy2 - fit.dx2 * fit.dy1);
    Interpolants in;
    bool perspective = !(v[0]->rhw == v[1]->rhw && v[1]->rhw == v[2]->rhw);
    FillPlanes(
        p, v, provoking, perspective,
        [&fit](double f0, double f1, double f2) { return fit.Fit(f0, f1, f2); }, &in);
    in.refX = static_cast<float>(fit.x0 + (fit.dx1 + fit.dx2) / 3.0);
    in.refY = static_cast<float>(fit.y0 + (fit.dy1 + fit.dy2) / 3.0);
    BeginPrimitive(p, in, static_cast<int>(left), static_cast<int>(top));

    // Edge i runs from vertex i to i + 1; a pixel centre on an edge belongs to the triangle
    // only when the edge is a top edge or a left edge. Inside: dx (Py - y0) - dy (Px - x0) >=
    // bias, i.e. A x + K(y) >= bias in pixel x.
    EdgeWalk edges[3];
    for (int i = 0; i < 3; ++i) {
        int j = (i + 1) % 3;
        int64_t dx = X[j] - X[i], dy = Y[j] - Y[i];
        bool topLeft = dy < 0 || (dy == 0 && dx > 0);
        int64_t bias = topLeft ? 0 : 1;
        edges[i].Start(-dy * kSubpixel, dx * (top * kSubpixel - Y[i]) + dy * X[i] - bias,
                       dx * kSubpixel);
    }
    const SpanFn shade = in.shade;
    for (int64_t y = top; y <= bottom; ++y) {
        int64_t lo = left, hi = right;
        for (EdgeWalk& e : edges) {
            if (e.a > 0) {
                lo = std::max(lo, e.bound);
            } else if (e.a < 0) {
                hi = std::min(hi, e.bound);
            } else if (e.k < 0) {
                hi = lo - 1;
            }
            e.NextRow();
        }
        if (lo <= hi)
            shade(p, in, static_cast<int>(y), static_cast<int>(lo), static_cast<int>(hi + 1));
    }
}

void RasterizeLine(DrawPipeline& p, const ScreenVertex& a, const ScreenVertex& b,
                   const ScreenVertex& provoking, bool lastPixel) {
    int64_t unused;
    if (!Snap(a.x, &unused) || !Snap(a.y, &unused) || !Snap(b.x, &unused) || !Snap(b.y, &unused)) {
        return;
    }
    double dx = static_cast<double>(b.x) - a.x, dy = static_cast<double>(b.y) - a.y;
    double length2 = dx * dx + dy * dy;
    if (length2 == 0.0) return;

    // Attributes vary along the line: t = ((P - a) . d) / |d|^2.
    auto fit = [&](double f0, double f1, double) {
        double pa = (f1 - f0) * dx / length2, pb = (f1 - f0) * dy / length2;
        return Plane{pa, pb, f0 - pa * a.x - pb * a.y};
    };
    const ScreenVertex* v[3] = {&a, &b, &b};
    Interpolants in;
    FillPlanes(p, v, provoking, a.rhw != b.rhw, fit, &in);
    in.refX = a.x;
    in.refY = a.y;
    BeginPrimitive(p, in, p.clip.left, p.clip.top);

    // Diamond exit: walking the major axis from a to b, a pixel is drawn when the line leaves
    // it, so the start pixel is drawn and the end pixel is not (unless asked for).
    bool xMajor = std::fabs(dx) >= std::fabs(dy);
    double s0 = xMajor ? a.x : a.y, s1 = xMajor ? b.x : b.y;
    double m0 = xMajor ? a.y : a.x, slope = xMajor ? dy / dx : dx / dy;
    int64_t first, last;
    if (s1 > s0) {
        first = static_cast<int64_t>(std::ceil(s0 - 0.5));
        last = static_cast<int64_t>(std::ceil(s1 - 0.5)) - (lastPixel ? 0 : 1);
    } else {
        first = static_cast<int64_t>(std::floor(s1 + 0.5)) + (lastPixel ? 0 : 1);
        last = static_cast<int64_t>(std::floor(s0 + 0.5));
    }
    // Only the part of the walk inside the clip rectangle can draw.
    first = std::max<int64_t>(first, xMajor ? p.clip.left : p.clip.top);
    last = std::min<int64_t>(last, (xMajor ? p.clip.right : p.clip.bottom) - 1);
    for (int64_t major = first; major <= last; ++major) {
        int64_t minor = static_cast<int64_t>(std::floor(m0 + (major - s0) * slope + 0.5));
        int64_t x = xMajor ? major : minor, y = xMajor ? minor : major;
        if (InClip(p, x, y))
            in.shade(p, in, static_cast<int>(y), static_cast<int>(x), static_cast<int>(x) + 1);
    }
}

void RasterizePoint(DrawPipeline& p, const ScreenVertex& v) {
    int64_t unused;
    if (!Snap(v.x, &unused) || !Snap(v.y, &unused)) return;
    // The point covers [x - 0.5, x + 0.5) x [y - 0.5, y + 0.5): one pixel centre.
    int64_t x = static_cast<int64_t>(std::ceil(v.x - 0.5)),
            y = static_cast<int64_t>(std::ceil(v.y - 0.5));
    if (!InClip(p, x, y)) return;
    const ScreenVertex* three[3] = {&v, &v, &v};
    Interpolants in;
    FillPlanes(
        p, three, v, false, [](double f0, double, double) { return Constant(f0); }, &in);
    in.refX = v.x;
    in.refY = v.y;
    BeginPrimitive(p, in, static_cast<int>(x), static_cast<int>(y));
    in.shade(p, in, static_cast<int>(y), static_cast<int>(x), static_cast<int>(x) + 1);
}
