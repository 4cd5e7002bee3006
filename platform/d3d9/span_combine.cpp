// Texture-stage steps of the specialised spans: one operation over the whole chunk, four
// pixels at a time for the operations a 2D framework draws with, otherwise pixel by pixel
// through the general path's own operation.
#include "span_steps.h"
#include "span_simd.h"

namespace {

using namespace span_simd;

inline __m128i Load(const DWORD* p, int i) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(p + i));
}
inline void Store(DWORD* p, int i, __m128i v) {
    _mm_store_si128(reinterpret_cast<__m128i*>(p + i), v);
}

// Which of the step's alpha sources a blend operation reads.
constexpr int BlendAlphaSource(DWORD op) {
    return op == D3DTOP_BLENDDIFFUSEALPHA   ? 0
           : op == D3DTOP_BLENDTEXTUREALPHA ? 1
           : op == D3DTOP_BLENDFACTORALPHA  ? 2
                                            : 3;
}

// The operation on two pixels as 16-bit channels (x = ARG1, y = ARG2, alpha = the blend
// alpha of each channel).
template <DWORD Op>
inline __m128i OnWords(__m128i x, __m128i y, __m128i alpha) {
    if constexpr (Op == D3DTOP_MODULATE) {
        return Mul255(x, y);
    } else if constexpr (Op == D3DTOP_MODULATE2X || Op == D3DTOP_MODULATE4X) {
        // 2 x y (4 x y) saturated before the division: anything from 65025 on gives 255.
        __m128i n = _mm_mullo_epi16(x, y);
        n = _mm_adds_epu16(n, n);
        if constexpr (Op == D3DTOP_MODULATE4X) n = _mm_adds_epu16(n, n);
        return Div255(MinU16(n, Words(65025)));
    } else {  // the blends by an alpha
        return Div255(_mm_add_epi16(_mm_mullo_epi16(x, alpha), _mm_mullo_epi16(y, Invert(alpha))));
    }
}

template <DWORD Op>
void SimdStep(const CombineStep& s, int n) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i flip1 = _mm_set1_epi32(static_cast<int>(s.flips[1]));
    const __m128i flip2 = _mm_set1_epi32(static_cast<int>(s.flips[2]));
    // Locals: the stores could alias the step as far as the compiler knows.
    const DWORD *first = s.args[1], *second = s.args[2];
    const DWORD* alphas = s.alphas[BlendAlphaSource(Op)];
    DWORD* out = s.out;
    for (int i = 0; i < n; i += 4) {
        __m128i x = _mm_xor_si128(Load(first, i), flip1);
        __m128i y = _mm_xor_si128(Load(second, i), flip2);
        __m128i result;
        if constexpr (Op == D3DTOP_SELECTARG1) {
            result = x;
        } else if constexpr (Op == D3DTOP_SELECTARG2) {
            result = y;
        } else if constexpr (Op == D3DTOP_ADD) {
            result = _mm_adds_epu8(x, y);
        } else if constexpr (Op == D3DTOP_SUBTRACT) {
            result = _mm_subs_epu8(x, y);
        } else {
            __m128i alphaLo = zero, alphaHi = zero;
            if constexpr (Op != D3DTOP_MODULATE && Op != D3DTOP_MODULATE2X &&
                          Op != D3DTOP_MODULATE4X) {
                AlphaWords(Load(alphas, i), &alphaLo, &alphaHi);
            }
            __m128i lo =
                OnWords<Op>(_mm_unpacklo_epi8(x, zero), _mm_unpacklo_epi8(y, zero), alphaLo);
            __m128i hi =
                OnWords<Op>(_mm_unpackhi_epi8(x, zero), _mm_unpackhi_epi8(y, zero), alphaHi);
            result = _mm_packus_epi16(lo, hi);
        }
        Store(out, i, result);
    }
}

void ScalarStep(const CombineStep& s, int n) {
    for (int i = 0; i < n; ++i) {
        StageAlphas alphas = {
            static_cast<int>(s.alphas[0][i] >> 24), static_cast<int>(s.alphas[1][i] >> 24),
            static_cast<int>(s.alphas[2][i] >> 24), static_cast<int>(s.alphas[3][i] >> 24)};
        s.out[i] = ApplyStageOp(s.op, s.args[0][i] ^ s.flips[0], s.args[1][i] ^ s.flips[1],
                                s.args[2][i] ^ s.flips[2], alphas);
    }
}

}  // namespace

CombineFn CombineStepFor(DWORD op) {
    switch (op) {
        case D3DTOP_SELECTARG1:
            return SimdStep<D3DTOP_SELECTARG1>;
        case D3DTOP_SELECTARG2:
            return SimdStep<D3DTOP_SELECTARG2>;
        case D3DTOP_MODULATE:
            return SimdStep<D3DTOP_MODULATE>;
        case D3DTOP_MODULATE2X:
            return SimdStep<D3DTOP_MODULATE2X>;
        case D3DTOP_MODULATE4X:
            return SimdStep<D3DTOP_MODULATE4X>;
        case D3DTOP_ADD:
            return SimdStep<D3DTOP_ADD>;
        case D3DTOP_SUBTRACT:
            return SimdStep<D3DTOP_SUBTRACT>;
        case D3DTOP_BLENDDIFFUSEALPHA:
            return SimdStep<D3DTOP_BLENDDIFFUSEALPHA>;
        case D3DTOP_BLENDTEXTUREALPHA:
            return SimdStep<D3DTOP_BLENDTEXTUREALPHA>;
        case D3DTOP_BLENDFACTORALPHA:
            return SimdStep<D3DTOP_BLENDFACTORALPHA>;
        case D3DTOP_BLENDCURRENTALPHA:
            return SimdStep<D3DTOP_BLENDCURRENTALPHA>;
        default:
            return ScalarStep;
    }
}

void ModifierStep(const CombineStep& s, int n) {
    for (int i = 0; i < n; ++i) s.out[i] = ApplyArgModifiers(s.op, s.args[1][i]);
}

void MergeAlphaStep(const CombineStep& s, int n) {
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    for (int i = 0; i < n; i += 4) {
        Store(s.out, i,
              _mm_or_si128(_mm_andnot_si128(alpha, Load(s.args[1], i)),
                           _mm_and_si128(alpha, Load(s.args[2], i))));
    }
}

void SpecularAddStep(const CombineStep& s, int n) {
    const __m128i color = _mm_set1_epi32(0x00FFFFFF);
    for (int i = 0; i < n; i += 4) {
        Store(s.out, i,
              _mm_adds_epu8(Load(s.args[1], i), _mm_and_si128(Load(s.args[2], i), color)));
    }
}
