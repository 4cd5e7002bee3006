// The wrappers: each forwards to the current device, the Direct3D object or the resource it
// is given.
#include "graphics/d3d_wrappers.h"

#include "graphics/d3d_objects.h"

HRESULT Direct3DGetAdapterIdentifier(UINT adapter, DWORD flags,
                                     D3DADAPTER_IDENTIFIER9* identifier) {
    if (gDirect3D.direct3D == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.direct3D->GetAdapterIdentifier(adapter, flags, identifier);
}

HRESULT Direct3DCheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                  DWORD usage, D3DRESOURCETYPE resourceType, D3DFORMAT format) {
    if (gDirect3D.direct3D == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.direct3D->CheckDeviceFormat(adapter, type, adapterFormat, usage, resourceType,
                                                 format);
}

HRESULT Direct3DCheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                       D3DFORMAT renderTargetFormat, D3DFORMAT depthFormat) {
    if (gDirect3D.direct3D == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.direct3D->CheckDepthStencilMatch(adapter, type, adapterFormat,
                                                      renderTargetFormat, depthFormat);
}

HRESULT Direct3DGetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) {
    if (gDirect3D.direct3D == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.direct3D->GetDeviceCaps(adapter, type, caps);
}

HRESULT DeviceGetDeviceCaps(D3DCAPS9* caps) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->GetDeviceCaps(caps);
}

HRESULT DeviceGetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type,
                            IDirect3DSurface9** surface) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->GetBackBuffer(swapChain, index, type, surface);
}

HRESULT DeviceSetDialogBoxMode(BOOL enable) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->SetDialogBoxMode(enable);
}

HRESULT DeviceCreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                            D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->CreateTexture(width, height, levels, usage, format, pool, texture,
                                           shared);
}

HRESULT DeviceCreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels, DWORD usage,
                                  D3DFORMAT format, D3DPOOL pool, IDirect3DVolumeTexture9** texture,
                                  HANDLE* shared) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->CreateVolumeTexture(width, height, depth, levels, usage, format, pool,
                                                 texture, shared);
}

HRESULT DeviceCreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                 IDirect3DVertexBuffer9** buffer, HANDLE* shared) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->CreateVertexBuffer(length, usage, fvf, pool, buffer, shared);
}

HRESULT DeviceCreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                IDirect3DIndexBuffer9** buffer, HANDLE* shared) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->CreateIndexBuffer(length, usage, format, pool, buffer, shared);
}

HRESULT DeviceCreateRenderTarget(UINT width, UINT height, D3DFORMAT format,
                                 D3DMULTISAMPLE_TYPE multiSample, DWORD quality, BOOL lockable,
                                 IDirect3DSurface9** surface, HANDLE* shared) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->CreateRenderTarget(width, height, format, multiSample, quality,
                                                lockable, surface, shared);
}

HRESULT DeviceCreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                        D3DMULTISAMPLE_TYPE multiSample, DWORD quality,
                                        BOOL discard, IDirect3DSurface9** surface, HANDLE* shared) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->CreateDepthStencilSurface(width, height, format, multiSample, quality,
                                                       discard, surface, shared);
}

HRESULT DeviceUpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect,
                            IDirect3DSurface9* dest, const POINT* destPoint) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->UpdateSurface(source, sourceRect, dest, destPoint);
}

HRESULT DeviceUpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* dest) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->UpdateTexture(source, dest);
}

HRESULT DeviceGetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* dest) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->GetRenderTargetData(renderTarget, dest);
}

HRESULT DeviceStretchRect(IDirect3DSurface9* source, const RECT* sourceRect,
                          IDirect3DSurface9* dest, const RECT* destRect,
                          D3DTEXTUREFILTERTYPE filter) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->StretchRect(source, sourceRect, dest, destRect, filter);
}

HRESULT DeviceColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->ColorFill(surface, rect, color);
}

HRESULT DeviceCreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                          IDirect3DSurface9** surface, HANDLE* shared) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->CreateOffscreenPlainSurface(width, height, format, pool, surface,
                                                         shared);
}

HRESULT DeviceSetRenderTarget(DWORD index, IDirect3DSurface9* surface) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->SetRenderTarget(index, surface);
}

HRESULT DeviceSetDepthStencilSurface(IDirect3DSurface9* surface) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->SetDepthStencilSurface(surface);
}

HRESULT DeviceGetDepthStencilSurface(IDirect3DSurface9** surface) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->GetDepthStencilSurface(surface);
}

HRESULT DeviceBeginScene() {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->BeginScene();
}

HRESULT DeviceEndScene() {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->EndScene();
}

HRESULT DeviceClear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                    DWORD stencil) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->Clear(count, rects, flags, color, z, stencil);
}

HRESULT DeviceSetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->SetTransform(state, matrix);
}

HRESULT DeviceSetViewport(const D3DVIEWPORT9* viewport) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->SetViewport(viewport);
}

