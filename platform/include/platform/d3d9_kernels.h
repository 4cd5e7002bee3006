// Pixel shaders of the software Direct3D device: native C++ kernels registered by name. A
// shader's bytecode is a small record that names its kernel; CreatePixelShader accepts only
// such records (with optional comment blocks, e.g. a constant table, before the name) and
// refuses any other bytecode.
#pragma once

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
// texture, unfiltered; (0, 0, 0, 1) when no texture is bound there. Kernels that must compute
// on exact 8-bit values read their inputs this way.
ShaderFloat4 LoadTexel(const PixelShaderContext& context, int sampler, int x, int y);
// The size of level 0 of the texture on the sampler; false (0 x 0) when none is bound.
bool GetSamplerTextureSize(const PixelShaderContext& context, int sampler, int* width,
                           int* height);

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
// bad name or a null builder. A name is either a kernel or a stage program, the last
// registration winning.
bool RegisterPixelShaderStages(const char* name, ShaderStageBuilder builder);
