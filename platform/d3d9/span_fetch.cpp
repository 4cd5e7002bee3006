// Texel fetches and colour interpolation of the specialised spans. A chunk whose taps all lie
// inside the texture needs no address mode (every mode leaves such coordinates alone), so it
// steps its coordinates straight through the texels; other chunks go texel by texel through
// the general sampling functions.
#include <cstring>

#include "span_steps.h"
#include "span_simd.h"

namespace {

constexpr int64_t kOne = int64_t{1} << kTexelFraction;
constexpr int64_t kHalf = kOne >> 1;
// Added before a shift by kTexelFraction - 8: rounding to 1/256 texel.
constexpr int64_t kSubTexelRound = int64_t{1} << (kTexelFraction - 9);

// Whether the whole-texel index of both coordinates stays within [0, limit] along the chunk.
inline bool Inside(int64_t first, int64_t last, int64_t limit) {
    int64_t a = sampling::SubTexel(first) >> 8, b = sampling::SubTexel(last) >> 8;
    return a >= 0 && b >= 0 && a <= limit && b <= limit;
}

}  // namespace

void FetchPoint(const SamplerSetup& s, const SamplerLevel& level, int64_t u, int64_t du, int64_t v,
                int64_t dv, DWORD* out, int n) {
    const int64_t lastU = u + du * (n - 1), lastV = v + dv * (n - 1);
    if (!Inside(u, lastU, level.width - 1) || !Inside(v, lastV, level.height - 1)) {
        for (int i = 0; i < n; ++i, u += du, v += dv) {
            out[i] = sampling::SampleLevel(s, level, false, u, v);
        }
        return;
    }
    // Inside the texture SubTexel does not clamp: the texel is (c + round) >> kTexelFraction.
    const DWORD orMask = level.orMask;
    u += kSubTexelRound;
    v += kSubTexelRound;
    if (dv == 0) {
        const DWORD* row = level.texels + static_cast<size_t>(v >> kTexelFraction) * level.stride;
        if (du == kOne) {
            std::memcpy(out, row + (u >> kTexelFraction), static_cast<size_t>(n) * 4);
            if (orMask != 0) {
                for (int i = 0; i < n; ++i) out[i] |= orMask;
            }
            return;
        }
        for (int i = 0; i < n; ++i, u += du) out[i] = row[u >> kTexelFraction] | orMask;
        return;
    }
    for (int i = 0; i < n; ++i, u += du, v += dv) {
        out[i] = level.texels[static_cast<size_t>(v >> kTexelFraction) * level.stride +
                              (u >> kTexelFraction)] |
                 orMask;
    }
}

