// The filter and blend kernels: span kernels of the software device. The filter strip puts each
// pixel's centre on the centre of its source texel (texture coordinate set 0, and set 1 for the
// blend graph), so a kernel finds its texel as floor(u x width); it reads exact bytes from the
// texture's rows, recovers the processor's integer parameters from the constants the filter
// stores (once a span), computes the processor's formula and writes the bytes.
#include "draw/filter_kernels.h"

#include <platform/d3d9_kernels.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "draw/filter_formulas.h"
#include "draw/filters.h"

namespace {

// One texel as the processor path holds a pixel: B, G, R, A bytes.
struct Bgra {
    uint8_t c[4];
};

Bgra Unpack(DWORD t) {
    return {{static_cast<uint8_t>(t), static_cast<uint8_t>(t >> 8), static_cast<uint8_t>(t >> 16),
             static_cast<uint8_t>(t >> 24)}};
}

DWORD Pack(const Bgra& p) {
    return static_cast<DWORD>(p.c[3]) << 24 | static_cast<DWORD>(p.c[2]) << 16 |
           static_cast<DWORD>(p.c[1]) << 8 | p.c[0];
}

// The texture on a sampler; without one, a single texel (0, 0, 0, 255), which every clamped
// read then gives.
ShaderTexels TexelsOf(const PixelShaderContext& context, int sampler) {
    static const DWORD kNoTexture = 0xFF000000u;
    ShaderTexels t;
    if (!GetSamplerTexels(context, sampler, &t)) t = {&kNoTexture, 1, 1, 1, 0};
    return t;
}

// floor(v) as an int; far outside any texture (or not a number) it reads as -1e9, which the
// clamped reads take to the edge like any other position off the texture.
inline int FloorToInt(double v) {
    v = v > -1e9 ? v : -1e9;
    v = v < 1e9 ? v : 1e9;
    int i = static_cast<int>(v);
    return i - (static_cast<double>(i) > v ? 1 : 0);
}

// floor(coordinate x size) of every pixel of the span along one axis of a coordinate set: the
// plane (a, b, c) as SpanTexcoordU and SpanTexcoordV evaluate it. True when the plane does not
// change along the row, so that every index is the same.
bool TexelIndices(const PixelShaderSpan& span, const double (&plane)[3], int size, int* out) {
    const double a = plane[0], rowPart = plane[1] * span.y, c = plane[2];
    const double scale = size;
    const int n = span.count, x = span.x;
    if (a == 0.0) {
        // The same value for the whole span (a zero product of either sign adds nothing).
        std::fill_n(out, n, FloorToInt(static_cast<float>(a * x + rowPart + c) * scale));
        return true;
    }
    int i = 0;
#if defined(__SSE2__)
    // Two pixels at a time, operation for operation as below: the rounding to float, the
    // bounds (a value that is not a number takes the lower one) and the floor.
    const __m128d va = _mm_set1_pd(a), vRow = _mm_set1_pd(rowPart), vc = _mm_set1_pd(c);
    const __m128d vScale = _mm_set1_pd(scale);
    const __m128d lo = _mm_set1_pd(-1e9), hi = _mm_set1_pd(1e9);
    for (; i + 2 <= n; i += 2) {
        __m128d column = _mm_cvtepi32_pd(_mm_setr_epi32(x + i, x + i + 1, 0, 0));
        __m128d t = _mm_add_pd(_mm_add_pd(_mm_mul_pd(va, column), vRow), vc);
        __m128d v = _mm_mul_pd(_mm_cvtps_pd(_mm_cvtpd_ps(t)), vScale);
        v = _mm_min_pd(_mm_max_pd(v, lo), hi);
        __m128i whole = _mm_cvttpd_epi32(v);
        __m128i above = _mm_castpd_si128(_mm_cmpgt_pd(_mm_cvtepi32_pd(whole), v));
        whole = _mm_add_epi32(whole, _mm_shuffle_epi32(above, _MM_SHUFFLE(2, 2, 2, 0)));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), whole);
    }
#endif
    for (; i < n; ++i) out[i] = FloorToInt(static_cast<float>(a * (x + i) + rowPart + c) * scale);
    return false;
}

