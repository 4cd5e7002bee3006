// The blend-state table, the generated texture-stage sets and ApplyBlendStates.
//
// Stage sets, by what is drawn (T texture, D vertex colour, B blend graph value, F texture
// factor):
// - untextured: colour D (kind 1 D faded to F by D's alpha, kind 2 1 - D, kind 3 D x white x 4),
//   alpha D;
// - textured: colour T, or T x D when the bright is not white (kind 2 1 - T, kind 3 T x D x 4;
//   kind 1 then fades the colour to F by the alpha in a second stage); alpha D, or the
//   texture's alpha (times D when the blend mode uses it);
// - blend graph type 0: alpha weighted by B x F's alpha (the blend graph's parameter); type 2:
//   by B alone, with the graph's texture first; type 1: B moved by F's alpha (added or
//   subtracted) and scaled by the ramp's band, then times the texture's alpha (or the
//   two-texture vertex's white specular) and D.
//
// While the built-in shaders are on and no user pixel shader is, the shader standing for the
// stage set draws instead: the same textures on the same stages, the factor (or the ramp) in
// constant c5, no stage operations sent.
#include "graphics/blend_states.h"

#include <cstring>

#include "graphics/builtin_shaders.h"
#include "graphics/d3d_device.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/device_resources.h"
#include "graphics/draw_state.h"
#include "graphics/graph_records.h"
#include "graphics/pixel_format_table.h"
#include "graphics/shader_constants.h"
#include "graphics/shaders.h"
#include "graphics/vertex_batch.h"
#include "image/image_loaders.h"
#include "image/pixel_convert.h"

const BlendStateRow BlendStateTable[kBlendModeCount] = {
    {-1, -1, kShaderKindPlain, D3DBLENDOP_ADD},                                       // 0
    {D3DBLEND_INVSRCALPHA, D3DBLEND_SRCALPHA, kShaderKindPlain, D3DBLENDOP_ADD},      // 1
    {D3DBLEND_ONE, D3DBLEND_SRCALPHA, kShaderKindPlain, D3DBLENDOP_ADD},              // 2
    {D3DBLEND_ZERO, D3DBLEND_INVDESTCOLOR, kShaderKindPlain, D3DBLENDOP_ADD},         // 3
    {D3DBLEND_SRCCOLOR, D3DBLEND_ZERO, kShaderKindPlain, D3DBLENDOP_ADD},             // 4
    {D3DBLEND_ONE, D3DBLEND_SRCALPHA, kShaderKindPlain, D3DBLENDOP_ADD},              // 5
    {-1, -1, kShaderKindPlain, D3DBLENDOP_ADD},                                       // 6
    {-1, -1, kShaderKindPlain, D3DBLENDOP_ADD},                                       // 7
    {D3DBLEND_ONE, D3DBLEND_ZERO, kShaderKindPlain, D3DBLENDOP_ADD},                  // 8
    {D3DBLEND_ZERO, D3DBLEND_INVDESTCOLOR, kShaderKindPlain, D3DBLENDOP_ADD},         // 9
    {D3DBLEND_INVSRCALPHA, D3DBLEND_SRCALPHA, kShaderKindInverted, D3DBLENDOP_ADD},   // 10
    {D3DBLEND_SRCCOLOR, D3DBLEND_ZERO, kShaderKindFadedMultiply, D3DBLENDOP_ADD},     // 11
    {D3DBLEND_INVSRCALPHA, D3DBLEND_SRCALPHA, kShaderKindTimesFour, D3DBLENDOP_ADD},  // 12
    {D3DBLEND_ONE, D3DBLEND_SRCALPHA, kShaderKindTimesFour, D3DBLENDOP_ADD},          // 13
    {D3DBLEND_ZERO, D3DBLEND_ONE, kShaderKindPlain, D3DBLENDOP_ADD},                  // 14
    {D3DBLEND_INVSRCALPHA, D3DBLEND_ONE, kShaderKindPlain, D3DBLENDOP_ADD},           // 15
    {D3DBLEND_ONE, D3DBLEND_SRCALPHA, kShaderKindPlain, D3DBLENDOP_REVSUBTRACT},      // 16
};

