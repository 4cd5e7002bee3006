// The reference model of the rasteriser and primitives: per-channel arithmetic transcribed from
// the documented tables (one branch per row), exact or floating-point geometry for coverage
// and mapping, sharing nothing with the fixed-point walks under test.
#include "raster_reference.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

int P(int a, int b) {
    return a * b / 255;
}
int S(int p, int e) {
    return p * e / 255;
}  // C++ division truncates toward zero

int64_t FloorDiv(int64_t v, int64_t by) {
    int64_t q = v / by;
    if (v % by != 0 && v < 0) --q;
    return q;
}

// Channels in the order blue, green, red: RGB565 fields at their own widths, or bytes 0-2.
struct Channels {
    int k[3];
};

Channels Of(uint32_t c, bool wide) {
    if (wide) return {{int(c & 0xFF), int(c >> 8 & 0xFF), int(c >> 16 & 0xFF)}};
    return {{int(c & 31), int(c >> 5 & 63), int(c >> 11 & 31)}};
}

// Bits of channel k.
int Bits(bool wide, int k) {
    return wide ? 8 : (k == 1 ? 6 : 5);
}

// A 32-bit result keeps the destination's byte 3.
uint32_t Pack(const Channels& ch, bool wide, uint32_t d) {
    if (wide) {
        return (d & 0xFF000000) | uint32_t(ch.k[0]) | uint32_t(ch.k[1]) << 8 |
               uint32_t(ch.k[2]) << 16;
    }
    return uint32_t(ch.k[2]) << 11 | uint32_t(ch.k[1]) << 5 | uint32_t(ch.k[0]);
}

uint32_t Added(uint32_t d, const Channels& y, bool wide, int mode) {
    const uint32_t word = Pack(y, wide, 0);
    if (wide) return mode == 2 ? RefAdd32(d, word, true) : RefSub32(d, word);
    return mode == 2 ? RefAdd565(d, word, true) : RefSub565(d, word);
}

}  // namespace

bool RefPrepareMapped(const RefImage& src, int32_t trans, bool hasMask, const RefState& st,
                      RefMappedCall* out) {
    out->mode = st.mode;
    out->p = std::clamp(st.param, 0, 255);
    if (out->mode > 11 || (out->mode >= 5 && out->mode <= 9)) return false;
    if ((out->mode == 1 || out->mode == 2) && out->p == 0) return false;
    // A palette source still subtracts at 0.
    if (out->mode == 3 && out->p == 0 && !src.palette) return false;
    if (out->mode == 1 && out->p == 255) out->mode = 0;
    out->maskOn = hasMask;
    out->brightOn = (st.bright & 0xFFFFFF) != 0xFFFFFF;
    for (int k = 0; k < 3; ++k) out->bright[k] = int(st.bright >> (8 * k) & 0xFF);
    out->trans = trans != 0;
    out->weights = st.weights;
    return true;
}

