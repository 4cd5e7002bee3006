// The blend states: how the current blend mode, texture alpha or colour key, draw bright and
// blend graph become blend factors, the alpha test and the device's texture stages, or the
// built-in pixel shader that stands for them. The stage sets are generated from what they
// depend on rather than stored.
#pragma once

#include <platform/d3d9.h>

#include <cstdint>

#include "core/handle_registry.h"
#include "graphics/render_state_cache.h"
#include "graphics/texture_stage_sets.h"

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