void FetchLinear(const SamplerSetup& s, const SamplerLevel& level, int64_t u, int64_t du, int64_t v,
                 int64_t dv, DWORD* out, int n) {
    // The taps are (c >> 8, c >> 8 + 1) with c the coordinate less half a texel.
    u -= kHalf;
    v -= kHalf;
    const int64_t lastU = u + du * (n - 1), lastV = v + dv * (n - 1);
    if (!Inside(u, lastU, static_cast<int64_t>(level.width) - 2) ||
        !Inside(v, lastV, static_cast<int64_t>(level.height) - 2)) {
        for (int i = 0; i < n; ++i, u += du, v += dv) {
            out[i] = sampling::SampleLevel(s, level, true, u + kHalf, v + kHalf);
        }
        return;
    }
    using namespace span_simd;
    const __m128i zero = _mm_setzero_si128();
    const __m128i orMask = _mm_set1_epi32(static_cast<int>(level.orMask));
    const __m128i flip = Words(0x8000);
    // Restores the bias of the flipped sums and rounds: 128 * 65536 + 32768.
    const __m128i round = _mm_set1_epi32(0x808000);
    const int shift = kTexelFraction - 8;
    u += kSubTexelRound;
    v += kSubTexelRound;
    for (int i = 0; i < n; ++i, u += du, v += dv) {
        const int64_t cu = u >> shift, cv = v >> shift;  // in 1/256 texel
        const int fx = static_cast<int>(cu & 255), fy = static_cast<int>(cv & 255);
        const DWORD* top = level.texels + static_cast<size_t>(cv >> 8) * level.stride +
                           static_cast<size_t>(cu >> 8);
        // Two taps a row as 16-bit channels: the left tap in the low half.
        __m128i t = _mm_or_si128(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(top)), orMask);
        __m128i b = _mm_or_si128(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(top + level.stride)), orMask);
        const __m128i wx = _mm_set_epi16(
            static_cast<short>(fx), static_cast<short>(fx), static_cast<short>(fx),
            static_cast<short>(fx), static_cast<short>(256 - fx), static_cast<short>(256 - fx),
            static_cast<short>(256 - fx), static_cast<short>(256 - fx));
        t = _mm_mullo_epi16(_mm_unpacklo_epi8(t, zero), wx);
        b = _mm_mullo_epi16(_mm_unpacklo_epi8(b, zero), wx);
        t = _mm_add_epi16(t, _mm_srli_si128(t, 8));  // at most 65280: exact in 16 bits
        b = _mm_add_epi16(b, _mm_srli_si128(b, 8));
        // Vertically in 32 bits: (t - 32768)(256 - fy) + (b - 32768) fy through signed lanes.
        __m128i pairs = _mm_unpacklo_epi16(_mm_xor_si128(t, flip), _mm_xor_si128(b, flip));
        __m128i sum = _mm_madd_epi16(pairs, _mm_set1_epi32((fy << 16) | (256 - fy)));
        sum = _mm_srai_epi32(_mm_add_epi32(sum, round), 16);
        sum = _mm_packs_epi32(sum, sum);
        out[i] = static_cast<DWORD>(_mm_cvtsi128_si32(_mm_packus_epi16(sum, sum)));
    }
}

void InterpolateColors(const FixedPlane (&planes)[4], int dx, int dy, DWORD* out, int n) {
    // Lanes in memory order: blue, green, red, alpha (the planes are red, green, blue, alpha).
    static constexpr int kPlaneOf[4] = {2, 1, 0, 3};
    constexpr int64_t kLimit = int64_t{1} << 30;
    int64_t start[4], step[4];
    bool fits = true;
    for (int c = 0; c < 4; ++c) {
        const FixedPlane& plane = planes[kPlaneOf[c]];
        start[c] = FixedValue(plane, dx, dy);
        step[c] = plane.dx;
        int64_t last = start[c] + step[c] * (n - 1);
        fits = fits && start[c] > -kLimit && start[c] < kLimit && last > -kLimit && last < kLimit;
    }
    if (!fits) {
        for (int i = 0; i < n; ++i) {
            DWORD c = 0;
            for (int k = 0; k < 4; ++k) {
                c |= static_cast<DWORD>(ChannelFromFixed(start[k] + step[k] * i)) << (8 * k);
            }
            out[i] = c;
        }
        return;
    }
    // Along a chunk whose ends fit, every value fits 32-bit lanes.
    __m128i value[4], step4[4];
    for (int c = 0; c < 4; ++c) {
        auto lane = [&](int i) { return static_cast<int>(start[c] + step[c] * i); };
        value[c] = _mm_setr_epi32(lane(0), lane(1), lane(2), lane(3));
        step4[c] = _mm_set1_epi32(static_cast<int>(step[c] * 4));
    }
    const __m128i round = _mm_set1_epi32(1 << (kColorFraction - 1));
    for (int i = 0; i < n; i += 4) {
        __m128i ch[4];
        for (int c = 0; c < 4; ++c) {
            ch[c] = _mm_srai_epi32(_mm_add_epi32(value[c], round), kColorFraction);
            value[c] = _mm_add_epi32(value[c], step4[c]);
        }
        // Saturating packs clamp to 0..255: blue, red | green, alpha as bytes, then interleaved.
        __m128i bytes =
            _mm_packus_epi16(_mm_packs_epi32(ch[0], ch[2]), _mm_packs_epi32(ch[1], ch[3]));
        __m128i bgra = _mm_unpacklo_epi8(bytes, _mm_srli_si128(bytes, 8));
        bgra = _mm_unpacklo_epi16(bgra, _mm_srli_si128(bgra, 8));
        _mm_store_si128(reinterpret_cast<__m128i*>(out + i), bgra);
    }
}
