// Shaders: the built-in pixel shaders, shader handles (kind 12) and the shader-constant cache
// with its four usage sets per register kind.
#pragma once

#include <platform/d3d9.h>

#include <cstdint>

#include "core/handle_registry.h"

constexpr int32_t kMaxShaders = 4096;

// Register kinds of the constant cache.
constexpr int kShaderConstVertexFloat = 0;
constexpr int kShaderConstVertexInt = 1;
constexpr int kShaderConstVertexBool = 2;
constexpr int kShaderConstPixelFloat = 3;
constexpr int kShaderConstPixelInt = 4;
constexpr int kShaderConstPixelBool = 5;

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

// Clears the constant cache; 0.
int SetupShaderConstCache();
// Makes the usage sets of the 4-bit mask live; 0.
int SelectShaderConstSets(int mask);
// Stores count registers of the kind from first in the usage set (four values a register;
// one for the bool kinds); 0.
int StoreShaderConstants(int kind, int set, int first, const void* values, int count,
                         int markRange);
// Sends every register kind's device image again (after a device re-creation); 0.
int UploadAllShaderConstants();

// 1 while the built-in pixel shaders draw instead of the texture stages.
int AreBuiltinShadersOn();
// 0, 200 or 300.
int GetUsableShaderVersion();
// Chooses the 3D shader variant for the lighting and fog in force.
void ComputeShaderVariantIndex();
int CloseBuiltinShaderPack();
// After a device re-creation: every user shader is made again from its kept code; 0.
int RecreateUserShaders();
