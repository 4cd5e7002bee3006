// The 2D shaders' kernels and objects. Each shader's name says which stage set it stands for
// (blend index, shader kind, ignore-colour switch, texture alpha ignored); the device asks its
// builder for the stages at each draw, with the texture factor (or the threshold ramp) read
// back from constant c5.
#include "graphics/builtin_shaders.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "core/log.h"
#include "graphics/d3d_device.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/shader_pack.h"
#include "graphics/texture_stage_sets.h"

namespace {

struct BuiltinShaderModule {
    IDirect3DPixelShader9* untextured[kUntexturedShaderCount];
    IDirect3DPixelShader9* textured[kTexturedShaderCount];
    IDirect3DPixelShader9* maskBlend;
};

BuiltinShaderModule gBuiltinShaders = {};

constexpr const char* kMaskBlendShaderName = "ps_mask_blend.pso";
constexpr const char* kPixelVariantKernelName = "ps_3d_variant";

// Index of a textured shader: blend index slowest, texture-alpha-ignored fastest, as the pack
// stores them.
int TexturedIndex(int blendIndex, int kind, int ignoreColor, int ignoreTextureAlpha) {
    return ((blendIndex * 4 + kind) * 2 + ignoreColor) * 2 + ignoreTextureAlpha;
}

std::array<char, 64> UntexturedName(int kind) {
    std::array<char, 64> name{};
    std::snprintf(name.data(), name.size(), "ps_nonetex_type%d.pso", kind);
    return name;
}

std::array<char, 64> TexturedName(int index) {
    std::array<char, 64> name{};
    std::snprintf(name.data(), name.size(), "ps_blend%d_type%d_igcolor%d_igtalpha%d.pso",
                  index / 16, index / 4 % 4, index / 2 % 2, index % 2);
    return name;
}

int Channel255(float value) {
    long v = std::lround(value * 255.0f);
    return static_cast<int>(v < 0 ? 0 : v > 255 ? 255 : v);
}

uint32_t FactorOfConstant(const ShaderFloat4& c) {
    return static_cast<uint32_t>(Channel255(c.w)) << 24 |
           static_cast<uint32_t>(Channel255(c.z)) << 16 |
           static_cast<uint32_t>(Channel255(c.y)) << 8 | static_cast<uint32_t>(Channel255(c.x));
}

// The threshold ramp's alpha operation, scale and factor back from its constant. The alpha
// test form {0, 0, 1, +0} cannot be a ramp of scale 1: that band never adds an alpha of 0.
void ReadRampConstant(const ShaderFloat4& c, StageSetKey* key, uint32_t* factor) {
    if (c.z == 1.0f && c.w == 0.0f && !std::signbit(c.w)) {
        key->rampOp = key->rampScaleOp = 0;
        *factor = 0x00FFFFFF;
        return;
    }
    key->rampScaleOp = c.z >= 4.0f   ? D3DTOP_MODULATE4X
                       : c.z >= 2.0f ? D3DTOP_MODULATE2X
                                     : D3DTOP_MODULATE;
    key->rampOp = std::signbit(c.w) ? D3DTOP_SUBTRACT : D3DTOP_ADD;
    *factor = static_cast<uint32_t>(Channel255(std::fabs(c.w))) << 24 | 0xFFFFFF;
}

void WriteProgram(const TextureStageSet& set, uint32_t factor, ShaderStageProgram* out) {
    out->count = set.count;
    out->textureFactor = factor;
    for (int i = 0; i < set.count; ++i) {
        const TextureStageRecord& s = set.stages[i];
        out->stages[i] = {
            static_cast<DWORD>(s.colorOp),       static_cast<DWORD>(s.colorArg1),
            static_cast<DWORD>(s.colorArg2),     static_cast<DWORD>(s.alphaOp),
            static_cast<DWORD>(s.alphaArg1),     static_cast<DWORD>(s.alphaArg2),
            static_cast<DWORD>(s.texCoordIndex), s.resultToTemp ? D3DTA_TEMP : D3DTA_CURRENT};
    }
}

template <int Kind>
void BuildUntexturedProgram(const ShaderFloat4* constants, ShaderStageProgram* out) {
    StageSetKey key{};
    key.shaderKind = Kind;
    WriteProgram(BuildTextureStageSet(key), FactorOfConstant(constants[kShaderFactorRegister]),
                 out);
}

template <int Index>
void BuildTexturedProgram(const ShaderFloat4* constants, ShaderStageProgram* out) {
    StageSetKey key{};
    key.textured = 1;
    key.blendIndex = Index / 16;
    key.shaderKind = Index / 4 % 4;
    key.ignoreColor = Index / 2 % 2;
    // Colour key and alpha channel take the same stages; only the alpha test tells them apart.
    key.alphaSource = Index % 2 ? kAlphaFromVertex : kAlphaFromChannel;
    // A shader always multiplies by the vertex colour; the fixed path leaves the product out
    // only where the vertex colour is white and opaque, which changes nothing.
    key.modulateColor = key.modulateAlpha = 1;
    const ShaderFloat4& c5 = constants[kShaderFactorRegister];
    uint32_t factor = FactorOfConstant(c5);
    if (key.blendIndex == 2) ReadRampConstant(c5, &key, &factor);
    WriteProgram(BuildTextureStageSet(key), factor, out);
}

template <size_t... I>
constexpr std::array<ShaderStageBuilder, sizeof...(I)> UntexturedBuilders(
    std::index_sequence<I...>) {
    return {&BuildUntexturedProgram<static_cast<int>(I)>...};
}

template <size_t... I>
constexpr std::array<ShaderStageBuilder, sizeof...(I)> TexturedBuilders(std::index_sequence<I...>) {
    return {&BuildTexturedProgram<static_cast<int>(I)>...};
}

constexpr auto kUntexturedBuilders =
    UntexturedBuilders(std::make_index_sequence<kUntexturedShaderCount>());
constexpr auto kTexturedBuilders =
    TexturedBuilders(std::make_index_sequence<kTexturedShaderCount>());

// The mask composite: the work screen's colour (sampler 0) with the mask's alpha (sampler 1),
// which the alpha test then compares, as the fixed-function composite does.
void BuildMaskBlendProgram(const ShaderFloat4*, ShaderStageProgram* out) {
    out->count = 2;
    out->textureFactor = 0xFFFFFFFF;
    out->stages[0] = {D3DTOP_SELECTARG1,
                      D3DTA_TEXTURE,
                      D3DTA_DIFFUSE,
                      D3DTOP_SELECTARG1,
                      D3DTA_TEXTURE,
                      D3DTA_DIFFUSE,
                      0,
                      D3DTA_CURRENT};
    out->stages[1] = {D3DTOP_SELECTARG1,
                      D3DTA_CURRENT,
                      D3DTA_DIFFUSE,
                      D3DTOP_SELECTARG1,
                      D3DTA_TEXTURE,
                      D3DTA_DIFFUSE,
                      0,
                      D3DTA_CURRENT};
}

// The 3D variant is made but never drawn with; it passes the lit vertex colour.
bool PixelVariantKernel(const PixelShaderInput& input, const PixelShaderContext&,
                        ShaderFloat4* out) {
    *out = input.color0;
    return true;
}

// The shader of the first archive under the name; null when it is missing or refused.
IDirect3DPixelShader9* CreatePackedShader(const char* name) {
    const void* code = nullptr;
    uint32_t size = 0;
    if (FindPackedShader(name, &code, &size) == -1 || size < sizeof(DWORD)) return nullptr;
    // The archive keeps its files unaligned; the device reads whole words.
    std::vector<DWORD> words((size + sizeof(DWORD) - 1) / sizeof(DWORD));
    std::memcpy(words.data(), code, size);
    IDirect3DPixelShader9* shader = nullptr;
    if (FAILED(DeviceCreatePixelShader(words.data(), &shader))) return nullptr;
    return shader;
}

bool CreateDrawShaders(BuiltinShaderModule* m) {
    for (int kind = 0; kind < kUntexturedShaderCount; ++kind) {
        m->untextured[kind] = CreatePackedShader(UntexturedName(kind).data());
        if (m->untextured[kind] == nullptr) return false;
    }
    for (int index = 0; index < kTexturedShaderCount; ++index) {
        m->textured[index] = CreatePackedShader(TexturedName(index).data());
        if (m->textured[index] == nullptr) return false;
    }
    return true;
}

void RegisterBuiltinDrawShaderKernels() {
    for (int kind = 0; kind < kUntexturedShaderCount; ++kind) {
        RegisterPixelShaderStages(UntexturedName(kind).data(), kUntexturedBuilders[kind]);
    }
    for (int index = 0; index < kTexturedShaderCount; ++index) {
        RegisterPixelShaderStages(TexturedName(index).data(), kTexturedBuilders[index]);
    }
    RegisterPixelShaderStages(kMaskBlendShaderName, BuildMaskBlendProgram);
    RegisterPixelShaderKernel(kPixelVariantKernelName, PixelVariantKernel);
}

// The kernels are known before any device exists: the shader set-up makes the 3D variant
// before it asks for the 2D shaders.
const bool gKernelsRegistered = (RegisterBuiltinDrawShaderKernels(), true);

}  // namespace

