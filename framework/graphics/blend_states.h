// The blend states: how the current blend mode, texture alpha or colour key, draw bright and
// blend graph become blend factors, the alpha test and the device's texture stages, or the
// built-in pixel shader that stands for them. The stage sets are generated from what they
// depend on rather than stored.
#pragma once

#include <platform/d3d9.h>

#include <cstdint>

#include "core/handle_registry.h"
#include "graphics/render_state_cache.h"

// One row per blend mode: Direct3D factors (-1 = leave the device's), the built-in shader's
// blend kind and the blend operation.
struct BlendStateRow {
    int32_t destBlend;
    int32_t srcBlend;
    int32_t shaderKind;
    int32_t blendOp;
};
constexpr int kBlendModeCount = 17;
extern const BlendStateRow BlendStateTable[kBlendModeCount];

// Shader blend kinds: 0 texture x vertex colour; 1 multiply faded by the parameter; 2 inverted
// texture colour; 3 texture x vertex colour x 4.
constexpr int kShaderKindPlain = 0;
constexpr int kShaderKindFadedMultiply = 1;
constexpr int kShaderKindInverted = 2;
constexpr int kShaderKindTimesFour = 3;

// One texture stage: coordinate set, whether the result goes to the temporary register, and
// the alpha and colour arguments and operations (-1 = leave unchanged).
struct TextureStageRecord {
    int32_t texCoordIndex;
    int32_t resultToTemp;
    int16_t alphaArg1, alphaArg2, alphaOp;
    int16_t colorArg1, colorArg2, colorOp;
    int16_t spare;
};
static_assert(sizeof(TextureStageRecord) == 24);

// Which texture a stage samples.
enum class StageTexture : uint8_t { None, Draw, Blend, White };

struct TextureStageSet {
    int32_t count;
    TextureStageRecord stages[kCachedStages];
    StageTexture textures[kCachedStages];
};

// Where the drawn alpha comes from: 0 the vertex, 1 the texture's alpha channel, 2 its colour
// key.
constexpr int kAlphaFromVertex = 0;
constexpr int kAlphaFromChannel = 1;
constexpr int kAlphaFromColorKey = 2;

// What a stage set depends on.
struct StageSetKey {
    int32_t textured;
    int32_t shaderKind;
    // 0 none, else the blend graph's type + 1: 1 weighted, 2 threshold ramp, 3 weighted with
    // the graph's texture first.
    int32_t blendIndex;
    int32_t alphaSource;
    int32_t modulateColor;  // the draw bright is not white
    int32_t modulateAlpha;  // the blend mode is not 0, or a filter pass
    int32_t ignoreColor;    // the colour comes from the texture factor
    // Threshold ramp: the alpha operation against the texture factor (ADD or SUBTRACT) and
    // the stage operation that scales it (MODULATE, MODULATE2X or MODULATE4X); 0 below a
    // width of 2, where the ramp is an alpha test.
    int32_t rampOp;
    int32_t rampScaleOp;
};
TextureStageSet BuildTextureStageSet(const StageSetKey& key);

// A stage list the program gives: nine render-state words, then the stages; each stage's
// first word is a texture, or a graph handle when handles are resolved.
struct UserTextureStage {
    uintptr_t texture;
    TextureStageRecord stage;
};
struct UserStageList {
    int32_t alphaTestEnable, alphaRef, alphaFunc, alphaBlendEnable;
    uint32_t textureFactor;
    int32_t srcBlend, destBlend, blendOp;
    int32_t stageCount;
    UserTextureStage stages[kCachedStages];
};

// Brings the device's blend states in line with the pending inputs of the render-state cache,
// through the built-in shaders while they are on and no user pixel shader is (flags are not
// read): 0; -1 without a device, or when nothing had changed.
int ApplyBlendStates(int resolveGraphHandles, const UserStageList* list, int flags);
// Null returns to the generated stage sets.
int SetUserTextureStages(const UserStageList* list, int flags);
// Before the device goes: the white texture of the untextured x4 stage.
void ReleaseBlendStateTextures();
