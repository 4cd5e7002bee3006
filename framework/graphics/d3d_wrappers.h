// One thin wrapper per Direct3D method the graphics core calls: no caching, arguments passed
// through, the method's HRESULT returned. Device wrappers call the current device and answer
// D3DERR_INVALIDCALL while there is none; object wrappers call the Direct3D object; resource
// wrappers take the resource first.
#pragma once

#include <platform/d3d9.h>

HRESULT Direct3DGetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER9* identifier);
HRESULT Direct3DCheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                  DWORD usage, D3DRESOURCETYPE resourceType, D3DFORMAT format);
HRESULT Direct3DCheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                       D3DFORMAT renderTargetFormat, D3DFORMAT depthFormat);
HRESULT Direct3DGetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps);

HRESULT DeviceGetDeviceCaps(D3DCAPS9* caps);
HRESULT DeviceGetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type,
                            IDirect3DSurface9** surface);
HRESULT DeviceSetDialogBoxMode(BOOL enable);
HRESULT DeviceCreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                            D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared);
HRESULT DeviceCreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels, DWORD usage,
                                  D3DFORMAT format, D3DPOOL pool, IDirect3DVolumeTexture9** texture,
                                  HANDLE* shared);
HRESULT DeviceCreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                 IDirect3DVertexBuffer9** buffer, HANDLE* shared);
HRESULT DeviceCreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                IDirect3DIndexBuffer9** buffer, HANDLE* shared);
HRESULT DeviceCreateRenderTarget(UINT width, UINT height, D3DFORMAT format,
                                 D3DMULTISAMPLE_TYPE multiSample, DWORD quality, BOOL lockable,
                                 IDirect3DSurface9** surface, HANDLE* shared);
HRESULT DeviceCreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                        D3DMULTISAMPLE_TYPE multiSample, DWORD quality,
                                        BOOL discard, IDirect3DSurface9** surface, HANDLE* shared);
HRESULT DeviceUpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect,
                            IDirect3DSurface9* dest, const POINT* destPoint);
HRESULT DeviceUpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* dest);
HRESULT DeviceGetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* dest);
HRESULT DeviceStretchRect(IDirect3DSurface9* source, const RECT* sourceRect,
                          IDirect3DSurface9* dest, const RECT* destRect,
                          D3DTEXTUREFILTERTYPE filter);
HRESULT DeviceColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color);
HRESULT DeviceCreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                          IDirect3DSurface9** surface, HANDLE* shared);
HRESULT DeviceSetRenderTarget(DWORD index, IDirect3DSurface9* surface);
HRESULT DeviceSetDepthStencilSurface(IDirect3DSurface9* surface);
HRESULT DeviceGetDepthStencilSurface(IDirect3DSurface9** surface);
HRESULT DeviceBeginScene();
HRESULT DeviceEndScene();
HRESULT DeviceClear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                    DWORD stencil);
HRESULT DeviceSetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix);
HRESULT DeviceSetViewport(const D3DVIEWPORT9* viewport);
HRESULT DeviceSetMaterial(const D3DMATERIAL9* material);
HRESULT DeviceGetMaterial(D3DMATERIAL9* material);
HRESULT DeviceSetLight(DWORD index, const D3DLIGHT9* light);
HRESULT DeviceLightEnable(DWORD index, BOOL enable);
HRESULT DeviceSetRenderState(D3DRENDERSTATETYPE state, DWORD value);
HRESULT DeviceSetTexture(DWORD stage, IDirect3DBaseTexture9* texture);
HRESULT DeviceSetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value);
HRESULT DeviceSetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value);
HRESULT DeviceSetScissorRect(const RECT* rect);
HRESULT DeviceDrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices,
                              UINT stride);
HRESULT DeviceDrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minVertexIndex, UINT vertexCount,
                                     UINT primitiveCount, const void* indices,
                                     D3DFORMAT indexFormat, const void* vertices, UINT stride);
HRESULT DeviceCreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                      IDirect3DVertexDeclaration9** declaration);
HRESULT DeviceSetVertexDeclaration(IDirect3DVertexDeclaration9* declaration);
HRESULT DeviceSetFVF(DWORD fvf);
HRESULT DeviceCreateVertexShader(const DWORD* code, IDirect3DVertexShader9** shader);
HRESULT DeviceSetVertexShader(IDirect3DVertexShader9* shader);
HRESULT DeviceSetVertexShaderConstantF(UINT start, const float* data, UINT count);
HRESULT DeviceSetVertexShaderConstantI(UINT start, const int* data, UINT count);
HRESULT DeviceSetVertexShaderConstantB(UINT start, const BOOL* data, UINT count);
HRESULT DeviceCreatePixelShader(const DWORD* code, IDirect3DPixelShader9** shader);
HRESULT DeviceSetPixelShader(IDirect3DPixelShader9* shader);
HRESULT DeviceSetPixelShaderConstantF(UINT start, const float* data, UINT count);
HRESULT DeviceSetPixelShaderConstantI(UINT start, const int* data, UINT count);
HRESULT DeviceSetPixelShaderConstantB(UINT start, const BOOL* data, UINT count);

HRESULT TextureGetSurfaceLevel(IDirect3DTexture9* texture, UINT level, IDirect3DSurface9** surface);
HRESULT TextureLockRect(IDirect3DTexture9* texture, UINT level, D3DLOCKED_RECT* locked,
                        const RECT* rect, DWORD flags);
HRESULT TextureUnlockRect(IDirect3DTexture9* texture, UINT level);
HRESULT SurfaceGetDesc(IDirect3DSurface9* surface, D3DSURFACE_DESC* desc);
HRESULT SurfaceLockRect(IDirect3DSurface9* surface, D3DLOCKED_RECT* locked, const RECT* rect,
                        DWORD flags);
HRESULT SurfaceUnlockRect(IDirect3DSurface9* surface);
HRESULT BufferLock(IDirect3DVertexBuffer9* buffer, UINT offset, UINT size, void** data,
                   DWORD flags);
HRESULT BufferLock(IDirect3DIndexBuffer9* buffer, UINT offset, UINT size, void** data, DWORD flags);
HRESULT BufferUnlock(IDirect3DVertexBuffer9* buffer);
HRESULT BufferUnlock(IDirect3DIndexBuffer9* buffer);
