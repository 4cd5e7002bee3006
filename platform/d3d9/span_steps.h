// The steps specialised spans are made of: texel fetches, colour interpolation, texture-stage
// steps and merges into the render target. Each computes exactly what the general pixel path
// computes for the same pixels.
#pragma once

#include "pixel_pipeline.h"

// Texels of n pixels from fixed-point texel coordinates (u, v) stepping (du, dv) a pixel.
void FetchPoint(const SamplerSetup& setup, const SamplerLevel& level, int64_t u, int64_t du,
                int64_t v, int64_t dv, DWORD* out, int n);
void FetchLinear(const SamplerSetup& setup, const SamplerLevel& level, int64_t u, int64_t du,
                 int64_t v, int64_t dv, DWORD* out, int n);

// Colours of n pixels from the planes, starting at offset (dx, dy) from the reference pixel.
void InterpolateColors(const FixedPlane (&planes)[4], int dx, int dy, DWORD* out, int n);

// The step that runs texture-stage operation `op` over a chunk.
CombineFn CombineStepFor(DWORD op);
// Steps that are not operations: an argument's modifiers (`op` holds the argument), colour of
// args[1] with the alpha of args[2], and the specular add of args[2] to args[1].
void ModifierStep(const CombineStep& step, int n);
void MergeAlphaStep(const CombineStep& step, int n);
void SpecularAddStep(const CombineStep& step, int n);

// The blends that have merges of their own (factors and operation together).
enum class BlendKind {
    Replace,         // blending off, or ONE, ZERO
    Translucent,     // SRCALPHA, INVSRCALPHA
    Additive,        // SRCALPHA, ONE
    AddBoth,         // ONE, ONE
    Premultiplied,   // ONE, INVSRCALPHA
    Multiply,        // ZERO, SRCCOLOR or DESTCOLOR, ZERO
    InvertDest,      // INVDESTCOLOR, ZERO
    Keep,            // ZERO, ONE
    SubtractAlpha,   // SRCALPHA, ONE, REVSUBTRACT
    SubtractSource,  // ONE, ONE, SUBTRACT: source minus destination
    SubtractDest,    // ONE, ONE, REVSUBTRACT: destination minus source
    Minimum,
    Maximum,
};

// Null for a target format without merges, or without a modulated form (`modulated`: the
// source multiplied by the job's factor first).
MergeFn MergeFor(D3DFORMAT format, BlendKind kind, bool alphaTest, bool modulated);

// n pixels of a row set to one colour.
void FillRow(D3DFORMAT format, BYTE* row, int n, DWORD argb);
