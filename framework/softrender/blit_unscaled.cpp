// The unscaled blit: a whole memory image drawn 1:1, clipped to the draw area, through one
// generated loop per combination of source kind, blend mode, blend graph, bright and
// transparency, with the word, pair and packed-byte shortcuts of the plain sources.
#include <emmintrin.h>

#include <algorithm>
#include <cstring>

#include "softrender/blit_frame.h"
#include "softrender/blit_run_length.h"
#include "softrender/blits.h"

namespace {

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

// The whole-sample add or subtract of RGB565 at 255, two pixels per word; a pair with one
// transparent pixel draws the other alone, as does an odd last pixel.
template <class C>
void RunPairLoop(const BlitJob& j) {
    constexpr SrcKind K = C::kind;
    const BlendContext& c = j.setup.ctx;
    for (int y = 0; y < j.height; ++y) {
        uint8_t* dp = j.dst + y * j.dstPitch;
        const uint8_t* sp = j.src + y * j.srcPitch;
        int x = 0;
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

void RunPlainJob(const BlitJob& j) {
    const BlitSetup& s = j.setup;
    if (s.op >= kOpHalfMix) {
        WithKind(s.kind, [&](auto kind) {
            constexpr SrcKind K = TagValue<decltype(kind)>;
            // The shortcuts exist only for sources without alpha.
            if constexpr (!HasAlpha(K)) {
                // Only these have packed-byte loops of their own.
                const bool packed =
                    s.simd && (IsWide(K) || (K == SrcKind::Direct565 && s.op == kOpHalfMix));
                WithShortcut(s.op, [&](auto op) {
                    WithFlag(s.trans, [&](auto trans) {
                        WithFlag(packed, [&](auto simd) {
                            RunShortcut<K, TagValue<decltype(op)>, TagValue<decltype(trans)>,
                                        TagValue<decltype(simd)>>(j);
                        });
                    });
                });
            }
        });
        return;
    }
    // The keyed copy of direct sources tests whole vectors against the key.
    const bool direct = s.kind == SrcKind::Direct32 || s.kind == SrcKind::Direct565;
    if (direct && s.op == 0 && !s.mask && !s.bright && s.trans && s.simd) {
        WithKind(s.kind, [&](auto kind) {
            constexpr SrcKind K = TagValue<decltype(kind)>;
            if constexpr (K == SrcKind::Direct32 || K == SrcKind::Direct565)
                RunPackedByteLoop<Combo<K, 0, false, false, true, BlitPath::Unscaled, true>>(j);
        });
        return;
    }
    WithCombo<BlitPath::Unscaled>(s, [&](auto combo) { RunPixelLoop<decltype(combo)>(j); });
}

// The stream covers the whole body, so it serves only an image that is its body, drawn whole.
bool CanWalkStream(const MEMIMG* src, int32_t trans, int w, int h) {
    const MemImgBody* b = src->body;
    return trans == 1 && b->runLengthFlag == 1 && b->runLengthMemory != nullptr &&
           w == src->width && h == src->height && src->width == b->width &&
           src->height == b->height && src->pixels == b->pixelMemory;
}

}  // namespace

void BlitMemImgUnscaled(MEMIMG* dest, MEMIMG* src, int32_t x, int32_t y, int32_t trans,
                        MEMIMG* mask) {
    if (!CanBlitOnto(dest, src)) return;
    // A blend graph smaller than the source limits the drawn part to what it covers.
    int64_t sw = src->width, sh = src->height;
    if (mask != nullptr) {
        sw = std::min<int64_t>(sw, mask->width);
        sh = std::min<int64_t>(sh, mask->height);
    }
    const RECT r = ClipWideRect(x, y, x + sw, y + sh, DrawableArea(dest));
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return;
    const int64_t ox = r.left - int64_t{x}, oy = r.top - int64_t{y};

    const bool walk = CanWalkStream(src, trans, w, h);
    BlitJob j;
    if (!PrepareBlit(src, trans, mask, walk ? BlitPath::RunLength : BlitPath::Unscaled, &j.setup))
        return;
    const int srcBytes = SrcBytes(j.setup.kind);
    j.width = w;
    j.height = h;
    j.dst = PixelAddress(dest, r.left, r.top, DstBytes(j.setup.kind));
    j.dstPitch = dest->body->pitch;
    j.src = PixelAddress(src, ox, oy, srcBytes);
    j.srcPitch = src->body->pitch;
    j.mask = mask != nullptr ? PixelAddress(mask, ox, oy, 1) : nullptr;
    j.maskPitch = mask != nullptr ? mask->body->pitch : 0;
    ForgetRunLengthStream(dest);

    if (walk) {
        const MemImgBody* b = src->body;
        const uint8_t* stream = static_cast<const uint8_t*>(b->runLengthMemory);
        RunRunLengthJob(j, stream, stream + static_cast<size_t>(b->width + 5) * b->height);
    } else {
        RunPlainJob(j);
    }
}
