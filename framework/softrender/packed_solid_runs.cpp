// Packed-byte (SSE2) forms of the translucent and additive solid runs over the rows of a
// rectangle: sixteen bytes at a time, each giving exactly the pixels of the plain per-pixel
// run, down to the documented low bits of the packed add. What a draw needs is prepared once.
#include <emmintrin.h>

#include <cstddef>

#include "softrender/solid_ops.h"

namespace {

inline __m128i Load(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store(uint8_t* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}
inline __m128i Words(int v) {
    return _mm_set1_epi16(static_cast<short>(v));
}

// Mode 1, 32-bit: each channel d + floor((c - d) p / 256) = (d (256 - p) + c p) >> 8, all
// terms non-negative and below 2^16; byte 3 is kept (weight 256, nothing added).
void Translucent32(uint8_t* first, ptrdiff_t pitch, int64_t count, int64_t rows,
                   const SolidColour& s) {
    const uint32_t w = s.ctx.p, c = s.colour;
    const __m128i lowWeights = Words(static_cast<int>(256 - w));  // blue and red
    const __m128i lowAdd =
        _mm_set1_epi32(static_cast<int>((ByteOf(c, 2) * w) << 16 | ByteOf(c, 0) * w));
    const __m128i highWeights =
        _mm_set1_epi32(static_cast<int>(256u << 16 | (256 - w)));  // green, byte 3
    const __m128i highAdd = _mm_set1_epi32(static_cast<int>(ByteOf(c, 1) * w));
    const __m128i low = _mm_set1_epi32(0x00FF00FF), high = Words(0xFF00);
    auto four = [&](uint8_t* q) {
        const __m128i d = Load(q);
        __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_and_si128(d, low), lowWeights), lowAdd);
        __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_srli_epi16(d, 8), highWeights), highAdd);
        Store(q, _mm_or_si128(_mm_srli_epi16(lo, 8), _mm_and_si128(hi, high)));
    };
    for (int64_t y = 0; y < rows; ++y) {
        uint8_t* p = first + y * pitch;
        int64_t i = 0;
        // Two steps a loop: one alone runs markedly slower on the processors measured.
        for (; i + 8 <= count; i += 8, p += 32) {
            four(p);
            four(p + 16);
        }
        for (; i + 4 <= count; i += 4, p += 16) four(p);
        BlendSolidRun<true, 1>(p, count - i, s);
    }
}

// One RGB565 field of mode 1: f + trunc(p (c - f) / 255), the signed product table's value,
// with floor(n / 255) = (n * 0x8081) >> 23 for n below 2^16.
inline __m128i TableField(__m128i f, __m128i c, __m128i weight) {
    const __m128i v = _mm_sub_epi16(c, f);
    const __m128i sign = _mm_srai_epi16(v, 15);
    const __m128i magnitude = _mm_sub_epi16(_mm_xor_si128(v, sign), sign);
    const __m128i q =
        _mm_srli_epi16(_mm_mulhi_epu16(_mm_mullo_epi16(magnitude, weight), Words(0x8081)), 7);
    return _mm_add_epi16(f, _mm_sub_epi16(_mm_xor_si128(q, sign), sign));
}

void Translucent565(uint8_t* first, ptrdiff_t pitch, int64_t count, int64_t rows,
                    const SolidColour& s) {
    const __m128i weight = Words(static_cast<int>(s.ctx.p));
    const __m128i cr = Words(static_cast<int>(Red565(s.colour)));
    const __m128i cg = Words(static_cast<int>(Green565(s.colour)));
    const __m128i cb = Words(static_cast<int>(Blue565(s.colour)));
    for (int64_t y = 0; y < rows; ++y) {
        uint8_t* p = first + y * pitch;
        int64_t i = 0;
        for (; i + 8 <= count; i += 8, p += 16) {
            const __m128i d = Load(p);
            const __m128i r = TableField(_mm_srli_epi16(d, 11), cr, weight);
            const __m128i g =
                TableField(_mm_and_si128(_mm_srli_epi16(d, 5), Words(63)), cg, weight);
            const __m128i b = TableField(_mm_and_si128(d, Words(31)), cb, weight);
            Store(p, _mm_or_si128(_mm_or_si128(_mm_slli_epi16(r, 11), _mm_slli_epi16(g, 5)), b));
        }
        BlendSolidRun<false, 1>(p, count - i, s);
    }
}

