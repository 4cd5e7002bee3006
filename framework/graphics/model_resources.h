// Vertex and index buffers (kinds 15 and 16) and the handle kinds of 3D model resources.
#pragma once

#include <cstdint>

#include "core/handle_registry.h"

constexpr int32_t kMaxVertexBuffers = 16384;
constexpr int32_t kMaxIndexBuffers = 16384;

struct VertexBufferRecord {
    HandleHeader header;
};
struct IndexBufferRecord {
    HandleHeader header;
};

extern HandleRegistry gVertexBufferRegistry;
extern HandleRegistry gIndexBufferRegistry;

int TerminateBufferRecord(HandleHeader* record);

int RegisterModelHandleTypes();
int UnregisterModelHandleTypes();
int RetireAllModelInstances();
int RetireAllModelBaseData();
// After a device re-creation: every model's and buffer's device buffers are made again.
int RebuildAllModelBuffers();
// After a device re-creation: every vertex and index buffer is made again and refilled from
// its kept data; 0.
int RecreateBufferObjects();
int RestoreModelTextures();
