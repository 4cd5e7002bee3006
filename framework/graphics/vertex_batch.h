// The vertex batch: every Direct3D draw of the framework writes its vertices into one pending
// batch, drawn with one DrawPrimitiveUP when a state changes, the vertex kind or primitive
// changes, or the batch is full. Also the scene bracket, the draw states a draw needs, and the
// render-target and depth-surface binding.
#pragma once

#include <platform/d3d9.h>

#include <cstdint>

#include "graphics/graph_records.h"

constexpr int32_t kVertexKindColored = 0;
constexpr int32_t kVertexKindTextured = 1;
constexpr int32_t kVertexKindBlend = 2;  // with the blend graph's coordinates

// The pre-transformed vertices of the three 2D kinds; rhw (and the blend kind's specular) are
// filled once, so drawing code writes only position, colour and texture coordinates.
struct ColoredVertex {
    float x, y, z, rhw;
    D3DCOLOR diffuse;
};
struct TexturedVertex {
    float x, y, z, rhw;
    D3DCOLOR diffuse;
    float u, v;
};
struct BlendVertex {
    float x, y, z, rhw;
    D3DCOLOR diffuse, specular;
    float u, v;
    float blendU, blendV;
};

struct VertexBatch {
    int32_t is3D;
    int32_t vertexKind;
    D3DPRIMITIVETYPE primitiveType;
    int32_t vertexCount;
    uint8_t* writePointer;
    int32_t suppressed;  // the blend graph lets nothing through: a flush draws nothing
};
extern VertexBatch gVertexBatch;

// The primitives of that many vertices of the type (0 when they make none).
UINT CountPrimitives(D3DPRIMITIVETYPE type, int vertices);
// Draws what the batch holds (from a loading worker, on the main thread) and empties it; -1
// without a device.
int FlushVertexBatch(int fromAsyncWorker);
int FlushVertexBatchNow();
void OpenDeviceScene();
void CloseDeviceScene();
// Room for count vertices of the current kind at the end of the batch, flushing first when the
// batch holds another kind or primitive or is full; null when count vertices never fit.
void* ReserveBatchVertices(int is3D, D3DPRIMITIVETYPE type, int count);

// 0 / -1 (slot above 15 or no device).
int BindRenderTargetSurface(IDirect3DSurface9* surface, int slot);
// Binds the depth surface that belongs to the current draw target; 0.
int ApplyDepthSurfaceForTarget();

// Writes the fixed fields of every vertex of the buffers.
void PrefillVertexBatchBuffers();
// Empties the batch without drawing.
void ResetVertexBatch();
// The kind the blend states chose; a change draws the vertices of the old kind first.
void SetBatchVertexKind(int kind);
void SetBatchSuppressed(int suppressed);
