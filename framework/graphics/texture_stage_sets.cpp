#include "graphics/texture_stage_sets.h"

TextureStageRecord MakeTextureStage(int32_t texCoordIndex, DWORD colorOp, DWORD colorArg1,
                                    DWORD colorArg2, DWORD alphaOp, DWORD alphaArg1,
                                    DWORD alphaArg2) {
    return {texCoordIndex,
            0,
            static_cast<int16_t>(alphaArg1),
            static_cast<int16_t>(alphaArg2),
            static_cast<int16_t>(alphaOp),
            static_cast<int16_t>(colorArg1),
            static_cast<int16_t>(colorArg2),
            static_cast<int16_t>(colorOp),
            0};
}

namespace {

struct Operation {
    DWORD op, arg1, arg2;
};

// The drawn colour from the texture (or the factor) and the vertex colour (or what carries it).
Operation ColorOperation(const StageSetKey& key, DWORD colour) {
    DWORD texture = key.ignoreColor ? D3DTA_TFACTOR : D3DTA_TEXTURE;
    if (key.shaderKind == kShaderKindTimesFour) return {D3DTOP_MODULATE4X, texture, colour};
    if (key.shaderKind == kShaderKindInverted) texture |= D3DTA_COMPLEMENT;
    if (key.modulateColor) return {D3DTOP_MODULATE, texture, colour};
    return {D3DTOP_SELECTARG1, texture, colour};
}

// The drawn alpha of a textured stage.
Operation AlphaOperation(const StageSetKey& key, DWORD vertexAlpha) {
    if (key.alphaSource == kAlphaFromVertex) return {D3DTOP_SELECTARG1, vertexAlpha, vertexAlpha};
    if (key.modulateAlpha) return {D3DTOP_MODULATE, D3DTA_TEXTURE, vertexAlpha};
    return {D3DTOP_SELECTARG1, D3DTA_TEXTURE, vertexAlpha};
}

void Add(TextureStageSet* set, StageTexture texture, int32_t texCoordIndex, Operation colour,
         Operation alpha) {
    int i = set->count++;
    set->stages[i] = MakeTextureStage(texCoordIndex, colour.op, colour.arg1, colour.arg2, alpha.op,
                                      alpha.arg1, alpha.arg2);
    set->textures[i] = texture;
}

constexpr int32_t kGraphCoordinates = 0;
constexpr int32_t kBlendCoordinates = 1;
constexpr Operation kKeepColour = {D3DTOP_SELECTARG1, D3DTA_CURRENT, D3DTA_CURRENT};
constexpr Operation kPassDiffuse = {D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_DIFFUSE};

// The blend graph's value weights the alpha; the graph's colour on the other stage.
void BuildBlendGraphStages(const StageSetKey& key, TextureStageSet* set) {
    bool vertexAlphaLast = key.modulateAlpha != 0;
    switch (key.blendIndex) {
        case 1:
            Add(set, StageTexture::Blend, kBlendCoordinates, kPassDiffuse,
                {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_TFACTOR});
            Add(set, StageTexture::Draw, kGraphCoordinates, ColorOperation(key, D3DTA_CURRENT),
                key.alphaSource != kAlphaFromVertex
                    ? Operation{D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT}
                    : kKeepColour);
            break;
        case 3:
            Add(set, StageTexture::Draw, kGraphCoordinates, ColorOperation(key, D3DTA_DIFFUSE),
                AlphaOperation(key, D3DTA_DIFFUSE));
            Add(set, StageTexture::Blend, kBlendCoordinates, kKeepColour,
                {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT});
            vertexAlphaLast = false;
            break;
        default: {
            bool ramp = key.rampScaleOp != 0;
            Add(set, StageTexture::Blend, kBlendCoordinates, kPassDiffuse,
                {ramp ? static_cast<DWORD>(key.rampOp) : D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_TFACTOR});
            DWORD other = key.alphaSource != kAlphaFromVertex ? D3DTA_TEXTURE : D3DTA_SPECULAR;
            Add(set, StageTexture::Draw, kGraphCoordinates, ColorOperation(key, D3DTA_CURRENT),
                {ramp ? static_cast<DWORD>(key.rampScaleOp) : D3DTOP_MODULATE, D3DTA_CURRENT,
                 other});
            // Below a width of 2 the ramp is an alpha test of the value itself.
            vertexAlphaLast = vertexAlphaLast && ramp;
            break;
        }
    }
    if (vertexAlphaLast) {
        Add(set, StageTexture::None, kGraphCoordinates, kKeepColour,
            {D3DTOP_MODULATE, D3DTA_CURRENT, D3DTA_DIFFUSE});
    }
}

}  // namespace

TextureStageSet BuildTextureStageSet(const StageSetKey& key) {
    TextureStageSet set{};
    if (!key.textured) {
        Operation colour = kPassDiffuse;
        StageTexture texture = StageTexture::None;
        switch (key.shaderKind) {
            case kShaderKindFadedMultiply:
                colour = {D3DTOP_BLENDDIFFUSEALPHA, D3DTA_DIFFUSE, D3DTA_TFACTOR};
                break;
            case kShaderKindInverted:
                colour = {D3DTOP_SELECTARG1, D3DTA_DIFFUSE | D3DTA_COMPLEMENT, D3DTA_DIFFUSE};
                break;
            case kShaderKindTimesFour:
                colour = {D3DTOP_MODULATE4X, D3DTA_TEXTURE, D3DTA_DIFFUSE};
                texture = StageTexture::White;
                break;
            default:
                break;
        }
        Add(&set, texture, kGraphCoordinates, colour, kPassDiffuse);
        return set;
    }
    if (key.blendIndex != 0) {
        BuildBlendGraphStages(key, &set);
        return set;
    }
    Add(&set, StageTexture::Draw, kGraphCoordinates, ColorOperation(key, D3DTA_DIFFUSE),
        AlphaOperation(key, D3DTA_DIFFUSE));
    if (key.shaderKind == kShaderKindFadedMultiply) {
        Add(&set, StageTexture::None, kGraphCoordinates,
            {D3DTOP_BLENDCURRENTALPHA, D3DTA_CURRENT, D3DTA_TFACTOR}, kKeepColour);
    }
    return set;
}
