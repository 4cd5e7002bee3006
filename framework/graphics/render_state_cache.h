// The render-state cache: every device state the drawing code changes goes through a setter
// here that keeps the last value sent, skips a value equal to it and otherwise draws the
// pending vertex batch before sending, so queued vertices keep the states they were queued
// under. While ResendAll is set every value is sent and nothing is flushed (after a device
// re-creation). Also the pending inputs of the blend states and the device's default states.
#pragma once

#include <platform/d3d9.h>

#include <cstdint>

#include "core/handle_registry.h"
#include "graphics/texture_stage_sets.h"

constexpr int kCachedRenderTargets = 16;
constexpr int kCachedLights = 8;
// The cached sampling mode before any draw: none of the valid ones, so the first draw sends.
constexpr int32_t kNoSamplingMode = 3;

// What one texture stage holds on the device (-1 = never sent).
struct CachedStage {
    IDirect3DBaseTexture9* texture;
    int32_t texCoordIndex;
    int32_t resultArg;
    int32_t alphaArg1, alphaArg2, alphaOp;
    int32_t colorArg1, colorArg2, colorOp;
};

// The blend-related states as last sent by the blend-state code.
struct CachedBlendStates {
    int32_t alphaFunc, alphaRef, alphaTestEnable, alphaBlendEnable;
    uint32_t textureFactor;
    int32_t srcBlend, destBlend, blendOp;
    CachedStage stages[kCachedStages];
};

struct RenderStateCache {
    int32_t ResendAll;
    int32_t sceneOpen;
    int32_t blendStatesDirty;
    int32_t texturesDirty;

    int32_t zEnable, zWriteEnable, zFunc;
    float depthBias;
    int32_t fillMode, shadeMode;
    int32_t cullMode;  // 0 none, 1 counter-clockwise, 2 clockwise
    int32_t lighting, specularEnable;
    int32_t diffuseMaterialSource, specularMaterialSource;
    D3DCOLOR ambient;
    int32_t fogEnable, fogMode;
    D3DCOLOR fogColor;
    float fogStart, fogEnd, fogDensity;
    int32_t samplingMode;
    int32_t maxAnisotropy[kCachedStages];
    int32_t addressU[kCachedStages], addressV[kCachedStages], addressW[kCachedStages];
    int32_t textureTransform;
    D3DVIEWPORT9 viewport;
    RECT scissor;
    IDirect3DSurface9* renderTargets[kCachedRenderTargets];
    Handle userVertexShader, userPixelShader;  // 0 = none
    DWORD fvf;
    IDirect3DVertexDeclaration9* declaration;
    D3DMATERIAL9 material;
    D3DLIGHT9 lights[kCachedLights];
    int32_t lightEnabled[kCachedLights];
    CachedBlendStates blend;

    // Pending inputs of the blend states.
    IDirect3DBaseTexture9* drawTexture;
    IDirect3DBaseTexture9* blendTexture;
    int32_t blendTextureWidth, blendTextureHeight;
    float blendTextureInvWidth, blendTextureInvHeight;
    int32_t blendMode;
    int32_t useTextureAlpha;
    int32_t colorKeyAlpha;
    int32_t ignoreTextureColor;
    int32_t modulateColor, modulateAlpha;
    int32_t alphaTestFunc;  // -1 = not set
    int32_t alphaTestRef;
    int32_t blendGraphType;  // -1 = no blend graph
    int32_t blendGraphParam1, blendGraphParam2;
};
extern RenderStateCache gRenderStates;

// The cached setters: -1 without a device, else 0.
int SetCachedZEnable(int value);
int SetCachedZWriteEnable(int value);
int SetCachedZFunc(int value);
int SetCachedDepthBias(float value);
int SetCachedFillMode(int value);
int SetCachedShadeMode(int value);
// 0 none, 1 counter-clockwise, 2 clockwise.
int SetCachedCullMode(int mode);
int SetCachedLighting(int value);
int SetCachedSpecularEnable(int value);
int SetCachedDiffuseMaterialSource(int fromVertex);
int SetCachedSpecularMaterialSource(int fromVertex);
int SetCachedAmbient(D3DCOLOR color);
int SetCachedFogEnable(int value);
// 0 none, 1 EXP, 2 EXP2, 3 LINEAR.
int SetCachedFogMode(int mode);
int SetCachedFogColor(D3DCOLOR color);
int SetCachedFogRange(float start, float end);
int SetCachedFogDensity(float density);
// Sampling mode 0 point, 1 linear, 2 anisotropic on stages 0 to 7; -1 for other modes.
// One sampler state of a stage through its cache array (one entry per stage); -1 for a stage
// beyond the cached ones.
int SetCachedSampler(int32_t* cache, int stage, D3DSAMPLERSTATETYPE type, int32_t value);
int ApplyTextureFilterMode(int mode);
int ApplyMaxAnisotropy(int value);
int SetCachedAddressU(int stage, int mode);
int SetCachedAddressV(int stage, int mode);
int SetCachedAddressW(int stage, int mode);
int SetCachedTextureTransform(int flags);
int ResetTexCoordIndexes();
// Both end an open scene before the device changes.
int ApplyViewport(const D3DVIEWPORT9* viewport);
int ApplyScissorRect(const RECT* rect);
int SetCachedMaterial(const D3DMATERIAL9* material);
int SetCachedLight(int index, const D3DLIGHT9* light);
int SetCachedLightEnable(int index, int enable);
// 0 (or less) unsets; -1 for a handle that is not a loaded shader of the kind.
int ApplyUserVertexShader(Handle shader);
int ApplyUserPixelShader(Handle shader);
// The vertex format the batch draws with; forgets the vertex declaration.
int SetCachedFvf(DWORD fvf);

// Pending inputs of the blend states: each compares, flushes the batch on a change (unless
// re-sending), stores and marks the blend states dirty; 0, also without a device.
int SetPendingBlendMode(int mode, int useTextureAlpha, int colorKeyAlpha);
int SetPendingIgnoreTextureColor(int on);
int SetPendingModulateColor(int on);
int SetPendingModulateAlpha(int on);
int SetPendingAlphaTest(int func, int ref);
// The public form: -1 without a device.
int ChangeAlphaTestState(int func, int ref);
// type -1 for no blend graph.
int SetPendingBlendGraphParams(int type, int param1, int param2);
// The texture of stage 0 for the next draws (null for untextured draws).
int SelectDrawTexture(IDirect3DBaseTexture9* texture);
// The blend graph's texture with its size (null for none).
int SelectBlendTexture(IDirect3DBaseTexture9* texture, int width, int height);

// Before the device goes: no scene, target, texture or pending vertex of it is kept.
void ForgetDeviceStates();
// Before a reference to a device object is released: vertices queued to draw with it are drawn
// while it still exists.
void DrawQueuedVerticesOf(const void* object);
// After a device object's last reference went: the device has dropped it from its bindings,
// and no cache may name it, for an object made later may take its address.
void ForgetReleasedObject(const void* object);
// The render-state defaults of a new device, in the cache and on the device; -1 without one.
// The caller then sends the draw states and opens the scene.
int ApplyDeviceDefaultStates();
// The base stage states the cached draw states build on.
int ResetBaseStageStates();
// A grid of 28-byte textured vertices (rows x columns) as indexed triangle strips.
int DrawVertexGridStrips(int columns, const void* vertices, int rows);
