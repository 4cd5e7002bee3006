// The loops of the unscaled blit: one pixel at a time, the word, pair and packed-byte
// shortcuts of the plain sources, and the walk of a run-length stream. Included by the
// kind_loops_<kind>.cpp files only.
#pragma once

#include <emmintrin.h>

#include <algorithm>
#include <cstring>

#include "softrender/run_length_stream.h"
#include "softrender/kind_loops.h"

// One pixel at a time: fetch, decide, blend, store.
template <class C>
void RunPixelLoop(const BlitJob& j) {
    constexpr SrcKind K = C::kind;
    const BlendContext& c = j.setup.ctx;
    // The opaque copy without bright, weights or keys moves whole rows of the same pixel
    // size; a 32-bit alpha source is copied word for word, its alpha ignored.
    constexpr bool copiesRows =
        C::op == 0 && !C::mask && !C::bright && !C::trans &&
        (K == SrcKind::Direct565 || K == SrcKind::Direct32 || K == SrcKind::Alpha32);
    for (int y = 0; y < j.height; ++y) {
        uint8_t* dp = j.dst + y * j.dstPitch;
        const uint8_t* sp = j.src + y * j.srcPitch;
        if constexpr (copiesRows) {
            std::memmove(dp, sp, static_cast<size_t>(j.width) * DstBytes(K));
            continue;
        }
        const uint8_t* mp = C::mask ? j.mask + y * j.maskPitch : nullptr;
        for (int x = 0; x < j.width; ++x, sp += SrcBytes(K), dp += DstBytes(K)) {
            DrawPixel<C>(dp, sp, C::mask ? mp + x : nullptr, c);
        }
    }
}

// Four pairs of RGB565 pixels as PairAdd565Fast adds them, with the carry out of each word's
// bit 31 found from the operands' top bits; with transparency a pair holding a keyed pixel
// keeps that pixel and adds the other alone (PackedAdd565Fast, red's carry found the same way
// at bit 15).
template <bool Trans>
inline void AddPairsPacked(uint8_t* dp, const uint8_t* sp, __m128i key) {
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dp));
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sp));
    const __m128i fields = _mm_set1_epi32(static_cast<int>(0xF7DEF7DF));
    const __m128i carries = _mm_set1_epi32(0x08210820);
    const __m128i a = _mm_and_si128(y, fields), b = _mm_and_si128(x, fields);
    const __m128i sum = _mm_add_epi32(a, b);
    // Carry out of bit 31: both top bits set, or either set and the sum's clear.
    const __m128i out =
        _mm_or_si128(_mm_and_si128(a, b), _mm_andnot_si128(sum, _mm_or_si128(a, b)));
    const __m128i carry = _mm_and_si128(sum, carries);
    const __m128i borrow = _mm_or_si128(
        _mm_srli_epi32(carry, 5),
        _mm_srli_epi32(_mm_and_si128(out, _mm_set1_epi32(static_cast<int>(0x80000000u))), 4));
    __m128i result = _mm_or_si128(_mm_sub_epi32(carry, borrow), sum);
    if constexpr (Trans) {
        const __m128i keyed = _mm_cmpeq_epi16(x, key);
        if (_mm_movemask_epi8(keyed) != 0) {
            const __m128i field = _mm_set1_epi16(static_cast<short>(0xF7DF));
            const __m128i sa = _mm_and_si128(y, field), sb = _mm_and_si128(x, field);
            const __m128i s16 = _mm_add_epi16(sa, sb);
            const __m128i c16 = _mm_and_si128(s16, _mm_set1_epi16(0x0820));
            const __m128i redOut = _mm_srai_epi16(
                _mm_or_si128(_mm_and_si128(sa, sb), _mm_andnot_si128(s16, _mm_or_si128(sa, sb))),
                15);
            const __m128i single =
                _mm_or_si128(_mm_or_si128(_mm_sub_epi16(c16, _mm_srli_epi16(c16, 5)), s16),
                             _mm_and_si128(redOut, _mm_set1_epi16(static_cast<short>(0xF800))));
            const __m128i alone =
                _mm_or_si128(_mm_and_si128(keyed, y), _mm_andnot_si128(keyed, single));
            const __m128i pairKeyed = _mm_or_si128(
                keyed, _mm_or_si128(_mm_slli_epi32(keyed, 16), _mm_srli_epi32(keyed, 16)));
            result =
                _mm_or_si128(_mm_and_si128(pairKeyed, alone), _mm_andnot_si128(pairKeyed, result));
        }
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dp), result);
}

