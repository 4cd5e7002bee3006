// The transform setters. The built-in shaders read the transposed matrices from vertex-shader
// constants: world 94-97, view 6-9, projection 2-5 (usage set 0).
#include "graphics/device_transforms.h"

#include "graphics/d3d_device.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/draw_state.h"
#include "graphics/lights.h"
#include "graphics/shaders.h"
#include "graphics/vertex_batch.h"

namespace {

constexpr int kWorldConstant = 94;
constexpr int kViewConstant = 6;
constexpr int kProjectionConstant = 2;

void StoreTransposed(int firstRegister, const Matrix4x4* matrix) {
    Matrix4x4 transposed;
    TransposeMatrix(&transposed, matrix);
    StoreShaderConstants(&gShaderConstCache, kShaderConstVertexFloat, 0, firstRegister, &transposed.m[0][0], 4, 1);
}

const D3DMATRIX* AsD3DMatrix(const Matrix4x4* matrix) {
    return reinterpret_cast<const D3DMATRIX*>(matrix);
}

// The common part of the setters: the batch drawn under the old matrix, the new one kept.
void Store(Matrix4x4* slot, const Matrix4x4* matrix) {
    FlushVertexBatchNow();
    *slot = *matrix;
    MarkCullingPlanesStale();
}

}  // namespace

static_assert(sizeof(Matrix4x4) == sizeof(D3DMATRIX));

int SetWorldMatrix(const Matrix4x4* matrix) {
    DrawSettings& s = gDrawSettings;
    Store(&s.worldMatrix, matrix);
    if (HasDirect3DDevice()) ApplyWorldMatrix(matrix);
    return 0;
}

int SetViewMatrix(const Matrix4x4* matrix) {
    DrawSettings& s = gDrawSettings;
    Store(&s.viewMatrix, matrix);
    if (HasDirect3DDevice()) ApplyViewMatrix(matrix);
    return 0;
}

int SetProjectionMatrix(const Matrix4x4* matrix) {
    DrawSettings& s = gDrawSettings;
    Store(&s.projectionMatrix, matrix);
    if (HasDirect3DDevice()) ApplyProjectionMatrix(matrix);
    return 0;
}

int SetViewportAdjustMatrix(const Matrix4x4* matrix) {
    DrawSettings& s = gDrawSettings;
    Store(&s.viewportAdjustMatrix, matrix);
    if (HasDirect3DDevice()) ApplyProjectionMatrix(&s.projectionMatrix);
    return 0;
}

int SetDrawAreaAdjustMatrix(const Matrix4x4* matrix) {
    DrawSettings& s = gDrawSettings;
    Store(&s.drawAreaAdjustMatrix, matrix);
    if (HasDirect3DDevice()) ApplyProjectionMatrix(&s.projectionMatrix);
    return 0;
}

void ApplyWorldMatrix(const Matrix4x4* matrix) {
    DeviceSetTransform(D3DTS_WORLD, AsD3DMatrix(matrix));
    StoreTransposed(kWorldConstant, matrix);
}

void ApplyViewMatrix(const Matrix4x4* matrix) {
    DeviceSetTransform(D3DTS_VIEW, AsD3DMatrix(matrix));
    StoreTransposed(kViewConstant, matrix);
    StoreLightViewConstants(matrix);
}

void ApplyProjectionMatrix(const Matrix4x4* matrix) {
    const DrawSettings& s = gDrawSettings;
    Matrix4x4 combined;
    MultiplyMatrices(&combined, matrix, &s.viewportAdjustMatrix);
    MultiplyMatrices(&combined, &combined, &s.drawAreaAdjustMatrix);
    DeviceSetTransform(D3DTS_PROJECTION, AsD3DMatrix(&combined));
    StoreTransposed(kProjectionConstant, &combined);
}

void MarkCullingPlanesStale() {
    gDrawSettings.camera.cullingPlanesStale = 1;
    gDrawSettings.camera.inverseStale = 1;
}
