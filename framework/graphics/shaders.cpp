// Stands in for the shaders until they exist: the device is used as one without pixel shaders,
// so the built-in shaders are off and no shader handle is ever made.
#include "graphics/shader_pack.h"
#include "graphics/shaders.h"

HandleRegistry gShaderRegistry = {};

int TerminateShaderRecord(HandleHeader* record) {
    return 0;
}

IUnknown* GetShaderObject(Handle shader, int isVertex) {
    return nullptr;
}

int AreBuiltinShadersOn() {
    return 0;
}

int GetUsableShaderVersion() {
    return 0;
}

void ComputeShaderVariantIndex() {}

int RecreateUserShaders() {
    return 0;
}
