// What every per-pixel loop of the software renderer shares (the blits' unscaled, run-length
// and scaled loops, the textured and solid draws of the rasteriser): the source pixel kinds,
// the per-call blend context, the per-pixel transparency decision and the blend of every mode.
// Each loop is a template over one combination, so no mode or flag is tested per pixel.
#pragma once

#include <emmintrin.h>

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "softrender/blend_ops.h"

// The six source pixel kinds; the destination has the source's colour type.
enum class SrcKind { Direct565, Alpha565, Palette565, Direct32, Alpha32, Palette32 };

// The loops a combination runs in; they differ in a few per-pixel rules, noted where they
// apply. Mapped is one pixel at a time through the general formulas, as the triangles, the
// rotated blit and the solid primitives draw: no shortcut operations and no loops of its own.
enum class BlitPath { Unscaled, RunLength, Scaled, Mapped };

// Shortcut operations that some loops run instead of a mode's general formula (no blend
// graph, bright off, no source alpha): the halving average of mode 1 at 128 and the
// whole-sample add and subtract of modes 2 and 3 at 255.
constexpr int kOpHalfMix = 100;
constexpr int kOpRawAdd = 102;
constexpr int kOpRawSub = 103;

// Whether a source pixel is left alone, drawn without its alpha factor, or drawn with it.
enum class PixelClass { Skip, Opaque, Weighted };

constexpr bool IsWide(SrcKind k) {
    return k == SrcKind::Direct32 || k == SrcKind::Alpha32 || k == SrcKind::Palette32;
}
constexpr bool HasAlpha(SrcKind k) {
    return k == SrcKind::Alpha565 || k == SrcKind::Alpha32;
}
constexpr bool IsPalette(SrcKind k) {
    return k == SrcKind::Palette565 || k == SrcKind::Palette32;
}
constexpr int SrcBytes(SrcKind k) {
    return IsPalette(k) ? 1 : (k == SrcKind::Direct565 ? 2 : 4);
}
constexpr int DstBytes(SrcKind k) {
    return IsWide(k) ? 4 : 2;
}

// Everything a loop reads besides its pointers, prepared once per call.
struct BlendContext {
    uint32_t p;
    const uint32_t* productP;      // product table row p
    const int32_t* signedP;        // signed product table row p, at difference 0
    const uint8_t* lerp6Block;     // 6-bit interpolation block p / 4, [source][destination]
    const uint32_t* brightRow[3];  // product rows of the bright's blue, green and red bytes
    const uint8_t* weights;        // blend-graph byte -> weight
    const uint8_t* palette;        // the source body's palette
    uint32_t key;                  // transparent colour (an index for palette sources)
};

// One combination of source kind, operation, blend graph, bright, transparency and path;
// Simd selects the packed-byte forms of the shortcut operations.
template <SrcKind K, int Op, bool Mask, bool Bright, bool Trans, BlitPath Path, bool Simd = false>
struct Combo {
    static constexpr SrcKind kind = K;
    static constexpr int op = Op;
    static constexpr bool mask = Mask;
    static constexpr bool bright = Bright;
    static constexpr bool trans = Trans;
    static constexpr BlitPath path = Path;
    static constexpr bool simd = Simd;
};

inline uint32_t Load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline void Store16(uint8_t* p, uint32_t v) {
    uint16_t x = static_cast<uint16_t>(v);
    std::memcpy(p, &x, 2);
}
inline void Store32(uint8_t* p, uint32_t v) {
    std::memcpy(p, &v, 4);
}

template <SrcKind K>
inline uint32_t LoadDst(const uint8_t* p) {
    if constexpr (IsWide(K))
        return Load32(p);
    else
        return Load16(p);
}
template <SrcKind K>
inline void StoreDst(uint8_t* p, uint32_t v) {
    if constexpr (IsWide(K))
        Store32(p, v);
    else
        Store16(p, v);
}

// A source pixel: what the colour key is compared with (the raw pixel or the index), the
// colour (RGB565 or a whole 32-bit word) and, for alpha sources, the alpha.
struct Sample {
    uint32_t keyed;
    uint32_t colour;
    uint32_t alpha;
};

template <SrcKind K>
inline Sample Fetch(const uint8_t* sp, const BlendContext& c) {
    if constexpr (K == SrcKind::Direct565) {
        uint32_t v = Load16(sp);
        return {v, v, 0};
    } else if constexpr (K == SrcKind::Alpha565) {
        uint32_t v = Load32(sp);
        return {v, v & 0xFFFF, v >> 16 & 0xFF};
    } else if constexpr (K == SrcKind::Palette565) {
        return {*sp, Load16(c.palette + 2 * *sp), 0};
    } else if constexpr (K == SrcKind::Direct32) {
        uint32_t v = Load32(sp);
        return {v, v, 0};
    } else if constexpr (K == SrcKind::Alpha32) {
        uint32_t v = Load32(sp);
        return {v, v, v >> 24};
    } else {
        return {*sp, Load32(c.palette + 4 * *sp), 0};
    }
}

