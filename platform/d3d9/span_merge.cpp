// Merges of the specialised spans: alpha test, blend and write of eight pixels at a time, one
// template instantiation per target format, blend and alpha test. Channels are handled as
// planes of 16-bit lanes; formats of fewer bits widen and round exactly as DecodePixel and
// EncodeArgb do.
#include <cstring>

#include "formats.h"
#include "span_steps.h"
#include "span_simd.h"

namespace {

using namespace span_simd;

// A target format: its raw pixels, their planes and back.
struct Argb32 {
    static constexpr int kBytes = 4;
    static constexpr bool kAlpha = true;
    static constexpr bool kExact = true;  // raw -> planes -> raw gives the raw pixels back
    struct Raw {
        __m128i lo, hi;
    };
    static Raw Load(const BYTE* p) {
        return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16))};
    }
    static void Store(BYTE* p, const Raw& r) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), r.lo);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16), r.hi);
    }
    static Planes Decode(const Raw& r) { return PlanesFromArgb(r.lo, r.hi); }
    static Raw Encode(const Planes& p) {
        Raw r;
        ArgbFromPlanes(p, &r.lo, &r.hi);
        return r;
    }
    // Lanes of `pass` (one 16-bit lane a pixel) choose fresh over old.
    static Raw Select(__m128i pass, const Raw& fresh, const Raw& old) {
        __m128i lo = _mm_unpacklo_epi16(pass, pass), hi = _mm_unpackhi_epi16(pass, pass);
        return {_mm_or_si128(_mm_and_si128(lo, fresh.lo), _mm_andnot_si128(lo, old.lo)),
                _mm_or_si128(_mm_and_si128(hi, fresh.hi), _mm_andnot_si128(hi, old.hi))};
    }
};

struct Xrgb32 : Argb32 {
    static constexpr bool kAlpha = false;
    static constexpr bool kExact = false;  // the unused byte is written as ones
    static Planes Decode(const Raw& r) {
        Planes p = PlanesFromArgb(r.lo, r.hi);
        p.a = Words(255);
        return p;
    }
    static Raw Encode(const Planes& p) {
        Planes opaque = p;
        opaque.a = Words(255);
        return Argb32::Encode(opaque);
    }
};

struct Rgb16Base {
    static constexpr int kBytes = 2;
    static constexpr bool kAlpha = false;
    struct Raw {
        __m128i v;
    };
    static Raw Load(const BYTE* p) {
        return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))};
    }
    static void Store(BYTE* p, const Raw& r) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), r.v);
    }
    static Raw Select(__m128i pass, const Raw& fresh, const Raw& old) {
        return {_mm_or_si128(_mm_and_si128(pass, fresh.v), _mm_andnot_si128(pass, old.v))};
    }
    static __m128i Field(__m128i v, int mask) { return _mm_and_si128(v, Words(mask)); }
    // round(v * 31 / 255) = (249 v + 1020) >> 11 for every 8-bit v.
    static __m128i Round5(__m128i v) {
        return _mm_add_epi16(_mm_mullo_epi16(v, Words(249)), Words(1020));
    }
};

struct Rgb565 : Rgb16Base {
    static constexpr bool kExact = true;
    static Planes Decode(const Raw& raw) {
        __m128i p = raw.v;
        Planes out;
        out.r = _mm_or_si128(Field(_mm_srli_epi16(p, 8), 0xF8), _mm_srli_epi16(p, 13));
        out.g = _mm_or_si128(Field(_mm_srli_epi16(p, 3), 0xFC), Field(_mm_srli_epi16(p, 9), 0x03));
        out.b = _mm_or_si128(Field(_mm_slli_epi16(p, 3), 0xF8), Field(_mm_srli_epi16(p, 2), 0x07));
        out.a = Words(255);
        return out;
    }
    static Raw Encode(const Planes& p) {
        // round(g * 63 / 255) = (253 g + 510) >> 10.
        __m128i r = Field(Round5(p.r), 0xF800);
        __m128i g = Field(
            _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(p.g, Words(253)), Words(510)), 5), 0x07E0);
        __m128i b = _mm_srli_epi16(Round5(p.b), 11);
        return {_mm_or_si128(_mm_or_si128(r, g), b)};
    }
};

struct Xrgb1555 : Rgb16Base {
    static constexpr bool kExact = false;  // the unused bit is written as one
    static Planes Decode(const Raw& raw) {
        __m128i p = raw.v;
        Planes out;
        out.r = _mm_or_si128(Field(_mm_srli_epi16(p, 7), 0xF8), Field(_mm_srli_epi16(p, 12), 0x07));
        out.g = _mm_or_si128(Field(_mm_srli_epi16(p, 2), 0xF8), Field(_mm_srli_epi16(p, 7), 0x07));
        out.b = _mm_or_si128(Field(_mm_slli_epi16(p, 3), 0xF8), Field(_mm_srli_epi16(p, 2), 0x07));
        out.a = Words(255);
        return out;
    }
    static Raw Encode(const Planes& p) {
        __m128i r = Field(_mm_srli_epi16(Round5(p.r), 1), 0x7C00);
        __m128i g = Field(_mm_srli_epi16(Round5(p.g), 6), 0x03E0);
        __m128i b = _mm_srli_epi16(Round5(p.b), 11);
        return {_mm_or_si128(_mm_or_si128(r, g), _mm_or_si128(b, Words(0x8000)))};
    }
};

