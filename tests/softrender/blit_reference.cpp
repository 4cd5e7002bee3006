// The reference model of the software blits: plain per-channel arithmetic transcribed from the
// documented tables, one branch per table row, sharing nothing with the generated loops.
#include "blit_reference.h"

#include <algorithm>

namespace {

// The lookup tables, evaluated from their definitions.
int P(int v, int x) {
    return v * x / 255;
}
int S(int p, int d) {
    return p * d / 255;
}  // C++ division truncates toward zero
int L(int q, int j, int i) {
    return (q * j + (63 - q) * i) / 63;
}

int64_t FloorDiv(int64_t v, int64_t by) {
    int64_t q = v / by;
    if (v % by != 0 && v < 0) --q;
    return q;
}

struct Fields {
    int r, g, b;
};
Fields Split(uint32_t c) {
    return {int(c >> 11 & 31), int(c >> 5 & 63), int(c & 31)};
}
uint32_t Join(Fields f) {
    return uint32_t(f.r) << 11 | uint32_t(f.g) << 5 | uint32_t(f.b);
}

int Byte(uint32_t w, int k) {
    return int(w >> (8 * k) & 0xFF);
}

// What one call does, fixed before any pixel.
struct Call {
    uint32_t mode;
    int p;
    bool maskOn;
    bool brightOn;
    int bright[3];  // blue, green, red bytes
    bool trans;
    bool packed;
    const uint8_t* weights;
};

// ---- RGB565 arithmetic -----------------------------------------------------------------

Fields Brighten(const Call& c, Fields f) {
    if (!c.brightOn) return f;
    return {P(c.bright[2], f.r), P(c.bright[1], f.g), P(c.bright[0], f.b)};
}

// c' = floor((c_d * 2^k + (c_x - c_d) * W) / 2^k)
uint32_t Lerp16(uint32_t d, Fields x, int64_t w, int k) {
    Fields dd = Split(d);
    auto ch = [&](int cd, int cx) {
        return int(FloorDiv(cd * (int64_t{1} << k) + int64_t(cx - cd) * w, int64_t{1} << k));
    };
    return Join({ch(dd.r, x.r), ch(dd.g, x.g), ch(dd.b, x.b)});
}

uint32_t Tbl16(uint32_t d, Fields x, int p) {
    Fields dd = Split(d);
    return Join({dd.r + S(p, x.r - dd.r), dd.g + S(p, x.g - dd.g), dd.b + S(p, x.b - dd.b)});
}

// The per-channel description of the multiply: the product divided by the channel's range
// and by the weight's scale.
uint32_t Product16(Fields s, uint32_t d, int64_t w, int k) {
    Fields dd = Split(d);
    return Join({int(FloorDiv(s.r * dd.r * w, int64_t{32} << k)),
                 int(FloorDiv(s.g * dd.g * w, int64_t{64} << k)),
                 int(FloorDiv(s.b * dd.b * w, int64_t{32} << k))});
}

Fields ProductColour16(Fields s, uint32_t d) {
    Fields dd = Split(d);
    return {s.r * dd.r / 32, s.g * dd.g / 64, s.b * dd.b / 32};
}

}  // namespace

uint32_t RefAdd565(uint32_t d, uint32_t x, bool lowBits) {
    Fields dd = Split(d), xx = Split(x);
    const int bs = dd.b + xx.b;
    const int bc = bs > 31;
    const int b = bc ? 31 : bs;
    const int gs = (dd.g >> 1) + (xx.g >> 1);
    const int gc = gs > 31;
    const int g = ((gc ? 31 : gs) << 1) | (lowBits ? (dd.g | xx.g) & 1 : 0) | bc;
    const int rs = (dd.r >> 1) + (xx.r >> 1);
    const int r = rs > 15 ? 31 : ((rs << 1) | (lowBits ? (dd.r | xx.r) & 1 : 0) | gc);
    return Join({r, g, b});
}

uint32_t RefSub565(uint32_t d, uint32_t x) {
    Fields dd = Split(d), xx = Split(x);
    const int b = std::max(dd.b - xx.b, 0);
    const int g = std::max((dd.g >> 1) - (xx.g >> 1), 0) << 1;
    const int r = (dd.r >> 1) < (xx.r >> 1)
                      ? 0
                      : (((dd.r >> 1) - (xx.r >> 1)) << 1) | ((dd.g >> 1) >= (xx.g >> 1));
    return Join({r, g, b});
}

