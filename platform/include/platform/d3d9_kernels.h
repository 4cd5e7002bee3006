// Pixel shaders of the software Direct3D device: native C++ kernels registered by name. A
// shader's bytecode is a small record that names its kernel; CreatePixelShader accepts only
// such records (with optional comment blocks, e.g. a constant table, before the name) and
// refuses any other bytecode.
#pragma once

#include <algorithm>
#include <vector>

#include "platform/win32_types.h"

struct ShaderFloat4 {
    float x, y, z, w;
};

struct PixelShaderInput {
    ShaderFloat4 color0;       // diffuse, 0..1
    ShaderFloat4 color1;       // specular, 0..1
    ShaderFloat4 texcoord[8];  // (u, v, 0, 1) of each coordinate set the vertices carry
    float x, y;                // the pixel's position on the render target
};

struct PixelShaderContext {
    const ShaderFloat4* floatConstants;  // c0..c223
    const int (*intConstants)[4];        // i0..i15
    const BOOL* boolConstants;           // b0..b15
    const void* samplers;                // the draw's sampler states and textures
};

// Samples sampler 0..15 at (u, v) with its address modes and filters; (0, 0, 0, 1) when no
// texture is bound there.
ShaderFloat4 SampleTexture(const PixelShaderContext& context, int sampler, float u, float v);

// Writes the pixel's colour (saturated by the device afterwards); returns false to discard
// the pixel, which leaves the render target and depth untouched.
using PixelShaderKernel = bool (*)(const PixelShaderInput& input, const PixelShaderContext& context,
                                   ShaderFloat4* out);

// Registers (or replaces) the kernel behind a name of 1 to 63 bytes; false for a bad name or
// a null kernel.
bool RegisterPixelShaderKernel(const char* name, PixelShaderKernel kernel);

// The bytecode record naming `name` (shader model 2.0, vertex or pixel), ready to be given to
// CreateVertexShader or CreatePixelShader; empty for a bad name.
std::vector<DWORD> MakeShaderKernelRecord(bool vertexShader, const char* name);

// The texel (x, y) of level 0 of the texture on sampler 0..15, with x and y clamped to the
// texture, unfiltered; (0, 0, 0, 1) when no texture is bound there. Per-pixel kernels that must
// compute on exact 8-bit values read their inputs this way (span kernels: GetSamplerTexels).
ShaderFloat4 LoadTexel(const PixelShaderContext& context, int sampler, int x, int y);
// The size of level 0 of the texture on the sampler; false (0 x 0) when none is bound.
bool GetSamplerTextureSize(const PixelShaderContext& context, int sampler, int* width, int* height);

// Span kernels: a kernel that shades a run of pixels of one row at a time in 8-bit channels,
// reading texels straight from the textures' rows. A name is a per-pixel kernel, a span kernel
// or a stage program, the last registration winning.
constexpr int kMaxShaderSpan = 64;

// Texture coordinate set of a span: pixel i's (u, v) is (plane(x + i, y), ...) rounded to float,
// the value a per-pixel kernel is given.
struct ShaderTexcoordPlane {
    double u[3], v[3];  // a, b, c of a x + b y + c
};

// Pixels x .. x + count - 1 (count 1..kMaxShaderSpan) of row y of the render target.
struct PixelShaderSpan {
    int x, y, count;
    const DWORD* diffuse;  // A8R8G8B8, one a pixel
    const DWORD* specular;
    ShaderTexcoordPlane texcoords[8];  // all zero for sets the vertices do not carry
    const void* primitive;             // the device's, for SampleTextureSpan
};

inline float SpanTexcoordU(const PixelShaderSpan& span, int set, int i) {
    const ShaderTexcoordPlane& p = span.texcoords[set];
    return static_cast<float>(p.u[0] * (span.x + i) + p.u[1] * span.y + p.u[2]);
}
inline float SpanTexcoordV(const PixelShaderSpan& span, int set, int i) {
    const ShaderTexcoordPlane& p = span.texcoords[set];
    return static_cast<float>(p.v[0] * (span.x + i) + p.v[1] * span.y + p.v[2]);
}

// Writes each pixel's colour as A8R8G8B8 into out[i] and whether it is kept into kept[i]
// (false discards it, leaving the render target and depth untouched).
using PixelShaderSpanKernel = void (*)(const PixelShaderSpan& span,
                                       const PixelShaderContext& context, DWORD* out, bool* kept);

// Registers (or replaces) the span kernel behind a name of 1 to 63 bytes; false for a bad name
// or a null kernel.
bool RegisterPixelShaderSpanKernel(const char* name, PixelShaderSpanKernel kernel);

// Level 0 of the texture on a sampler as rows of A8R8G8B8 texels, for kernels that compute on
// exact 8-bit values (texels in memory are B, G, R, A bytes).
struct ShaderTexels {
    const DWORD* texels;
    int stride;  // texels a row
    int width, height;
    DWORD orMask;  // ORed into each texel (opaque alpha of X formats)
};
// False (and an empty view) when no texture is bound on the sampler.
bool GetSamplerTexels(const PixelShaderContext& context, int sampler, ShaderTexels* texels);
// Texel (x, y) with x and y clamped to the texture; the view must not be empty.
inline DWORD TexelAt(const ShaderTexels& t, int x, int y) {
    x = std::clamp(x, 0, t.width - 1);
    y = std::clamp(y, 0, t.height - 1);
    return t.texels[static_cast<size_t>(y) * static_cast<size_t>(t.stride) + x] | t.orMask;
}

// Samples sampler 0..7 through the texture coordinate set of the same number over the span
// exactly as a texture stage samples it (filters, address modes, mip levels): A8R8G8B8 into
// out; 0xFF000000 for pixels of a sampler without a texture.
void SampleTextureSpan(const PixelShaderSpan& span, const PixelShaderContext& context, int sampler,
                       DWORD* out);

// Pixel shaders that the device runs as texture stages: the builder turns the pixel-shader
// float constants into stage operations and arguments (D3DTOP and D3DTA values) and a texture
// factor, and the draw is then exactly a fixed-function draw with those stages (sampler i
// feeding stage i), on every span path the device has.
struct ShaderStage {
    DWORD colorOp, colorArg1, colorArg2;
    DWORD alphaOp, alphaArg1, alphaArg2;
    DWORD texCoordIndex;
    DWORD resultArg;  // D3DTA_CURRENT or D3DTA_TEMP
};
constexpr int kMaxShaderStages = 8;
struct ShaderStageProgram {
    int count;
    ShaderStage stages[kMaxShaderStages];
    DWORD textureFactor;
};
using ShaderStageBuilder = void (*)(const ShaderFloat4* floatConstants, ShaderStageProgram* out);

// Registers (or replaces) a stage-program shader under a name of 1 to 63 bytes; false for a
// bad name or a null builder.
bool RegisterPixelShaderStages(const char* name, ShaderStageBuilder builder);
