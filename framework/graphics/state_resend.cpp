#include "graphics/state_resend.h"

#include "graphics/blend_states.h"
#include "graphics/d3d_device.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/device_transforms.h"
#include "graphics/draw_state.h"
#include "graphics/render_state_cache.h"
#include "graphics/shader_constants.h"
#include "graphics/shaders.h"

namespace {

void SendSamplerStates() {
    RenderStateCache& c = gRenderStates;
    for (int stage = 0; stage < kCachedStages; ++stage) {
        SetCachedAddressU(stage, c.addressU[stage]);
        SetCachedAddressV(stage, c.addressV[stage]);
        SetCachedAddressW(stage, c.addressW[stage]);
        SetCachedSampler(c.maxAnisotropy, stage, D3DSAMP_MAXANISOTROPY, c.maxAnisotropy[stage]);
    }
    ApplyTextureFilterMode(c.samplingMode);
}

}  // namespace

int ResendAllRenderStates() {
    RenderStateCache& c = gRenderStates;
    if (!HasDirect3DDevice()) return -1;
    c.ResendAll = 1;
    DeviceSetRenderState(D3DRS_DITHERENABLE, FALSE);
    SetPendingBlendMode(c.blendMode, c.useTextureAlpha, c.colorKeyAlpha);
    SetPendingIgnoreTextureColor(c.ignoreTextureColor);
    SetPendingModulateColor(c.modulateColor);
    SetPendingModulateAlpha(c.modulateAlpha);
    SetPendingAlphaTest(c.alphaTestFunc, c.alphaTestRef);
    SetPendingBlendGraphParams(c.blendGraphType, c.blendGraphParam1, c.blendGraphParam2);
    SetCachedCullMode(c.cullMode);
    ApplyTextureFilterMode(c.samplingMode);
    SetCachedShadeMode(c.shadeMode);
    for (int stage = 0; stage < kCachedStages; ++stage) {
        SetCachedSampler(c.maxAnisotropy, stage, D3DSAMP_MAXANISOTROPY, c.maxAnisotropy[stage]);
    }
    for (int stage = 0; stage < kCachedStages; ++stage) {
        SetCachedAddressU(stage, c.addressU[stage]);
        SetCachedAddressV(stage, c.addressV[stage]);
        SetCachedAddressW(stage, c.addressW[stage]);
    }
    SetCachedTextureTransform(c.textureTransform);
    ComputeShaderVariantIndex();
    SetCachedFogEnable(c.fogEnable);
    SetCachedFogMode(c.fogMode);
    SetCachedFogColor(c.fogColor);
    SetCachedFogRange(c.fogStart, c.fogEnd);
    SetCachedFogDensity(c.fogDensity);
    SetCachedZEnable(c.zEnable);
    SetCachedZWriteEnable(c.zWriteEnable);
    SetCachedZFunc(c.zFunc);
    SetCachedDepthBias(c.depthBias);
    SetCachedFillMode(c.fillMode);
    const DrawSettings& s = gDrawSettings;
    ApplyWorldMatrix(&s.worldMatrix);
    ApplyViewMatrix(&s.viewMatrix);
    ApplyProjectionMatrix(&s.projectionMatrix);
    SetCachedMaterial(&c.material);
    SetCachedSpecularEnable(c.specularEnable);
    SetCachedDiffuseMaterialSource(c.diffuseMaterialSource == D3DMCS_COLOR1);
    SetCachedSpecularMaterialSource(c.specularMaterialSource == D3DMCS_COLOR2);
    SetCachedAmbient(c.ambient);
    SetCachedLighting(c.lighting);
    for (int i = 0; i < kCachedLights; ++i) {
        if (c.lights[i].Type != 0) SetCachedLight(i, &c.lights[i]);
        SetCachedLightEnable(i, c.lightEnabled[i]);
    }
    ApplyViewport(&c.viewport);
    ApplyScissorRect(&c.scissor);
    DeviceSetTextureStageState(0, D3DTSS_TEXCOORDINDEX,
                               static_cast<DWORD>(c.blend.stages[0].texCoordIndex));
    ApplyBlendStates(0, nullptr, 0);
    ResendCachedDrawStates(0);
    c.ResendAll = 0;
    return 0;
}

int ResendCachedDrawStates(int flags) {
    RenderStateCache& c = gRenderStates;
    if (!HasDirect3DDevice()) return -1;
    c.ResendAll = 1;
    ResetBaseStageStates();
    ApplyViewport(&c.viewport);
    const DrawSettings& s = gDrawSettings;
    ApplyWorldMatrix(&s.worldMatrix);
    ApplyViewMatrix(&s.viewMatrix);
    ApplyProjectionMatrix(&s.projectionMatrix);
    DeviceSetTexture(0, c.blend.stages[0].texture);
    SendSamplerStates();
    ApplyBlendStates(0, nullptr, flags);
    SetCachedZEnable(c.zEnable);
    SetCachedZWriteEnable(c.zWriteEnable);
    SetCachedZFunc(c.zFunc);
    SetCachedDepthBias(c.depthBias);
    SetCachedFillMode(c.fillMode);
    SetCachedCullMode(c.cullMode);
    SetCachedShadeMode(c.shadeMode);
    SetCachedMaterial(&c.material);
    SetCachedSpecularEnable(c.specularEnable);
    SetCachedDiffuseMaterialSource(c.diffuseMaterialSource == D3DMCS_COLOR1);
    SetCachedSpecularMaterialSource(c.specularMaterialSource == D3DMCS_COLOR2);
    UploadAllShaderConstants(&gShaderConstCache);
    c.ResendAll = 0;
    return 0;
}
