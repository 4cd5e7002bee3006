// The render-state cache: the cached setters, the pending blend inputs, the device defaults and
// the full re-send after a device re-creation.
#include "graphics/render_state_cache.h"

#include <cstring>

#include "core/log.h"
#include "graphics/d3d_device.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/device_resources.h"
#include "graphics/draw_state.h"
#include "graphics/screen_state.h"
#include "graphics/shaders.h"
#include "graphics/vertex_batch.h"

RenderStateCache gRenderStates = {};

namespace {

constexpr int kIndexesPerGridCall = 1000;
constexpr DWORD kGridFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
constexpr UINT kGridStride = 28;

RenderStateCache& Cache() {
    return gRenderStates;
}

DWORD FloatBits(float value) {
    DWORD bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// The batch is drawn under the states it was queued with before a state changes, except while
// everything is re-sent.
void FlushUnlessResending() {
    if (!Cache().ResendAll) FlushVertexBatchNow();
}

// The cached-setter rule for one value: -1 without a device, nothing for an unchanged value,
// else flush, send and keep.
template <class T, class Send>
int SetCached(T* cache, T value, Send send) {
    if (!HasDirect3DDevice()) return -1;
    if (!Cache().ResendAll && *cache == value) return 0;
    FlushUnlessResending();
    send();
    *cache = value;
    return 0;
}

int SetCachedRenderState(int32_t* cache, D3DRENDERSTATETYPE state, int32_t value) {
    return SetCached(cache, value, [&] { DeviceSetRenderState(state, static_cast<DWORD>(value)); });
}

}  // namespace

int SetCachedSampler(int32_t* cache, int stage, D3DSAMPLERSTATETYPE type, int32_t value) {
    if (stage < 0 || stage >= kCachedStages) return -1;
    return SetCached(&cache[stage], value, [&] {
        DeviceSetSamplerState(static_cast<DWORD>(stage), type, static_cast<DWORD>(value));
    });
}

namespace {

// The same, for the pending blend inputs: 0 without a device, and a change marks the blend
// states dirty.
template <class T>
int SetPending(T* cache, T value) {
    if (!HasDirect3DDevice()) return 0;
    if (!Cache().ResendAll && *cache == value) return 0;
    FlushUnlessResending();
    *cache = value;
    Cache().blendStatesDirty = 1;
    return 0;
}

// A user shader of the kind (0 or less: none); nothing is sent while everything is re-sent.
template <class Send>
int ApplyUserShader(Handle* cache, Handle shader, int isVertex, Send send) {
    if (!HasDirect3DDevice()) return -1;
    if (shader < 0) shader = 0;
    IUnknown* object = shader != 0 ? GetShaderObject(shader, isVertex) : nullptr;
    if (shader != 0 && object == nullptr) return -1;
    if (Cache().ResendAll || *cache == shader) return 0;
    FlushVertexBatchNow();
    send(object);
    *cache = shader;
    return 0;
}

struct FilterTriple {
    DWORD mag, min, mip;
};

// By sampling mode: point, linear, anisotropic.
constexpr FilterTriple kFilterTriples[3] = {
    {D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE},
    {D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_NONE},
    {D3DTEXF_LINEAR, D3DTEXF_ANISOTROPIC, D3DTEXF_LINEAR},
};

void SendFilterTriple(int mode) {
    const FilterTriple& f = kFilterTriples[mode];
    for (DWORD stage = 0; stage < kCachedStages; ++stage) {
        DeviceSetSamplerState(stage, D3DSAMP_MAGFILTER, f.mag);
        DeviceSetSamplerState(stage, D3DSAMP_MINFILTER, f.min);
        DeviceSetSamplerState(stage, D3DSAMP_MIPFILTER, f.mip);
    }
}

bool SameViewport(const D3DVIEWPORT9& a, const D3DVIEWPORT9& b) {
    return a.X == b.X && a.Y == b.Y && a.Width == b.Width && a.Height == b.Height;
}

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// The samplers' address modes from the draw settings, a zero entry read as CLAMP.
void FillZeroAddressModes() {
    for (auto& axis : gDrawSettings.textureAddress) {
        for (int32_t& mode : axis) {
            if (mode == 0) mode = D3DTADDRESS_CLAMP;
        }
    }
}

// Registered before main: a device object released on any path, before graphics start-up
// included, reaches the cache.
[[maybe_unused]] const bool kReleaseHooksSet = [] {
    SetDeviceObjectReleaseHooks({DrawQueuedVerticesOf, ForgetReleasedObject});
    return true;
}();

}  // namespace

int SetCachedZEnable(int value) {
    return SetCachedRenderState(&Cache().zEnable, D3DRS_ZENABLE, value);
}

int SetCachedZWriteEnable(int value) {
    return SetCachedRenderState(&Cache().zWriteEnable, D3DRS_ZWRITEENABLE, value);
}

int SetCachedZFunc(int value) {
    return SetCachedRenderState(&Cache().zFunc, D3DRS_ZFUNC, value);
}

int SetCachedDepthBias(float value) {
    return SetCached(&Cache().depthBias, value,
                     [&] { DeviceSetRenderState(D3DRS_DEPTHBIAS, FloatBits(value)); });
}

int SetCachedFillMode(int value) {
    return SetCachedRenderState(&Cache().fillMode, D3DRS_FILLMODE, value);
}

int SetCachedShadeMode(int value) {
    return SetCachedRenderState(&Cache().shadeMode, D3DRS_SHADEMODE, value);
}

int SetCachedCullMode(int mode) {
    static constexpr DWORD kCull[3] = {D3DCULL_NONE, D3DCULL_CCW, D3DCULL_CW};
    if (mode < 0 || mode > 2) return -1;
    return SetCached(&Cache().cullMode, static_cast<int32_t>(mode),
                     [&] { DeviceSetRenderState(D3DRS_CULLMODE, kCull[mode]); });
}

int SetCachedLighting(int value) {
    return SetCachedRenderState(&Cache().lighting, D3DRS_LIGHTING, value);
}

int SetCachedSpecularEnable(int value) {
    return SetCachedRenderState(&Cache().specularEnable, D3DRS_SPECULARENABLE, value);
}

int SetCachedDiffuseMaterialSource(int fromVertex) {
    return SetCachedRenderState(&Cache().diffuseMaterialSource, D3DRS_DIFFUSEMATERIALSOURCE,
                                fromVertex != 0 ? D3DMCS_COLOR1 : D3DMCS_MATERIAL);
}

int SetCachedSpecularMaterialSource(int fromVertex) {
    return SetCachedRenderState(&Cache().specularMaterialSource, D3DRS_SPECULARMATERIALSOURCE,
                                fromVertex != 0 ? D3DMCS_COLOR2 : D3DMCS_MATERIAL);
}

int SetCachedAmbient(D3DCOLOR color) {
    return SetCached(&Cache().ambient, color, [&] { DeviceSetRenderState(D3DRS_AMBIENT, color); });
}

int SetCachedFogEnable(int value) {
    if (!HasDirect3DDevice()) return 0;
    SetCachedRenderState(&Cache().fogEnable, D3DRS_FOGENABLE, value);
    ComputeShaderVariantIndex();
    return 0;
}

int SetCachedFogMode(int mode) {
    if (!HasDirect3DDevice()) return 0;
    return SetCached(&Cache().fogMode, static_cast<int32_t>(mode), [&] {
        DeviceSetRenderState(D3DRS_FOGVERTEXMODE, static_cast<DWORD>(mode));
        if (AreBuiltinShadersOn()) {
            const BOOL modes[4] = {mode == D3DFOG_LINEAR, mode == D3DFOG_EXP, mode == D3DFOG_EXP2,
                                   mode != D3DFOG_NONE};
            StoreShaderConstants(&gShaderConstCache, kShaderConstVertexBool, 0, 0, modes, 4, 1);
        }
    });
}

int SetCachedFogColor(D3DCOLOR color) {
    if (!HasDirect3DDevice()) return 0;
    return SetCached(&Cache().fogColor, color,
                     [&] { DeviceSetRenderState(D3DRS_FOGCOLOR, color); });
}

int SetCachedFogRange(float start, float end) {
    RenderStateCache& c = Cache();
    if (!HasDirect3DDevice()) return 0;
    if (!c.ResendAll && c.fogStart == start && c.fogEnd == end) return 0;
    FlushUnlessResending();
    DeviceSetRenderState(D3DRS_FOGSTART, FloatBits(start));
    DeviceSetRenderState(D3DRS_FOGEND, FloatBits(end));
    c.fogStart = start;
    c.fogEnd = end;
    return 0;
}

int SetCachedFogDensity(float density) {
    if (!HasDirect3DDevice()) return 0;
    return SetCached(&Cache().fogDensity, density,
                     [&] { DeviceSetRenderState(D3DRS_FOGDENSITY, FloatBits(density)); });
}

int ApplyTextureFilterMode(int mode) {
    if (mode < 0 || mode > 2) return -1;
    return SetCached(&Cache().samplingMode, static_cast<int32_t>(mode),
                     [&] { SendFilterTriple(mode); });
}

int ApplyMaxAnisotropy(int value) {
    if (!HasDirect3DDevice()) return -1;
    for (int stage = 0; stage < kCachedStages; ++stage) {
        SetCachedSampler(Cache().maxAnisotropy, stage, D3DSAMP_MAXANISOTROPY, value);
    }
    return 0;
}

int SetCachedAddressU(int stage, int mode) {
    return SetCachedSampler(Cache().addressU, stage, D3DSAMP_ADDRESSU, mode);
}

int SetCachedAddressV(int stage, int mode) {
    return SetCachedSampler(Cache().addressV, stage, D3DSAMP_ADDRESSV, mode);
}

int SetCachedAddressW(int stage, int mode) {
    return SetCachedSampler(Cache().addressW, stage, D3DSAMP_ADDRESSW, mode);
}

int SetCachedTextureTransform(int flags) {
    return SetCached(&Cache().textureTransform, static_cast<int32_t>(flags), [&] {
        D3DMATRIX identity{};
        for (int i = 0; i < 4; ++i) identity.m[i][i] = 1.0f;
        for (DWORD stage = 0; stage < 4; ++stage) {
            DeviceSetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS,
                                       static_cast<DWORD>(flags));
            DeviceSetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + stage),
                               &identity);
        }
    });
}