uint32_t RefMappedPixel(const RefMappedCall& c, const RefImage& src, uint32_t raw, uint8_t maskByte,
                        uint32_t d) {
    const bool wide = src.colorType == 1;
    uint32_t s = raw;
    int a = -1;
    if (src.palette) {
        s = src.entries[raw];
    } else if (src.alpha) {
        s = wide ? raw : raw & 0xFFFF;
        a = int(wide ? raw >> 24 : raw >> 16 & 0xFF);
    }
    // The transparent test compares the raw pixel (or index) with the key; alpha sources
    // take the shortcuts instead.
    if (c.trans && a < 0 && raw == src.key) return d;
    if (c.trans && a == 0 && (c.mode <= 3 || c.mode == 10)) return d;

    int64_t w = 1;
    int n = 0;
    const int m = c.maskOn ? c.weights[maskByte] : -1;
    if (m >= 0) w *= m, ++n;
    const bool useA = a >= 0 && !(c.trans && a == 255);
    if (useA) w *= a, ++n;

    const Channels rawCh = Of(s, wide), dd = Of(d, wide);
    Channels sp = rawCh;
    for (int k = 0; k < 3; ++k) {
        if (c.mode == 10) sp.k[k] = (1 << Bits(wide, k)) - 1 - sp.k[k];
        if (c.brightOn) sp.k[k] = P(c.bright[k], sp.k[k]);
    }
    Channels out;
    switch (c.mode) {
        case 0:
            if (n == 0) return wide && !c.brightOn ? s : Pack(sp, wide, d);
            for (int k = 0; k < 3; ++k) {
                out.k[k] = dd.k[k] + int(FloorDiv((sp.k[k] - dd.k[k]) * w, int64_t{1} << (8 * n)));
            }
            return Pack(out, wide, d);
        case 1:
        case 10:
        case 11:
            for (int k = 0; k < 3; ++k) {
                int x = sp.k[k];
                if (c.mode == 11) x = x * dd.k[k] >> Bits(wide, k);
                if (n == 0 && !wide) {
                    out.k[k] = dd.k[k] + S(c.p, x - dd.k[k]);
                } else {
                    out.k[k] = dd.k[k] +
                               int(FloorDiv((x - dd.k[k]) * w * c.p, int64_t{1} << (8 * (n + 1))));
                }
            }
            // The multiply-translucent green of an RGB565 alpha source without blend graph
            // or bright keeps five more fraction bits of the product.
            if (c.mode == 11 && !wide && useA && !c.maskOn && !c.brightOn) {
                const int64_t sG = sp.k[1], dG = dd.k[1];
                out.k[1] =
                    int(FloorDiv(dG * (int64_t{1} << 21) + ((sG * dG >> 1) - 32 * dG) * a * c.p,
                                 int64_t{1} << 21));
            }
            return Pack(out, wide, d);
        case 4:
            for (int k = 0; k < 3; ++k) {
                out.k[k] =
                    int(FloorDiv(sp.k[k] * dd.k[k] * w, int64_t{1} << (Bits(wide, k) + 8 * n)));
            }
            return Pack(out, wide, d);
        case 2:
        case 3:
            for (int k = 0; k < 3; ++k) {
                if (wide) {
                    out.k[k] = n == 0 ? P(c.p, sp.k[k])
                                      : int(FloorDiv(sp.k[k] * w * c.p, int64_t{1} << (8 * n + 8)));
                    continue;
                }
                int f = sp.k[k];
                if (m >= 0 && useA)
                    f = int(sp.k[k] * int64_t(m) * a >> 16);
                else if (m >= 0)
                    f = sp.k[k] * m >> 8;
                // Alpha alone with bright on: the raw field is weighted first, brightened after.
                else if (useA && c.brightOn)
                    f = P(c.bright[k], rawCh.k[k] * a >> 8);
                else if (useA)
                    f = sp.k[k] * a >> 8;
                out.k[k] = P(c.p, f);
            }
            return Added(d, out, wide, int(c.mode));
    }
    return d;
}

int RefSolidMode(uint32_t mode, int p) {
    if (mode > 11 || (mode >= 5 && mode <= 9)) return -1;
    if (mode >= 1 && mode <= 3 && p == 0) return -1;
    return mode == 1 && p == 255 ? 0 : int(mode);
}

uint32_t RefBrightByTable(uint32_t colour, int colorType, uint32_t bright) {
    const bool wide = colorType == 1;
    Channels ch = Of(colour, wide);
    for (int k = 0; k < 3; ++k) ch.k[k] = P(int(bright >> (8 * k) & 0xFF), ch.k[k]);
    return Pack(ch, wide, colour);
}

uint32_t RefBrightByShift(uint32_t colour, int colorType, uint32_t bright) {
    const bool wide = colorType == 1;
    Channels ch = Of(colour, wide);
    if ((bright & 0xFFFFFF) != 0xFFFFFF) {
        for (int k = 0; k < 3; ++k) ch.k[k] = ch.k[k] * int(bright >> (8 * k) & 0xFF) >> 8;
    }
    return Pack(ch, wide, colour);
}

