// Stands in for the model resources until they exist: no model or buffer is ever made, so the
// buffer records hold nothing, there are no model kinds, and nothing is retired or rebuilt.
#include "graphics/model_resources.h"

HandleRegistry gVertexBufferRegistry = {};
HandleRegistry gIndexBufferRegistry = {};

int TerminateBufferRecord(HandleHeader* record) {
    return 0;
}

int RegisterModelHandleTypes() {
    return 0;
}

int UnregisterModelHandleTypes() {
    return 0;
}

int RetireAllModelInstances() {
    return 0;
}

int RetireAllModelBaseData() {
    return 0;
}

int RebuildAllModelBuffers() {
    return 0;
}

int RecreateBufferObjects() {
    return 0;
}

int RestoreModelTextures() {
    return 0;
}
