// The built-in 2D pixel shaders: the untextured, textured and mask shaders that draw instead of
// the texture stages while shaders are on. Their kernels are stage programs of the software
// device made from the same texture-stage sets the fixed-function path sends, so both paths
// give the same pixels.
#pragma once

#include <platform/d3d9.h>

// Registers the 2D shaders' kernels with the device (once); then makes the 4 untextured, 64
// textured and the mask shader from the pack's first archive. -1 with the failure logged and
// nothing kept.
int CreateBuiltinDrawShaders();
void ReleaseBuiltinDrawShaders();

// Null while the shaders do not exist. kind is the shader blend kind 0..3, blendIndex 0 (no
// blend graph) or the blend-graph type + 1.
IDirect3DPixelShader9* GetUntexturedShader(int kind);
IDirect3DPixelShader9* GetTexturedShader(int blendIndex, int kind, int ignoreColor,
                                         int ignoreTextureAlpha);
IDirect3DPixelShader9* GetMaskBlendShader();
