// The filter and blend kernels. The filter strip puts each pixel's centre on the centre of its
// source texel (texture coordinate set 0, and set 1 for the blend graph), so a kernel finds its
// texel as floor(u x width); it reads exact bytes with LoadTexel, recovers the processor's
// integer parameters from the constants the filter stores, computes the processor's formula and
// writes v / 255, which the device turns back into v.
#include "draw/filter_kernels.h"

#include <platform/d3d9_kernels.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "draw/filter_formulas.h"
#include "draw/filters.h"

namespace {

// One texel as the processor path holds a pixel: B, G, R, A bytes.
struct Bgra {
    uint8_t c[4];
};

uint8_t ByteOf(float channel) {
    return static_cast<uint8_t>(std::clamp(static_cast<int>(channel * 255.0f + 0.5f), 0, 255));
}

Bgra Load(const PixelShaderContext& context, int sampler, int x, int y) {
    ShaderFloat4 t = LoadTexel(context, sampler, x, y);
    return {{ByteOf(t.z), ByteOf(t.y), ByteOf(t.x), ByteOf(t.w)}};
}

struct TexelPosition {
    int x, y;
};

// The texel of the sampler's texture under the pixel, through coordinate set `set`.
TexelPosition TexelUnder(const PixelShaderInput& input, const PixelShaderContext& context,
                         int sampler, int set) {
    int width = 0, height = 0;
    GetSamplerTextureSize(context, sampler, &width, &height);
    return {static_cast<int>(std::floor(static_cast<double>(input.texcoord[set].x) * width)),
            static_cast<int>(std::floor(static_cast<double>(input.texcoord[set].y) * height))};
}

Bgra SourceTexel(const PixelShaderInput& input, const PixelShaderContext& context) {
    TexelPosition p = TexelUnder(input, context, 0, 0);
    return Load(context, 0, p.x, p.y);
}

Bgra LayerTexel(const PixelShaderInput& input, const PixelShaderContext& context) {
    TexelPosition p = TexelUnder(input, context, 1, 1);
    return Load(context, 1, p.x, p.y);
}

bool Emit(const Bgra& pixel, ShaderFloat4* out) {
    *out = {pixel.c[2] / 255.0f, pixel.c[1] / 255.0f, pixel.c[0] / 255.0f, pixel.c[3] / 255.0f};
    return true;
}

const ShaderFloat4& Constant(const PixelShaderContext& context, int index) {
    return context.floatConstants[index];
}

// A whole number n given as n / 255, back as n (far beyond the byte range it only saturates).
int WholeNumberFrom255ths(float value) {
    return static_cast<int>(std::lround(std::clamp(static_cast<double>(value) * 255.0, -1e6, 1e6)));
}

// c1 = (1.402 Cr, -0.34414 Cb - 0.71414 Cr, 1.772 Cb): Cb and Cr are argument / 510 for
// integer arguments, recovered exactly and scaled again as the front end scales them.
bool MonoKernel(const PixelShaderInput& input, const PixelShaderContext& context,
                ShaderFloat4* out) {
    const ShaderFloat4& c1 = Constant(context, 1);
    auto argument = [](double product, double factor) {
        return static_cast<float>(std::lround(std::clamp(product / factor * 510.0, -256.0, 256.0)));
    };
    float cb = argument(c1.z, 1.772) * 100.0f / 255.0f;
    float cr = argument(c1.x, 1.402) * 100.0f / 255.0f;
    MonoOffsets o = MakeMonoOffsets(cb, cr);
    Bgra s = SourceTexel(input, context);
    int y = Luminance4096(s.c);
    return Emit({{MonoChannel(y, o.blue), MonoChannel(y, o.green), MonoChannel(y, o.red), s.c[3]}},
                out);
}

// One axis of the blur: weights in c1..c4, the axis told by the first tap offset (c6) being on
// x or on y. Taps past the texture read its edge.
template <int kHalf>
bool GaussKernel(const PixelShaderInput& input, const PixelShaderContext& context,
                 ShaderFloat4* out) {
    int weights[kHalf];
    for (int i = 0; i < kHalf; ++i) {
        const ShaderFloat4& r = Constant(context, 1 + i / 4);
        const float parts[4] = {r.x, r.y, r.z, r.w};
        weights[i] = GaussWeight65536(parts[i % 4]);
    }
    bool alongX = Constant(context, 6).x != 0.0f;
    TexelPosition p = TexelUnder(input, context, 0, 0);
    constexpr int kReach = 2 * kHalf - 2;
    Bgra taps[2 * kReach + 1];
    for (int d = -kReach; d <= kReach; ++d) {
        taps[d + kReach] = alongX ? Load(context, 0, p.x + d, p.y) : Load(context, 0, p.x, p.y + d);
    }
    Bgra result;
    for (int c = 0; c < 4; ++c) {
        result.c[c] =
            GaussChannel(weights, kHalf, [&](int d) -> int { return taps[d + kReach].c[c]; });
    }
    return Emit(result, out);
}

// The pixel's centre lies on the centre of its factor x factor block (where the filter's
// linear taps would average it); the block is summed and shifted as the processor does.
template <int kFactor, int kShift>
bool DownScaleKernel(const PixelShaderInput& input, const PixelShaderContext& context,
                     ShaderFloat4* out) {
    int width = 0, height = 0;
    GetSamplerTextureSize(context, 0, &width, &height);
    constexpr double kToCorner = kFactor / 2.0 - 0.5;
    int x0 =
        static_cast<int>(std::floor(input.texcoord[0].x * static_cast<double>(width) - kToCorner));
    int y0 =
        static_cast<int>(std::floor(input.texcoord[0].y * static_cast<double>(height) - kToCorner));
    int sum[4] = {};
    for (int by = 0; by < kFactor; ++by) {
        for (int bx = 0; bx < kFactor; ++bx) {
            Bgra s = Load(context, 0, x0 + bx, y0 + by);
            for (int c = 0; c < 4; ++c) sum[c] += s.c[c];
        }
    }
    Bgra result;
    for (int c = 0; c < 4; ++c) result.c[c] = static_cast<uint8_t>(sum[c] >> kShift);
    return Emit(result, out);
}

// c0.x = T, c2 = the fill colour; a pixel neither kept nor filled is discarded, so the target
// keeps what it had.
template <bool kLess, bool kFill>
bool BrightClipKernel(const PixelShaderInput& input, const PixelShaderContext& context,
                      ShaderFloat4* out) {
    int t = BrightClipThreshold4096(Constant(context, 0).x);
    Bgra s = SourceTexel(input, context);
    int y = Luminance4096(s.c);
    if (kLess ? y >= t : y <= t) return Emit(s, out);
    if (!kFill) return false;
    const ShaderFloat4& fill = Constant(context, 2);
    return Emit({{FilterColorByte(fill.z), FilterColorByte(fill.y), FilterColorByte(fill.x),
                  FilterColorByte(fill.w)}},
                out);
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
bool HsbToIntermediateKernel(const PixelShaderInput& input, const PixelShaderContext& context,
                             ShaderFloat4* out) {
    return Emit(Brightened(SourceTexel(input, context), HsbStepsOf(context).brightness), out);
}

template <bool kLockHue>
bool HsbAdjustKernel(const PixelShaderInput& input, const PixelShaderContext& context,
                     ShaderFloat4* out) {
    HsbSteps steps = HsbStepsOf(context);
    Bgra s = SourceTexel(input, context);
    // Hue lock is the single pass; the shift's second pass reads brightened bytes.
    if (kLockHue) s = Brightened(s, steps.brightness);
    HsbAdjust(s.c, steps.hue, steps.saturation, kLockHue, s.c);
    return Emit(s, out);
}

bool InvertKernel(const PixelShaderInput& input, const PixelShaderContext& context,
                  ShaderFloat4* out) {
    Bgra s = SourceTexel(input, context);
    for (int c = 0; c < 3; ++c) s.c[c] = static_cast<uint8_t>(255 - s.c[c]);
    return Emit(s, out);
}

// c0 = (min, 1 / (max - min), out min, out max), the table on sampler 1 (entry i in texel i).
// max is a whole number of 255ths: it is recovered from the reciprocal and made as the
// processor makes it.
bool LevelKernel(const PixelShaderInput& input, const PixelShaderContext& context,
                 ShaderFloat4* out) {
    const ShaderFloat4& c0 = Constant(context, 0);
    float max = c0.x;
    if (c0.y > 0.0f && c0.y < 1e4f) {
        int n = WholeNumberFrom255ths(static_cast<float>(c0.x + 1.0 / c0.y));
        max = std::clamp(static_cast<float>(n) / 255.0f, 0.0f, 1.0f);
    }
    LevelRanges ranges = MakeLevelRanges(c0.x, max, c0.z, c0.w);
    Bgra s = SourceTexel(input, context);
    for (int c = 0; c < 3; ++c) {
        int entry = Load(context, 1, LevelTableIndex(s.c[c], ranges), 0).c[2];
        s.c[c] = LevelOutput(entry, ranges);
    }
    return Emit(s, out);
}

// c0.w = threshold / 255 for a whole-number threshold; c1 below it, c2 at or above.
bool TwoColorKernel(const PixelShaderInput& input, const PixelShaderContext& context,
                    ShaderFloat4* out) {
    float threshold = static_cast<float>(WholeNumberFrom255ths(Constant(context, 0).w));
    Bgra s = SourceTexel(input, context);
    const ShaderFloat4& colour =
        Constant(context, Luminance4096(s.c) >= TwoColorThreshold4096(threshold) ? 2 : 1);
    return Emit({{FilterColorByte(colour.z), FilterColorByte(colour.y), FilterColorByte(colour.x),
                  FilterColorByte(colour.w)}},
                out);
}

// The gradient on sampler 1: table entry i is its first-row texel (i x width) >> 8, the
// reversed table running backwards.
template <bool kReverse>
bool GradientMapKernel(const PixelShaderInput& input, const PixelShaderContext& context,
                       ShaderFloat4* out) {
    int width = 0, height = 0;
    GetSamplerTextureSize(context, 1, &width, &height);
    int entry = Luminance4096(SourceTexel(input, context).c) >> 12;
    int i = kReverse ? 255 - entry : entry;
    return Emit(Load(context, 1, (i * width) >> 8, 0), out);
}

bool PremultipliedAlphaKernel(const PixelShaderInput& input, const PixelShaderContext& context,
                              ShaderFloat4* out) {
    Bgra s = SourceTexel(input, context);
    for (int c = 0; c < 3; ++c) s.c[c] = static_cast<uint8_t>((s.c[c] * s.c[3]) >> 8);
    return Emit(s, out);
}

// The source is the base (sampler 0), the blend graph the layer (sampler 1); c0.x = ratio.
// Kinds 14 and 15 discard the pixels they leave unwritten.
template <int kKind>
bool BasBFKernel(const PixelShaderInput& input, const PixelShaderContext& context,
                 ShaderFloat4* out) {
    int ratio256 = BlendRatio256(Constant(context, 0).x);
    Bgra b = SourceTexel(input, context);
    Bgra s = LayerTexel(input, context);
    Bgra result = b;
    if constexpr (kKind >= 14) {
        if (!ComposeAlpha(kKind, ratio256, b.c, s.c, result.c)) return false;
    } else {
        int k = s.c[3] * ratio256;
        for (int c = 0; c < 3; ++c) {
            result.c[c] = BlendTowards(BlendChannel(kKind, b.c[c], s.c[c]), b.c[c], k);
        }
    }
    return Emit(result, out);
}

// The byte within a B, G, R, A pixel of channel 0..3 (R, G, B, A).
constexpr int kChannelByte[4] = {2, 1, 0, 3};

// c1 = selectors + 0.5: 0..3 the source's R, G, B, A, 4..7 the blend graph's; any other
// selector leaves the channel 0, as in the processor's fresh output image.
bool RGBAMixBaseKernel(const PixelShaderInput& input, const PixelShaderContext& context,
                       ShaderFloat4* out) {
    const Bgra images[2] = {SourceTexel(input, context), LayerTexel(input, context)};
    const ShaderFloat4& c1 = Constant(context, 1);
    const float selectors[4] = {c1.x, c1.y, c1.z, c1.w};
    Bgra result = {};
    for (int c = 0; c < 4; ++c) {
        if (!(selectors[c] >= 0.0f && selectors[c] < 8.0f)) continue;
        int selector = static_cast<int>(selectors[c]);
        result.c[kChannelByte[c]] = images[selector >> 2].c[kChannelByte[selector & 3]];
    }
    return Emit(result, out);
}

// "RGBAMix_S{x}S{y}S{z}B{a}": colour from the source's channels (kColour -1: R, G, B in place;
// else that one channel thrice), alpha from the blend graph's channel kAlpha.
template <int kColour, int kAlpha>
bool RGBAMixInPlaceKernel(const PixelShaderInput& input, const PixelShaderContext& context,
                          ShaderFloat4* out) {
    Bgra s = SourceTexel(input, context);
    Bgra result = s;
    if constexpr (kColour >= 0) {
        for (int c = 0; c < 3; ++c) result.c[c] = s.c[kChannelByte[kColour]];
    }
    result.c[3] = LayerTexel(input, context).c[kChannelByte[kAlpha]];
    return Emit(result, out);
}

// "RGBAMix_Src%03d": the source's channels picked by the index ((r x 4 + g) x 4 + b) x 4 + a.
template <int kIndex>
bool RGBAMixSourceKernel(const PixelShaderInput& input, const PixelShaderContext& context,
                         ShaderFloat4* out) {
    Bgra s = SourceTexel(input, context);
    const int picks[4] = {kIndex >> 6, (kIndex >> 4) & 3, (kIndex >> 2) & 3, kIndex & 3};
    Bgra result;
    for (int c = 0; c < 4; ++c) result.c[kChannelByte[c]] = s.c[kChannelByte[picks[c]]];
    return Emit(result, out);
}

template <int... kIndex>
void RegisterSourceMixKernels(std::integer_sequence<int, kIndex...>) {
    constexpr PixelShaderKernel kernels[] = {RGBAMixSourceKernel<kIndex>...};
    for (int i = 0; i < static_cast<int>(sizeof kernels / sizeof kernels[0]); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "RGBAMix_Src%03d", i);
        RegisterPixelShaderKernel(name, kernels[i]);
    }
}

template <int... kAlpha>
void RegisterInPlaceMixKernels(std::integer_sequence<int, kAlpha...>) {
    static constexpr char kLetters[] = "RGBA";
    constexpr PixelShaderKernel kernels[4][4] = {
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
            RegisterPixelShaderKernel(name, kernels[colour][alpha]);
        }
    }
}

struct NamedKernel {
    const char* name;
    PixelShaderKernel kernel;
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
        for (const NamedKernel& k : kFilterKernels) RegisterPixelShaderKernel(k.name, k.kernel);
        RegisterInPlaceMixKernels(std::make_integer_sequence<int, 4>{});
        RegisterSourceMixKernels(std::make_integer_sequence<int, 256>{});
        return true;
    }();
    (void)registered;
}