int ResetTexCoordIndexes() {
    if (!HasDirect3DDevice()) return -1;
    for (int stage = 0; stage < kCachedStages; ++stage) {
        SetCached(&Cache().blend.stages[stage].texCoordIndex, static_cast<int32_t>(stage), [&] {
            DeviceSetTextureStageState(static_cast<DWORD>(stage), D3DTSS_TEXCOORDINDEX,
                                       static_cast<DWORD>(stage));
        });
    }
    return 0;
}

int ApplyViewport(const D3DVIEWPORT9* viewport) {
    RenderStateCache& c = Cache();
    if (!HasDirect3DDevice()) return -1;
    if (!c.ResendAll && SameViewport(c.viewport, *viewport)) return 0;
    FlushUnlessResending();
    CloseDeviceScene();
    HRESULT result = DeviceSetViewport(viewport);
    if (FAILED(result)) {
        EmitLogFormat("ビューポートのセットに失敗しました ErrorCode %x",
                      static_cast<unsigned>(result));
    }
    c.viewport = *viewport;
    return 0;
}

int ApplyScissorRect(const RECT* rect) {
    RenderStateCache& c = Cache();
    if (!HasDirect3DDevice()) return -1;
    if (!c.ResendAll && SameRect(c.scissor, *rect)) return 0;
    FlushUnlessResending();
    CloseDeviceScene();
    DeviceSetScissorRect(rect);
    c.scissor = *rect;
    return 0;
}