namespace {

constexpr uint32_t kWhiteFactor = 0xFFFFFFFF;
constexpr int kWhiteTextureSize = 8;
// An 8 x 8 run-length TGA of white pixels: the 18-byte header (run-length true colour, 8 x 8,
// 32 bits, top-down, 8 alpha bits), then one packet of 64 repeats.
constexpr uint8_t kWhiteTga[] = {0, 0, 10, 0, 0,  0,    0,    0,    0,    0,    0,   0,
                                 8, 0, 8,  0, 32, 0x28, 0xBF, 0xFF, 0xFF, 0xFF, 0xFF};

struct BlendStateModule {
    TextureStageSet applied;  // the stage set on the device, for texture-only updates
    StageSetKey appliedKey;
    int32_t shaderPath;  // a built-in shader stands for the applied set
    IDirect3DTexture9* whiteTexture;
    int32_t userListSet;
    UserStageList userList;
};

BlendStateModule gBlendStates = {};

RenderStateCache& Cache() {
    return gRenderStates;
}

IDirect3DTexture9* WhiteTexture() {
    BlendStateModule& m = gBlendStates;
    if (m.whiteTexture != nullptr) return m.whiteTexture;
    GraphImage image{};
    if (ReadGraphImage(nullptr, kWhiteTga, sizeof kWhiteTga, 1, &image, 0) == -1) return nullptr;
    IDirect3DTexture9* texture = nullptr;
    D3DLOCKED_RECT lock{};
    // Dynamic in the default pool: lockable on every device, the Ex one having no managed pool.
    if (SUCCEEDED(DeviceCreateTexture(kWhiteTextureSize, kWhiteTextureSize, 1, D3DUSAGE_DYNAMIC,
                                      D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr)) &&
        SUCCEEDED(TextureLockRect(texture, 0, &lock, nullptr, 0))) {
        RECT whole = {0, 0, kWhiteTextureSize, kWhiteTextureSize};
        ConvertPixelRect({.destPixels = lock.pBits,
                          .destPitch = lock.Pitch,
                          .destFormat = ColorFormatOfD3DFormat(D3DFMT_A8R8G8B8),
                          .srcPixels = image.pixels,
                          .srcPitch = image.pitch,
                          .srcFormat = &image.format,
                          .srcRect = &whole});
        TextureUnlockRect(texture, 0);
        m.whiteTexture = texture;
    } else {
        ReleaseComObject(texture);
    }
    FreeGraphImage(&image);
    return m.whiteTexture;
}

IDirect3DBaseTexture9* TextureFor(StageTexture role) {
    switch (role) {
        case StageTexture::Draw:
            return Cache().drawTexture;
        case StageTexture::Blend:
            return Cache().blendTexture;
        case StageTexture::White:
            return WhiteTexture();
        default:
            return nullptr;
    }
}

// The device-state senders of the blend states: each sends when the value differs from what
// the device holds, or always while everything is re-sent.
bool Resending() {
    return Cache().ResendAll != 0;
}

void SendState(int32_t* cache, D3DRENDERSTATETYPE state, int32_t value) {
    if (!Resending() && *cache == value) return;
    DeviceSetRenderState(state, static_cast<DWORD>(value));
    *cache = value;
}

void SendStageState(int32_t* cache, int stage, D3DTEXTURESTAGESTATETYPE type, int32_t value) {
    if (!Resending() && *cache == value) return;
    DeviceSetTextureStageState(static_cast<DWORD>(stage), type, static_cast<DWORD>(value));
    *cache = value;
}

void SendTexture(int stage, IDirect3DBaseTexture9* texture) {
    CachedStage& cached = Cache().blend.stages[stage];
    if (!Resending() && cached.texture == texture) return;
    DeviceSetTexture(static_cast<DWORD>(stage), texture);
    cached.texture = texture;
}

// A factor given as -1 keeps the device's; re-sending sends the kept value again.
void SendFactor(int32_t* cache, D3DRENDERSTATETYPE state, int32_t value) {
    if (value != -1) {
        SendState(cache, state, value);
    } else if (Resending() && *cache > 1) {
        DeviceSetRenderState(state, static_cast<DWORD>(*cache));
    }
}

void SendStage(int index, const TextureStageRecord& s, IDirect3DBaseTexture9* texture) {
    CachedStage& c = Cache().blend.stages[index];
    SendTexture(index, texture);
    SendStageState(&c.texCoordIndex, index, D3DTSS_TEXCOORDINDEX, s.texCoordIndex);
    if (gDeviceResources.tempRegister) {
        SendStageState(&c.resultArg, index, D3DTSS_RESULTARG,
                       s.resultToTemp ? D3DTA_TEMP : D3DTA_CURRENT);
    }
    if (s.alphaOp != -1) SendStageState(&c.alphaOp, index, D3DTSS_ALPHAOP, s.alphaOp);
    if (s.alphaArg1 != -1) SendStageState(&c.alphaArg1, index, D3DTSS_ALPHAARG1, s.alphaArg1);
    if (s.alphaArg2 != -1) SendStageState(&c.alphaArg2, index, D3DTSS_ALPHAARG2, s.alphaArg2);
    if (s.colorOp != -1) SendStageState(&c.colorOp, index, D3DTSS_COLOROP, s.colorOp);
    if (s.colorArg1 != -1) SendStageState(&c.colorArg1, index, D3DTSS_COLORARG1, s.colorArg1);
    if (s.colorArg2 != -1) SendStageState(&c.colorArg2, index, D3DTSS_COLORARG2, s.colorArg2);
}

// The stage after the last one ends the device's stage walk; re-sending resets all the rest.
// A shader's stages are its own: only the textures go.
void EndStages(int count, bool shaderPath) {
    static const TextureStageRecord kOff =
        MakeTextureStage(0, D3DTOP_DISABLE, D3DTA_DIFFUSE, D3DTA_DIFFUSE, D3DTOP_DISABLE,
                         D3DTA_DIFFUSE, D3DTA_DIFFUSE);
    int last = Resending() ? kCachedStages : count + 1;
    for (int i = count; i < last && i < kCachedStages; ++i) {
        if (shaderPath) {
            SendTexture(i, nullptr);
        } else {
            SendStage(i, kOff, nullptr);
        }
    }
}

// Constant c5 of the usage set 0, sent when the set holds another value.
void SendFactorConstant(const ShaderFloat4& value) {
    const ShaderConstSet& set = gShaderConstCache.kinds[kShaderConstPixelFloat].sets[0];
    if (!Resending() && set.claimed[kShaderFactorRegister] &&
        std::memcmp(set.values[kShaderFactorRegister], &value, sizeof value) == 0) {
        return;
    }
    StoreShaderConstants(&gShaderConstCache, kShaderConstPixelFloat, 0, kShaderFactorRegister,
                         &value, 1, 1);
}

void SendTextureFactor(uint32_t factor) {
    CachedBlendStates& b = Cache().blend;
    SendFactorConstant(FactorShaderConstant(factor));
    if (!Resending() && b.textureFactor == factor) return;
    DeviceSetRenderState(D3DRS_TEXTUREFACTOR, factor);
    b.textureFactor = factor;
}

// The built-in shader that stands for the stage set; null when it does not exist.
IDirect3DPixelShader9* BuiltinShaderFor(const StageSetKey& key) {
    if (!key.textured) return GetUntexturedShader(key.shaderKind);
    return GetTexturedShader(key.blendIndex, key.shaderKind, key.ignoreColor,
                             key.alphaSource == kAlphaFromVertex ? 1 : 0);
}

int ApplyUserStageList(const UserStageList& list, int resolveGraphHandles) {
    CachedBlendStates& b = Cache().blend;
    SendState(&b.alphaTestEnable, D3DRS_ALPHATESTENABLE, list.alphaTestEnable);
    SendState(&b.alphaRef, D3DRS_ALPHAREF, list.alphaRef);
    SendState(&b.alphaFunc, D3DRS_ALPHAFUNC, list.alphaFunc);
    SendState(&b.alphaBlendEnable, D3DRS_ALPHABLENDENABLE, list.alphaBlendEnable);
    SendTextureFactor(list.textureFactor);
    SendFactor(&b.srcBlend, D3DRS_SRCBLEND, list.srcBlend);
    SendFactor(&b.destBlend, D3DRS_DESTBLEND, list.destBlend);
    SendFactor(&b.blendOp, D3DRS_BLENDOP, list.blendOp);
    int count = list.stageCount < 0               ? 0
                : list.stageCount > kCachedStages ? kCachedStages
                                                  : list.stageCount;
    for (int i = 0; i < count; ++i) {
        IDirect3DBaseTexture9* texture =
            reinterpret_cast<IDirect3DBaseTexture9*>(list.stages[i].texture);
        if (resolveGraphHandles) {
            const GraphRecord* graph =
                GetGraphRecord(static_cast<Handle>(list.stages[i].texture), 0);
            texture = graph != nullptr ? GetGraphFirstTexture(graph) : nullptr;
        }
        SendStage(i, list.stages[i].stage, texture);
    }
    EndStages(count, false);
    return 0;
}

struct AlphaTest {
    int32_t enable, func, ref;
};

// The threshold ramp of blend-graph type 1 with threshold p1 and width w: the texture factor,
// the alpha operation against it and the band's scale.
struct Ramp {
    uint32_t factor;
    DWORD op, scaleOp;
};

Ramp ComputeRamp(int p1, int w) {
    int band, m;
    DWORD scaleOp;
    if (w <= 64) {
        band = 1280, scaleOp = D3DTOP_MODULATE4X, m = 64;
    } else if (w <= 128) {
        band = 768, scaleOp = D3DTOP_MODULATE2X, m = 128;
    } else {
        band = 512, scaleOp = D3DTOP_MODULATE, m = 255;
    }
    int t = band - p1 * band / 255;
    if (t < band - 256) {
        int a = -(t * 255 / (band - 256)) - 1;
        return {static_cast<uint32_t>(a & 255) << 24 | 0xFFFFFFu, D3DTOP_SUBTRACT, scaleOp};
    }
    int a = ((256 - p1 * band / 255) * m) >> 8;
    return {static_cast<uint32_t>(a & 255) << 24 | 0xFFFFFFu, D3DTOP_ADD, scaleOp};
}

}  // namespace