// The whole-sample add or subtract of RGB565 at 255, two pixels per word; a pair with one
// transparent pixel draws the other alone, as does an odd last pixel. With packed bytes a
// direct source adds four pairs a step.
template <class C>
void RunPairLoop(const BlitJob& j) {
    constexpr SrcKind K = C::kind;
    constexpr bool packed = C::simd && C::op == kOpRawAdd && K == SrcKind::Direct565;
    const BlendContext& c = j.setup.ctx;
    const __m128i key = _mm_set1_epi16(static_cast<short>(c.key));
    for (int y = 0; y < j.height; ++y) {
        uint8_t* dp = j.dst + y * j.dstPitch;
        const uint8_t* sp = j.src + y * j.srcPitch;
        int x = 0;
        if constexpr (packed) {
            for (; x + 8 <= j.width; x += 8, sp += 16, dp += 16)
                AddPairsPacked<C::trans>(dp, sp, key);
        }
        for (; x + 1 < j.width; x += 2, sp += 2 * SrcBytes(K), dp += 4) {
            const Sample s0 = Fetch<K>(sp, c);
            const Sample s1 = Fetch<K>(sp + SrcBytes(K), c);
            const uint32_t d0 = Load16(dp), d1 = Load16(dp + 2);
            if constexpr (C::trans) {
                const bool skip0 = s0.keyed == c.key, skip1 = s1.keyed == c.key;
                if (skip0 || skip1) {
                    if (!skip0)
                        Store16(dp, Blend565<C>(d0, s0.colour, 0, 0, PixelClass::Opaque, c));
                    if (!skip1)
                        Store16(dp + 2, Blend565<C>(d1, s1.colour, 0, 0, PixelClass::Opaque, c));
                    continue;
                }
            }
            const uint32_t dw = d0 | d1 << 16, sw = s0.colour | s1.colour << 16;
            Store32(dp, C::op == kOpRawAdd ? PairAdd565Fast(dw, sw) : PairSub565(dw, sw));
        }
        if (x < j.width) {
            const Sample s = Fetch<K>(sp, c);
            if (!C::trans || s.keyed != c.key) {
                Store16(dp, Blend565<C>(Load16(dp), s.colour, 0, 0, PixelClass::Opaque, c));
            }
        }
    }
}

// Direct sources without weights, 16 bytes per step: the keyed copy, the halving mix, and
// the 32-bit per-byte saturating add or subtract (all four bytes); keyed pixels keep the
// destination. The copy and the mix give the plain loops' pixels exactly.
template <class C>
void RunPackedByteLoop(const BlitJob& j) {
    constexpr SrcKind K = C::kind;
    constexpr bool wide = IsWide(K);
    constexpr int perStep = 16 / DstBytes(K);
    const BlendContext& c = j.setup.ctx;
    const __m128i key =
        wide ? _mm_set1_epi32(static_cast<int>(c.key)) : _mm_set1_epi16(static_cast<short>(c.key));
    const __m128i half = wide ? _mm_set1_epi32(0x007F7F7F) : _mm_set1_epi16(0x7BEF);
    for (int y = 0; y < j.height; ++y) {
        uint8_t* dp = j.dst + y * j.dstPitch;
        const uint8_t* sp = j.src + y * j.srcPitch;
        int x = 0;
        for (; x + perStep <= j.width; x += perStep, sp += 16, dp += 16) {
            const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sp));
            const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dp));
            __m128i r = s;
            if constexpr (C::op == kOpRawAdd) {
                r = _mm_adds_epu8(d, s);
            } else if constexpr (C::op == kOpRawSub) {
                r = _mm_subs_epu8(d, s);
            } else if constexpr (C::op == kOpHalfMix && wide) {
                r = _mm_add_epi32(_mm_and_si128(_mm_srli_epi32(s, 1), half),
                                  _mm_and_si128(_mm_srli_epi32(d, 1), half));
            } else if constexpr (C::op == kOpHalfMix) {
                r = _mm_add_epi16(_mm_and_si128(_mm_srli_epi16(s, 1), half),
                                  _mm_and_si128(_mm_srli_epi16(d, 1), half));
            }
            if constexpr (C::trans) {
                const __m128i keyed = wide ? _mm_cmpeq_epi32(s, key) : _mm_cmpeq_epi16(s, key);
                r = _mm_or_si128(_mm_and_si128(keyed, d), _mm_andnot_si128(keyed, r));
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dp), r);
        }
        for (; x < j.width; ++x, sp += SrcBytes(K), dp += DstBytes(K)) {
            const Sample s = Fetch<K>(sp, c);
            if (C::trans && s.keyed == c.key) continue;
            StoreDst<K>(dp, BlendPixel<C>(LoadDst<K>(dp), s, 0, PixelClass::Opaque, c));
        }
    }
}