// Mode 2, 32-bit: PackedAdd32 of a fixed addend, bytewise. With A = a & 0x00FEFEFF and t the
// destination without byte 3 (and without the lowest bit of green or red where the addend
// has it): adds(t, A + those bits) is every channel's saturating sum with the destination's
// and the addend's lowest bits; avg(t, A - 1) = (t + A) >> 1 holds each channel's sum less
// its lowest bit, with the carry in bit 7, so doubling it puts each carry on the lowest bit
// of the byte above (byte 3 is red's carry) and leaves only bits the sum already has.
// Channels adding nothing are kept out of the average (they never carry). Two steps a loop:
// one alone runs markedly slower on the processors measured.
template <bool EveryChannelAdds>
void AddRows32(uint8_t* first, ptrdiff_t pitch, int64_t count, int64_t rows, __m128i keep,
               __m128i sumAdd, __m128i carryAdd, __m128i adding, const SolidColour& s) {
    auto four = [&](uint8_t* q) {
        const __m128i t = _mm_and_si128(Load(q), keep);
        const __m128i sum = _mm_adds_epu8(t, sumAdd);
        __m128i half = _mm_avg_epu8(EveryChannelAdds ? t : _mm_and_si128(t, adding), carryAdd);
        Store(q, _mm_or_si128(sum, _mm_add_epi32(half, half)));
    };
    for (int64_t y = 0; y < rows; ++y) {
        uint8_t* p = first + y * pitch;
        int64_t i = 0;
        for (; i + 8 <= count; i += 8, p += 32) {
            four(p);
            four(p + 16);
        }
        for (; i + 4 <= count; i += 4, p += 16) four(p);
        BlendSolidRun<true, 2>(p, count - i, s);
    }
}

void Additive32(uint8_t* first, ptrdiff_t pitch, int64_t count, int64_t rows,
                const SolidColour& s) {
    const uint32_t add = s.colour & 0x00FEFEFF, lowBits = s.colour & 0x00010100;
    uint32_t lessOne = 0, adding = 0;
    for (int k = 0; k < 3; ++k) {
        const uint32_t a = ByteOf(add, k);
        if (a == 0) continue;
        lessOne |= (a - 1) << (8 * k);
        adding |= 0xFFu << (8 * k);
    }
    const __m128i keep = _mm_set1_epi32(static_cast<int>(0x00FFFFFF & ~lowBits));
    const __m128i sumAdd = _mm_set1_epi32(static_cast<int>(add + lowBits));
    const __m128i carryAdd = _mm_set1_epi32(static_cast<int>(lessOne));
    const __m128i addingMask = _mm_set1_epi32(static_cast<int>(adding));
    if (adding == 0x00FFFFFF)
        AddRows32<true>(first, pitch, count, rows, keep, sumAdd, carryAdd, addingMask, s);
    else
        AddRows32<false>(first, pitch, count, rows, keep, sumAdd, carryAdd, addingMask, s);
}

// Mode 2, RGB565: PackedAdd565 of a fixed addend on 16-bit lanes; red's carry out of bit 15,
// which the word form keeps in bit 16, is found as the overflow of the 16-bit add.
void Additive565(uint8_t* first, ptrdiff_t pitch, int64_t count, int64_t rows,
                 const SolidColour& s) {
    const uint32_t x = s.colour & 0xFFFF;
    const __m128i mask = Words(0xF7DF), lowBits = Words(0x0820);
    const __m128i addend = Words(static_cast<int>(x & 0xF7DF));
    const __m128i overflowFrom = Words(static_cast<int>(0xFFFF - (x & 0xF7DF)));
    const __m128i addendLow = Words(static_cast<int>(x & 0x0820));
    const __m128i zero = _mm_setzero_si128();
    for (int64_t y = 0; y < rows; ++y) {
        uint8_t* p = first + y * pitch;
        int64_t i = 0;
        for (; i + 8 <= count; i += 8, p += 16) {
            const __m128i d = Load(p);
            const __m128i masked = _mm_and_si128(d, mask);
            const __m128i sum = _mm_add_epi16(masked, addend);
            const __m128i carry = _mm_and_si128(sum, lowBits);
            const __m128i sat = _mm_sub_epi16(carry, _mm_srli_epi16(carry, 5));
            const __m128i redCarry = _mm_cmpeq_epi16(_mm_subs_epu16(masked, overflowFrom), zero);
            const __m128i redSat = _mm_andnot_si128(redCarry, Words(0xF800));
            const __m128i low = _mm_or_si128(_mm_and_si128(d, lowBits), addendLow);
            Store(p, _mm_or_si128(_mm_or_si128(sum, sat), _mm_or_si128(redSat, low)));
        }
        BlendSolidRun<false, 2>(p, count - i, s);
    }
}

}  // namespace

template <bool Wide, int Mode>
void BlendSolidRectPacked(uint8_t* first, ptrdiff_t pitch, int64_t width, int64_t height,
                          const SolidColour& s) {
    static_assert(Mode == 1 || Mode == 2);
    if constexpr (Mode == 1) {
        Wide ? Translucent32(first, pitch, width, height, s)
             : Translucent565(first, pitch, width, height, s);
    } else {
        Wide ? Additive32(first, pitch, width, height, s)
             : Additive565(first, pitch, width, height, s);
    }
}

template void BlendSolidRectPacked<true, 1>(uint8_t*, ptrdiff_t, int64_t, int64_t,
                                            const SolidColour&);
template void BlendSolidRectPacked<false, 1>(uint8_t*, ptrdiff_t, int64_t, int64_t,
                                             const SolidColour&);
template void BlendSolidRectPacked<true, 2>(uint8_t*, ptrdiff_t, int64_t, int64_t,
                                            const SolidColour&);
template void BlendSolidRectPacked<false, 2>(uint8_t*, ptrdiff_t, int64_t, int64_t,
                                             const SolidColour&);