// The texels of `t` under the span's pixels through coordinate set `set`: their positions,
// and whether they all lie on one row.
struct SpanPositions {
    int x[kMaxShaderSpan], y[kMaxShaderSpan];
    bool oneRow;
};
void PositionsUnder(const PixelShaderSpan& span, const ShaderTexels& t, int set, SpanPositions* p) {
    TexelIndices(span, span.texcoords[set].u, t.width, p->x);
    p->oneRow = TexelIndices(span, span.texcoords[set].v, t.height, p->y);
}

// The texels themselves. A span usually lies on one texel row, which is then read directly.
void LoadUnder(const PixelShaderSpan& span, const ShaderTexels& t, int set, DWORD* out) {
    SpanPositions p;
    PositionsUnder(span, t, set, &p);
    const int n = span.count;
    if (!p.oneRow) {
        for (int i = 0; i < n; ++i) out[i] = TexelAt(t, p.x[i], p.y[i]);
        return;
    }
    const DWORD* row =
        t.texels + static_cast<size_t>(std::clamp(p.y[0], 0, t.height - 1)) * t.stride;
    const int last = t.width - 1;
    const DWORD orMask = t.orMask;
    for (int i = 0; i < n; ++i) out[i] = row[std::clamp(p.x[i], 0, last)] | orMask;
}

// Runs pixel(source, layer, &result) -> kept over the span: the source texel through set 0 on
// sampler 0, with kLayer the layer texel through set 1 on sampler 1 (else the source again).
template <bool kLayer, typename Pixel>
void EachPixel(const PixelShaderSpan& span, const PixelShaderContext& context, DWORD* out,
               bool* kept, Pixel pixel) {
    DWORD source[kMaxShaderSpan], layer[kMaxShaderSpan];
    LoadUnder(span, TexelsOf(context, 0), 0, source);
    if (kLayer) LoadUnder(span, TexelsOf(context, 1), 1, layer);
    for (int i = 0; i < span.count; ++i) {
        const Bgra s = Unpack(source[i]);
        Bgra result = s;
        kept[i] = pixel(s, kLayer ? Unpack(layer[i]) : s, &result);
        out[i] = Pack(result);
    }
}

const ShaderFloat4& Constant(const PixelShaderContext& context, int index) {
    return context.floatConstants[index];
}

Bgra ColourBytes(const ShaderFloat4& colour) {
    return {{FilterColorByte(colour.z), FilterColorByte(colour.y), FilterColorByte(colour.x),
             FilterColorByte(colour.w)}};
}

// A whole number n given as n / 255, back as n (far beyond the byte range it only saturates).
int WholeNumberFrom255ths(float value) {
    return static_cast<int>(std::lround(std::clamp(static_cast<double>(value) * 255.0, -1e6, 1e6)));
}

// c1 = (1.402 Cr, -0.34414 Cb - 0.71414 Cr, 1.772 Cb): Cb and Cr are argument / 510 for
// integer arguments, recovered exactly and scaled again as the front end scales them.
void MonoKernel(const PixelShaderSpan& span, const PixelShaderContext& context, DWORD* out,
                bool* kept) {
    const ShaderFloat4& c1 = Constant(context, 1);
    auto argument = [](double product, double factor) {
        return static_cast<float>(std::lround(std::clamp(product / factor * 510.0, -256.0, 256.0)));
    };
    float cb = argument(c1.z, 1.772) * 100.0f / 255.0f;
    float cr = argument(c1.x, 1.402) * 100.0f / 255.0f;
    const MonoOffsets o = MakeMonoOffsets(cb, cr);
    EachPixel<false>(span, context, out, kept, [&](const Bgra& s, const Bgra&, Bgra* r) {
        int y = Luminance4096(s.c);
        *r = {{MonoChannel(y, o.blue), MonoChannel(y, o.green), MonoChannel(y, o.red), s.c[3]}};
        return true;
    });
}

