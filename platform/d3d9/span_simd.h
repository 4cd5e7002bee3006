// SSE2 forms of the device's colour arithmetic (pixel_math.h), exact for 8-bit channels held
// in 16-bit lanes, and the conversion between A8R8G8B8 words and one plane per channel.
#pragma once

#include <emmintrin.h>

namespace span_simd {

inline __m128i Words(int v) {
    return _mm_set1_epi16(static_cast<short>(v));
}

// round(x / 255) for 0 <= x <= 65025: ((x + 128) + ((x + 128) >> 8)) >> 8, which is the
// high half of (x + 128) * 257.
inline __m128i Div255(__m128i x) {
    return _mm_mulhi_epu16(_mm_add_epi16(x, Words(128)), Words(257));
}
inline __m128i Mul255(__m128i x, __m128i y) {
    return Div255(_mm_mullo_epi16(x, y));
}
inline __m128i Invert(__m128i x) {
    return _mm_xor_si128(x, Words(255));
}
// Unsigned minimum of 16-bit lanes.
inline __m128i MinU16(__m128i a, __m128i b) {
    return _mm_sub_epi16(a, _mm_subs_epu16(a, b));
}
inline __m128i Min255(__m128i x) {
    return _mm_min_epi16(x, Words(255));
}

// Eight pixels, one 16-bit lane per pixel in each channel plane.
struct Planes {
    __m128i b, g, r, a;
};

// Pixels 0-3 in lo and 4-7 in hi: a byte transpose, then each plane widened.
inline Planes PlanesFromArgb(__m128i lo, __m128i hi) {
    __m128i t0 = _mm_unpacklo_epi8(lo, hi);  // b0 b4 g0 g4 r0 r4 a0 a4 b1 b5 ...
    __m128i t1 = _mm_unpackhi_epi8(lo, hi);  // b2 b6 g2 g6 ...
    __m128i t2 = _mm_unpacklo_epi8(t0, t1);  // b0 b2 b4 b6 g0 g2 g4 g6 r0 ... a6
    __m128i t3 = _mm_unpackhi_epi8(t0, t1);  // b1 b3 b5 b7 g1 ...
    __m128i bg = _mm_unpacklo_epi8(t2, t3);  // b0 .. b7 g0 .. g7
    __m128i ra = _mm_unpackhi_epi8(t2, t3);  // r0 .. r7 a0 .. a7
    const __m128i zero = _mm_setzero_si128();
    return {_mm_unpacklo_epi8(bg, zero), _mm_unpackhi_epi8(bg, zero), _mm_unpacklo_epi8(ra, zero),
            _mm_unpackhi_epi8(ra, zero)};
}

inline void ArgbFromPlanes(const Planes& p, __m128i* lo, __m128i* hi) {
    __m128i bg = _mm_or_si128(p.b, _mm_slli_epi16(p.g, 8));
    __m128i ra = _mm_or_si128(p.r, _mm_slli_epi16(p.a, 8));
    *lo = _mm_unpacklo_epi16(bg, ra);
    *hi = _mm_unpackhi_epi16(bg, ra);
}

// Each pixel's alpha in all four channel lanes: pixels 0-1 in lo, 2-3 in hi.
inline void AlphaWords(__m128i argb, __m128i* lo, __m128i* hi) {
    __m128i a = _mm_srli_epi32(argb, 24);
    a = _mm_or_si128(a, _mm_slli_epi32(a, 16));
    *lo = _mm_unpacklo_epi32(a, a);
    *hi = _mm_unpackhi_epi32(a, a);
}

}  // namespace span_simd