int SetCachedMaterial(const D3DMATERIAL9* material) {
    RenderStateCache& c = Cache();
    if (!HasDirect3DDevice()) return -1;
    if (!c.ResendAll && std::memcmp(&c.material, material, sizeof *material) == 0) return 0;
    FlushUnlessResending();
    DeviceSetMaterial(material);
    c.material = *material;
    return 0;
}

int SetCachedLight(int index, const D3DLIGHT9* light) {
    RenderStateCache& c = Cache();
    if (!HasDirect3DDevice()) return -1;
    bool cached = index >= 0 && index < kCachedLights;
    if (cached && !c.ResendAll && std::memcmp(&c.lights[index], light, sizeof *light) == 0) {
        return 0;
    }
    FlushUnlessResending();
    DeviceSetLight(static_cast<DWORD>(index), light);
    if (cached) c.lights[index] = *light;
    return 0;
}

int SetCachedLightEnable(int index, int enable) {
    RenderStateCache& c = Cache();
    if (!HasDirect3DDevice()) return -1;
    bool cached = index >= 0 && index < kCachedLights;
    if (cached && !c.ResendAll && c.lightEnabled[index] == enable) return 0;
    FlushUnlessResending();
    DeviceLightEnable(static_cast<DWORD>(index), enable);
    if (cached) c.lightEnabled[index] = enable;
    return 0;
}