// The left pixel adds as the fast add; in the right one blue adds without its lowest bits and
// receives the left red's carry there.
uint32_t RefPairAdd565(uint32_t y, uint32_t x) {
    const uint32_t left = RefAdd565(y & 0xFFFF, x & 0xFFFF, false);
    Fields dl = Split(y & 0xFFFF), xl = Split(x & 0xFFFF);
    const int carryIn = (dl.r >> 1) + (xl.r >> 1) > 15;
    Fields dd = Split(y >> 16), xx = Split(x >> 16);
    const int bs = (dd.b >> 1) + (xx.b >> 1);
    const int bc = bs > 15;
    const int b = bc ? 31 : (bs << 1) | carryIn;
    const int gs = (dd.g >> 1) + (xx.g >> 1);
    const int gc = gs > 31;
    const int g = ((gc ? 31 : gs) << 1) | bc;
    const int rs = (dd.r >> 1) + (xx.r >> 1);
    const int r = rs > 15 ? 31 : (rs << 1) | gc;
    return left | Join({r, g, b}) << 16;
}

// The left pixel subtracts as usual; in the right one blue subtracts without its lowest bits,
// which records that the left red did not borrow.
uint32_t RefPairSub565(uint32_t y, uint32_t x) {
    const uint32_t left = RefSub565(y & 0xFFFF, x & 0xFFFF);
    Fields dl = Split(y & 0xFFFF), xl = Split(x & 0xFFFF);
    const int leftBorrowed = (dl.r >> 1) < (xl.r >> 1);
    Fields dd = Split(y >> 16), xx = Split(x >> 16);
    const int b =
        (dd.b >> 1) < (xx.b >> 1) ? 0 : (((dd.b >> 1) - (xx.b >> 1)) << 1) | !leftBorrowed;
    const uint32_t gr = RefSub565(y >> 16, x >> 16) & 0xFFE0;
    return left | (gr | uint32_t(b)) << 16;
}

uint32_t RefAdd32(uint32_t d, uint32_t a, bool lowBits) {
    const int bs = Byte(d, 0) + Byte(a, 0);
    const int bc = bs > 255;
    const int gs = (Byte(d, 1) & 0xFE) + (Byte(a, 1) & 0xFE) + bc;
    const int gc = gs > 255;
    const int rs = (Byte(d, 2) & 0xFE) + (Byte(a, 2) & 0xFE) + gc;
    const int rc = rs > 255;
    const int b = bc ? 255 : bs;
    const int g = gc ? 255 : gs | (lowBits ? (Byte(d, 1) | Byte(a, 1)) & 1 : 0);
    const int r = rc ? 255 : rs | (lowBits ? (Byte(d, 2) | Byte(a, 2)) & 1 : 0);
    return uint32_t(b) | uint32_t(g) << 8 | uint32_t(r) << 16 | uint32_t(rc) << 24;
}

uint32_t RefSub32(uint32_t d, uint32_t a) {
    const int bv = Byte(d, 0) - Byte(a, 0);
    const int bb = bv < 0;
    const int gv = (Byte(d, 1) | 1) - (Byte(a, 1) & 0xFE) - bb;
    const int gb = gv < 0;
    const int rv = (Byte(d, 2) | 1) - (Byte(a, 2) & 0xFE) - gb;
    return uint32_t(std::max(bv, 0)) | uint32_t(std::max(gv, 0)) << 8 |
           uint32_t(std::max(rv, 0)) << 16;
}