// One axis of the blur: weights in c1..c4, the axis told by the first tap offset (c6) being on
// x or on y. Taps past the texture read its edge.
template <int kHalf>
void GaussKernel(const PixelShaderSpan& span, const PixelShaderContext& context, DWORD* out,
                 bool* kept) {
    int weights[kHalf];
    for (int i = 0; i < kHalf; ++i) {
        const ShaderFloat4& r = Constant(context, 1 + i / 4);
        const float parts[4] = {r.x, r.y, r.z, r.w};
        weights[i] = GaussWeight65536(parts[i % 4]);
    }
    const bool alongX = Constant(context, 6).x != 0.0f;
    const ShaderTexels t = TexelsOf(context, 0);
    constexpr int kReach = 2 * kHalf - 2;
    const int n = span.count;
    SpanPositions at;
    PositionsUnder(span, t, 0, &at);
    // Along x, texels side by side on one row share the row's taps.
    bool inLine = alongX;
    for (int i = 1; i < n && inLine; ++i) inLine = at.x[i] == at.x[0] + i && at.y[i] == at.y[0];
    Bgra line[kMaxShaderSpan + 2 * kReach];
    if (inLine) {
        const DWORD* row = t.texels + static_cast<size_t>(std::clamp(at.y[0], 0, t.height - 1)) *
                                          static_cast<size_t>(t.stride);
        for (int k = 0; k < n + 2 * kReach; ++k) {
            line[k] = Unpack(row[std::clamp(at.x[0] + k - kReach, 0, t.width - 1)] | t.orMask);
        }
    }
    auto gather = [&](int i, Bgra* taps) {  // taps[d + kReach] = the texel d steps from pixel i
        for (int d = -kReach; d <= kReach; ++d) {
            taps[d + kReach] = Unpack(alongX ? TexelAt(t, at.x[i] + d, at.y[i])
                                             : TexelAt(t, at.x[i], at.y[i] + d));
        }
    };
    for (int i = 0; i < n; ++i) {
        Bgra own[2 * kReach + 1];
        const Bgra* taps = line + i;
        if (!inLine) {
            gather(i, own);
            taps = own;
        }
        Bgra result;
        for (int c = 0; c < 4; ++c) {
            result.c[c] =
                GaussChannel(weights, kHalf, [&](int d) -> int { return taps[d + kReach].c[c]; });
        }
        out[i] = Pack(result);
        kept[i] = true;
    }
}

// The pixel's centre lies on the centre of its factor x factor block (where the filter's
// linear taps would average it); the block is summed and shifted as the processor does.
template <int kFactor, int kShift>
void DownScaleKernel(const PixelShaderSpan& span, const PixelShaderContext& context, DWORD* out,
                     bool* kept) {
    const ShaderTexels t = TexelsOf(context, 0);
    constexpr double kToCorner = kFactor / 2.0 - 0.5;
    for (int i = 0; i < span.count; ++i) {
        int x0 = FloorToInt(SpanTexcoordU(span, 0, i) * static_cast<double>(t.width) - kToCorner);
        int y0 = FloorToInt(SpanTexcoordV(span, 0, i) * static_cast<double>(t.height) - kToCorner);
        int sum[4] = {};
        for (int by = 0; by < kFactor; ++by) {
            for (int bx = 0; bx < kFactor; ++bx) {
                Bgra s = Unpack(TexelAt(t, x0 + bx, y0 + by));
                for (int c = 0; c < 4; ++c) sum[c] += s.c[c];
            }
        }
        Bgra result;
        for (int c = 0; c < 4; ++c) result.c[c] = static_cast<uint8_t>(sum[c] >> kShift);
        out[i] = Pack(result);
        kept[i] = true;
    }
}

// c0.x = T, c2 = the fill colour; a pixel neither kept nor filled is discarded, so the target
// keeps what it had.
template <bool kLess, bool kFill>
void BrightClipKernel(const PixelShaderSpan& span, const PixelShaderContext& context, DWORD* out,
                      bool* kept) {
    const int t = BrightClipThreshold4096(Constant(context, 0).x);
    const Bgra fill = ColourBytes(Constant(context, 2));
    EachPixel<false>(span, context, out, kept, [&](const Bgra& s, const Bgra&, Bgra* r) {
        int y = Luminance4096(s.c);
        if (kLess ? y >= t : y <= t) return true;
        *r = fill;
        return kFill;
    });
}

// c0 = (6 H, S, B, 0).
HsbSteps HsbStepsOf(const PixelShaderContext& context) {
    const ShaderFloat4& c0 = Constant(context, 0);
    return MakeHsbSteps(c0.x, c0.y, c0.z);
}

Bgra Brightened(Bgra s, int brightness) {
    for (int c = 0; c < 3; ++c) s.c[c] = HsbBrightness(s.c[c], brightness);
    return s;
}