template <class F>
void WithShortcut(int op, F&& f) {
    switch (op) {
        case kOpHalfMix:
            f(std::integral_constant<int, kOpHalfMix>{});
            break;
        case kOpRawAdd:
            f(std::integral_constant<int, kOpRawAdd>{});
            break;
        case kOpRawSub:
            f(std::integral_constant<int, kOpRawSub>{});
            break;
        default:
            break;
    }
}

template <SrcKind K, int Op, bool Trans, bool Simd>
void RunShortcut(const BlitJob& j) {
    using C = Combo<K, Op, false, false, Trans, BlitPath::Unscaled, Simd>;
    constexpr bool direct = K == SrcKind::Direct32 || K == SrcKind::Direct565;
    if constexpr (!IsWide(K) && Op != kOpHalfMix)
        RunPairLoop<C>(j);
    else if constexpr (direct && Simd)
        RunPackedByteLoop<C>(j);
    else
        RunPixelLoop<C>(j);
}

template <SrcKind K>
void RunPlainJobOfKind(const BlitJob& j) {
    const BlitSetup& s = j.setup;
    if (s.op >= kOpHalfMix) {
        // The shortcuts exist only for sources without alpha.
        if constexpr (!HasAlpha(K)) {
            // Only these have packed-byte loops of their own.
            const bool packed =
                s.simd && (IsWide(K) ||
                           (K == SrcKind::Direct565 && (s.op == kOpHalfMix || s.op == kOpRawAdd)));
            WithShortcut(s.op, [&](auto op) {
                WithFlag(s.trans, [&](auto trans) {
                    WithFlag(packed, [&](auto simd) {
                        RunShortcut<K, TagValue<decltype(op)>, TagValue<decltype(trans)>,
                                    TagValue<decltype(simd)>>(j);
                    });
                });
            });
        }
        return;
    }
    // The keyed copy of direct sources tests whole vectors against the key.
    if constexpr (K == SrcKind::Direct32 || K == SrcKind::Direct565) {
        if (s.op == 0 && !s.mask && !s.bright && s.trans && s.simd) {
            RunPackedByteLoop<Combo<K, 0, false, false, true, BlitPath::Unscaled, true>>(j);
            return;
        }
    }
    WithCombo<BlitPath::Unscaled, K>(s, [&](auto combo) { RunPixelLoop<decltype(combo)>(j); });
}

// The run-length walk: per row, transparent runs are stepped over and opaque and translucent
// runs are drawn, the translucent ones weighted by each pixel's alpha; no pixel is tested.
template <class C>
void RunStreamLoop(const BlitJob& j, const uint8_t* cursor, const uint8_t* end) {
    constexpr SrcKind K = C::kind;
    const BlendContext& c = j.setup.ctx;
    for (int y = 0; y < j.height; ++y) {
        uint8_t* dp = j.dst + y * j.dstPitch;
        const uint8_t* sp = j.src + y * j.srcPitch;
        const uint8_t* mp = C::mask ? j.mask + y * j.maskPitch : nullptr;
        int left = j.width;
        for (;;) {
            if (cursor == end) return;
            const uint8_t control = *cursor++;
            if (control >= kRunEndOfRow) break;
            const int n = std::min((control & 63) + 1, left);
            left -= n;
            if (control >= kRunOpaque) {
                // Sources without alpha draw translucent runs as opaque ones.
                const PixelClass cls = HasAlpha(K) && control >= kRunTranslucent
                                           ? PixelClass::Weighted
                                           : PixelClass::Opaque;
                for (int i = 0; i < n; ++i) {
                    const Sample s = Fetch<K>(sp + i * SrcBytes(K), c);
                    uint32_t m = 0;
                    if constexpr (C::mask) m = c.weights[mp[i]];
                    uint8_t* p = dp + i * DstBytes(K);
                    StoreDst<K>(p, BlendPixel<C>(LoadDst<K>(p), s, m, cls, c));
                }
            }
            sp += n * SrcBytes(K);
            dp += n * DstBytes(K);
            if constexpr (C::mask) mp += n;
        }
    }
}

template <SrcKind K>
void RunRunLengthJobOfKind(const BlitJob& j, const uint8_t* stream, const uint8_t* streamEnd) {
    WithCombo<BlitPath::RunLength, K>(
        j.setup, [&](auto combo) { RunStreamLoop<decltype(combo)>(j, stream, streamEnd); });
}
