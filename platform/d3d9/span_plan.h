// The specialised span of one pipeline state: what its chunks fetch, combine and merge. A
// span is drawn in chunks of up to kSpanChunk pixels through buffers of A8R8G8B8 words: the
// samplers fetch texels, Gouraud colours are interpolated, the texture stages run as steps
// over whole buffers (or a pixel-shader kernel runs: a span kernel over the chunk, a per-pixel
// kernel pixel by pixel), and the result is merged into the render target. Each piece is a
// template instantiation picked once per state (spans.cpp).
#pragma once

#include "platform/win32_types.h"

struct DrawPipeline;
struct Interpolants;

constexpr int kPipelineStages = 8;
constexpr int kSpanChunk = 64;

// Shades pixels x0 <= x < x1 of row y.
using SpanFn = void (*)(DrawPipeline& pipeline, const Interpolants& in, int y, int x0, int x1);

struct alignas(16) SpanBuffer {
    DWORD px[kSpanChunk];
};

struct CombineStep;
using CombineFn = void (*)(const CombineStep& step, int n);

// One texture-stage operation (or an argument's modifiers) over a chunk.
struct CombineStep {
    CombineFn run;
    DWORD op;
    const DWORD* args[3];    // ARG0, ARG1, ARG2
    DWORD flips[3];          // XORed into each argument: COMPLEMENT
    const DWORD* alphas[4];  // diffuse, texture, factor, current: whose alpha blends read
    DWORD* out;
};

struct MergeJob;
using MergeFn = void (*)(const MergeJob& job, BYTE* target, int n);

// Alpha test, blend and write of a chunk into the render target.
struct MergeJob {
    MergeFn run;
    const DWORD* source;
    const DWORD* factor;  // with a modulated merge: the colour the source is multiplied by
    // The alpha test as a range: a pixel passes when lo <= alpha <= lo + range, or, with
    // invert, when it does not.
    int alphaLo, alphaRange;
    bool alphaInvert;
};

struct SpanPlan {
    bool usable;
    int fetchStages[kPipelineStages];  // the stages whose textures are fetched, in order
    DWORD* fetchOut[kPipelineStages];
    int fetchCount;
    CombineStep steps[32];
    int stepCount;
    MergeJob merge;
    DWORD* diffuse;  // the diffuse colours of a chunk
    DWORD* specular;
    bool interpolateDiffuse;  // Gouraud colours the chunks read
    bool interpolateSpecular;
    bool fill;    // the result is the flat diffuse colour written as it is: whole-row fills
    bool kernel;  // a pixel-shader kernel makes the source colours (into kernelOut)
    DWORD* kernelOut;
    SpanBuffer buffers[32];
    int bufferCount;
};
