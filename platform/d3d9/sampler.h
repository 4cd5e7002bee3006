// Texture sampling as Direct3D 9 defines it: texel centres at (i + 0.5) / size, point and
// bilinear filters, the five address modes and mip-level choice from the texel footprint.
#pragma once

#include <algorithm>
#include <cmath>

#include "color.h"
#include "platform/d3d9.h"

struct Texture;

constexpr int kMaxLevels = 16;

// One mip level as A8R8G8B8 texels.
struct SamplerLevel {
    const DWORD* texels;
    UINT stride;  // texels a row
    UINT width;
    UINT height;
    DWORD orMask;  // ORed into each texel (opaque alpha of X formats)
};

// A sampler's texture and states, fixed for a draw.
struct SamplerSetup {
    bool bound;
    int levelCount;
    SamplerLevel levels[kMaxLevels];
    DWORD addressU, addressV;
    DWORD magFilter, minFilter, mipFilter;
    float lodBias;
    int baseLevel;  // the most detailed level allowed (MAXMIPLEVEL)
    Color border;
};

// The filter and levels chosen for one primitive from its texel footprint.
struct SamplerChoice {
    bool linear;
    int level0;
    int level1;
    float weight1;  // share of level1 (linear mip filtering)
};

// `states` are the sampler's D3DSAMP_* values; `texture` may be null.
void PrepareSampler(Texture* texture, const DWORD* states, SamplerSetup* setup);
// Chooses magnification or minification and the levels from the derivatives of the texture
// coordinates (0..1 units) per pixel along x and y.
SamplerChoice ChooseSampling(const SamplerSetup& setup, float dudx, float dvdx, float dudy,
                             float dvdy);

// Per-texel work, inline because the pixel loops call it for every texel. Coordinates are
// taken to 1/256 texel, as hardware does, so that taps at texel centres and half-way points
// are exact; colours are filtered in floating point.
namespace sampling {

constexpr float kCoordinateLimit = 4194304.0f;  // 2^22 texels keeps 1/256 steps in an int

// Texel coordinate in 1/256 steps, rounded to nearest; NaN reads as the lower limit.
[[gnu::always_inline]] inline int FixedCoordinate(float texels) {
    texels = texels > -kCoordinateLimit ? texels : -kCoordinateLimit;
    texels = texels < kCoordinateLimit ? texels : kCoordinateLimit;
    float scaled = texels * 256.0f + 0.5f;
    int whole = static_cast<int>(scaled);  // truncates; step down for negative fractions
    return scaled < static_cast<float>(whole) ? whole - 1 : whole;
}

// Texel index after addressing; sets `outside` for BORDER coordinates off the texture.
[[gnu::always_inline]] inline int Address(int i, int size, DWORD mode, bool* outside) {
    switch (mode) {
        case D3DTADDRESS_WRAP: {
            int m = i % size;
            return m < 0 ? m + size : m;
        }
        case D3DTADDRESS_MIRROR: {
            int period = 2 * size;
            int m = i % period;
            if (m < 0) m += period;
            return m < size ? m : period - 1 - m;
        }
        case D3DTADDRESS_MIRRORONCE:
            if (i < 0) i = -i - 1;
            return std::min(i, size - 1);
        case D3DTADDRESS_BORDER:
            if (i < 0 || i >= size) *outside = true;
            return std::clamp(i, 0, size - 1);
        default:  // CLAMP
            return std::clamp(i, 0, size - 1);
    }
}

[[gnu::always_inline]] inline Color Texel(const SamplerSetup& s, const SamplerLevel& level, int x,
                                          int y) {
    bool outside = false;
    int ax = Address(x, static_cast<int>(level.width), s.addressU, &outside);
    int ay = Address(y, static_cast<int>(level.height), s.addressV, &outside);
    if (outside) return s.border;
    return ColorFromArgb(level.texels[static_cast<size_t>(ay) * level.stride + ax] | level.orMask);
}

[[gnu::always_inline]] inline Color SampleLevel(const SamplerSetup& s, int levelIndex, bool linear,
                                                float u, float v) {
    const SamplerLevel& level = s.levels[levelIndex];
    float tu = u * static_cast<float>(level.width);
    float tv = v * static_cast<float>(level.height);
    if (!linear) {
        return Texel(s, level, FixedCoordinate(tu) >> 8, FixedCoordinate(tv) >> 8);
    }
    int fu = FixedCoordinate(tu - 0.5f);
    int fv = FixedCoordinate(tv - 0.5f);
    int x0 = fu >> 8, y0 = fv >> 8;
    float wx = static_cast<float>(fu & 255) * (1.0f / 256.0f);
    float wy = static_cast<float>(fv & 255) * (1.0f / 256.0f);
    Color top = Texel(s, level, x0, y0) * (1.0f - wx) + Texel(s, level, x0 + 1, y0) * wx;
    Color bottom = Texel(s, level, x0, y0 + 1) * (1.0f - wx) + Texel(s, level, x0 + 1, y0 + 1) * wx;
    return top * (1.0f - wy) + bottom * wy;
}

}  // namespace sampling

// (0, 0, 0, 1) when nothing is bound.
[[gnu::always_inline]] inline Color Sample(const SamplerSetup& s, const SamplerChoice& c, float u,
                                           float v) {
    if (!s.bound) return {0.0f, 0.0f, 0.0f, 1.0f};
    Color first = sampling::SampleLevel(s, c.level0, c.linear, u, v);
    if (c.weight1 == 0.0f) return first;
    Color second = sampling::SampleLevel(s, c.level1, c.linear, u, v);
    return first * (1.0f - c.weight1) + second * c.weight1;
}

// What pixel-shader kernels sample through.
struct ShaderSamplers {
    SamplerSetup setup[16];
    SamplerChoice choice[16];
};
