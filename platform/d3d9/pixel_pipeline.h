// The pixel pipeline of a draw: texture stages or a pixel-shader kernel, alpha test, depth
// test and write, blending, and the write in the render target's format.
#pragma once

#include "platform/d3d9_kernels.h"
#include "sampler.h"

class Device;
struct Surface;

constexpr int kMaxTexSets = 8;

// value(x, y) = a * x + b * y + c over the render target's pixel grid.
struct Plane {
    double a, b, c;
};

// What the rasteriser hands over for one primitive. With `perspective`, colour and texture
// planes hold value / w and `q` holds 1 / w; depth is always linear in screen space.
struct Interpolants {
    bool perspective;
    bool flat;
    float refX, refY;  // a point of the primitive where texel footprints are measured
    Plane q;
    Plane z;
    Plane diffuse[4];
    Plane specular[4];
    Plane tex[kMaxTexSets][2];
    Color flatDiffuse;
    Color flatSpecular;
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

    PixelShaderKernel kernel;  // null: the texture stages
    PixelShaderContext shaderContext;
    StageProgram stages[8];
    int stageCount;
    Color textureFactor;
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
};

// The pipeline of the device's current state; D3DERR_INVALIDCALL when the state cannot be
// drawn with (no render target, a vertex shader, an operation or argument not offered).
HRESULT BuildPipeline(Device& device, int vertexTexSets, DrawPipeline* pipeline);
// Chooses each sampler's filter and levels for the primitive about to be shaded.
void BeginPrimitive(DrawPipeline& pipeline, const Interpolants& in);
// Shades pixels x0 <= x < x1 of row y, all inside the clip rectangle.
void ShadeSpan(DrawPipeline& pipeline, const Interpolants& in, int y, int x0, int x1);
// The two alpha-test and depth comparisons.
bool Compare(DWORD func, DWORD value, DWORD reference);