namespace {

uint32_t BytewiseAdd(uint32_t d, uint32_t s) {
    uint32_t r = 0;
    for (int k = 0; k < 4; ++k) r |= uint32_t(std::min(255, Byte(d, k) + Byte(s, k))) << (8 * k);
    return r;
}
uint32_t BytewiseSub(uint32_t d, uint32_t s) {
    uint32_t r = 0;
    for (int k = 0; k < 4; ++k) r |= uint32_t(std::max(0, Byte(d, k) - Byte(s, k))) << (8 * k);
    return r;
}

uint32_t Average16(uint32_t s, uint32_t d) {
    Fields ss = Split(s), dd = Split(d);
    return Join({ss.r / 2 + dd.r / 2, ss.g / 2 + dd.g / 2, ss.b / 2 + dd.b / 2});
}

uint32_t Lerp6Path(int q, uint32_t s, uint32_t d) {
    Fields ss = Split(s), dd = Split(d);
    return Join({L(q, ss.r, dd.r), L(q, ss.g, dd.g), L(q, ss.b, dd.b)});
}

// ---- 32-bit arithmetic -------------------------------------------------------------------

struct Bgr {
    int k[3];
};
Bgr Channels(uint32_t w) {
    return {{Byte(w, 0), Byte(w, 1), Byte(w, 2)}};
}
Bgr Brighten32(const Call& c, Bgr s) {
    if (!c.brightOn) return s;
    return {{P(c.bright[0], s.k[0]), P(c.bright[1], s.k[1]), P(c.bright[2], s.k[2])}};
}
uint32_t WithChannels(uint32_t d, Bgr x) {
    return (d & 0xFF000000) | uint32_t(x.k[0]) | uint32_t(x.k[1]) << 8 | uint32_t(x.k[2]) << 16;
}
// d_k + floor((X_k - d_k) * w / 256^n); byte 3 kept.
uint32_t Toward32(uint32_t d, Bgr x, int64_t w, int n) {
    Bgr dd = Channels(d);
    Bgr r;
    for (int k = 0; k < 3; ++k) {
        r.k[k] = dd.k[k] + int(FloorDiv(int64_t(x.k[k] - dd.k[k]) * w, int64_t{1} << (8 * n)));
    }
    return WithChannels(d, r);
}
uint32_t Addend32(Bgr s, int64_t w, int n) {
    uint32_t a = 0;
    for (int k = 0; k < 3; ++k)
        a |= uint32_t(FloorDiv(s.k[k] * w, int64_t{1} << (8 * n))) << (8 * k);
    return a;
}
uint32_t TableAddend32(int p, Bgr s) {
    return uint32_t(P(p, s.k[0])) | uint32_t(P(p, s.k[1])) << 8 | uint32_t(P(p, s.k[2])) << 16;
}
uint32_t Multiply32(uint32_t d, Bgr s, int64_t w, int n) {
    Bgr dd = Channels(d), r;
    for (int k = 0; k < 3; ++k) {
        r.k[k] = int(FloorDiv(s.k[k] * dd.k[k] * w, int64_t{1} << (8 * (n + 1))));
    }
    return WithChannels(d, r);
}

// ---- Source pixels -------------------------------------------------------------------------

struct Pixel {
    bool keyed;  // equals the transparent colour or index
    uint32_t s;  // colour: RGB565 or 32-bit word (palette entry)
    int a;       // alpha, or -1 for a source without alpha
};

Pixel Read(const RefImage& src, uint32_t raw) {
    Pixel px;
    px.keyed = raw == src.key;
    if (src.palette) {
        px.s = src.entries[raw];
        px.a = -1;
    } else if (src.alpha) {
        px.s = src.colorType == 0 ? raw & 0xFFFF : raw;
        px.a = int(src.colorType == 0 ? raw >> 16 & 0xFF : raw >> 24);
    } else {
        px.s = raw;
        px.a = -1;
    }
    return px;
}

// ---- Unscaled blit, plain path -------------------------------------------------------------

bool Unscaled16(const Call& c, const RefImage& src, const Pixel& px, int m, uint32_t* d) {
    const bool alphaSrc = src.alpha;
    const int a = px.a, p = c.p;
    if (!alphaSrc && c.trans && px.keyed) return false;
    if (alphaSrc && c.trans && a == 0 &&
        (c.mode == 0 || c.mode == 1 || c.mode == 2 || c.mode == 3 || c.mode == 10))
        return false;
    const Fields raw = Split(px.s);
    const Fields sb = Brighten(c, raw);
    switch (c.mode) {
        case 0:
            if (!c.maskOn) {
                if (!alphaSrc)
                    *d = Join(sb);
                else if (c.trans)
                    *d = a == 255 ? Join(sb) : Lerp16(*d, sb, a, 8);
                else
                    *d = c.brightOn ? Lerp16(*d, sb, a, 8) : px.s;
            } else {
                if (!alphaSrc)
                    *d = Lerp16(*d, sb, m, 8);
                else if (c.trans)
                    *d = a == 255 ? Lerp16(*d, sb, m, 8) : Lerp16(*d, sb, a * m, 16);
                else
                    *d = Lerp16(*d, sb, a * m, 16);
            }
            return true;
        case 1:
        case 10:
        case 11: {
            Fields x = sb;
            if (c.mode == 10) x = Brighten(c, Split(~px.s & 0xFFFF));
            if (c.mode == 11) x = ProductColour16(sb, *d);
            if (!c.maskOn) {
                if (!alphaSrc) {
                    if (c.mode == 1 && !c.brightOn) {
                        *d = p == 128 ? Average16(px.s, *d) : Lerp6Path(p / 4, px.s, *d);
                    } else {
                        *d = Tbl16(*d, x, p);
                    }
                } else if (c.trans && a == 255) {
                    *d = Tbl16(*d, x, p);
                } else if (c.mode == 11 && !c.brightOn) {
                    const uint32_t out = Lerp16(*d, x, int64_t(a) * p, 16);
                    const int gd = Split(*d).g;
                    const int g = int(FloorDiv(
                        gd * (int64_t{1} << 21) + int64_t(raw.g * gd / 2 - 32 * gd) * a * p,
                        int64_t{1} << 21));
                    *d = (out & ~0x07E0u) | uint32_t(g) << 5;
                } else {
                    *d = Lerp16(*d, x, int64_t(a) * p, 16);
                }
            } else {
                if (!alphaSrc)
                    *d = Lerp16(*d, x, int64_t(m) * p, 16);
                else if (c.trans && a == 255)
                    *d = Lerp16(*d, x, int64_t(m) * p, 16);
                else
                    *d = Lerp16(*d, x, int64_t(a) * m * p, 24);
            }
            return true;
        }
        case 2:
        case 3: {
            auto w = [&](int xs, int xraw, int bright) {
                if (!c.maskOn) {
                    if (!alphaSrc || (c.trans && a == 255)) return xs;
                    if (c.brightOn) return P(bright, xraw * a / 256);
                    return xs * a / 256;
                }
                if (!alphaSrc || (c.trans && a == 255)) return xs * m / 256;
                return xs * a * m / 65536;
            };
            const Fields sc = {P(p, w(sb.r, raw.r, c.bright[2])), P(p, w(sb.g, raw.g, c.bright[1])),
                               P(p, w(sb.b, raw.b, c.bright[0]))};
            *d = c.mode == 2 ? RefAdd565(*d, Join(sc), true) : RefSub565(*d, Join(sc));
            return true;
        }
        case 4:
            if (!c.maskOn) {
                if (!alphaSrc || (c.trans && a == 255))
                    *d = Product16(sb, *d, 1, 0);
                else
                    *d = Product16(sb, *d, a, 8);
            } else {
                if (!alphaSrc || (c.trans && a == 255))
                    *d = Product16(sb, *d, m, 8);
                else
                    *d = Product16(sb, *d, int64_t(a) * m, 16);
            }
            return true;
    }
    return false;
}

bool Unscaled32(const Call& c, const RefImage& src, const Pixel& px, int m, uint32_t* d) {
    const bool alphaSrc = src.alpha;
    const int a = px.a, p = c.p;
    if (!alphaSrc && c.trans && px.keyed) return false;
    if (alphaSrc && c.trans && a == 0 && c.mode <= 3) return false;
    const bool full = alphaSrc && c.trans && a == 255;  // the a = 255 rows
    const Bgr sb = Brighten32(c, Channels(px.s));
    switch (c.mode) {
        case 0:
            if (!c.maskOn) {
                if (!alphaSrc || full)
                    *d = c.brightOn ? WithChannels(*d, sb) : px.s;
                else if (c.trans)
                    *d = Toward32(*d, sb, a, 1);
                else
                    *d = c.brightOn ? Toward32(*d, sb, a, 1) : px.s;
            } else {
                if (!alphaSrc || full)
                    *d = Toward32(*d, sb, m, 1);
                else
                    *d = Toward32(*d, sb, int64_t(m) * a, 2);
            }
            return true;
        case 1:
        case 10:
        case 11: {
            Bgr x = sb;
            if (c.mode == 10) {
                Bgr inv = Channels(px.s);
                for (int& k : inv.k) k = 255 - k;
                x = Brighten32(c, inv);
            }
            if (c.mode == 11) {
                Bgr dd = Channels(*d);
                for (int k = 0; k < 3; ++k) x.k[k] = sb.k[k] * dd.k[k] / 256;
            }
            if (!c.maskOn) {
                if (c.mode == 1 && !alphaSrc && !c.brightOn && p == 128) {
                    *d = ((px.s >> 1) & 0x007F7F7F) + ((*d >> 1) & 0x007F7F7F);
                } else if (!alphaSrc || full) {
                    *d = Toward32(*d, x, p, 1);
                } else {
                    *d = Toward32(*d, x, int64_t(a) * p, 2);
                }
            } else {
                if (!alphaSrc || full)
                    *d = Toward32(*d, x, int64_t(m) * p, 2);
                else
                    *d = Toward32(*d, x, int64_t(m) * a * p, 3);
            }
            return true;
        }
        case 2:
        case 3: {
            if (!c.maskOn && !alphaSrc && !c.brightOn && p == 255) {
                if (c.packed)
                    *d = c.mode == 2 ? BytewiseAdd(*d, px.s) : BytewiseSub(*d, px.s);
                else
                    *d = c.mode == 2 ? RefAdd32(*d, px.s, false) : RefSub32(*d, px.s & 0x00FEFEFF);
                return true;
            }
            uint32_t addend;
            if (!c.maskOn)
                addend =
                    (!alphaSrc || full) ? TableAddend32(p, sb) : Addend32(sb, int64_t(a) * p, 2);
            else if (!alphaSrc || full)
                addend = Addend32(sb, int64_t(m) * p, 2);
            else
                addend = Addend32(sb, int64_t(m) * a * p, 3);
            *d = c.mode == 2 ? RefAdd32(*d, addend, true) : RefSub32(*d, addend);
            return true;
        }
        case 4:
            if (!c.maskOn)
                *d = (!alphaSrc || full) ? Multiply32(*d, sb, 1, 0) : Multiply32(*d, sb, a, 1);
            else if (!alphaSrc || full)
                *d = Multiply32(*d, sb, m, 1);
            else
                *d = Multiply32(*d, sb, int64_t(m) * a, 2);
            return true;
    }
    return false;
}

// ---- Run-length path -----------------------------------------------------------------------

std::vector<int> ExpandStream(const RefImage& src) {
    std::vector<int> classes;
    for (uint8_t control : src.stream) {
        if (control >= 0xC0) continue;
        classes.insert(classes.end(), (control & 63) + 1, control >> 6);
    }
    return classes;
}

// One drawn pixel of an opaque (1) or translucent (2) run, 16-bit kinds.
void RunLength16(const Call& c, const RefImage& src, const Pixel& px, int run, int w, uint32_t* d) {
    const bool tl = src.alpha && run == 2;
    const int a = px.a, p = c.p;
    const Fields sb = Brighten(c, Split(px.s));
    switch (c.mode) {
        case 0:
            if (!c.maskOn)
                *d = tl ? Lerp16(*d, sb, a, 8) : (c.brightOn ? Join(sb) : px.s);
            else
                *d = tl ? Lerp16(*d, sb, int64_t(w) * a, 16) : Lerp16(*d, sb, w, 8);
            return;
        case 1:
        case 10:
        case 11: {
            Fields x = sb;
            if (c.mode == 10) {
                Fields f = Split(px.s);
                x = Brighten(c, {31 - f.r, 63 - f.g, 31 - f.b});
            }
            if (c.mode == 11) x = ProductColour16(sb, *d);
            if (!c.maskOn) {
                if (!tl) {
                    *d = Tbl16(*d, x, p);
                } else if (c.mode == 11 && !c.brightOn) {
                    const uint32_t out = Lerp16(*d, x, int64_t(a) * p, 16);
                    const int gd = Split(*d).g, gs = Split(px.s).g;
                    const int g = int(
                        FloorDiv(gd * (int64_t{1} << 21) + int64_t(gs * gd / 2 - 32 * gd) * a * p,
                                 int64_t{1} << 21));
                    *d = (out & ~0x07E0u) | uint32_t(g) << 5;
                } else {
                    *d = Lerp16(*d, x, int64_t(a) * p, 16);
                }
            } else {
                *d = tl ? Lerp16(*d, x, int64_t(w) * a * p, 24) : Lerp16(*d, x, int64_t(w) * p, 16);
            }
            return;
        }
        case 2:
        case 3: {
            auto t = [&](int sf) {
                int v = sf;
                if (!c.maskOn)
                    v = tl ? sf * a / 256 : sf;
                else
                    v = tl ? sf * w * a / 65536 : sf * w / 256;
                return P(p, v);
            };
            const uint32_t addend = Join({t(sb.r), t(sb.g), t(sb.b)});
            *d = c.mode == 2 ? RefAdd565(*d, addend, true) : RefSub565(*d, addend);
            return;
        }
        case 4:
            if (!c.maskOn)
                *d = tl ? Product16(sb, *d, a, 8) : Product16(sb, *d, 1, 0);
            else
                *d = tl ? Product16(sb, *d, int64_t(w) * a, 16) : Product16(sb, *d, w, 8);
            return;
    }
}

void RunLength32(const Call& c, const RefImage& src, const Pixel& px, int run, int w, uint32_t* d) {
    const bool tl = src.alpha && run == 2;
    const int a = px.a, p = c.p;
    const Bgr sb = Brighten32(c, Channels(px.s));
    switch (c.mode) {
        case 0:
            if (!c.maskOn)
                *d = tl ? Toward32(*d, sb, a, 1) : (c.brightOn ? WithChannels(*d, sb) : px.s);
            else
                *d = tl ? Toward32(*d, sb, int64_t(w) * a, 2) : Toward32(*d, sb, w, 1);
            return;
        case 1:
        case 10:
        case 11: {
            Bgr x = sb;
            if (c.mode == 10) {
                Bgr inv = Channels(px.s);
                for (int& k : inv.k) k = 255 - k;
                x = Brighten32(c, inv);
            }
            if (c.mode == 11) {
                Bgr dd = Channels(*d);
                for (int k = 0; k < 3; ++k) x.k[k] = sb.k[k] * dd.k[k] / 256;
            }
            if (!c.maskOn)
                *d = tl ? Toward32(*d, x, int64_t(a) * p, 2) : Toward32(*d, x, p, 1);
            else
                *d = tl ? Toward32(*d, x, int64_t(w) * a * p, 3)
                        : Toward32(*d, x, int64_t(w) * p, 2);
            return;
        }
        case 2:
        case 3: {
            uint32_t addend;
            if (!c.maskOn)
                addend = tl ? Addend32(sb, int64_t(a) * p, 2) : TableAddend32(p, sb);
            else
                addend = tl ? Addend32(sb, int64_t(w) * a * p, 3) : Addend32(sb, int64_t(w) * p, 2);
            *d = c.mode == 2 ? RefAdd32(*d, addend, true) : RefSub32(*d, addend);
            return;
        }
        case 4:
            if (!c.maskOn)
                *d = tl ? Multiply32(*d, sb, a, 1) : Multiply32(*d, sb, 1, 0);
            else
                *d = tl ? Multiply32(*d, sb, int64_t(w) * a, 2) : Multiply32(*d, sb, w, 1);
            return;
    }
}

// ---- Scaled blit ---------------------------------------------------------------------------

// Factors present: the blend-graph weight, the alpha unless dropped, and p in the modes that
// use it. Returns false for a skipped pixel.
bool Scaled32(const Call& c, const RefImage& src, const Pixel& px, int m, uint32_t* d) {
    const bool alphaSrc = src.alpha;
    if (c.trans && !alphaSrc && px.keyed) return false;
    if (c.trans && alphaSrc && px.a == 0) return false;
    int64_t w = 1;
    int n = 0;
    if (c.maskOn) w *= m, ++n;
    const bool useA = alphaSrc && !(c.trans && px.a == 255);
    if (useA) w *= px.a, ++n;
    const bool noWeight = n == 0;
    const bool usesP = c.mode != 0 && c.mode != 4;
    if (usesP) w *= c.p, ++n;
    Bgr x = Channels(px.s);
    if (c.mode == 10)
        for (int& k : x.k) k = 255 - k;
    const Bgr s = Brighten32(c, x);
    switch (c.mode) {
        case 0:
            if (n == 0)
                *d = c.brightOn ? WithChannels(*d, s) : px.s;
            else
                *d = Toward32(*d, s, w, n);
            return true;
        case 1:
        case 10:
            *d = Toward32(*d, s, w, n);
            return true;
        case 11: {
            Bgr t;
            Bgr dd = Channels(*d);
            for (int k = 0; k < 3; ++k) t.k[k] = s.k[k] * dd.k[k] / 256;
            *d = Toward32(*d, t, w, n);
            return true;
        }
        case 2:
        case 3: {
            if (c.mode == 3 && c.p == 255 && !c.maskOn && !c.brightOn && !alphaSrc) {
                *d = c.packed ? BytewiseSub(*d, px.s) : RefSub32(*d, px.s & 0xFEFEFF);
                return true;
            }
            const uint32_t addend = noWeight ? TableAddend32(c.p, s) : Addend32(s, w, n);
            *d = c.mode == 2 ? RefAdd32(*d, addend, true) : RefSub32(*d, addend);
            return true;
        }
        case 4:
            *d = Multiply32(*d, s, w, n);
            return true;
    }
    return false;
}

bool Scaled16(const Call& c, const RefImage& src, const Pixel& px, int m, uint32_t* d) {
    const bool alphaSrc = src.alpha;
    const int a = px.a, p = c.p;
    if (c.trans && !alphaSrc && px.keyed) return false;
    if (c.trans && alphaSrc && a == 0) return false;
    const bool full = !alphaSrc || (c.trans && a == 255);  // rows without the alpha weight
    const Fields sb = Brighten(c, Split(px.s));
    switch (c.mode) {
        case 0:
            if (!c.maskOn)
                *d = full ? Join(sb) : Lerp16(*d, sb, a, 8);
            else
                *d = full ? Lerp16(*d, sb, m, 8) : Lerp16(*d, sb, int64_t(a) * m, 16);
            return true;
        case 1:
        case 10:
        case 11: {
            Fields x = sb;
            if (c.mode == 10) x = Brighten(c, Split(~px.s & 0xFFFF));
            if (c.mode == 11) x = ProductColour16(sb, *d);
            if (!c.maskOn) {
                if (full) {
                    *d = Tbl16(*d, x, p);
                } else if (c.mode == 11 && !c.brightOn) {
                    const uint32_t out = Lerp16(*d, x, int64_t(a) * p, 16);
                    const int gd = Split(*d).g, gs = Split(px.s).g;
                    const int g = int(
                        FloorDiv(gd * (int64_t{1} << 21) + int64_t(gs * gd / 2 - 32 * gd) * a * p,
                                 int64_t{1} << 21));
                    *d = (out & ~0x07E0u) | uint32_t(g) << 5;
                } else {
                    *d = Lerp16(*d, x, int64_t(a) * p, 16);
                }
            } else {
                *d = full ? Lerp16(*d, x, int64_t(m) * p, 16)
                          : Lerp16(*d, x, int64_t(a) * m * p, 24);
            }
            return true;
        }
        case 2:
        case 3: {
            auto wgt = [&](int xs) {
                if (!c.maskOn) return full ? xs : xs * a / 256;
                return full ? xs * m / 256 : xs * a * m / 65536;
            };
            const uint32_t sc = Join({P(p, wgt(sb.r)), P(p, wgt(sb.g)), P(p, wgt(sb.b))});
            *d = c.mode == 2 ? RefAdd565(*d, sc, true) : RefSub565(*d, sc);
            return true;
        }
        case 4:
            if (!c.maskOn)
                *d = full ? Product16(sb, *d, 1, 0) : Product16(sb, *d, a, 8);
            else
                *d = full ? Product16(sb, *d, m, 8) : Product16(sb, *d, int64_t(a) * m, 16);
            return true;
    }
    return false;
}

// ---- Frames --------------------------------------------------------------------------------

bool Refused(const RefImage& dst, const RefImage& src) {
    return src.colorType != dst.colorType || dst.palette || dst.alpha ||
           (src.colorType != 0 && src.colorType != 1);
}

// The draw area within the destination.
void Area(const RefImage& dst, const RefState& st, int64_t out[4]) {
    out[0] = std::max<int64_t>(st.area[0], 0);
    out[1] = std::max<int64_t>(st.area[1], 0);
    out[2] = std::max(std::min<int64_t>(st.area[2], dst.width), out[0]);
    out[3] = std::max(std::min<int64_t>(st.area[3], dst.height), out[1]);
}

// Raise right and bottom, then clamp bottom, top, right, left into the area.
void Clip(int64_t r[4], const int64_t a[4]) {
    r[2] = std::max(r[2], r[0]);
    r[3] = std::max(r[3], r[1]);
    r[3] = std::clamp(r[3], a[1], a[3]);
    r[1] = std::clamp(r[1], a[1], a[3]);
    r[2] = std::clamp(r[2], a[0], a[2]);
    r[0] = std::clamp(r[0], a[0], a[2]);
}

// Fixes mode and parameter; false when the call draws nothing.
bool MakeCall(const RefImage& src, int32_t trans, const RefMask* mask, const RefState& st,
              Call* c) {
    c->mode = st.mode;
    c->p = std::clamp(st.param, 0, 255);
    if (c->mode > 11 || (c->mode >= 5 && c->mode <= 9)) return false;
    if ((c->mode == 1 || c->mode == 2) && c->p == 0) return false;
    if (c->mode == 3 && c->p == 0 && !src.palette) return false;
    if (c->mode == 1 && c->p == 255) c->mode = 0;
    c->maskOn = mask != nullptr;
    c->brightOn = (st.bright & 0xFFFFFF) != 0xFFFFFF;
    for (int k = 0; k < 3; ++k) c->bright[k] = int(st.bright >> (8 * k) & 0xFF);
    c->trans = trans != 0;
    c->packed = st.packedBytes;
    c->weights = st.weights;
    return true;
}

}  // namespace

