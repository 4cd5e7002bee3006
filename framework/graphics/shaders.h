// Shaders: the built-in pixel shaders drawn with instead of the texture stages when the device
// offers shader model 2.0, shader handles (kind 12) made from shader code, the vertex
// declarations of the model formats, and the program's own shader selection. The program's
// calls are public (orbek/orbek.h).
#pragma once

#include <orbek/orbek.h>
#include <platform/d3d9.h>

#include <cstdint>

#include "core/handle_registry.h"
#include "graphics/shader_constants.h"

constexpr int32_t kMaxShaders = 4096;
constexpr int kShaderTextureStages = 16;
// 54 model vertex formats at (tangentFrame x 3 + skinning) x 9 + texCoordCount, then two more.
constexpr int kModelVertexDeclarations = 54;
constexpr int kVertexDeclarations = kModelVertexDeclarations + 2;

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
    Handle textures[kShaderTextureStages];  // graphs; -1 for none
    int32_t textureCount;                   // one past the highest stage with a graph
};

struct ShaderSystemState {
    int32_t builtinOn;  // the built-in pixel shaders draw instead of the texture stages
    int32_t vertexVariantIndex;
    int32_t pixelVariantIndex;
    int32_t stagesTaken;  // shader textures went to stages that the blend states set
    IDirect3DVertexDeclaration9* vertexDeclarations[kVertexDeclarations];
};

extern HandleRegistry gShaderRegistry;
extern ShaderSystemState gShaders;
// The program's current shaders and shader textures; a shader pass binds these textures.
extern UserShaderState gUserShaders;

int TerminateShaderRecord(HandleHeader* record);
// The device object of a live, loaded shader handle of the kind; null otherwise.
IUnknown* GetShaderObject(Handle shader, int isVertex);

// 1 while the built-in pixel shaders draw instead of the texture stages.
int AreBuiltinShadersOn();
// Chooses the 3D shader variant for the lighting and fog in force.
void ComputeShaderVariantIndex();

// At graphics start-up and after a device re-creation: makes the built-in shaders when the
// device offers shader model 2.0 and switches them on; 0.
int SetupBuiltinShaders();
int ReleaseBuiltinShaders();
int BuildVertexDeclarations();
int ReleaseVertexDeclarations();
// The elements of declaration 0..55 without the end marker, which follows them in out (room
// for MAXD3DDECLLENGTH + 1); the element count, or -1 for another index.
int MakeVertexElements(int index, D3DVERTEXELEMENT9* out);

// The full form of CreateShaderFromCode. With freeCode the code is handed over: it is freed with
// FreeMemory whatever the outcome. Asynchronously the handle is returned at once and made on a
// loading worker, the code staying untouched until then. -1 without a device, without shaders,
// before graphics start-up or on failure.
Handle CreateShaderFromCode(int isVertex, void* code, int size, int freeCode, int async,
                            int fromAsyncWorker);
int SetupShaderHandle(Handle shader, int fromAsyncWorker, int isVertex, void* code, int size,
                      int freeCode);
// While a user pixel shader draws: the shader textures on stages firstStage to 7 (none where
// none is bound), the render-state cache learning what the device holds.
void SendShaderTextures(int firstStage);
// 1 once after shader textures took stages of the blend states: those must send their textures
// again.
int TakeBackShaderTextureStages();
// Records the current shaders and shader textures and makes constant sets 0 and 1 live.
void SaveUserShaderState(UserShaderState* state);
// Binds the first textureCount saved textures and selects the saved shaders again; what no
// longer exists is restored as none.
void RestoreUserShaderState(const UserShaderState* state, int textureCount);
// Before the device goes: the device objects of every user shader; the code stays.
int ReleaseUserShaderObjects();
// After a device re-creation: every user shader is made again from its kept code; 0.
int RecreateUserShaders();