int ApplyUserVertexShader(Handle shader) {
    return ApplyUserShader(&Cache().userVertexShader, shader, 1, [](IUnknown* object) {
        DeviceSetVertexShader(static_cast<IDirect3DVertexShader9*>(object));
    });
}

int ApplyUserPixelShader(Handle shader) {
    return ApplyUserShader(&Cache().userPixelShader, shader, 0, [](IUnknown* object) {
        DeviceSetPixelShader(static_cast<IDirect3DPixelShader9*>(object));
    });
}

int SetCachedFvf(DWORD fvf) {
    RenderStateCache& c = Cache();
    if (!HasDirect3DDevice()) return -1;
    if (!c.ResendAll && c.fvf == fvf && c.declaration == nullptr) return 0;
    DeviceSetFVF(fvf);
    c.fvf = fvf;
    c.declaration = nullptr;
    return 0;
}

int SetPendingBlendMode(int mode, int useTextureAlpha, int colorKeyAlpha) {
    RenderStateCache& c = Cache();
    if (!HasDirect3DDevice()) return 0;
    if (!c.ResendAll && c.blendMode == mode && c.useTextureAlpha == useTextureAlpha &&
        c.colorKeyAlpha == colorKeyAlpha) {
        return 0;
    }
    FlushUnlessResending();
    c.blendMode = mode;
    c.useTextureAlpha = useTextureAlpha;
    c.colorKeyAlpha = colorKeyAlpha;
    c.blendStatesDirty = 1;
    return 0;
}

int SetPendingIgnoreTextureColor(int on) {
    return SetPending(&Cache().ignoreTextureColor, static_cast<int32_t>(on));
}

int SetPendingModulateColor(int on) {
    return SetPending(&Cache().modulateColor, static_cast<int32_t>(on));
}

int SetPendingModulateAlpha(int on) {
    return SetPending(&Cache().modulateAlpha, static_cast<int32_t>(on));
}

int SetPendingAlphaTest(int func, int ref) {
    RenderStateCache& c = Cache();
    if (!HasDirect3DDevice()) return 0;
    if (!c.ResendAll && c.alphaTestFunc == func && c.alphaTestRef == ref) return 0;
    FlushUnlessResending();
    c.alphaTestFunc = func;
    c.alphaTestRef = ref;
    c.blendStatesDirty = 1;
    return 0;
}

int ChangeAlphaTestState(int func, int ref) {
    if (!HasDirect3DDevice()) return -1;
    gDrawSettings.alphaTestFunc = func;
    gDrawSettings.alphaTestRef = ref;
    return SetPendingAlphaTest(func, ref);
}

int SetPendingBlendGraphParams(int type, int param1, int param2) {
    RenderStateCache& c = Cache();
    if (!HasDirect3DDevice()) return 0;
    if (!c.ResendAll && c.blendGraphType == type && c.blendGraphParam1 == param1 &&
        c.blendGraphParam2 == param2) {
        return 0;
    }
    FlushUnlessResending();
    c.blendGraphType = type;
    c.blendGraphParam1 = param1;
    c.blendGraphParam2 = param2;
    c.blendStatesDirty = 1;
    return 0;
}

int SelectDrawTexture(IDirect3DBaseTexture9* texture) {
    RenderStateCache& c = Cache();
    if (!HasDirect3DDevice()) return 0;
    if (!c.ResendAll && c.drawTexture == texture) return 0;
    FlushUnlessResending();
    c.texturesDirty = 1;
    if ((c.drawTexture == nullptr) != (texture == nullptr)) c.blendStatesDirty = 1;
    c.drawTexture = texture;
    return 0;
}

int SelectBlendTexture(IDirect3DBaseTexture9* texture, int width, int height) {
    RenderStateCache& c = Cache();
    if (!HasDirect3DDevice()) return 0;
    if (!c.ResendAll && c.blendTexture == texture && c.blendTextureWidth == width &&
        c.blendTextureHeight == height) {
        return 0;
    }
    FlushUnlessResending();
    c.texturesDirty = 1;
    if ((c.blendTexture == nullptr) != (texture == nullptr)) c.blendStatesDirty = 1;
    c.blendTexture = texture;
    c.blendTextureWidth = width;
    c.blendTextureHeight = height;
    c.blendTextureInvWidth = width > 0 ? 1.0f / static_cast<float>(width) : 0.0f;
    c.blendTextureInvHeight = height > 0 ? 1.0f / static_cast<float>(height) : 0.0f;
    return 0;
}