void RefBlitUnscaled(RefImage* dst, const RefImage& src, int32_t x, int32_t y, int32_t trans,
                     const RefMask* mask, const RefState& st) {
    if (Refused(*dst, src)) return;
    int64_t sw = src.width, sh = src.height;
    if (mask != nullptr) {
        sw = std::min<int64_t>(sw, mask->width);
        sh = std::min<int64_t>(sh, mask->height);
    }
    int64_t area[4], r[4] = {x, y, x + sw, y + sh};
    Area(*dst, st, area);
    Clip(r, area);
    const int w = int(r[2] - r[0]), h = int(r[3] - r[1]);
    if (w == 0 || h == 0) return;
    const int ox = int(r[0] - x), oy = int(r[1] - y);
    Call c;
    if (!MakeCall(src, trans, mask, st, &c)) return;
    const bool wide = src.colorType == 1;

    if (trans == 1 && !src.stream.empty() && w == src.width && h == src.height) {
        const std::vector<int> classes = ExpandStream(src);
        for (int v = 0; v < h; ++v) {
            for (int u = 0; u < w; ++u) {
                const int run = classes[size_t(v) * w + u];
                if (run == 0) continue;
                const int m = mask ? c.weights[mask->At(u, v)] : -1;
                uint32_t& d = dst->At(int(r[0]) + u, int(r[1]) + v);
                const Pixel px = Read(src, src.At(u, v));
                if (wide)
                    RunLength32(c, src, px, run, m, &d);
                else
                    RunLength16(c, src, px, run, m, &d);
            }
        }
        return;
    }

    const bool fastPairs = !wide && (c.mode == 2 || c.mode == 3) && c.p == 255 && !c.maskOn &&
                           !c.brightOn && !src.alpha;
    for (int v = 0; v < h; ++v) {
        for (int u = 0; u < w; ++u) {
            uint32_t& d = dst->At(int(r[0]) + u, int(r[1]) + v);
            const Pixel px = Read(src, src.At(ox + u, oy + v));
            if (fastPairs) {
                // Pairs from the first drawn pixel of the row; the odd last pixel and a pixel
                // whose partner is transparent use the one-pixel form.
                const bool paired = u + 1 < w;
                if (paired) {
                    uint32_t& d1 = dst->At(int(r[0]) + u + 1, int(r[1]) + v);
                    const Pixel px1 = Read(src, src.At(ox + u + 1, oy + v));
                    const bool k0 = c.trans && px.keyed, k1 = c.trans && px1.keyed;
                    if (!k0 && !k1) {
                        const uint32_t y2 = d | d1 << 16, x2 = px.s | px1.s << 16;
                        const uint32_t out =
                            c.mode == 2 ? RefPairAdd565(y2, x2) : RefPairSub565(y2, x2);
                        d = out & 0xFFFF;
                        d1 = out >> 16;
                    } else {
                        if (!k0) d = c.mode == 2 ? RefAdd565(d, px.s, false) : RefSub565(d, px.s);
                        if (!k1)
                            d1 = c.mode == 2 ? RefAdd565(d1, px1.s, false) : RefSub565(d1, px1.s);
                    }
                    ++u;
                } else if (!(c.trans && px.keyed)) {
                    d = c.mode == 2 ? RefAdd565(d, px.s, false) : RefSub565(d, px.s);
                }
                continue;
            }
            const int m = mask ? c.weights[mask->At(ox + u, oy + v)] : -1;
            if (wide)
                Unscaled32(c, src, px, m, &d);
            else
                Unscaled16(c, src, px, m, &d);
        }
    }
}

