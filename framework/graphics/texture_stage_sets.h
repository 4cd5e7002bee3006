// The texture-stage sets: which stages, arguments and operations draw a blend mode, generated
// from what they depend on. Plain computation below the blend states and the built-in shaders
// that are made from the same sets.
#pragma once

#include <platform/d3d9.h>

#include <cstdint>

constexpr int kCachedStages = 8;

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

TextureStageRecord MakeTextureStage(int32_t texCoordIndex, DWORD colorOp, DWORD colorArg1,
                                    DWORD colorArg2, DWORD alphaOp, DWORD alphaArg1,
                                    DWORD alphaArg2);