void DrawQueuedVerticesOf(const void* object) {
    const RenderStateCache& c = Cache();
    if (gVertexBatch.vertexCount > 0 && (c.drawTexture == object || c.blendTexture == object)) {
        FlushVertexBatchNow();
    }
}

void ForgetReleasedObject(const void* object) {
    RenderStateCache& c = Cache();
    // What draws next must be sent, and the stage set built again for it.
    if (c.drawTexture == object || c.blendTexture == object) {
        c.texturesDirty = c.blendStatesDirty = 1;
    }
    if (c.drawTexture == object) c.drawTexture = nullptr;
    if (c.blendTexture == object) c.blendTexture = nullptr;
    // The device holds nothing where it held the object.
    for (CachedStage& stage : c.blend.stages) {
        if (stage.texture == object) stage.texture = nullptr;
    }
    for (IDirect3DSurface9*& target : c.renderTargets) {
        if (target == object) target = nullptr;
    }
    if (c.declaration == object) c.declaration = nullptr;
}

void ForgetDeviceStates() {
    RenderStateCache& c = Cache();
    c.sceneOpen = 0;
    std::memset(c.renderTargets, 0, sizeof c.renderTargets);
    c.drawTexture = nullptr;
    c.blendTexture = nullptr;
    c.blend = CachedBlendStates{};
    c.fvf = 0;
    c.declaration = nullptr;
    ResetVertexBatch();
}

int ApplyDeviceDefaultStates() {
    RenderStateCache& c = Cache();
    if (!HasDirect3DDevice()) return -1;
    PrefillVertexBatchBuffers();

    FillZeroAddressModes();
    const DrawSettings& s = gDrawSettings;
    for (DWORD stage = 0; stage < kCachedStages; ++stage) {
        DeviceSetSamplerState(stage, D3DSAMP_ADDRESSU, s.textureAddress[0][stage]);
        DeviceSetSamplerState(stage, D3DSAMP_ADDRESSV, s.textureAddress[1][stage]);
        DeviceSetSamplerState(stage, D3DSAMP_ADDRESSW, s.textureAddress[2][stage]);
        c.maxAnisotropy[stage] = 1;
    }
    if (c.samplingMode >= 0 && c.samplingMode <= 2) SendFilterTriple(c.samplingMode);

    DeviceSetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    DeviceSetRenderState(D3DRS_LIGHTING, TRUE);
    DeviceSetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    DeviceSetRenderState(D3DRS_DITHERENABLE, FALSE);
    DeviceSetRenderState(D3DRS_SPECULARENABLE, TRUE);
    DeviceSetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
    DeviceSetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
    DeviceSetRenderState(D3DRS_FOGENABLE, FALSE);
    DeviceSetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_NONE);
    DeviceSetRenderState(D3DRS_FOGCOLOR, 0);
    DeviceSetRenderState(D3DRS_FOGSTART, FloatBits(0.0f));
    DeviceSetRenderState(D3DRS_FOGEND, FloatBits(1.0f));
    DeviceGetMaterial(&c.material);

    c.blend = CachedBlendStates{};
    c.viewport = {0,
                  0,
                  static_cast<DWORD>(gScreen.screenWidth),
                  static_cast<DWORD>(gScreen.screenHeight),
                  0.0f,
                  1.0f};
    c.alphaTestFunc = -1;
    c.alphaTestRef = 0;
    for (int stage = 0; stage < kCachedStages; ++stage) {
        c.addressU[stage] = s.textureAddress[0][stage];
        c.addressV[stage] = s.textureAddress[1][stage];
        c.addressW[stage] = s.textureAddress[2][stage];
    }
    c.zEnable = 1;
    c.zWriteEnable = 0;
    c.zFunc = D3DCMP_LESSEQUAL;
    c.depthBias = 0.0f;
    c.fillMode = D3DFILL_SOLID;
    c.shadeMode = D3DSHADE_FLAT;
    c.cullMode = 0;
    c.lighting = 1;
    c.specularEnable = 1;
    c.fogEnable = 0;
    c.fogMode = D3DFOG_NONE;
    c.fogColor = 0;
    c.fogStart = 0.0f;
    c.fogEnd = 1.0f;
    c.samplingMode = kNoSamplingMode;
    std::memset(c.renderTargets, 0, sizeof c.renderTargets);
    c.renderTargets[0] = gDeviceResources.backBuffer;
    c.sceneOpen = 0;
    c.drawTexture = nullptr;
    c.blendTexture = nullptr;
    c.blendGraphType = -1;
    ResetVertexBatch();
    return 0;
}