void RefBlitScaled(RefImage* dst, const RefImage& src, const int32_t rect[4], int32_t trans,
                   const RefMask* mask, const RefState& st) {
    const int64_t left = std::min(rect[0], rect[2]), right = std::max(rect[0], rect[2]);
    const int64_t top = std::min(rect[1], rect[3]), bottom = std::max(rect[1], rect[3]);
    const bool mirrorX = rect[0] > rect[2], mirrorY = rect[1] > rect[3];
    const int64_t width = right - left, height = bottom - top;
    if (width == 0 || height == 0) return;
    if (width == src.width && height == src.height && !mirrorX && !mirrorY) {
        RefBlitUnscaled(dst, src, int32_t(left), int32_t(top), trans, mask, st);
        return;
    }
    if (Refused(*dst, src)) return;
    if (src.width >= 32768 || src.height >= 32768 || width >= 32768 || height >= 32768) return;
    if (mask != nullptr && (mask->width < src.width || mask->height < src.height)) return;
    const int64_t colStep = width * 65536 / src.width, rowStep = height * 65536 / src.height;
    int64_t area[4], r[4] = {left, top, right, bottom};
    Area(*dst, st, area);
    Clip(r, area);
    const int visW = int(r[2] - r[0]), visH = int(r[3] - r[1]);
    if (visW == 0 || visH == 0) return;
    Call c;
    if (!MakeCall(src, trans, mask, st, &c)) return;
    const bool strict =
        (c.mode == 0 || (c.mode == 3 && c.p == 255)) && !c.maskOn && !c.brightOn && !src.alpha;
    // Samples in closed form: general floor(k * 65536 / step) from the unclipped edge; the
    // strict walk takes the sample before an exact multiple while shrinking, when that is
    // later than the previous one.
    auto samples = [&](int64_t offset, int count, int64_t step) {
        std::vector<int64_t> out;
        for (int j = 0; j < count; ++j) {
            const int64_t k = offset + j;
            int64_t g = k * 65536 / step;
            if (strict && j > 0 && step < 65536 && k * 65536 % step == 0 && g - 1 > out.back()) --g;
            out.push_back(g);
        }
        return out;
    };
    const std::vector<int64_t> cols = samples(r[0] - left, visW, colStep);
    const std::vector<int64_t> rows = samples(r[1] - top, visH, rowStep);
    for (int v = 0; v < visH; ++v) {
        const int sy = int(mirrorY ? src.height - 1 - rows[v] : rows[v]);
        for (int u = 0; u < visW; ++u) {
            const int sx = int(mirrorX ? src.width - 1 - cols[u] : cols[u]);
            const int m = mask ? c.weights[mask->At(sx, sy)] : -1;
            uint32_t& d = dst->At(int(r[0]) + u, int(r[1]) + v);
            const Pixel px = Read(src, src.At(sx, sy));
            if (src.colorType == 1)
                Scaled32(c, src, px, m, &d);
            else
                Scaled16(c, src, px, m, &d);
        }
    }
}