// The first of the two passes stores the brightness-adjusted colour with its alpha: hue,
// saturation and lightness follow from those bytes exactly in the second pass.
void HsbToIntermediateKernel(const PixelShaderSpan& span, const PixelShaderContext& context,
                             DWORD* out, bool* kept) {
    const int brightness = HsbStepsOf(context).brightness;
    EachPixel<false>(span, context, out, kept, [&](const Bgra& s, const Bgra&, Bgra* r) {
        *r = Brightened(s, brightness);
        return true;
    });
}

template <bool kLockHue>
void HsbAdjustKernel(const PixelShaderSpan& span, const PixelShaderContext& context, DWORD* out,
                     bool* kept) {
    const HsbSteps steps = HsbStepsOf(context);
    EachPixel<false>(span, context, out, kept, [&](const Bgra& source, const Bgra&, Bgra* r) {
        // Hue lock is the single pass; the shift's second pass reads brightened bytes.
        Bgra s = kLockHue ? Brightened(source, steps.brightness) : source;
        *r = s;
        HsbAdjust(s.c, steps.hue, steps.saturation, kLockHue, r->c);
        return true;
    });
}

void InvertKernel(const PixelShaderSpan& span, const PixelShaderContext& context, DWORD* out,
                  bool* kept) {
    EachPixel<false>(span, context, out, kept, [](const Bgra& s, const Bgra&, Bgra* r) {
        for (int c = 0; c < 3; ++c) r->c[c] = static_cast<uint8_t>(255 - s.c[c]);
        return true;
    });
}

// c0 = (min, 1 / (max - min), out min, out max), the table on sampler 1 (entry i in texel i).
// max is a whole number of 255ths: it is recovered from the reciprocal and made as the
// processor makes it.
void LevelKernel(const PixelShaderSpan& span, const PixelShaderContext& context, DWORD* out,
                 bool* kept) {
    const ShaderFloat4& c0 = Constant(context, 0);
    float max = c0.x;
    if (c0.y > 0.0f && c0.y < 1e4f) {
        int n = WholeNumberFrom255ths(static_cast<float>(c0.x + 1.0 / c0.y));
        max = std::clamp(static_cast<float>(n) / 255.0f, 0.0f, 1.0f);
    }
    const LevelRanges ranges = MakeLevelRanges(c0.x, max, c0.z, c0.w);
    const ShaderTexels table = TexelsOf(context, 1);
    EachPixel<false>(span, context, out, kept, [&](const Bgra& s, const Bgra&, Bgra* r) {
        for (int c = 0; c < 3; ++c) {
            int entry = Unpack(TexelAt(table, LevelTableIndex(s.c[c], ranges), 0)).c[2];
            r->c[c] = LevelOutput(entry, ranges);
        }
        return true;
    });
}

// c0.w = threshold / 255 for a whole-number threshold; c1 below it, c2 at or above.
void TwoColorKernel(const PixelShaderSpan& span, const PixelShaderContext& context, DWORD* out,
                    bool* kept) {
    const float threshold = static_cast<float>(WholeNumberFrom255ths(Constant(context, 0).w));
    const int t = TwoColorThreshold4096(threshold);
    const Bgra below = ColourBytes(Constant(context, 1)), above = ColourBytes(Constant(context, 2));
    EachPixel<false>(span, context, out, kept, [&](const Bgra& s, const Bgra&, Bgra* r) {
        *r = Luminance4096(s.c) >= t ? above : below;
        return true;
    });
}

// The gradient on sampler 1: table entry i is its first-row texel (i x width) >> 8, the
// reversed table running backwards.
template <bool kReverse>
void GradientMapKernel(const PixelShaderSpan& span, const PixelShaderContext& context, DWORD* out,
                       bool* kept) {
    const ShaderTexels gradient = TexelsOf(context, 1);
    EachPixel<false>(span, context, out, kept, [&](const Bgra& s, const Bgra&, Bgra* r) {
        int entry = Luminance4096(s.c) >> 12;
        int i = kReverse ? 255 - entry : entry;
        *r = Unpack(TexelAt(gradient, (i * gradient.width) >> 8, 0));
        return true;
    });
}

void PremultipliedAlphaKernel(const PixelShaderSpan& span, const PixelShaderContext& context,
                              DWORD* out, bool* kept) {
    EachPixel<false>(span, context, out, kept, [](const Bgra& s, const Bgra&, Bgra* r) {
        for (int c = 0; c < 3; ++c) r->c[c] = static_cast<uint8_t>((s.c[c] * s.c[3]) >> 8);
        return true;
    });
}

