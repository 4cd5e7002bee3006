// Texture sampling as Direct3D 9 defines it: texel centres at (i + 0.5) / size, point and
// bilinear filters, the five address modes and mip-level choice from the texel footprint.
// Texels are 8-bit channels and filtering is integer arithmetic (pixel_math.h).
#pragma once

#include <algorithm>
#include <cstdint>

#include "platform/d3d9.h"

struct Texture;

constexpr int kMaxLevels = 16;

// Texture coordinates reach the sampler in texels with this many fraction bits.
constexpr int kTexelFraction = 24;

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
    DWORD border;   // A8R8G8B8
};

// The filter and levels chosen for one primitive from its texel footprint.
struct SamplerChoice {
    bool linear;
    int level0;
    int level1;
    int weight1;  // share of level1 in 256ths (linear mip filtering)
};

// The states part of a sampler's setup: `states` are its D3DSAMP_* values.
void PrepareSamplerStates(const DWORD* states, SamplerSetup* setup);
// The texture part: its levels as they are now (sampling decodes changed texels again).
// `texture` may be null.
void PrepareSamplerTexture(Texture* texture, const DWORD* states, SamplerSetup* setup);
// Chooses magnification or minification and the levels from the derivatives of the texture
// coordinates (0..1 units) per pixel along x and y.
SamplerChoice ChooseSampling(const SamplerSetup& setup, float dudx, float dvdx, float dudy,
                             float dvdy);

// Per-texel work, inline because the pixel loops call it for every texel. Coordinates are
// taken to 1/256 texel, as hardware does, so that taps at texel centres and half-way points
// are exact.
namespace sampling {

// 2^22 texels keeps 1/256 steps in an int.
constexpr int64_t kSubTexelLimit = int64_t{1} << 30;

// A fixed-point texel coordinate in 1/256 texel, rounded to nearest, within +-2^22 texels.
[[gnu::always_inline]] inline int64_t SubTexel(int64_t fixed) {
    int64_t c = (fixed + (int64_t{1} << (kTexelFraction - 9))) >> (kTexelFraction - 8);
    return std::clamp(c, -kSubTexelLimit, kSubTexelLimit);
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

[[gnu::always_inline]] inline DWORD Texel(const SamplerSetup& s, const SamplerLevel& level, int x,
                                          int y) {
    bool outside = false;
    int ax = Address(x, static_cast<int>(level.width), s.addressU, &outside);
    int ay = Address(y, static_cast<int>(level.height), s.addressV, &outside);
    if (outside) return s.border;
    return level.texels[static_cast<size_t>(ay) * level.stride + ax] | level.orMask;
}

// The four taps weighted by fx, fy in 256ths, each channel rounded to nearest once.
[[gnu::always_inline]] inline DWORD Bilerp(DWORD t00, DWORD t10, DWORD t01, DWORD t11, int fx,
                                           int fy) {
    DWORD out = 0;
    for (int i = 0; i < 32; i += 8) {
        int top = static_cast<int>((t00 >> i) & 0xFF) * (256 - fx) +
                  static_cast<int>((t10 >> i) & 0xFF) * fx;
        int bottom = static_cast<int>((t01 >> i) & 0xFF) * (256 - fx) +
                     static_cast<int>((t11 >> i) & 0xFF) * fx;
        out |= static_cast<DWORD>((top * (256 - fy) + bottom * fy + 32768) >> 16) << i;
    }
    return out;
}

// The texel (point) or the four taps around it (linear) at fixed-point texel coordinates.
[[gnu::always_inline]] inline DWORD SampleLevel(const SamplerSetup& s, const SamplerLevel& level,
                                                bool linear, int64_t u, int64_t v) {
    if (!linear) {
        return Texel(s, level, static_cast<int>(SubTexel(u) >> 8),
                     static_cast<int>(SubTexel(v) >> 8));
    }
    constexpr int64_t kHalf = int64_t{1} << (kTexelFraction - 1);
    int64_t cu = SubTexel(u - kHalf), cv = SubTexel(v - kHalf);
    int x0 = static_cast<int>(cu >> 8), y0 = static_cast<int>(cv >> 8);
    return Bilerp(Texel(s, level, x0, y0), Texel(s, level, x0 + 1, y0), Texel(s, level, x0, y0 + 1),
                  Texel(s, level, x0 + 1, y0 + 1), static_cast<int>(cu & 255),
                  static_cast<int>(cv & 255));
}

// Two samples mixed with `weight` 256ths of the second, each channel rounded to nearest.
[[gnu::always_inline]] inline DWORD MixLevels(DWORD first, DWORD second, int weight) {
    DWORD out = 0;
    for (int i = 0; i < 32; i += 8) {
        int a = static_cast<int>((first >> i) & 0xFF), b = static_cast<int>((second >> i) & 0xFF);
        out |= static_cast<DWORD>((a * (256 - weight) + b * weight + 128) >> 8) << i;
    }
    return out;
}

}  // namespace sampling

// What pixel-shader kernels sample through.
struct ShaderSamplers {
    SamplerSetup setup[16];
    SamplerChoice choice[16];
};