int ResetBaseStageStates() {
    RenderStateCache& c = Cache();
    if (!HasDirect3DDevice()) return -1;
    static constexpr int32_t kBaseTexCoordIndexes[4] = {0, 1, 1, 0};
    static constexpr float kVertexConstant0[4] = {0.0f, 1.0f, 0.0f, 0.0f};
    static constexpr float kPixelConstant0[4] = {0.0f, 0.5f, 1.0f, 2.0f};
    for (int stage = 0; stage < 4; ++stage) {
        DWORD s = static_cast<DWORD>(stage);
        CachedStage& cached = c.blend.stages[stage];
        DeviceSetSamplerState(s, D3DSAMP_ADDRESSU, static_cast<DWORD>(c.addressU[stage]));
        DeviceSetSamplerState(s, D3DSAMP_ADDRESSV, static_cast<DWORD>(c.addressV[stage]));
        DeviceSetTextureStageState(s, D3DTSS_TEXCOORDINDEX,
                                   static_cast<DWORD>(kBaseTexCoordIndexes[stage]));
        cached.texCoordIndex = kBaseTexCoordIndexes[stage];
        if (gDeviceResources.tempRegister) {
            DeviceSetTextureStageState(s, D3DTSS_RESULTARG, D3DTA_CURRENT);
            cached.resultArg = D3DTA_CURRENT;
        }
    }
    DeviceSetRenderState(D3DRS_SHADEMODE, static_cast<DWORD>(c.shadeMode));
    DeviceSetRenderState(D3DRS_LIGHTING, static_cast<DWORD>(c.lighting));
    DeviceSetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    c.cullMode = 0;
    DeviceSetRenderState(D3DRS_DITHERENABLE, FALSE);
    StoreShaderConstants(&gShaderConstCache, kShaderConstVertexFloat, 0, 0, kVertexConstant0, 1, 1);
    StoreShaderConstants(&gShaderConstCache, kShaderConstPixelFloat, 0, 0, kPixelConstant0, 1, 1);
    DeviceSetVertexShader(nullptr);
    DeviceSetPixelShader(nullptr);
    c.userVertexShader = 0;
    c.userPixelShader = 0;
    c.fvf = 0;
    c.declaration = nullptr;
    return 0;
}

int DrawVertexGridStrips(int columns, const void* vertices, int rows) {
    RenderStateCache& c = Cache();
    if (!HasDirect3DDevice()) return -1;
    if (columns < 2 || rows < 2) return 0;
    FlushVertexBatchNow();
    if (!c.sceneOpen) OpenDeviceScene();
    DWORD previous = c.fvf;
    SetCachedFvf(kGridFvf);
    // Each row pair is a strip of 2 x columns indexes, cut into calls that overlap by one
    // column so that no triangle is lost at a cut.
    const int stripLength = 2 * columns;
    for (int row = 0; row + 1 < rows; ++row) {
        for (int start = 0; start + 2 < stripLength; start += kIndexesPerGridCall - 2) {
            int count = stripLength - start < kIndexesPerGridCall ? stripLength - start
                                                                  : kIndexesPerGridCall;
            uint16_t indexes[kIndexesPerGridCall];
            for (int i = 0; i < count; ++i) {
                int column = (start + i) / 2;
                int rowOf = row + (start + i) % 2;
                indexes[i] = static_cast<uint16_t>(rowOf * columns + column);
            }
            DeviceDrawIndexedPrimitiveUP(D3DPT_TRIANGLESTRIP, static_cast<UINT>(row * columns),
                                         static_cast<UINT>(2 * columns),
                                         static_cast<UINT>(count - 2), indexes, D3DFMT_INDEX16,
                                         vertices, kGridStride);
        }
    }
    if (previous != 0) SetCachedFvf(previous);
    return 0;
}