// The source is the base (sampler 0), the blend graph the layer (sampler 1); c0.x = ratio.
// Kinds 14 and 15 discard the pixels they leave unwritten.
template <int kKind>
void BasBFKernel(const PixelShaderSpan& span, const PixelShaderContext& context, DWORD* out,
                 bool* kept) {
    const int ratio256 = BlendRatio256(Constant(context, 0).x);
    EachPixel<true>(span, context, out, kept, [&](const Bgra& b, const Bgra& s, Bgra* r) {
        if constexpr (kKind >= 14) {
            return ComposeAlpha(kKind, ratio256, b.c, s.c, r->c);
        } else {
            int k = s.c[3] * ratio256;
            for (int c = 0; c < 3; ++c) {
                r->c[c] = BlendTowards(BlendChannel(kKind, b.c[c], s.c[c]), b.c[c], k);
            }
            return true;
        }
    });
}

// The byte within a B, G, R, A pixel of channel 0..3 (R, G, B, A).
constexpr int kChannelByte[4] = {2, 1, 0, 3};

// c1 = selectors + 0.5: 0..3 the source's R, G, B, A, 4..7 the blend graph's; any other
// selector leaves the channel 0, as in the processor's fresh output image.
void RGBAMixBaseKernel(const PixelShaderSpan& span, const PixelShaderContext& context, DWORD* out,
                       bool* kept) {
    const ShaderFloat4& c1 = Constant(context, 1);
    const float selectors[4] = {c1.x, c1.y, c1.z, c1.w};
    EachPixel<true>(span, context, out, kept, [&](const Bgra& s, const Bgra& l, Bgra* r) {
        const Bgra* images[2] = {&s, &l};
        *r = {};
        for (int c = 0; c < 4; ++c) {
            if (!(selectors[c] >= 0.0f && selectors[c] < 8.0f)) continue;
            int selector = static_cast<int>(selectors[c]);
            r->c[kChannelByte[c]] = images[selector >> 2]->c[kChannelByte[selector & 3]];
        }
        return true;
    });
}

// "RGBAMix_S{x}S{y}S{z}B{a}": colour from the source's channels (kColour -1: R, G, B in place;
// else that one channel thrice), alpha from the blend graph's channel kAlpha.
template <int kColour, int kAlpha>
void RGBAMixInPlaceKernel(const PixelShaderSpan& span, const PixelShaderContext& context,
                          DWORD* out, bool* kept) {
    EachPixel<true>(span, context, out, kept, [](const Bgra& s, const Bgra& l, Bgra* r) {
        if constexpr (kColour >= 0) {
            for (int c = 0; c < 3; ++c) r->c[c] = s.c[kChannelByte[kColour]];
        }
        r->c[3] = l.c[kChannelByte[kAlpha]];
        return true;
    });
}

// "RGBAMix_Src%03d": the source's channels picked by the index ((r x 4 + g) x 4 + b) x 4 + a.
template <int kIndex>
void RGBAMixSourceKernel(const PixelShaderSpan& span, const PixelShaderContext& context, DWORD* out,
                         bool* kept) {
    EachPixel<false>(span, context, out, kept, [](const Bgra& s, const Bgra&, Bgra* r) {
        constexpr int kPicks[4] = {kIndex >> 6, (kIndex >> 4) & 3, (kIndex >> 2) & 3, kIndex & 3};
        for (int c = 0; c < 4; ++c) r->c[kChannelByte[c]] = s.c[kChannelByte[kPicks[c]]];
        return true;
    });
}

template <int... kIndex>
void RegisterSourceMixKernels(std::integer_sequence<int, kIndex...>) {
    constexpr PixelShaderSpanKernel kernels[] = {RGBAMixSourceKernel<kIndex>...};
    for (int i = 0; i < static_cast<int>(sizeof kernels / sizeof kernels[0]); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "RGBAMix_Src%03d", i);
        RegisterPixelShaderSpanKernel(name, kernels[i]);
    }
}

