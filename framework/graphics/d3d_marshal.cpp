// Main-thread marshalling: each caller-side function hands its wrapper of the Direct3D object
// layer to the main thread when called from a loading worker.
#include "graphics/d3d_marshal.h"

#include "core/shell_hooks.h"
#include "graphics/d3d_device.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/vertical_blank.h"

namespace {

int CreateVertexBufferOrFail(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                             IDirect3DVertexBuffer9** buffer) {
    if (!HasDirect3DDevice()) return -1;
    return FAILED(DeviceCreateVertexBuffer(length, usage, fvf, pool, buffer, nullptr)) ? -1 : 0;
}

int CreateIndexBufferOrFail(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                            IDirect3DIndexBuffer9** buffer) {
    if (!HasDirect3DDevice()) return -1;
    return FAILED(DeviceCreateIndexBuffer(length, usage, format, pool, buffer, nullptr)) ? -1 : 0;
}

using LockVertexBuffer = HRESULT (*)(IDirect3DVertexBuffer9*, UINT, UINT, void**, DWORD);
using LockIndexBuffer = HRESULT (*)(IDirect3DIndexBuffer9*, UINT, UINT, void**, DWORD);
using UnlockVertexBuffer = HRESULT (*)(IDirect3DVertexBuffer9*);
using UnlockIndexBuffer = HRESULT (*)(IDirect3DIndexBuffer9*);
constexpr LockVertexBuffer kLockVertexBuffer = BufferLock;
constexpr LockIndexBuffer kLockIndexBuffer = BufferLock;
constexpr UnlockVertexBuffer kUnlockVertexBuffer = BufferUnlock;
constexpr UnlockIndexBuffer kUnlockIndexBuffer = BufferUnlock;

}  // namespace

ULONG MarshalReleaseComObject(IUnknown* object, int fromWorker) {
    return MarshalToMainThread<ReleaseComObject>(fromWorker, object);
}

HRESULT MarshalCreateRenderTarget(UINT width, UINT height, D3DFORMAT format,
                                  D3DMULTISAMPLE_TYPE multiSample, DWORD quality, BOOL lockable,
                                  IDirect3DSurface9** surface, HANDLE* shared, int fromWorker) {
    return MarshalToMainThread<DeviceCreateRenderTarget>(
        fromWorker, width, height, format, multiSample, quality, lockable, surface, shared);
}

HRESULT MarshalCreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                         D3DMULTISAMPLE_TYPE multiSample, DWORD quality,
                                         BOOL discard, IDirect3DSurface9** surface, HANDLE* shared,
                                         int fromWorker) {
    return MarshalToMainThread<DeviceCreateDepthStencilSurface>(
        fromWorker, width, height, format, multiSample, quality, discard, surface, shared);
}

HRESULT MarshalCreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                             D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared,
                             int fromWorker) {
    return MarshalToMainThread<DeviceCreateTexture>(fromWorker, width, height, levels, usage,
                                                    format, pool, texture, shared);
}

HRESULT MarshalColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color,
                         int fromWorker) {
    return MarshalToMainThread<DeviceColorFill>(fromWorker, surface, rect, color);
}

HRESULT MarshalCreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                           IDirect3DSurface9** surface, HANDLE* shared,
                                           int fromWorker) {
    return MarshalToMainThread<DeviceCreateOffscreenPlainSurface>(fromWorker, width, height, format,
                                                                  pool, surface, shared);
}

HRESULT MarshalUpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect,
                             IDirect3DSurface9* dest, const POINT* destPoint, int fromWorker) {
    return MarshalToMainThread<DeviceUpdateSurface>(fromWorker, source, sourceRect, dest,
                                                    destPoint);
}

HRESULT MarshalUpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* dest,
                             int fromWorker) {
    return MarshalToMainThread<DeviceUpdateTexture>(fromWorker, source, dest);
}

HRESULT MarshalCreateVertexShader(const DWORD* code, IDirect3DVertexShader9** shader,
                                  int fromWorker) {
    return MarshalToMainThread<DeviceCreateVertexShader>(fromWorker, code, shader);
}

HRESULT MarshalCreatePixelShader(const DWORD* code, IDirect3DPixelShader9** shader,
                                 int fromWorker) {
    return MarshalToMainThread<DeviceCreatePixelShader>(fromWorker, code, shader);
}

int MarshalCreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                              IDirect3DVertexBuffer9** buffer, int fromWorker) {
    return MarshalToMainThread<CreateVertexBufferOrFail>(fromWorker, length, usage, fvf, pool,
                                                         buffer);
}

int MarshalCreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                             IDirect3DIndexBuffer9** buffer, int fromWorker) {
    return MarshalToMainThread<CreateIndexBufferOrFail>(fromWorker, length, usage, format, pool,
                                                        buffer);
}

HRESULT MarshalTextureGetSurfaceLevel(IDirect3DTexture9* texture, UINT level,
                                      IDirect3DSurface9** surface, int fromWorker) {
    return MarshalToMainThread<TextureGetSurfaceLevel>(fromWorker, texture, level, surface);
}

HRESULT MarshalTextureLockRect(IDirect3DTexture9* texture, UINT level, D3DLOCKED_RECT* locked,
                               const RECT* rect, DWORD flags, int fromWorker) {
    return MarshalToMainThread<TextureLockRect>(fromWorker, texture, level, locked, rect, flags);
}

HRESULT MarshalTextureUnlockRect(IDirect3DTexture9* texture, UINT level, int fromWorker) {
    return MarshalToMainThread<TextureUnlockRect>(fromWorker, texture, level);
}

HRESULT MarshalSurfaceLockRect(IDirect3DSurface9* surface, D3DLOCKED_RECT* locked, const RECT* rect,
                               DWORD flags, int fromWorker) {
    return MarshalToMainThread<SurfaceLockRect>(fromWorker, surface, locked, rect, flags);
}

HRESULT MarshalSurfaceUnlockRect(IDirect3DSurface9* surface, int fromWorker) {
    return MarshalToMainThread<SurfaceUnlockRect>(fromWorker, surface);
}

HRESULT MarshalBufferLock(IDirect3DVertexBuffer9* buffer, UINT offset, UINT size, void** data,
                          DWORD flags, int fromWorker) {
    return MarshalToMainThread<kLockVertexBuffer>(fromWorker, buffer, offset, size, data, flags);
}

HRESULT MarshalBufferLock(IDirect3DIndexBuffer9* buffer, UINT offset, UINT size, void** data,
                          DWORD flags, int fromWorker) {
    return MarshalToMainThread<kLockIndexBuffer>(fromWorker, buffer, offset, size, data, flags);
}

HRESULT MarshalBufferUnlock(IDirect3DVertexBuffer9* buffer, int fromWorker) {
    return MarshalToMainThread<kUnlockVertexBuffer>(fromWorker, buffer);
}

HRESULT MarshalBufferUnlock(IDirect3DIndexBuffer9* buffer, int fromWorker) {
    return MarshalToMainThread<kUnlockIndexBuffer>(fromWorker, buffer);
}

int IsDirectDrawWindowReady() {
    return GetDirectDraw7Object() != nullptr && GetMainHwnd() != nullptr ? 1 : 0;
}
