// Shaders: the built-in pixel shaders drawn with instead of the texture stages when the device
// offers shader model 2.0, shader handles (kind 12) made from shader code, the vertex
// declarations of the model formats, and the program's own shader selection.
#pragma once

#include <platform/d3d9.h>

#include <cstdint>

#include "core/handle_registry.h"
#include "graphics/shader_constants.h"

constexpr int32_t kMaxShaders = 4096;
constexpr int kShaderTextureStages = 16;

struct ShaderRecord {
    HandleHeader header;
    int32_t isVertex;
    void* code;
    IUnknown* shader;  // IDirect3DVertexShader9 or IDirect3DPixelShader9
    int32_t constantCount;
    const void* firstConstant;
};

// Saved around the program's own shader use.
struct UserShaderState {
    Handle vertexShader;
    Handle pixelShader;
    Handle textures[kShaderTextureStages];
    int32_t textureCount;
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

// At graphics start-up and after a device re-creation: makes the built-in shaders when the
// device offers shader model 2.0 and switches them on; 0.
int SetupBuiltinShaders();
int ReleaseBuiltinShaders();
int BuildVertexDeclarations();
int ReleaseVertexDeclarations();

// A shader handle from compiled code (size bytes); freeCode hands the code to the handle's
// owner to free. -1 without a device, without shaders or on failure.
Handle CreateShaderFromCode(int isVertex, void* code, int size, int freeCode, int async,
                            int fromAsyncWorker);
int SetupShaderHandle(Handle shader, int fromAsyncWorker, int isVertex, void* code, int size,
                      int freeCode);
// Stage 0..15; graph -1 unbinds.
int BindShaderTexture(int stage, Handle graph);
// 0 or less selects none.
int SelectUserVertexShader(Handle shader);
int SelectUserPixelShader(Handle shader);
void SaveUserShaderState(UserShaderState* state);
void RestoreUserShaderState(const UserShaderState* state, int textureCount);
// After a device re-creation: every user shader is made again from its kept code; 0.
int RecreateUserShaders();