struct Argb4444 : Rgb16Base {
    static constexpr bool kAlpha = true;
    static constexpr bool kExact = true;
    // A nibble n widens to 17 n.
    static __m128i Widen(__m128i p, int shift) {
        __m128i n = Field(_mm_srli_epi16(p, shift), 0x0F);
        return _mm_or_si128(n, _mm_slli_epi16(n, 4));
    }
    static Planes Decode(const Raw& raw) {
        return {Widen(raw.v, 0), Widen(raw.v, 4), Widen(raw.v, 8), Widen(raw.v, 12)};
    }
    // round(v * 15 / 255) = (15 v + 135) >> 8 for every 8-bit v.
    static __m128i Round4(__m128i v, int shift) {
        __m128i q = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(v, Words(15)), Words(135)), 8);
        return _mm_slli_epi16(q, shift);
    }
    static Raw Encode(const Planes& p) {
        return {_mm_or_si128(_mm_or_si128(Round4(p.b, 0), Round4(p.g, 4)),
                             _mm_or_si128(Round4(p.r, 8), Round4(p.a, 12)))};
    }
};

constexpr bool ReadsDest(BlendKind k) {
    return k != BlendKind::Replace;
}
// Kinds that leave the destination as it is where the source alpha is 0.
constexpr bool ZeroAlphaKeeps(BlendKind k) {
    return k == BlendKind::Translucent || k == BlendKind::Additive || k == BlendKind::SubtractAlpha;
}

// One channel: s source, d destination, a source alpha.
template <BlendKind K>
inline __m128i BlendChannel(__m128i s, __m128i d, __m128i a) {
    switch (K) {
        case BlendKind::Replace:
            return s;
        case BlendKind::Translucent:
            return Div255(_mm_add_epi16(_mm_mullo_epi16(s, a), _mm_mullo_epi16(d, Invert(a))));
        case BlendKind::Additive:
            return Min255(_mm_add_epi16(d, Mul255(s, a)));
        case BlendKind::AddBoth:
            return Min255(_mm_add_epi16(s, d));
        case BlendKind::Premultiplied:
            return Min255(_mm_add_epi16(s, Mul255(d, Invert(a))));
        case BlendKind::Multiply:
            return Mul255(s, d);
        case BlendKind::InvertDest:
            return Mul255(s, Invert(d));
        case BlendKind::Keep:
            return d;
        case BlendKind::SubtractAlpha:
            return _mm_subs_epu16(d, Mul255(s, a));
        case BlendKind::SubtractSource:
            return _mm_subs_epu16(s, d);
        case BlendKind::SubtractDest:
            return _mm_subs_epu16(d, s);
        case BlendKind::Minimum:
            return _mm_min_epi16(s, d);
        default:  // Maximum
            return _mm_max_epi16(s, d);
    }
}

// With Modulated the source is first multiplied by the job's factor (planes k), as the
// MODULATE step it stands for would have.
template <class F, BlendKind K, bool AlphaTest, bool Modulated>
inline void MergeEight(const MergeJob& job, const Planes& k, const DWORD* source, BYTE* target) {
    Planes s = PlanesFromArgb(_mm_loadu_si128(reinterpret_cast<const __m128i*>(source)),
                              _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 4)));
    if constexpr (Modulated) {
        s = {Mul255(s.b, k.b), Mul255(s.g, k.g), Mul255(s.r, k.r), Mul255(s.a, k.a)};
    }
    if constexpr (ZeroAlphaKeeps(K) && F::kExact) {
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(s.a, _mm_setzero_si128())) == 0xFFFF) return;
    }
    typename F::Raw old{};
    Planes d{};
    if constexpr (ReadsDest(K) || AlphaTest) old = F::Load(target);
    if constexpr (ReadsDest(K)) d = F::Decode(old);
    Planes out;
    out.b = BlendChannel<K>(s.b, d.b, s.a);
    out.g = BlendChannel<K>(s.g, d.g, s.a);
    out.r = BlendChannel<K>(s.r, d.r, s.a);
    if constexpr (F::kAlpha) out.a = BlendChannel<K>(s.a, d.a, s.a);
    typename F::Raw fresh = F::Encode(out);
    if constexpr (AlphaTest) {
        __m128i t = _mm_sub_epi16(s.a, Words(job.alphaLo));
        __m128i pass = _mm_and_si128(_mm_cmpgt_epi16(t, Words(-1)),
                                     _mm_cmplt_epi16(t, Words(job.alphaRange + 1)));
        if (job.alphaInvert) pass = _mm_xor_si128(pass, Words(-1));
        fresh = F::Select(pass, fresh, old);
    }
    F::Store(target, fresh);
}