// Which modes leave an alpha-0 pixel alone under transparency on the unscaled and mapped
// paths; the scaled path leaves it alone in every mode, the run-length path decides by its runs.
template <class C>
constexpr bool SkipsClearAlpha() {
    if constexpr (C::path == BlitPath::Scaled)
        return true;
    else
        return C::op <= 3 || (C::op == 10 && !IsWide(C::kind));
}

template <class C>
inline PixelClass Classify(const Sample& s, uint32_t key) {
    if constexpr (!HasAlpha(C::kind)) {
        if constexpr (C::trans) {
            if (s.keyed == key) return PixelClass::Skip;
        }
        return PixelClass::Opaque;
    } else if constexpr (!C::trans) {
        // The unscaled opaque mode copies the colour and ignores alpha.
        constexpr bool copies =
            C::path == BlitPath::Unscaled && C::op == 0 && !C::mask && !C::bright;
        return copies ? PixelClass::Opaque : PixelClass::Weighted;
    } else {
        if (s.alpha == 255) return PixelClass::Opaque;
        if (SkipsClearAlpha<C>() && s.alpha == 0) return PixelClass::Skip;
        return PixelClass::Weighted;
    }
}

template <int Shift>
inline uint32_t Lerp565(uint32_t d, uint32_t r, uint32_t g, uint32_t b, uint32_t w) {
    return Pack565(LerpChannel<Shift>(Red565(d), r, w), LerpChannel<Shift>(Green565(d), g, w),
                   LerpChannel<Shift>(Blue565(d), b, w));
}

template <int Shift>
inline uint32_t Lerp32(uint32_t d, uint32_t b, uint32_t g, uint32_t r, uint32_t w) {
    return (d & 0xFF000000) |
           PackBgr(LerpChannel<Shift>(ByteOf(d, 0), b, w), LerpChannel<Shift>(ByteOf(d, 1), g, w),
                   LerpChannel<Shift>(ByteOf(d, 2), r, w));
}

// New RGB565 destination value for source colour s (alpha a, blend-graph weight m).
template <class C>
inline uint32_t Blend565(uint32_t d, uint32_t s, uint32_t a, uint32_t m, PixelClass cls,
                         const BlendContext& c) {
    constexpr int op = C::op;
    const bool weighted = HasAlpha(C::kind) && cls == PixelClass::Weighted;
    if constexpr (op == kOpRawAdd) {
        return PackedAdd565Fast(d, s);
    } else if constexpr (op == kOpRawSub) {
        return PackedSub565(d, s);
    } else if constexpr (op == kOpHalfMix) {
        return HalfMix565(s, d) & 0xFFFF;
    } else {
        if constexpr (op == 10) s = ~s & 0xFFFF;
        const uint32_t rawR = Red565(s), rawG = Green565(s), rawB = Blue565(s);
        uint32_t sr = rawR, sg = rawG, sb = rawB;
        if constexpr (C::bright) {
            sr = c.brightRow[2][rawR];
            sg = c.brightRow[1][rawG];
            sb = c.brightRow[0][rawB];
        }
        const uint32_t dr = Red565(d), dg = Green565(d), db = Blue565(d);
        const uint32_t p = c.p;
        if constexpr (op == 0) {
            if (!weighted) {
                if constexpr (C::mask)
                    return Lerp565<8>(d, sr, sg, sb, m);
                else
                    return Pack565(sr, sg, sb);
            }
            if constexpr (C::mask)
                return Lerp565<16>(d, sr, sg, sb, a * m);
            else
                return Lerp565<8>(d, sr, sg, sb, a);
        } else if constexpr (op == 1 || op == 10 || op == 11) {
            uint32_t xr = sr, xg = sg, xb = sb;
            if constexpr (op == 11) {
                xr = sr * dr >> 5;
                xg = sg * dg >> 6;
                xb = sb * db >> 5;
            }
            if (!weighted) {
                if constexpr (C::mask) {
                    return Lerp565<16>(d, xr, xg, xb, m * p);
                } else if constexpr (op == 1 && C::path == BlitPath::Unscaled && !C::bright &&
                                     !HasAlpha(C::kind)) {
                    const uint8_t* l = c.lerp6Block;
                    return Pack565(l[xr * 64 + dr], l[xg * 64 + dg], l[xb * 64 + db]);
                } else {
                    return Pack565(TableBlendChannel(dr, xr, c.signedP),
                                   TableBlendChannel(dg, xg, c.signedP),
                                   TableBlendChannel(db, xb, c.signedP));
                }
            }
            if constexpr (C::mask) {
                return Lerp565<24>(d, xr, xg, xb, a * m * p);
            } else if constexpr (op == 11 && !C::bright) {
                const uint32_t ap = a * p;
                return Pack565(LerpChannel<16>(dr, xr, ap), MultiplyTranslucentGreen565(sg, dg, ap),
                               LerpChannel<16>(db, xb, ap));
            } else {
                return Lerp565<16>(d, xr, xg, xb, a * p);
            }
        } else if constexpr (op == 2 || op == 3) {
            uint32_t wr = sr, wg = sg, wb = sb;
            if (weighted) {
                if constexpr (C::mask) {
                    wr = sr * a * m >> 16;
                    wg = sg * a * m >> 16;
                    wb = sb * a * m >> 16;
                } else if constexpr (C::bright && (C::path == BlitPath::Unscaled ||
                                                   C::path == BlitPath::Mapped)) {
                    // Here the raw channel is weighted first and brightened after.
                    wr = c.brightRow[2][rawR * a >> 8];
                    wg = c.brightRow[1][rawG * a >> 8];
                    wb = c.brightRow[0][rawB * a >> 8];
                } else {
                    wr = sr * a >> 8;
                    wg = sg * a >> 8;
                    wb = sb * a >> 8;
                }
            } else if constexpr (C::mask) {
                wr = sr * m >> 8;
                wg = sg * m >> 8;
                wb = sb * m >> 8;
            }
            const uint32_t sc = Pack565(c.productP[wr], c.productP[wg], c.productP[wb]);
            if constexpr (op == 2)
                return PackedAdd565(d, sc);
            else
                return PackedSub565(d, sc);
        } else {
            static_assert(op == 4);
            if (weighted) {
                if constexpr (C::mask)
                    return Multiply565<16>(Pack565(sr, sg, sb), d, a * m);
                else
                    return Multiply565<8>(Pack565(sr, sg, sb), d, a);
            }
            if constexpr (C::mask)
                return Multiply565<8>(Pack565(sr, sg, sb), d, m);
            else
                return Multiply565<0>(Pack565(sr, sg, sb), d, 1);
        }
    }
}

