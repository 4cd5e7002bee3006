// The objects the software device hands out: surfaces, textures, volume textures, buffers,
// vertex declarations and shaders, with their storage and their reference counts.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "../ole32/com_object.h"
#include "d3d9_state.h"
#include "formats.h"
#include "platform/d3d9_kernels.h"
#include "shader_kernels.h"

// The device as the resources it makes see it: each holds a reference on it while it lives and,
// as bindings hold none, is dropped from the device's bindings when it goes. Every device
// implements the Ex interface; only one made as an Ex device answers for it.
class ResourceDevice : public ComObject<IDirect3DDevice9Ex, gD3d9Objects, IID_IDirect3DDevice9> {
public:
    virtual void Forget(const void* object) = 0;
};
struct Texture;

struct SurfaceParams {
    D3DFORMAT format;
    UINT width;
    UINT height;
    D3DPOOL pool;
    DWORD usage;  // D3DUSAGE_RENDERTARGET, D3DUSAGE_DEPTHSTENCIL, D3DUSAGE_DYNAMIC
    bool lockable;
};

// A 2D image in its format's byte layout. A standalone surface holds a reference on its
// device; a texture level or the back buffer counts its references on its container.
struct Surface final : ComObject<IDirect3DSurface9, gD3d9Objects, IID_IDirect3DSurface9> {
    // Null when the memory cannot be had.
    static Surface* Create(ResourceDevice* device, IUnknown* container,
                           const SurfaceParams& params);
    ~Surface() override;

    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect() override;

    // The pixel (or the 4x4 block holding it) at (x, y).
    BYTE* At(UINT x, UINT y) const {
        size_t row = static_cast<size_t>(info->blockBytes != 0 ? y / 4 : y) * pitch;
        if (info->blockBytes != 0) return bits.get() + row + (x / 4) * info->blockBytes;
        return bits.get() + row + static_cast<size_t>(x) * info->bytesPerPixel;
    }
    bool IsRenderTarget() const { return (usage & D3DUSAGE_RENDERTARGET) != 0; }
    bool IsDepth() const { return info->depth; }
    // Records that the pixels changed (sampling decodes them again).
    void Touch() { ++version; }
    // The pixels as A8R8G8B8 for sampling: `stride` texels a row; OR `orMask` into each.
    const DWORD* Texels(UINT* stride, DWORD* orMask);

    ResourceDevice* device = nullptr;
    IUnknown* container = nullptr;
    Texture* texture = nullptr;  // the texture whose level this is
    UINT level = 0;
    const FormatInfo* info = nullptr;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    UINT width = 0;
    UINT height = 0;
    D3DPOOL pool = D3DPOOL_DEFAULT;
    DWORD usage = 0;
    bool lockable = false;
    UINT pitch = 0;
    std::unique_ptr<BYTE[]> bits;
    unsigned long long version = 1;
    bool locked = false;
    bool lockReadOnly = false;

private:
    Surface() = default;
    std::vector<DWORD> shadow_;
    unsigned long long shadowVersion_ = 0;
};

struct Texture final
    : ComObject<IDirect3DTexture9, gD3d9Objects, IID_IDirect3DTexture9, IID_IDirect3DBaseTexture9> {
    // Null when the memory cannot be had; `levels` already resolved (>= 1).
    static Texture* Create(ResourceDevice* device, UINT width, UINT height, UINT levels,
                           DWORD usage, D3DFORMAT format, D3DPOOL pool);
    ~Texture() override;

    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD GetLevelCount() override { return static_cast<DWORD>(levels.size()); }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;

    // Adds a changed region of `level`, in level-0 coordinates, for UpdateTexture.
    void AddDirtyRect(UINT level, const RECT& rect);

    ResourceDevice* device = nullptr;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    DWORD usage = 0;
    D3DPOOL pool = D3DPOOL_DEFAULT;
    std::vector<std::unique_ptr<Surface>> levels;
    std::vector<RECT> dirty;  // level-0 regions changed since the last UpdateTexture

private:
    Texture() = default;
};

struct VolumeLevel {
    UINT width, height, depth;
    UINT rowPitch, slicePitch;
    std::unique_ptr<BYTE[]> bits;
    bool locked;
};

struct VolumeTexture final : ComObject<IDirect3DVolumeTexture9, gD3d9Objects,
                                       IID_IDirect3DVolumeTexture9, IID_IDirect3DBaseTexture9> {
    static VolumeTexture* Create(ResourceDevice* device, UINT width, UINT height, UINT depth,
                                 UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool);
    ~VolumeTexture() override;

    D3DRESOURCETYPE GetType() override { return D3DRTYPE_VOLUMETEXTURE; }
    DWORD GetLevelCount() override { return static_cast<DWORD>(levels.size()); }
    HRESULT LockBox(UINT level, D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) override;
    HRESULT UnlockBox(UINT level) override;

    ResourceDevice* device = nullptr;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    DWORD usage = 0;
    D3DPOOL pool = D3DPOOL_DEFAULT;
    std::vector<VolumeLevel> levels;
    bool dirty = true;  // changed since the last UpdateTexture

private:
    VolumeTexture() = default;
};

template <class Interface, IID kIid>
struct Buffer final : ComObject<Interface, gD3d9Objects, kIid> {
    static Buffer* Create(ResourceDevice* device, UINT length, DWORD usage, DWORD fvfOrFormat,
                          D3DPOOL pool);
    ~Buffer() override;

    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT Unlock() override;

    ResourceDevice* device = nullptr;
    UINT length = 0;
    DWORD usage = 0;
    DWORD fvfOrFormat = 0;
    D3DPOOL pool = D3DPOOL_DEFAULT;
    std::unique_ptr<BYTE[]> bytes;
    bool locked = false;

private:
    Buffer() = default;
};
using VertexBuffer = Buffer<IDirect3DVertexBuffer9, IID_IDirect3DVertexBuffer9>;
using IndexBuffer = Buffer<IDirect3DIndexBuffer9, IID_IDirect3DIndexBuffer9>;

struct VertexDeclaration final
    : ComObject<IDirect3DVertexDeclaration9, gD3d9Objects, IID_IDirect3DVertexDeclaration9> {
    VertexDeclaration(ResourceDevice* device, std::vector<D3DVERTEXELEMENT9> elements);
    ~VertexDeclaration() override;
    ResourceDevice* device;
    std::vector<D3DVERTEXELEMENT9> elements;
};

struct VertexShader final
    : ComObject<IDirect3DVertexShader9, gD3d9Objects, IID_IDirect3DVertexShader9> {
    VertexShader(ResourceDevice* device, std::string name);
    ~VertexShader() override;
    ResourceDevice* device;
    std::string name;
};

struct PixelShader final
    : ComObject<IDirect3DPixelShader9, gD3d9Objects, IID_IDirect3DPixelShader9> {
    PixelShader(ResourceDevice* device, std::string name, const PixelShaderBody& body);
    ~PixelShader() override;
    ResourceDevice* device;
    std::string name;
    PixelShaderKernel kernel;  // one of these three is set
    PixelShaderSpanKernel spanKernel;
    ShaderStageBuilder stages;
};

// Resolved level count of a texture chain: 0 asks for the full chain; 0 is returned for a
// count longer than the chain.
UINT ResolveLevelCount(UINT levels, UINT width, UINT height, UINT depth);
// Size of `level` of a side.
inline UINT LevelSize(UINT size, UINT level) {
    return (size >> level) > 0 ? (size >> level) : 1;
}
