// Stands in for the shaders until they exist: the device is used as one without pixel shaders,
// so the built-in shaders are off, no shader handle is ever made and the constant cache has
// nothing to hold or send.
#include "graphics/shaders.h"

HandleRegistry gShaderRegistry = {};

int TerminateShaderRecord(HandleHeader* record) {
    return 0;
}

IUnknown* GetShaderObject(Handle shader, int isVertex) {
    return nullptr;
}

int SetupShaderConstCache() {
    return 0;
}

int SelectShaderConstSets(int mask) {
    return 0;
}

int StoreShaderConstants(int kind, int set, int first, const void* values, int count,
                         int markRange) {
    return 0;
}

int UploadAllShaderConstants() {
    return 0;
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

int CloseBuiltinShaderPack() {
    return 1;
}