// Each byte of d less the same byte of s, stopping at 0: the packed-byte subtract.
inline uint32_t SaturatingSubBytes(uint32_t d, uint32_t s) {
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_subs_epu8(
        _mm_cvtsi32_si128(static_cast<int>(d)), _mm_cvtsi32_si128(static_cast<int>(s)))));
}
inline uint32_t SaturatingAddBytes(uint32_t d, uint32_t s) {
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_adds_epu8(
        _mm_cvtsi32_si128(static_cast<int>(d)), _mm_cvtsi32_si128(static_cast<int>(s)))));
}

// New 32-bit destination word for source word s (alpha a, blend-graph weight m). Blends
// write bytes 0-2 and keep byte 3; copies and the packed add and subtract write the word.
template <class C>
inline uint32_t Blend32(uint32_t d, uint32_t s, uint32_t a, uint32_t m, PixelClass cls,
                        const BlendContext& c) {
    constexpr int op = C::op;
    const bool weighted = HasAlpha(C::kind) && cls == PixelClass::Weighted;
    if constexpr (op == kOpRawAdd) {
        if constexpr (C::simd)
            return SaturatingAddBytes(d, s);
        else
            return PackedAdd32Fast(d, s);
    } else if constexpr (op == kOpRawSub) {
        if constexpr (C::simd)
            return SaturatingSubBytes(d, s);
        else
            return PackedSub32(d, s & 0x00FEFEFF);
    } else if constexpr (op == kOpHalfMix) {
        return HalfMix32(s, d);
    } else {
        uint32_t sb = ByteOf(s, 0), sg = ByteOf(s, 1), sr = ByteOf(s, 2);
        if constexpr (op == 10) {
            sb = 255 - sb;
            sg = 255 - sg;
            sr = 255 - sr;
        }
        if constexpr (C::bright) {
            sb = c.brightRow[0][sb];
            sg = c.brightRow[1][sg];
            sr = c.brightRow[2][sr];
        }
        const uint32_t db = ByteOf(d, 0), dg = ByteOf(d, 1), dr = ByteOf(d, 2);
        const uint32_t p = c.p;
        if constexpr (op == 0) {
            if (!weighted) {
                if constexpr (C::mask)
                    return Lerp32<8>(d, sb, sg, sr, m);
                else if constexpr (C::bright)
                    return (d & 0xFF000000) | PackBgr(sb, sg, sr);
                else
                    return s;
            }
            if constexpr (C::mask)
                return Lerp32<16>(d, sb, sg, sr, m * a);
            else
                return Lerp32<8>(d, sb, sg, sr, a);
        } else if constexpr (op == 1 || op == 10 || op == 11) {
            uint32_t xb = sb, xg = sg, xr = sr;
            if constexpr (op == 11) {
                xb = sb * db >> 8;
                xg = sg * dg >> 8;
                xr = sr * dr >> 8;
            }
            if (!weighted) {
                if constexpr (C::mask)
                    return Lerp32<16>(d, xb, xg, xr, m * p);
                else
                    return Lerp32<8>(d, xb, xg, xr, p);
            }
            if constexpr (C::mask)
                return Lerp32<24>(d, xb, xg, xr, m * a * p);
            else
                return Lerp32<16>(d, xb, xg, xr, a * p);
        } else if constexpr (op == 2 || op == 3) {
            uint32_t addend;
            if (weighted) {
                if constexpr (C::mask) {
                    const uint32_t w = m * a * p;
                    addend = PackBgr(sb * w >> 24, sg * w >> 24, sr * w >> 24);
                } else {
                    const uint32_t w = a * p;
                    addend = PackBgr(sb * w >> 16, sg * w >> 16, sr * w >> 16);
                }
            } else if constexpr (C::mask) {
                const uint32_t w = m * p;
                addend = PackBgr(sb * w >> 16, sg * w >> 16, sr * w >> 16);
            } else {
                addend = PackBgr(c.productP[sb], c.productP[sg], c.productP[sr]);
            }
            if constexpr (op == 2)
                return PackedAdd32(d, addend);
            else
                return PackedSub32(d, addend);
        } else {
            static_assert(op == 4);
            uint32_t w = 1;
            int shift = 8;
            if (weighted) {
                w = C::mask ? m * a : a;
                shift = C::mask ? 24 : 16;
            } else if constexpr (C::mask) {
                w = m;
                shift = 16;
            }
            return (d & 0xFF000000) |
                   PackBgr(sb * db * w >> shift, sg * dg * w >> shift, sr * dr * w >> shift);
        }
    }
}