template <int... kAlpha>
void RegisterInPlaceMixKernels(std::integer_sequence<int, kAlpha...>) {
    static constexpr char kLetters[] = "RGBA";
    constexpr PixelShaderSpanKernel kernels[4][4] = {
        {RGBAMixInPlaceKernel<-1, kAlpha>...},
        {RGBAMixInPlaceKernel<0, kAlpha>...},
        {RGBAMixInPlaceKernel<1, kAlpha>...},
        {RGBAMixInPlaceKernel<2, kAlpha>...},
    };
    for (int colour = 0; colour < 4; ++colour) {
        for (int alpha = 0; alpha < 4; ++alpha) {
            char name[32];
            if (colour == 0) {
                std::snprintf(name, sizeof name, "RGBAMix_SRSGSBB%c.pso", kLetters[alpha]);
            } else {
                char l = kLetters[colour - 1];
                std::snprintf(name, sizeof name, "RGBAMix_S%cS%cS%cB%c.pso", l, l, l,
                              kLetters[alpha]);
            }
            RegisterPixelShaderSpanKernel(name, kernels[colour][alpha]);
        }
    }
}

struct NamedKernel {
    const char* name;
    PixelShaderSpanKernel kernel;
};

constexpr NamedKernel kFilterKernels[] = {
    {"Mono.pso", MonoKernel},
    {"Gauss_08Pixel_PS.pso", GaussKernel<4>},
    {"Gauss_16Pixel_PS.pso", GaussKernel<8>},
    {"Gauss_32Pixel_PS.pso", GaussKernel<16>},
    {"DownScaleX2.pso", DownScaleKernel<2, 2>},
    {"DownScaleX4.pso", DownScaleKernel<4, 4>},
    {"DownScaleX8.pso", DownScaleKernel<8, 6>},
    {"BrightClipLess.pso", BrightClipKernel<true, false>},
    {"BrightClipFillLess.pso", BrightClipKernel<true, true>},
    {"BrightClipGreater.pso", BrightClipKernel<false, false>},
    {"BrightClipFillGreater.pso", BrightClipKernel<false, true>},
    {"Hsb_RGB_TO_HSB.pso", HsbToIntermediateKernel},
    {"Hsb_HSB_TO_RGB.pso", HsbAdjustKernel<false>},
    {"Hsb_HSB_HLOCK.pso", HsbAdjustKernel<true>},
    {"Invert.pso", InvertKernel},
    {"Level.pso", LevelKernel},
    {"TwoColor.pso", TwoColorKernel},
    {"GradientMap.pso", GradientMapKernel<false>},
    {"GradientMapRev.pso", GradientMapKernel<true>},
    {"PremultipliedAlpha.pso", PremultipliedAlphaKernel},
    {"BasBF_Normal.pso", BasBFKernel<0>},
    {"BasBF_Multiple.pso", BasBFKernel<2>},
    {"BasBF_Difference.pso", BasBFKernel<3>},
    {"BasBF_Add.pso", BasBFKernel<4>},
    {"BasBF_Screen.pso", BasBFKernel<5>},
    {"BasBF_Overlay.pso", BasBFKernel<6>},
    {"BasBF_Dodge.pso", BasBFKernel<7>},
    {"BasBF_Burn.pso", BasBFKernel<8>},
    {"BasBF_Darken.pso", BasBFKernel<9>},
    {"BasBF_Lighten.pso", BasBFKernel<10>},
    {"BasBF_SoftLight.pso", BasBFKernel<11>},
    {"BasBF_HardLight.pso", BasBFKernel<12>},
    {"BasBF_Exclusion.pso", BasBFKernel<13>},
    {"BasBF_Normal_AlphaCh.pso", BasBFKernel<14>},
    {"BasBF_Add_AlphaCh.pso", BasBFKernel<15>},
    {"BasBF_Multiple_AOnly.pso", BasBFKernel<16>},
    {"RGBAMix_Base.pso", RGBAMixBaseKernel},
};

}  // namespace

void RegisterFilterShaderKernels() {
    // Made once, on the first call; the statics' initialisation is itself thread-safe.
    static const bool registered = [] {
        for (const NamedKernel& k : kFilterKernels) RegisterPixelShaderSpanKernel(k.name, k.kernel);
        RegisterInPlaceMixKernels(std::make_integer_sequence<int, 4>{});
        RegisterSourceMixKernels(std::make_integer_sequence<int, 256>{});
        return true;
    }();
    (void)registered;
}
