// The built-in 2D pixel shaders: the untextured, textured and mask shaders that draw instead of
// the texture stages while shaders are on. Their kernels are stage programs of the software
// device made from the same texture-stage sets the fixed-function path sends, so both paths
// give the same pixels.
#pragma once

#include <platform/d3d9.h>
#include <platform/d3d9_kernels.h>

#include <cstdint>

constexpr int kUntexturedShaderCount = 4;
constexpr int kTexturedShaderCount = 64;

// Pixel constant c5 of the 2D shaders: the texture factor as (blue, green, red, alpha) / 255;
// with the threshold ramp (blend index 2) instead (0, 0, scale, +-alpha / 255), or (0, 0, 1, 0)
// below a ramp width of 2, where the ramp is an alpha test.
constexpr int kShaderFactorRegister = 5;
ShaderFloat4 FactorShaderConstant(uint32_t factor);
// op and scaleOp as a stage-set key holds them (both 0 for the alpha-test form); the factor's
// alpha is the ramp's.
ShaderFloat4 RampShaderConstant(uint32_t factor, int op, int scaleOp);

// Makes the 4 untextured, 64 textured and the mask shader from the pack's first archive (their
// kernels, and the 3D pixel variant's, are registered with the device when the program
// loads). -1 with the failure logged and nothing kept.
int CreateBuiltinDrawShaders();
void ReleaseBuiltinDrawShaders();

// Null while the shaders do not exist. kind is the shader blend kind 0..3, blendIndex 0 (no
// blend graph) or the blend-graph type + 1.
IDirect3DPixelShader9* GetUntexturedShader(int kind);
IDirect3DPixelShader9* GetTexturedShader(int blendIndex, int kind, int ignoreColor,
                                         int ignoreTextureAlpha);
IDirect3DPixelShader9* GetMaskBlendShader();
