#include "graphics/prepare_draw.h"

#include "graphics/blend_states.h"
#include "graphics/draw_state.h"
#include "graphics/lights.h"
#include "graphics/render_state_cache.h"
#include "graphics/shaders.h"

void PrepareDrawStates(const TextureCreateFlags* flags, IDirect3DBaseTexture9* texture,
                       int drawFlags) {
    const DrawSettings& s = gDrawSettings;
    RenderStateCache& c = gRenderStates;
    if (!(drawFlags & kDrawKeepUserShaders)) {
        ApplyUserVertexShader(0);
        if (!AreBuiltinShadersOn()) ApplyUserPixelShader(0);
    }
    if ((drawFlags & kDrawLighting) && s.lighting.lightingOff == 0) {
        ApplyLights();
    } else {
        SetCachedLighting(0);
    }
    SetCachedSpecularEnable((drawFlags & kDrawSpecular) && s.specularEnable ? 1 : 0);
    const DepthSettings& depth = drawFlags & kDrawDepth3D ? s.depth3D : s.depth2D;
    if (depth.enable) {
        SetCachedZEnable(1);
        SetCachedZWriteEnable(depth.write);
        SetCachedZFunc(depth.func);
        SetCachedDepthBias(depth.bias);
    } else {
        SetCachedZEnable(0);
    }
    SetCachedFillMode(s.fillMode);
    if ((drawFlags & kDrawFog) && s.fogEnable) {
        SetCachedFogEnable(1);
        SetCachedFogMode(s.fogMode);
        SetCachedFogColor(s.fogColor);
        SetCachedFogRange(s.fogStart, s.fogEnd);
        SetCachedFogDensity(s.fogDensity);
    } else {
        SetCachedFogEnable(0);
    }

    if (!(drawFlags & kDrawSkipBlendStates)) {
        int useTextureAlpha = 0, colorKey = 0;
        if (texture != nullptr && (drawFlags & kDrawUseTextureAlpha) && flags != nullptr &&
            (flags->alphaChannel || flags->colorKeyAlpha)) {
            bool plainMode = s.blendMode == BlendOpaque || s.blendMode == BlendKeepDest;
            if (plainMode && !(drawFlags & kDrawTextureAlphaWhenLinear) &&
                s.samplingMode == kSamplingLinear) {
                useTextureAlpha = 1;
            } else {
                useTextureAlpha = flags->alphaChannel;
                colorKey = flags->colorKeyAlpha;
            }
        }
        SelectDrawTexture(texture);
        SetPendingIgnoreTextureColor(s.ignoreTextureColor);
        SetPendingBlendMode(s.blendMode, useTextureAlpha, colorKey);
        bool white = s.brightRed == 255 && s.brightGreen == 255 && s.brightBlue == 255;
        SetPendingModulateColor(!white || (drawFlags & kDrawModulateColor) ? 1 : 0);
        SetPendingModulateAlpha(s.blendMode != BlendOpaque || s.filterPassAlpha ||
                                        (drawFlags & kDrawModulateAlpha)
                                    ? 1
                                    : 0);
        SetPendingAlphaTest(s.alphaTestFunc, s.alphaTestRef);
        // Stages that a user pixel shader's textures took are the blend states' again.
        if (c.userPixelShader == 0 && TakeBackShaderTextureStages()) c.texturesDirty = 1;
        if (c.blendStatesDirty || c.texturesDirty ||
            (AreBuiltinShadersOn() && c.userPixelShader == 0)) {
            ApplyBlendStates(0, nullptr, 0);
        }
    }

    // A user pixel shader reads the shader textures, beside the drawn texture on stage 0.
    if (c.userPixelShader != 0) SendShaderTextures(texture != nullptr ? 1 : 0);

    SetCachedShadeMode(drawFlags & kDrawGouraud ? D3DSHADE_GOURAUD : D3DSHADE_FLAT);
    ApplyTextureFilterMode(s.samplingMode);
    ApplyMaxAnisotropy(s.maxAnisotropy);
    SetCachedCullMode(drawFlags & kDrawCullFromSettings ? s.cullMode : 0);
    for (int stage = 0; stage < kCachedStages; ++stage) {
        bool fromSettings = drawFlags & kDrawAddressFromSettings;
        constexpr int32_t kClamp = D3DTADDRESS_CLAMP;
        SetCachedAddressU(stage, fromSettings ? s.textureAddress[0][stage] : kClamp);
        SetCachedAddressV(stage, fromSettings ? s.textureAddress[1][stage] : kClamp);
    }
}