int ApplyBlendStates(int resolveGraphHandles, const UserStageList* list, int flags) {
    RenderStateCache& c = Cache();
    BlendStateModule& m = gBlendStates;
    if (!HasDirect3DDevice()) return -1;
    bool shadersOn = AreBuiltinShadersOn() && c.userPixelShader == 0;
    if (list == nullptr && m.userListSet) list = &m.userList;
    if (list != nullptr) {
        // The list's own stages draw, so no built-in shader may stand in for them.
        if (shadersOn) DeviceSetPixelShader(nullptr);
        m.shaderPath = 0;
        ApplyUserStageList(*list, resolveGraphHandles);
        c.blendStatesDirty = c.texturesDirty = 0;
        return 0;
    }
    IDirect3DPixelShader9* applied = shadersOn ? BuiltinShaderFor(m.appliedKey) : nullptr;
    if (!Resending() && !c.blendStatesDirty && (applied != nullptr) == (m.shaderPath != 0)) {
        // A user or filter shader may have come and gone since the last draw without the
        // blend states changing; setting the built-in shader again costs next to nothing.
        if (applied != nullptr) DeviceSetPixelShader(applied);
        if (!c.texturesDirty) return -1;
        for (int i = 0; i < m.applied.count; ++i) SendTexture(i, TextureFor(m.applied.textures[i]));
        c.texturesDirty = 0;
        return 0;
    }

    int mode = c.blendMode >= 0 && c.blendMode < kBlendModeCount ? c.blendMode : BlendOpaque;
    BlendStateRow row = BlendStateTable[mode];
    if (mode == BlendSubtractive && gDeviceResources.nativeBlendOp) {
        row = {D3DBLEND_ONE, D3DBLEND_SRCALPHA, kShaderKindPlain, D3DBLENDOP_REVSUBTRACT};
    }
    bool textured = c.drawTexture != nullptr;
    bool blendGraph = textured && c.blendGraphType >= 0 && c.blendTexture != nullptr;
    bool textureAlpha = textured && (c.useTextureAlpha || c.colorKeyAlpha);
    bool opaqueMode = mode == BlendOpaque || mode == BlendOpaqueHardwareOnly;
    bool blending = !opaqueMode || textureAlpha;
    if (opaqueMode && blending)
        row.srcBlend = D3DBLEND_SRCALPHA, row.destBlend = D3DBLEND_INVSRCALPHA;
    AlphaTest test = {0, D3DCMP_ALWAYS, 0};
    if (textured && c.colorKeyAlpha) {
        test = {1, D3DCMP_GREATER, 16};
    } else if (blending || textureAlpha) {
        test = {1, D3DCMP_GREATER, 0};
    }

    StageSetKey key{};
    key.textured = textured;
    key.shaderKind = row.shaderKind;
    key.blendIndex = blendGraph ? c.blendGraphType + 1 : 0;
    key.alphaSource = !textured           ? kAlphaFromVertex
                      : c.colorKeyAlpha   ? kAlphaFromColorKey
                      : c.useTextureAlpha ? kAlphaFromChannel
                                          : kAlphaFromVertex;
    key.modulateColor = c.modulateColor;
    key.modulateAlpha = c.modulateAlpha;
    key.ignoreColor = textured && c.ignoreTextureColor;
    uint32_t factor = textured ? kWhiteFactor : c.blend.textureFactor;
    if (!textured && row.shaderKind == kShaderKindFadedMultiply) factor = kWhiteFactor;
    int suppressed = 0;
    if (blendGraph) {
        key.shaderKind = mode == BlendTranslucentShader3 || mode == BlendAdditiveShader3
                             ? kShaderKindTimesFour
                         : mode == BlendInvertedSource ? kShaderKindInverted
                                                       : kShaderKindPlain;
        int p1 = c.blendGraphParam1, width = c.blendGraphParam2;
        // The blend graph weights the drawn alpha, which blends under the opaque modes too, as
        // the software renderer weights every mode.
        if (opaqueMode) row.srcBlend = D3DBLEND_SRCALPHA, row.destBlend = D3DBLEND_INVSRCALPHA;
        if (c.blendGraphType != 1) {
            blending = true;
            if (c.blendGraphType == 0) factor = static_cast<uint32_t>(p1 & 255) << 24;
        } else {
            suppressed = p1 == 255;
            if (width < 2) {
                blending = false;
                test = {1, D3DCMP_GREATEREQUAL, p1 == 0 && textureAlpha ? 1 : p1};
                factor = 0x00FFFFFF;
            } else {
                blending = true;
                Ramp ramp = ComputeRamp(p1, width);
                factor = ramp.factor;
                key.rampOp = static_cast<int32_t>(ramp.op);
                key.rampScaleOp = static_cast<int32_t>(ramp.scaleOp);
            }
        }
    }
    if (c.alphaTestFunc != -1) test = {1, c.alphaTestFunc, c.alphaTestRef};

    TextureStageSet set = BuildTextureStageSet(key);
    IDirect3DPixelShader9* shader = shadersOn ? BuiltinShaderFor(key) : nullptr;
    SetBatchVertexKind(blendGraph ? kVertexKindBlend
                       : textured ? kVertexKindTextured
                                  : kVertexKindColored);
    SetBatchSuppressed(suppressed);

    CachedBlendStates& b = c.blend;
    if (test.enable) {
        SendState(&b.alphaFunc, D3DRS_ALPHAFUNC, test.func);
        SendState(&b.alphaRef, D3DRS_ALPHAREF, test.ref);
    }
    SendState(&b.alphaTestEnable, D3DRS_ALPHATESTENABLE, test.enable);
    SendState(&b.alphaBlendEnable, D3DRS_ALPHABLENDENABLE, blending ? 1 : 0);
    // The shader path leaves the factor and the stage operations alone, except while
    // everything is re-sent: the cache must then hold what the device holds for a later draw
    // through the stages.
    bool stages = shader == nullptr || Resending();
    if (stages) SendTextureFactor(factor);
    if (shader != nullptr) {
        SendFactorConstant(blendGraph && c.blendGraphType == 1
                               ? RampShaderConstant(factor, key.rampOp, key.rampScaleOp)
                               : FactorShaderConstant(factor));
    }
    SendFactor(&b.srcBlend, D3DRS_SRCBLEND, row.srcBlend);
    SendFactor(&b.destBlend, D3DRS_DESTBLEND, row.destBlend);
    SendFactor(&b.blendOp, D3DRS_BLENDOP, row.blendOp);
    for (int i = 0; i < set.count; ++i) {
        if (stages) {
            SendStage(i, set.stages[i], TextureFor(set.textures[i]));
        } else {
            SendTexture(i, TextureFor(set.textures[i]));
        }
    }
    EndStages(set.count, !stages);
    if (shader != nullptr) DeviceSetPixelShader(shader);
    m.applied = set;
    m.appliedKey = key;
    m.shaderPath = shader != nullptr;
    c.blendStatesDirty = c.texturesDirty = 0;
    return 0;
}

int SetUserTextureStages(const UserStageList* list, int flags) {
    BlendStateModule& m = gBlendStates;
    m.userListSet = list != nullptr;
    if (list != nullptr) m.userList = *list;
    Cache().blendStatesDirty = 1;
    return 0;
}

void ReleaseBlendStateTextures() {
    ReleaseComObject(gBlendStates.whiteTexture);
    gBlendStates.whiteTexture = nullptr;
}
