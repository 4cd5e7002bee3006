// The pixel pipeline of a draw: texture stages or a pixel-shader kernel, alpha test, depth
// test and write, blending, and the write in the render target's format.
#pragma once

#include <cstdint>

#include "color.h"
#include "platform/d3d9_kernels.h"
#include "sampler.h"
#include "span_plan.h"

class Device;
struct Surface;

constexpr int kMaxTexSets = 8;

// value(x, y) = a * x + b * y + c over the render target's pixel grid.
struct Plane {
    double a, b, c;
};

// An attribute of one primitive in fixed point, relative to the primitive's reference pixel:
// value(x, y) = at + dx * (x - refX) + dy * (y - refY), exact integer arithmetic. The span
// that steps it and the pixel that evaluates it directly get the same value.
struct FixedPlane {
    int64_t at, dx, dy;
};

// Colours in 8-bit units with this many fraction bits.
constexpr int kColorFraction = 16;

// `scale` converts the plane's units (0..1 colour, 0..1 texture coordinate) to fixed point.
FixedPlane MakeFixedPlane(const Plane& plane, double scale, int refX, int refY);

inline int64_t FixedValue(const FixedPlane& f, int dx, int dy) {
    return f.at + f.dx * dx + f.dy * dy;
}

// An 8-bit channel from a fixed-point colour: rounded to nearest and clamped.
inline int ChannelFromFixed(int64_t v) {
    int64_t c = (v + (int64_t{1} << (kColorFraction - 1))) >> kColorFraction;
    return static_cast<int>(c < 0 ? 0 : (c > 255 ? 255 : c));
}

// A stage's texture coordinates in texels of the two levels its sampler reads.
struct StageCoords {
    FixedPlane u[2], v[2];
};

// What the rasteriser hands over for one primitive. With `perspective`, colour and texture
// planes hold value / w and `q` holds 1 / w; depth is always linear in screen space.
struct Interpolants {
    bool perspective;
    bool flat;
    float refX, refY;    // a point of the primitive where texel footprints are measured
    int pixelX, pixelY;  // the reference pixel of the fixed-point planes
    Plane q;
    Plane z;
    Plane diffuse[4];  // red, green, blue, alpha
    Plane specular[4];
    Plane tex[kMaxTexSets][2];
    DWORD flatDiffuse;  // A8R8G8B8
    DWORD flatSpecular;

    // Filled by BeginPrimitive.
    FixedPlane diffuseFixed[4];  // red, green, blue, alpha (without perspective)
    FixedPlane specularFixed[4];
    StageCoords coords[kPipelineStages];  // of the stages that sample (without perspective)
    SpanFn shade;                         // the span function that draws this primitive
};

struct StageProgram {
    DWORD colorOp, alphaOp;
    DWORD colorArgs[3];  // ARG0, ARG1, ARG2
    DWORD alphaArgs[3];
    bool toTemp;
    bool sampled;  // the stage reads its texture
    int texSet;
};

struct DrawPipeline {
    Surface* target;
    Surface* depth;  // tested against (and written) when not null
    RECT clip;       // pixels that may be written: right and bottom exclusive
    bool depthWrite;
    DWORD depthFunc;
    float depthBias;

    PixelShaderKernel kernel;  // both null: the texture stages
    PixelShaderSpanKernel spanKernel;
    PixelShaderContext shaderContext;
    StageProgram stages[kPipelineStages];
    int stageCount;
    DWORD textureFactor;  // A8R8G8B8
    bool specularAdd;

    bool alphaTest;
    DWORD alphaFunc;
    DWORD alphaRef;

    bool blend;
    DWORD srcBlend, destBlend, blendOp;

    bool gouraud;
    bool needsSpecular;
    DWORD texSets;      // bit per texture coordinate set the pixels read
    int vertexTexSets;  // texture coordinate sets the vertices carry
    int lodTexSet[16];  // the set whose footprint chooses each sampler's level
    bool samplerUsed[16];
    ShaderSamplers samplers;

    SpanPlan plan;  // the specialised span of this state, when there is one
};

// The pipeline of the device's current state; D3DERR_INVALIDCALL when the state cannot be
// drawn with (no render target, a vertex shader, an operation or argument not offered).
// `program` is what the bound stage-program shader built from the current constants (null
// without such a shader): its stages and texture factor stand for the texture-stage states.
// `special` allows a specialised span where the state has one.
HRESULT BuildPipeline(Device& device, int vertexTexSets, const ShaderStageProgram* program,
                      bool special, DrawPipeline* pipeline);
// Takes the bound textures' levels as they are now; before each draw.
void RefreshPipelineTextures(Device& device, DrawPipeline& pipeline);
// Chooses each sampler's filter and levels for the primitive about to be shaded, sets up its
// fixed-point planes around pixel (refX, refY) and the span function that draws it.
void BeginPrimitive(DrawPipeline& pipeline, Interpolants& in, int refX, int refY);
// The general path: shades pixels x0 <= x < x1 of row y, all inside the clip rectangle,
// interpreting the pipeline per pixel.
void ShadeSpan(DrawPipeline& pipeline, const Interpolants& in, int y, int x0, int x1);
// The pipeline's pixel-shader kernel on pixel (x, y) (w = 1 / q in perspective, else 1) with
// its diffuse and specular colours: its output as A8R8G8B8, or `discard` set.
DWORD RunPixelKernel(const DrawPipeline& pipeline, const Interpolants& in, int x, int y, double w,
                     DWORD diffuse, DWORD specular, bool* discard);
// The pipeline's span kernel on pixels x .. x + n - 1 of row y (n 1..kMaxShaderSpan; a
// primitive in perspective one pixel at a time, w = 1 / q there) with their diffuse and
// specular colours: outputs as A8R8G8B8 and whether each pixel is kept.
void RunSpanKernel(const DrawPipeline& pipeline, const Interpolants& in, int x, int y, int n,
                   double w, const DWORD* diffuse, const DWORD* specular, DWORD* out, bool* kept);
// The two alpha-test and depth comparisons.
bool Compare(DWORD func, DWORD value, DWORD reference);

// One texture-stage operation on 8-bit channels (pixel_math.h rounding). `alphas` are the
// diffuse, texture, factor and current alphas the blend operations read.
struct StageAlphas {
    int diffuse, texture, factor, current;
};
DWORD ApplyStageOp(DWORD op, DWORD a0, DWORD a1, DWORD a2, const StageAlphas& alphas);
// The specular colour added to red, green and blue.
DWORD AddSpecular(DWORD color, DWORD specular);
// An argument's value with its COMPLEMENT and ALPHAREPLICATE modifiers applied.
DWORD ApplyArgModifiers(DWORD arg, DWORD value);
// Blends source s onto destination d (both A8R8G8B8) with the pipeline's factors and op.
DWORD BlendPixel(DWORD srcBlend, DWORD destBlend, DWORD blendOp, DWORD s, DWORD d);