template <class F, BlendKind K, bool AlphaTest, bool Modulated>
void Merge(const MergeJob& shared, BYTE* target, int n) {
    // A local copy: the stores could alias the job as far as the compiler knows.
    const MergeJob job = shared;
    Planes k{};
    if constexpr (Modulated) {
        const __m128i factor = _mm_set1_epi32(static_cast<int>(*job.factor));
        k = PlanesFromArgb(factor, factor);
    }
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        MergeEight<F, K, AlphaTest, Modulated>(job, k, job.source + i, target + i * F::kBytes);
    }
    if (i == n) return;
    // The last pixels go through a copy of the row so nothing past the span is touched; the
    // source buffer holds eight more words than any span needs.
    alignas(16) BYTE tail[8 * F::kBytes];
    const size_t bytes = static_cast<size_t>(n - i) * F::kBytes;
    std::memcpy(tail, target + i * F::kBytes, bytes);
    MergeEight<F, K, AlphaTest, Modulated>(job, k, job.source + i, tail);
    std::memcpy(target + i * F::kBytes, tail, bytes);
}

// Only the blends the textured draws of a 2D framework use have modulated forms.
constexpr bool HasModulatedForm(BlendKind k) {
    return k == BlendKind::Replace || k == BlendKind::Translucent || k == BlendKind::Additive;
}

template <class F, BlendKind K>
MergeFn ForTest(bool alphaTest, bool modulated) {
    if constexpr (HasModulatedForm(K)) {
        if (modulated) return alphaTest ? Merge<F, K, true, true> : Merge<F, K, false, true>;
    } else if (modulated) {
        return nullptr;
    }
    return alphaTest ? Merge<F, K, true, false> : Merge<F, K, false, false>;
}

template <class F>
MergeFn ForKind(BlendKind kind, bool alphaTest, bool modulated) {
    switch (kind) {
        case BlendKind::Replace:
            return ForTest<F, BlendKind::Replace>(alphaTest, modulated);
        case BlendKind::Translucent:
            return ForTest<F, BlendKind::Translucent>(alphaTest, modulated);
        case BlendKind::Additive:
            return ForTest<F, BlendKind::Additive>(alphaTest, modulated);
        case BlendKind::AddBoth:
            return ForTest<F, BlendKind::AddBoth>(alphaTest, modulated);
        case BlendKind::Premultiplied:
            return ForTest<F, BlendKind::Premultiplied>(alphaTest, modulated);
        case BlendKind::Multiply:
            return ForTest<F, BlendKind::Multiply>(alphaTest, modulated);
        case BlendKind::InvertDest:
            return ForTest<F, BlendKind::InvertDest>(alphaTest, modulated);
        case BlendKind::Keep:
            return ForTest<F, BlendKind::Keep>(alphaTest, modulated);
        case BlendKind::SubtractAlpha:
            return ForTest<F, BlendKind::SubtractAlpha>(alphaTest, modulated);
        case BlendKind::SubtractSource:
            return ForTest<F, BlendKind::SubtractSource>(alphaTest, modulated);
        case BlendKind::SubtractDest:
            return ForTest<F, BlendKind::SubtractDest>(alphaTest, modulated);
        case BlendKind::Minimum:
            return ForTest<F, BlendKind::Minimum>(alphaTest, modulated);
        default:
            return ForTest<F, BlendKind::Maximum>(alphaTest, modulated);
    }
}

}  // namespace

MergeFn MergeFor(D3DFORMAT format, BlendKind kind, bool alphaTest, bool modulated) {
    switch (format) {
        case D3DFMT_A8R8G8B8:
            return ForKind<Argb32>(kind, alphaTest, modulated);
        case D3DFMT_X8R8G8B8:
            return ForKind<Xrgb32>(kind, alphaTest, modulated);
        case D3DFMT_R5G6B5:
            return ForKind<Rgb565>(kind, alphaTest, modulated);
        case D3DFMT_X1R5G5B5:
            return ForKind<Xrgb1555>(kind, alphaTest, modulated);
        case D3DFMT_A4R4G4B4:
            return ForKind<Argb4444>(kind, alphaTest, modulated);
        default:
            return nullptr;
    }
}

void FillRow(D3DFORMAT format, BYTE* row, int n, DWORD argb) {
    BYTE pixel[4];
    EncodeArgb(format, pixel, argb);
    const UINT bytes = format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8 ? 4 : 2;
    FillPixelRow(row, static_cast<UINT>(n), pixel, bytes);
}
