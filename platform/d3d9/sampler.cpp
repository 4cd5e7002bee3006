// Sampler set-up for a draw, the choice of filter and mip levels for each primitive, and the
// sampling that pixel-shader kernels call.
#include "sampler.h"

#include <cmath>
#include <cstring>

#include "pixel_math.h"
#include "platform/d3d9_kernels.h"
#include "resources.h"

namespace {

inline bool IsLinearFilter(DWORD filter) {
    return filter == D3DTEXF_LINEAR || filter == D3DTEXF_ANISOTROPIC;
}

}  // namespace

void PrepareSamplerStates(const DWORD* states, SamplerSetup* s) {
    s->addressU = states[D3DSAMP_ADDRESSU];
    s->addressV = states[D3DSAMP_ADDRESSV];
    s->magFilter = states[D3DSAMP_MAGFILTER];
    s->minFilter = states[D3DSAMP_MINFILTER];
    s->mipFilter = states[D3DSAMP_MIPFILTER];
    std::memcpy(&s->lodBias, &states[D3DSAMP_MIPMAPLODBIAS], sizeof(float));
    s->border = states[D3DSAMP_BORDERCOLOR];
}

void PrepareSamplerTexture(Texture* texture, const DWORD* states, SamplerSetup* s) {
    s->bound = texture != nullptr;
    s->levelCount = 0;
    if (texture != nullptr) {
        s->levelCount = std::min<int>(static_cast<int>(texture->levels.size()), kMaxLevels);
        for (int i = 0; i < s->levelCount; ++i) {
            Surface& level = *texture->levels[i];
            SamplerLevel& out = s->levels[i];
            out.texels = level.Texels(&out.stride, &out.orMask);
            out.width = level.width;
            out.height = level.height;
        }
    }
    s->baseLevel = std::min<int>(static_cast<int>(states[D3DSAMP_MAXMIPLEVEL]),
                                 std::max(s->levelCount - 1, 0));
}

SamplerChoice ChooseSampling(const SamplerSetup& s, float dudx, float dvdx, float dudy,
                             float dvdy) {
    SamplerChoice choice = {IsLinearFilter(s.magFilter), s.baseLevel, s.baseLevel, 0};
    if (!s.bound) return choice;
    float w = static_cast<float>(s.levels[0].width);
    float h = static_cast<float>(s.levels[0].height);
    float alongX = std::hypot(dudx * w, dvdx * h);
    float alongY = std::hypot(dudy * w, dvdy * h);
    float footprint = std::max(alongX, alongY);
    if (!(footprint > 0.0f)) return choice;
    float lod = std::log2(footprint) + s.lodBias;
    if (lod <= 0.0f) return choice;  // magnification
    choice.linear = IsLinearFilter(s.minFilter);
    int last = s.levelCount - 1;
    if (s.mipFilter == D3DTEXF_POINT) {
        choice.level0 = std::min(s.baseLevel + static_cast<int>(std::floor(lod + 0.5f)), last);
        choice.level1 = choice.level0;
    } else if (IsLinearFilter(s.mipFilter)) {
        float whole = std::floor(lod);
        choice.level0 = std::min(s.baseLevel + static_cast<int>(whole), last);
        choice.level1 = std::min(choice.level0 + 1, last);
        if (choice.level1 != choice.level0) {
            choice.weight1 = static_cast<int>((lod - whole) * 256.0f + 0.5f);
        }
    }
    return choice;
}

ShaderFloat4 SampleTexture(const PixelShaderContext& context, int sampler, float u, float v) {
    if (sampler < 0 || sampler >= 16 || context.samplers == nullptr) return {0, 0, 0, 1};
    const auto* samplers = static_cast<const ShaderSamplers*>(context.samplers);
    const SamplerSetup& s = samplers->setup[sampler];
    if (!s.bound) return {0, 0, 0, 1};
    const SamplerChoice& c = samplers->choice[sampler];
    constexpr double kScale = double{1 << kTexelFraction};
    const SamplerLevel& first = s.levels[c.level0];
    DWORD texel = sampling::SampleLevel(s, first, c.linear,
                                        pixel_math::RoundToInt64(u * (first.width * kScale)),
                                        pixel_math::RoundToInt64(v * (first.height * kScale)));
    if (c.weight1 != 0) {
        const SamplerLevel& second = s.levels[c.level1];
        DWORD other = sampling::SampleLevel(s, second, c.linear,
                                            pixel_math::RoundToInt64(u * (second.width * kScale)),
                                            pixel_math::RoundToInt64(v * (second.height * kScale)));
        texel = sampling::MixLevels(texel, other, c.weight1);
    }
    auto channel = [texel](int i) {
        return static_cast<float>((texel >> (8 * i)) & 0xFF) * (1.0f / 255.0f);
    };
    return {channel(2), channel(1), channel(0), channel(3)};
}

namespace {

// The sampler's setup when a texture is bound there, else null.
const SamplerSetup* BoundSetup(const PixelShaderContext& context, int sampler) {
    if (sampler < 0 || sampler >= 16 || context.samplers == nullptr) return nullptr;
    const SamplerSetup& s = static_cast<const ShaderSamplers*>(context.samplers)->setup[sampler];
    return s.bound && s.levelCount > 0 ? &s : nullptr;
}

}  // namespace

ShaderFloat4 LoadTexel(const PixelShaderContext& context, int sampler, int x, int y) {
    const SamplerSetup* s = BoundSetup(context, sampler);
    if (s == nullptr) return {0, 0, 0, 1};
    const SamplerLevel& level = s->levels[0];
    x = std::clamp(x, 0, static_cast<int>(level.width) - 1);
    y = std::clamp(y, 0, static_cast<int>(level.height) - 1);
    DWORD texel = level.texels[static_cast<size_t>(y) * level.stride + x] | level.orMask;
    // A division, not a multiplication by 1/255, so that each value is exactly k / 255.
    auto channel = [texel](int i) {
        return static_cast<float>((texel >> (8 * i)) & 0xFF) / 255.0f;
    };
    return {channel(2), channel(1), channel(0), channel(3)};
}

bool GetSamplerTexels(const PixelShaderContext& context, int sampler, ShaderTexels* texels) {
    const SamplerSetup* s = BoundSetup(context, sampler);
    if (s == nullptr) {
        *texels = {};
        return false;
    }
    const SamplerLevel& level = s->levels[0];
    *texels = {level.texels, static_cast<int>(level.stride), static_cast<int>(level.width),
               static_cast<int>(level.height), level.orMask};
    return true;
}

bool GetSamplerTextureSize(const PixelShaderContext& context, int sampler, int* width,
                           int* height) {
    const SamplerSetup* s = BoundSetup(context, sampler);
    *width = s != nullptr ? static_cast<int>(s->levels[0].width) : 0;
    *height = s != nullptr ? static_cast<int>(s->levels[0].height) : 0;
    return s != nullptr;
}
