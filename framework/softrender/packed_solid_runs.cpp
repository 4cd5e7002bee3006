// Packed-byte (SSE2) forms of the translucent and additive solid runs: sixteen bytes at a time,
// each giving exactly the pixels of the plain per-pixel run, down to the documented low bits
// of the packed add.
#include <emmintrin.h>

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
void Translucent32(uint8_t* p, int64_t count, const SolidColour& s) {
    const uint32_t w = s.ctx.p, c = s.colour;
    const __m128i lowWeights = Words(static_cast<int>(256 - w));  // blue and red
    const __m128i lowAdd =
        _mm_set1_epi32(static_cast<int>((ByteOf(c, 2) * w) << 16 | ByteOf(c, 0) * w));
    const __m128i highWeights =
        _mm_set1_epi32(static_cast<int>(256u << 16 | (256 - w)));  // green, byte 3
    const __m128i highAdd = _mm_set1_epi32(static_cast<int>(ByteOf(c, 1) * w));
    const __m128i low = _mm_set1_epi32(0x00FF00FF), high = Words(0xFF00);
    int64_t i = 0;
    for (; i + 4 <= count; i += 4, p += 16) {
        const __m128i d = Load(p);
        __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_and_si128(d, low), lowWeights), lowAdd);
        __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_srli_epi16(d, 8), highWeights), highAdd);
        Store(p, _mm_or_si128(_mm_srli_epi16(lo, 8), _mm_and_si128(hi, high)));
    }
    BlendSolidRun<true, 1>(p, count - i, s);
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

void Translucent565(uint8_t* p, int64_t count, const SolidColour& s) {
    const __m128i weight = Words(static_cast<int>(s.ctx.p));
    const __m128i cr = Words(static_cast<int>(Red565(s.colour)));
    const __m128i cg = Words(static_cast<int>(Green565(s.colour)));
    const __m128i cb = Words(static_cast<int>(Blue565(s.colour)));
    int64_t i = 0;
    for (; i + 8 <= count; i += 8, p += 16) {
        const __m128i d = Load(p);
        const __m128i r = TableField(_mm_srli_epi16(d, 11), cr, weight);
        const __m128i g = TableField(_mm_and_si128(_mm_srli_epi16(d, 5), Words(63)), cg, weight);
        const __m128i b = TableField(_mm_and_si128(d, Words(31)), cb, weight);
        Store(p, _mm_or_si128(_mm_or_si128(_mm_slli_epi16(r, 11), _mm_slli_epi16(g, 5)), b));
    }
    BlendSolidRun<false, 1>(p, count - i, s);
}

// Mode 2, 32-bit: PackedAdd32 of a fixed addend, bytewise. With A = a & 0x00FEFEFF, blue is
// the saturating sum; green and red saturate their even parts, and their lowest bit ORs the
// destination's (which the byte add keeps, A being even there), the addend's and the carry
// out of the channel below; byte 3 is the carry out of red. A channel carries exactly when bit
// 7 of avg(d, A - 1) = (d + A) >> 1 is set; avg(d, 255) always sets it, which stands for the
// addend's own lowest bit in the channel above.
void Additive32(uint8_t* p, int64_t count, const SolidColour& s) {
    const uint32_t add = s.colour & 0x00FEFEFF;
    uint32_t carryAdd = 0, carryBits = 0;
    for (int k = 0; k < 3; ++k) {
        const uint32_t a = ByteOf(add, k);
        const bool lowBitAbove = k < 2 && (s.colour >> (8 * k + 8) & 1) != 0;
        if (lowBitAbove) {
            carryAdd |= 0xFFu << (8 * k);
        } else if (a != 0) {  // with nothing added a channel never carries
            carryAdd |= (a - 1) << (8 * k);
        } else {
            continue;
        }
        carryBits |= 0x80u << (8 * k);
    }
    const __m128i a = _mm_set1_epi32(static_cast<int>(add));
    const __m128i a1 = _mm_set1_epi32(static_cast<int>(carryAdd));
    const __m128i carryMask = _mm_set1_epi32(static_cast<int>(carryBits));
    const __m128i rgb = _mm_set1_epi32(0x00FFFFFF);
    int64_t i = 0;
    for (; i + 4 <= count; i += 4, p += 16) {
        const __m128i d = Load(p);
        const __m128i sum = _mm_and_si128(_mm_adds_epu8(d, a), rgb);
        const __m128i carries = _mm_and_si128(_mm_avg_epu8(d, a1), carryMask);
        Store(p, _mm_or_si128(sum, _mm_add_epi32(carries, carries)));  // bit 7 -> next bit 0
    }
    BlendSolidRun<true, 2>(p, count - i, s);
}

// Mode 2, RGB565: PackedAdd565 of a fixed addend on 16-bit lanes; red's carry out of bit 15,
// which the word form keeps in bit 16, is found as the overflow of the 16-bit add.
void Additive565(uint8_t* p, int64_t count, const SolidColour& s) {
    const uint32_t x = s.colour & 0xFFFF;
    const __m128i mask = Words(0xF7DF), lowBits = Words(0x0820);
    const __m128i addend = Words(static_cast<int>(x & 0xF7DF));
    const __m128i overflowFrom = Words(static_cast<int>(0xFFFF - (x & 0xF7DF)));
    const __m128i addendLow = Words(static_cast<int>(x & 0x0820));
    const __m128i zero = _mm_setzero_si128();
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

}  // namespace

template <bool Wide, int Mode>
void BlendSolidRunPacked(uint8_t* p, int64_t count, const SolidColour& s) {
    static_assert(Mode == 1 || Mode == 2);
    if constexpr (Mode == 1)
        Wide ? Translucent32(p, count, s) : Translucent565(p, count, s);
    else
        Wide ? Additive32(p, count, s) : Additive565(p, count, s);
}

template void BlendSolidRunPacked<true, 1>(uint8_t*, int64_t, const SolidColour&);
template void BlendSolidRunPacked<false, 1>(uint8_t*, int64_t, const SolidColour&);
template void BlendSolidRunPacked<true, 2>(uint8_t*, int64_t, const SolidColour&);
template void BlendSolidRunPacked<false, 2>(uint8_t*, int64_t, const SolidColour&);