uint32_t RefSolidPixel(int colorType, int mode, int p, uint32_t c, uint32_t d) {
    const bool wide = colorType == 1;
    if (mode == 0) return wide ? c : c & 0xFFFF;
    const Channels cc = Of(c, wide), dd = Of(d, wide);
    Channels out;
    for (int k = 0; k < 3; ++k) {
        const int top = (1 << Bits(wide, k)) - 1;
        int x = cc.k[k];
        if (mode == 10) x = top - x;
        if (mode == 11 || mode == 4) x = x * dd.k[k] >> Bits(wide, k);
        if (mode == 2 || mode == 3)
            out.k[k] = P(p, cc.k[k]);
        else if (mode == 4)
            out.k[k] = x;
        else if (wide)
            out.k[k] = int(FloorDiv(dd.k[k] * 256 + (x - dd.k[k]) * p, 256));
        else
            out.k[k] = dd.k[k] + S(p, x - dd.k[k]);
    }
    if (mode == 2 || mode == 3) return Added(d, out, wide, mode);
    return Pack(out, wide, d);
}

int RefTriangleCoverage(const TriangleVertex v[3], int x, int y) {
    const int64_t cross =
        int64_t(v[1].x - v[0].x) * (v[2].y - v[0].y) - int64_t(v[2].x - v[0].x) * (v[1].y - v[0].y);
    if (cross == 0) return 0;
    int o[3] = {0, 1, 2};
    std::sort(o, o + 3, [&](int i, int j) { return v[i].y < v[j].y; });
    const TriangleVertex &t = v[o[0]], &m = v[o[1]], &b = v[o[2]];
    if (y < t.y || y >= b.y) return 0;
    auto edgeX = [&](const TriangleVertex& p, const TriangleVertex& q) {
        return p.x + 0.5 + double(y - p.y) * double(q.x - p.x) / double(q.y - p.y);
    };
    const double long_ = edgeX(t, b);
    const double pair = y < m.y ? edgeX(t, m) : edgeX(m, b);
    const double xl = std::min(long_, pair), xr = std::max(long_, pair);
    // The fixed-point steps lose under one unit of 2^-18 per row.
    const double margin = double(b.y - t.y + 2) / 262144.0;
    const bool sure = std::floor(xl + margin) <= x && x <= std::floor(xr - margin);
    const bool maybe = std::floor(xl - margin) <= x && x <= std::floor(xr + margin);
    return sure ? 1 : (maybe ? 2 : 0);
}

RefTexel RefTriangleTexel(const TriangleVertex v[3], int x, int y) {
    const double dx1 = v[1].x - v[0].x, dy1 = v[1].y - v[0].y;
    const double dx2 = v[2].x - v[0].x, dy2 = v[2].y - v[0].y;
    const double det = dx1 * dy2 - dx2 * dy1;
    auto plane = [&](double a0, double a1, double a2) {
        const double ddx = ((a1 - a0) * dy2 - (a2 - a0) * dy1) / det;
        const double ddy = (dx1 * (a2 - a0) - dx2 * (a1 - a0)) / det;
        return a0 + (x - v[0].x) * ddx + (y - v[0].y) * ddy;
    };
    // Each gradient is truncated to a unit of 2^-18, and the position is stepped from one of
    // the vertices.
    int reach = 0;
    for (int i = 0; i < 3; ++i)
        reach = std::max(reach, std::abs(x - v[i].x) + std::abs(y - v[i].y));
    return {plane(v[0].u, v[1].u, v[2].u), plane(v[0].v, v[1].v, v[2].v), (reach + 1) / 262144.0};
}

RefTexel RefRotatedTexel(int srcWidth, int srcHeight, int cx, int cy, double angle, double scale,
                         int x, int y, double margin) {
    const double dx = x - cx, dy = y - cy;
    const double c = std::cos(angle), s = std::sin(angle);
    return {(dx * c + dy * s) / scale + (srcWidth >> 1),
            (dy * c - dx * s) / scale + (srcHeight >> 1), margin};
}