HRESULT DeviceSetMaterial(const D3DMATERIAL9* material) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->SetMaterial(material);
}

HRESULT DeviceGetMaterial(D3DMATERIAL9* material) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->GetMaterial(material);
}

HRESULT DeviceSetLight(DWORD index, const D3DLIGHT9* light) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->SetLight(index, light);
}

HRESULT DeviceLightEnable(DWORD index, BOOL enable) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->LightEnable(index, enable);
}

HRESULT DeviceSetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->SetRenderState(state, value);
}

HRESULT DeviceSetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->SetTexture(stage, texture);
}

HRESULT DeviceSetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->SetTextureStageState(stage, type, value);
}

HRESULT DeviceSetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->SetSamplerState(sampler, type, value);
}

HRESULT DeviceSetScissorRect(const RECT* rect) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->SetScissorRect(rect);
}

HRESULT DeviceDrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices,
                              UINT stride) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->DrawPrimitiveUP(type, primitiveCount, vertices, stride);
}

HRESULT DeviceDrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minVertexIndex, UINT vertexCount,
                                     UINT primitiveCount, const void* indices,
                                     D3DFORMAT indexFormat, const void* vertices, UINT stride) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->DrawIndexedPrimitiveUP(
        type, minVertexIndex, vertexCount, primitiveCount, indices, indexFormat, vertices, stride);
}

HRESULT DeviceCreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                      IDirect3DVertexDeclaration9** declaration) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->CreateVertexDeclaration(elements, declaration);
}

HRESULT DeviceSetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->SetVertexDeclaration(declaration);
}

HRESULT DeviceSetFVF(DWORD fvf) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->SetFVF(fvf);
}

HRESULT DeviceCreateVertexShader(const DWORD* code, IDirect3DVertexShader9** shader) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->CreateVertexShader(code, shader);
}

HRESULT DeviceSetVertexShader(IDirect3DVertexShader9* shader) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->SetVertexShader(shader);
}

HRESULT DeviceSetVertexShaderConstantF(UINT start, const float* data, UINT count) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->SetVertexShaderConstantF(start, data, count);
}

HRESULT DeviceSetVertexShaderConstantI(UINT start, const int* data, UINT count) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->SetVertexShaderConstantI(start, data, count);
}

HRESULT DeviceSetVertexShaderConstantB(UINT start, const BOOL* data, UINT count) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->SetVertexShaderConstantB(start, data, count);
}

HRESULT DeviceCreatePixelShader(const DWORD* code, IDirect3DPixelShader9** shader) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->CreatePixelShader(code, shader);
}

HRESULT DeviceSetPixelShader(IDirect3DPixelShader9* shader) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->SetPixelShader(shader);
}

HRESULT DeviceSetPixelShaderConstantF(UINT start, const float* data, UINT count) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->SetPixelShaderConstantF(start, data, count);
}

HRESULT DeviceSetPixelShaderConstantI(UINT start, const int* data, UINT count) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->SetPixelShaderConstantI(start, data, count);
}

HRESULT DeviceSetPixelShaderConstantB(UINT start, const BOOL* data, UINT count) {
    if (gDirect3D.device == nullptr) return D3DERR_INVALIDCALL;
    return gDirect3D.device->SetPixelShaderConstantB(start, data, count);
}

HRESULT TextureGetSurfaceLevel(IDirect3DTexture9* texture, UINT level,
                               IDirect3DSurface9** surface) {
    return texture->GetSurfaceLevel(level, surface);
}

HRESULT TextureLockRect(IDirect3DTexture9* texture, UINT level, D3DLOCKED_RECT* locked,
                        const RECT* rect, DWORD flags) {
    return texture->LockRect(level, locked, rect, flags);
}

HRESULT TextureUnlockRect(IDirect3DTexture9* texture, UINT level) {
    return texture->UnlockRect(level);
}

HRESULT SurfaceGetDesc(IDirect3DSurface9* surface, D3DSURFACE_DESC* desc) {
    return surface->GetDesc(desc);
}

HRESULT SurfaceLockRect(IDirect3DSurface9* surface, D3DLOCKED_RECT* locked, const RECT* rect,
                        DWORD flags) {
    return surface->LockRect(locked, rect, flags);
}

HRESULT SurfaceUnlockRect(IDirect3DSurface9* surface) {
    return surface->UnlockRect();
}

HRESULT BufferLock(IDirect3DVertexBuffer9* buffer, UINT offset, UINT size, void** data,
                   DWORD flags) {
    return buffer->Lock(offset, size, data, flags);
}

HRESULT BufferLock(IDirect3DIndexBuffer9* buffer, UINT offset, UINT size, void** data,
                   DWORD flags) {
    return buffer->Lock(offset, size, data, flags);
}

HRESULT BufferUnlock(IDirect3DVertexBuffer9* buffer) {
    return buffer->Unlock();
}

HRESULT BufferUnlock(IDirect3DIndexBuffer9* buffer) {
    return buffer->Unlock();
}