int CreateBuiltinDrawShaders() {
    BuiltinShaderModule& m = gBuiltinShaders;
    ReleaseBuiltinDrawShaders();
    if (!CreateDrawShaders(&m)) {
        ReleaseBuiltinDrawShaders();
        return AppendLogText("基本シェーダーオブジェクトの作成に失敗しました\n");
    }
    m.maskBlend = CreatePackedShader(kMaskBlendShaderName);
    if (m.maskBlend == nullptr) {
        ReleaseBuiltinDrawShaders();
        return AppendLogText("マスク処理用シェーダーオブジェクトの作成に失敗しました\n");
    }
    return 0;
}

ShaderFloat4 FactorShaderConstant(uint32_t factor) {
    return {static_cast<float>(factor & 0xFF) / 255.0f,
            static_cast<float>((factor >> 8) & 0xFF) / 255.0f,
            static_cast<float>((factor >> 16) & 0xFF) / 255.0f,
            static_cast<float>(factor >> 24) / 255.0f};
}

ShaderFloat4 RampShaderConstant(uint32_t factor, int op, int scaleOp) {
    if (scaleOp == 0) return {0.0f, 0.0f, 1.0f, 0.0f};
    float scale = scaleOp == D3DTOP_MODULATE4X ? 4.0f : scaleOp == D3DTOP_MODULATE2X ? 2.0f : 1.0f;
    float alpha = static_cast<float>(factor >> 24) / 255.0f;
    return {0.0f, 0.0f, scale, op == D3DTOP_SUBTRACT ? -alpha : alpha};
}

void ReleaseBuiltinDrawShaders() {
    BuiltinShaderModule& m = gBuiltinShaders;
    for (IDirect3DPixelShader9* shader : m.untextured) ReleaseComObject(shader);
    for (IDirect3DPixelShader9* shader : m.textured) ReleaseComObject(shader);
    ReleaseComObject(m.maskBlend);
    m = {};
}

IDirect3DPixelShader9* GetUntexturedShader(int kind) {
    if (kind < 0 || kind >= kUntexturedShaderCount) return nullptr;
    return gBuiltinShaders.untextured[kind];
}

IDirect3DPixelShader9* GetTexturedShader(int blendIndex, int kind, int ignoreColor,
                                         int ignoreTextureAlpha) {
    if (blendIndex < 0 || blendIndex > 3 || kind < 0 || kind > 3) return nullptr;
    return gBuiltinShaders
        .textured[TexturedIndex(blendIndex, kind, ignoreColor != 0, ignoreTextureAlpha != 0)];
}

IDirect3DPixelShader9* GetMaskBlendShader() {
    return gBuiltinShaders.maskBlend;
}
