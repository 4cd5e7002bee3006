// The vertex batch and its flush, the scene bracket, PrepareDrawStates and the binding of
// render targets and depth surfaces.
#include "graphics/vertex_batch.h"

#include <cstring>

#include "graphics/d3d_device.h"
#include "graphics/d3d_marshal.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/device_resources.h"
#include "graphics/draw_state.h"
#include "graphics/render_state_cache.h"
#include "graphics/screen_state.h"
#include "graphics/shaders.h"

VertexBatch gVertexBatch = {0, kVertexKindColored, D3DPT_TRIANGLELIST, 0, nullptr, 0};

namespace {

struct VertexFormat {
    DWORD fvf;
    UINT stride;
};

// By is3D x 3 + kind; the 3D kinds 0 and 1 share one buffer.
constexpr VertexFormat kVertexFormats[6] = {
    {D3DFVF_XYZRHW | D3DFVF_DIFFUSE, 20},
    {D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, 28},
    {D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2, 40},
    {D3DFVF_XYZ | D3DFVF_DIFFUSE, 16},
    {D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1, 24},
    {0, 0},
};
static_assert(sizeof(ColoredVertex) == 20 && sizeof(TexturedVertex) == 28 &&
              sizeof(BlendVertex) == 40);

constexpr size_t kColoredBufferBytes = 64512;
constexpr size_t kBufferBytes = 65536;

struct BatchBuffers {
    alignas(16) uint8_t colored[kColoredBufferBytes];
    alignas(16) uint8_t textured[kBufferBytes];
    alignas(16) uint8_t blend[kBufferBytes];
    alignas(16) uint8_t space[kBufferBytes];  // the 3D kinds
};

BatchBuffers gBatchBuffers;

const VertexFormat& FormatOf(int is3D, int kind) {
    return kVertexFormats[is3D * 3 + kind];
}

uint8_t* BufferStart(int is3D, int kind) {
    if (is3D) return gBatchBuffers.space;
    if (kind == kVertexKindColored) return gBatchBuffers.colored;
    return kind == kVertexKindTextured ? gBatchBuffers.textured : gBatchBuffers.blend;
}

size_t BufferBytes(int is3D, int kind) {
    return !is3D && kind == kVertexKindColored ? kColoredBufferBytes : kBufferBytes;
}

template <class Vertex>
void Prefill(uint8_t* buffer, size_t bytes, D3DCOLOR specular) {
    auto* vertices = reinterpret_cast<Vertex*>(buffer);
    for (size_t i = 0; i < bytes / sizeof(Vertex); ++i) {
        vertices[i].z = 0.0f;
        vertices[i].rhw = 1.0f;
        if constexpr (requires { vertices[i].specular; }) vertices[i].specular = specular;
    }
}

}  // namespace

UINT CountPrimitives(D3DPRIMITIVETYPE type, int vertices) {
    int count = 0;
    switch (type) {
        case D3DPT_POINTLIST:
            count = vertices;
            break;
        case D3DPT_LINELIST:
            count = vertices / 2;
            break;
        case D3DPT_LINESTRIP:
            count = vertices - 1;
            break;
        case D3DPT_TRIANGLELIST:
            count = vertices / 3;
            break;
        default:
            count = vertices - 2;
            break;
    }
    return count > 0 ? static_cast<UINT>(count) : 0;
}

int FlushVertexBatch(int fromAsyncWorker) {
    if (fromAsyncWorker) return MarshalToMainThread<FlushVertexBatchNow>(1);
    if (!HasDirect3DDevice()) return -1;
    VertexBatch& b = gVertexBatch;
    if (b.vertexCount > 0 && !IsQuitting()) {
        if (!gRenderStates.sceneOpen) OpenDeviceScene();
        if (!b.suppressed) {
            const VertexFormat& format = FormatOf(b.is3D, b.vertexKind);
            SetCachedFvf(format.fvf);
            D3DMATRIX identity{};
            for (int i = 0; i < 4; ++i) identity.m[i][i] = 1.0f;
            if (b.is3D) DeviceSetTransform(D3DTS_WORLD, &identity);
            DeviceDrawPrimitiveUP(b.primitiveType, CountPrimitives(b.primitiveType, b.vertexCount),
                                  BufferStart(b.is3D, b.vertexKind), format.stride);
            if (b.is3D) {
                DeviceSetTransform(D3DTS_WORLD,
                                   reinterpret_cast<const D3DMATRIX*>(&gDrawSettings.worldMatrix));
            }
        }
    }
    ResetVertexBatch();
    return 0;
}

int FlushVertexBatchNow() {
    return FlushVertexBatch(0);
}

void OpenDeviceScene() {
    if (!HasDirect3DObject() || gRenderStates.sceneOpen) return;
    DeviceBeginScene();
    gRenderStates.sceneOpen = 1;
}

void CloseDeviceScene() {
    if (!gRenderStates.sceneOpen) return;
    DeviceEndScene();
    gRenderStates.sceneOpen = 0;
}

