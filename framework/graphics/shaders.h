// Shaders: the built-in pixel shaders and shader handles (kind 12).
#pragma once

#include <platform/d3d9.h>

#include <cstdint>

#include "core/handle_registry.h"
#include "graphics/shader_constants.h"

constexpr int32_t kMaxShaders = 4096;

struct ShaderRecord {
    HandleHeader header;
    int32_t isVertex;
    void* code;
    IUnknown* shader;  // IDirect3DVertexShader9 or IDirect3DPixelShader9
    int32_t constantCount;
    const void* firstConstant;
};

extern HandleRegistry gShaderRegistry;

int TerminateShaderRecord(HandleHeader* record);
// The device object of a live, loaded shader handle of the kind; null otherwise.
IUnknown* GetShaderObject(Handle shader, int isVertex);

// 1 while the built-in pixel shaders draw instead of the texture stages.
int AreBuiltinShadersOn();
// 0, 200 or 300.
int GetUsableShaderVersion();
// Chooses the 3D shader variant for the lighting and fog in force.
void ComputeShaderVariantIndex();
int CloseBuiltinShaderPack();
// After a device re-creation: every user shader is made again from its kept code; 0.
int RecreateUserShaders();