template <class C>
inline uint32_t BlendPixel(uint32_t d, const Sample& s, uint32_t m, PixelClass cls,
                           const BlendContext& c) {
    if constexpr (IsWide(C::kind))
        return Blend32<C>(d, s.colour, s.alpha, m, cls, c);
    else
        return Blend565<C>(d, s.colour, s.alpha, m, cls, c);
}

// The source pixel at sp fetched, tested and blended onto dp; mp is its blend-graph byte, read
// only by combinations with a blend graph.
template <class C>
inline void DrawPixel(uint8_t* dp, const uint8_t* sp, const uint8_t* mp, const BlendContext& c) {
    const Sample s = Fetch<C::kind>(sp, c);
    const PixelClass cls = Classify<C>(s, c.key);
    if (cls == PixelClass::Skip) return;
    uint32_t m = 0;
    if constexpr (C::mask) m = c.weights[*mp];
    StoreDst<C::kind>(dp, BlendPixel<C>(LoadDst<C::kind>(dp), s, m, cls, c));
}

// Turns run-time choices into template arguments: f receives a std::bool_constant, an
// integral constant of the operation, or of the source kind; TagValue reads it back.
template <class Tag>
constexpr auto TagValue = std::remove_cvref_t<Tag>::value;

template <class F>
inline void WithFlag(bool v, F&& f) {
    if (v)
        f(std::true_type{});
    else
        f(std::false_type{});
}

template <class F>
inline void WithMode(int op, F&& f) {
    switch (op) {
        case 0:
            f(std::integral_constant<int, 0>{});
            break;
        case 1:
            f(std::integral_constant<int, 1>{});
            break;
        case 2:
            f(std::integral_constant<int, 2>{});
            break;
        case 3:
            f(std::integral_constant<int, 3>{});
            break;
        case 4:
            f(std::integral_constant<int, 4>{});
            break;
        case 10:
            f(std::integral_constant<int, 10>{});
            break;
        case 11:
            f(std::integral_constant<int, 11>{});
            break;
        default:
            break;
    }
}

template <class F>
inline void WithKind(SrcKind k, F&& f) {
    switch (k) {
        case SrcKind::Direct565:
            f(std::integral_constant<SrcKind, SrcKind::Direct565>{});
            break;
        case SrcKind::Alpha565:
            f(std::integral_constant<SrcKind, SrcKind::Alpha565>{});
            break;
        case SrcKind::Palette565:
            f(std::integral_constant<SrcKind, SrcKind::Palette565>{});
            break;
        case SrcKind::Direct32:
            f(std::integral_constant<SrcKind, SrcKind::Direct32>{});
            break;
        case SrcKind::Alpha32:
            f(std::integral_constant<SrcKind, SrcKind::Alpha32>{});
            break;
        case SrcKind::Palette32:
            f(std::integral_constant<SrcKind, SrcKind::Palette32>{});
            break;
    }
}