void* ReserveBatchVertices(int is3D, D3DPRIMITIVETYPE type, int count) {
    VertexBatch& b = gVertexBatch;
    is3D = is3D ? 1 : 0;
    if (count <= 0 || (is3D && b.vertexKind == kVertexKindBlend)) return nullptr;
    const VertexFormat& format = FormatOf(is3D, b.vertexKind);
    size_t capacity = BufferBytes(is3D, b.vertexKind);
    if (static_cast<size_t>(count) * format.stride > capacity) return nullptr;
    if (b.vertexCount > 0 &&
        (b.is3D != is3D || b.primitiveType != type ||
         (static_cast<size_t>(b.vertexCount) + count) * format.stride > capacity)) {
        FlushVertexBatchNow();
    }
    if (b.vertexCount == 0) {
        b.is3D = is3D;
        b.primitiveType = type;
        b.writePointer = BufferStart(is3D, b.vertexKind);
    }
    uint8_t* at = b.writePointer;
    b.writePointer += static_cast<size_t>(count) * format.stride;
    b.vertexCount += count;
    return at;
}

int BindRenderTargetSurface(IDirect3DSurface9* surface, int slot) {
    RenderStateCache& c = gRenderStates;
    if (slot < 0 || slot >= kCachedRenderTargets || !HasDirect3DDevice()) return -1;
    if (!c.ResendAll && c.renderTargets[slot] == surface) return 0;
    FlushVertexBatchNow();
    CloseDeviceScene();
    DeviceSetRenderTarget(static_cast<DWORD>(slot), surface);
    c.renderTargets[slot] = surface;
    // The device gives a new target of slot 0 the viewport of its whole surface.
    D3DSURFACE_DESC desc{};
    if (slot == 0 && surface != nullptr && SUCCEEDED(SurfaceGetDesc(surface, &desc))) {
        c.viewport = {0, 0, desc.Width, desc.Height, 0.0f, 1.0f};
    }
    return 0;
}

int ApplyDepthSurfaceForTarget() {
    if (!HasDirect3DDevice()) return 0;
    const DrawSettings& s = gDrawSettings;
    IDirect3DSurface9* fallback = gDeviceResources.zBuffer;
    const GraphRecord* depthGraph = GetGraphRecord(s.zBufferGraph, 0);
    IDirect3DSurface9* graphDepth = nullptr;
    int depthWidth = 0, depthHeight = 0;
    if (depthGraph != nullptr && depthGraph->textureInfo != nullptr &&
        depthGraph->textureInfo->pieceCount > 0) {
        graphDepth = depthGraph->textureInfo->pieces[0].depthSurface;
        depthWidth = depthGraph->width;
        depthHeight = depthGraph->height;
    }
    IDirect3DSurface9* chosen = fallback;
    Handle target = s.drawTargets[0];
    if (IsScreenId(target)) {
        if (graphDepth != nullptr && depthWidth >= gScreen.screenWidth &&
            depthHeight >= gScreen.screenHeight) {
            chosen = graphDepth;
        }
    } else if (const GraphRecord* graph = GetGraphRecord(target, 0); graph != nullptr) {
        const TexturePiece* piece =
            graph->textureInfo != nullptr && graph->textureInfo->pieceCount > 0
                ? &graph->textureInfo->pieces[0]
                : nullptr;
        if (graphDepth != nullptr && depthWidth >= graph->width && depthHeight >= graph->height) {
            chosen = graphDepth;
        } else if (piece != nullptr && piece->depthSurface != nullptr) {
            chosen = piece->depthSurface;
        } else {
            D3DSURFACE_DESC desc{};
            if (fallback == nullptr || FAILED(SurfaceGetDesc(fallback, &desc)) ||
                static_cast<UINT>(graph->width) > desc.Width ||
                static_cast<UINT>(graph->height) > desc.Height) {
                chosen = nullptr;
            }
        }
    }
    FlushVertexBatchNow();
    DeviceSetDepthStencilSurface(chosen);
    return 0;
}

void PrefillVertexBatchBuffers() {
    Prefill<ColoredVertex>(gBatchBuffers.colored, sizeof gBatchBuffers.colored, 0);
    Prefill<TexturedVertex>(gBatchBuffers.textured, sizeof gBatchBuffers.textured, 0);
    Prefill<BlendVertex>(gBatchBuffers.blend, sizeof gBatchBuffers.blend, 0xFFFFFFFF);
}

void ResetVertexBatch() {
    VertexBatch& b = gVertexBatch;
    b.vertexCount = 0;
    b.writePointer = BufferStart(b.is3D, b.vertexKind);
}

void SetBatchVertexKind(int kind) {
    VertexBatch& b = gVertexBatch;
    if (b.vertexKind == kind) return;
    if (b.vertexCount > 0) FlushVertexBatchNow();
    b.vertexKind = kind;
    ResetVertexBatch();
}

void SetBatchSuppressed(int suppressed) {
    VertexBatch& b = gVertexBatch;
    if (b.suppressed == suppressed) return;
    if (b.vertexCount > 0) FlushVertexBatchNow();
    b.suppressed = suppressed;
}
