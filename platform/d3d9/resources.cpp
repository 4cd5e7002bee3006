// Storage, locks and reference counts of the device's surfaces, textures, volume textures,
// buffers, declarations and shaders.
#include "resources.h"

#include <cstring>
#include <new>

namespace {

// Row pitch of a new image: rows start on 16-byte boundaries, plus the padding a test asked
// for, so that code assuming pitch = width x bytes per pixel shows itself.
UINT PitchFor(UINT rowBytes) {
    return (rowBytes + 15) / 16 * 16 + gD3d9.pitchPadding;
}

std::unique_ptr<BYTE[]> AllocateZeroed(size_t bytes) {
    return std::unique_ptr<BYTE[]>(new (std::nothrow) BYTE[bytes == 0 ? 1 : bytes]());
}

bool ValidLockRect(const Surface& s, const RECT& r) {
    if (r.left < 0 || r.top < 0 || r.left >= r.right || r.top >= r.bottom) return false;
    if (static_cast<UINT>(r.right) > s.width || static_cast<UINT>(r.bottom) > s.height)
        return false;
    // A YV12 lock gives the three planes: the whole surface only. Packed video locks whole
    // pixel pairs.
    if (s.format == D3DFMT_YV12) {
        return r.left == 0 && r.top == 0 && static_cast<UINT>(r.right) == s.width &&
               static_cast<UINT>(r.bottom) == s.height;
    }
    if (IsYuvFormat(s.format)) return r.left % 2 == 0 && r.right % 2 == 0;
    if (s.info->blockBytes == 0) return true;
    // Block formats lock whole blocks (the last ones may stop at the edge).
    auto aligned = [](LONG v, UINT size) { return v % 4 == 0 || static_cast<UINT>(v) == size; };
    return r.left % 4 == 0 && r.top % 4 == 0 && aligned(r.right, s.width) &&
           aligned(r.bottom, s.height);
}

}  // namespace

UINT ResolveLevelCount(UINT levels, UINT width, UINT height, UINT depth) {
    UINT largest = std::max(width, std::max(height, depth));
    UINT chain = 1;
    while ((largest >> chain) > 0) ++chain;
    if (levels == 0) return chain;
    return levels <= chain ? levels : 0;
}

// ---- Surface ---------------------------------------------------------------------------------

Surface* Surface::Create(ResourceDevice* device, IUnknown* container, const SurfaceParams& params) {
    const FormatInfo* info = FindFormatInfo(params.format);
    if (info == nullptr) return nullptr;
    std::unique_ptr<Surface> s(new (std::nothrow) Surface());
    if (s == nullptr) return nullptr;
    s->info = info;
    s->format = params.format;
    s->width = params.width;
    s->height = params.height;
    s->pool = params.pool;
    s->usage = params.usage;
    s->lockable = params.lockable;
    s->pitch = PitchFor(FormatRowBytes(*info, params.width));
    if (params.format == D3DFMT_YV12) s->pitch += s->pitch % 2;  // chroma rows take half
    s->bits = AllocateZeroed(static_cast<size_t>(s->pitch) * FormatRowCount(*info, params.height));
    if (s->bits == nullptr) return nullptr;
    s->device = device;
    s->container = container;
    if (container == nullptr) device->AddRef();
    return s.release();
}

Surface::~Surface() {
    if (device == nullptr) return;
    device->Forget(this);
    if (container == nullptr) device->Release();
}

ULONG Surface::AddRef() {
    return container != nullptr ? container->AddRef() : ComObject::AddRef();
}

ULONG Surface::Release() {
    return container != nullptr ? container->Release() : ComObject::Release();
}

HRESULT Surface::GetDesc(D3DSURFACE_DESC* desc) {
    if (desc == nullptr) return D3DERR_INVALIDCALL;
    desc->Format = format;
    desc->Type = D3DRTYPE_SURFACE;
    desc->Usage = usage;
    desc->Pool = pool;
    desc->MultiSampleType = D3DMULTISAMPLE_NONE;
    desc->MultiSampleQuality = 0;
    desc->Width = width;
    desc->Height = height;
    return D3D_OK;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* out, const RECT* rect, DWORD flags) {
    if (out == nullptr || !lockable || locked) return D3DERR_INVALIDCALL;
    RECT whole = {0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
    const RECT& r = rect != nullptr ? *rect : whole;
    if (!ValidLockRect(*this, r)) return D3DERR_INVALIDCALL;
    out->pBits = At(r.left, r.top);
    out->Pitch = static_cast<INT>(pitch);
    locked = true;
    lockReadOnly = (flags & D3DLOCK_READONLY) != 0;
    if (texture != nullptr && !lockReadOnly && (flags & D3DLOCK_NO_DIRTY_UPDATE) == 0) {
        texture->AddDirtyRect(level, r);
    }
    return D3D_OK;
}

HRESULT Surface::UnlockRect() {
    if (!locked) return D3DERR_INVALIDCALL;
    locked = false;
    if (!lockReadOnly) Touch();
    return D3D_OK;
}

const DWORD* Surface::Texels(UINT* stride, DWORD* orMask) {
    if (format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8) {
        *stride = pitch / 4;
        *orMask = format == D3DFMT_X8R8G8B8 ? 0xFF000000u : 0;
        return reinterpret_cast<const DWORD*>(bits.get());
    }
    *stride = width;
    *orMask = 0;
    if (shadowVersion_ == version) return shadow_.data();
    shadow_.resize(static_cast<size_t>(width) * height);
    if (info->blockBytes != 0) {
        DWORD block[16];
        for (UINT by = 0; by < height; by += 4) {
            for (UINT bx = 0; bx < width; bx += 4) {
                DecodeDxtBlock(format, At(bx, by), block);
                for (UINT y = by; y < std::min(by + 4, height); ++y) {
                    for (UINT x = bx; x < std::min(bx + 4, width); ++x) {
                        shadow_[static_cast<size_t>(y) * width + x] = block[(y - by) * 4 + x - bx];
                    }
                }
            }
        }
    } else {
        for (UINT y = 0; y < height; ++y) {
            const BYTE* row = At(0, y);
            DWORD* out = &shadow_[static_cast<size_t>(y) * width];
            for (UINT x = 0; x < width; ++x)
                out[x] = DecodePixel(format, row + x * info->bytesPerPixel);
        }
    }
    shadowVersion_ = version;
    return shadow_.data();
}

// ---- Texture ---------------------------------------------------------------------------------

Texture* Texture::Create(ResourceDevice* device, UINT width, UINT height, UINT levels, DWORD usage,
                         D3DFORMAT format, D3DPOOL pool) {
    std::unique_ptr<Texture> t(new (std::nothrow) Texture());
    if (t == nullptr) return nullptr;
    t->format = format;
    t->usage = usage;
    t->pool = pool;
    bool lockable = pool != D3DPOOL_DEFAULT || (usage & D3DUSAGE_DYNAMIC) != 0;
    for (UINT i = 0; i < levels; ++i) {
        SurfaceParams params = {format,  LevelSize(width, i), LevelSize(height, i), pool, usage,
                                lockable};
        std::unique_ptr<Surface> level(Surface::Create(device, t.get(), params));
        if (level == nullptr) return nullptr;
        level->texture = t.get();
        level->level = i;
        t->levels.push_back(std::move(level));
    }
    // A new texture is wholly dirty.
    t->dirty.push_back({0, 0, static_cast<LONG>(width), static_cast<LONG>(height)});
    t->device = device;
    device->AddRef();
    return t.release();
}

Texture::~Texture() {
    if (device == nullptr) {  // failed creation: levels never bound anywhere
        for (auto& level : levels) level->device = nullptr;
        return;
    }
    device->Forget(static_cast<IDirect3DBaseTexture9*>(this));
    levels.clear();
    device->Release();
}

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    if (level >= levels.size()) return D3DERR_INVALIDCALL;
    return levels[level]->GetDesc(desc);
}

HRESULT Texture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) {
    if (surface == nullptr || level >= levels.size()) return D3DERR_INVALIDCALL;
    *surface = levels[level].get();
    AddRef();
    return D3D_OK;
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    if (level >= levels.size()) return D3DERR_INVALIDCALL;
    return levels[level]->LockRect(locked, rect, flags);
}

HRESULT Texture::UnlockRect(UINT level) {
    if (level >= levels.size()) return D3DERR_INVALIDCALL;
    return levels[level]->UnlockRect();
}

void Texture::AddDirtyRect(UINT level, const RECT& rect) {
    const Surface& top = *levels[0];
    RECT scaled = {rect.left << level, rect.top << level, rect.right << level,
                   rect.bottom << level};
    scaled.right = std::min<LONG>(scaled.right, top.width);
    scaled.bottom = std::min<LONG>(scaled.bottom, top.height);
    dirty.push_back(scaled);
}

// ---- Volume texture --------------------------------------------------------------------------

VolumeTexture* VolumeTexture::Create(ResourceDevice* device, UINT width, UINT height, UINT depth,
                                     UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool) {
    const FormatInfo* info = FindFormatInfo(format);
    std::unique_ptr<VolumeTexture> t(new (std::nothrow) VolumeTexture());
    if (info == nullptr || t == nullptr) return nullptr;
    t->format = format;
    t->usage = usage;
    t->pool = pool;
    for (UINT i = 0; i < levels; ++i) {
        VolumeLevel level{
            LevelSize(width, i), LevelSize(height, i), LevelSize(depth, i), 0, 0, nullptr, false};
        level.rowPitch = PitchFor(FormatRowBytes(*info, level.width));
        level.slicePitch = level.rowPitch * FormatRowCount(*info, level.height);
        level.bits = AllocateZeroed(static_cast<size_t>(level.slicePitch) * level.depth);
        if (level.bits == nullptr) return nullptr;
        t->levels.push_back(std::move(level));
    }
    t->device = device;
    device->AddRef();
    return t.release();
}

VolumeTexture::~VolumeTexture() {
    if (device == nullptr) return;
    device->Forget(static_cast<IDirect3DBaseTexture9*>(this));
    device->Release();
}

HRESULT VolumeTexture::LockBox(UINT index, D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) {
    if (locked == nullptr || index >= levels.size()) return D3DERR_INVALIDCALL;
    VolumeLevel& level = levels[index];
    if (level.locked || (pool == D3DPOOL_DEFAULT && (usage & D3DUSAGE_DYNAMIC) == 0)) {
        return D3DERR_INVALIDCALL;
    }
    D3DBOX whole = {0, 0, level.width, level.height, 0, level.depth};
    const D3DBOX& b = box != nullptr ? *box : whole;
    if (b.Left >= b.Right || b.Top >= b.Bottom || b.Front >= b.Back || b.Right > level.width ||
        b.Bottom > level.height || b.Back > level.depth) {
        return D3DERR_INVALIDCALL;
    }
    const FormatInfo* info = FindFormatInfo(format);
    locked->RowPitch = static_cast<INT>(level.rowPitch);
    locked->SlicePitch = static_cast<INT>(level.slicePitch);
    locked->pBits = level.bits.get() + static_cast<size_t>(b.Front) * level.slicePitch +
                    static_cast<size_t>(b.Top) * level.rowPitch + b.Left * info->bytesPerPixel;
    level.locked = true;
    if ((flags & (D3DLOCK_READONLY | D3DLOCK_NO_DIRTY_UPDATE)) == 0) dirty = true;
    return D3D_OK;
}

HRESULT VolumeTexture::UnlockBox(UINT index) {
    if (index >= levels.size() || !levels[index].locked) return D3DERR_INVALIDCALL;
    levels[index].locked = false;
    return D3D_OK;
}

// ---- Buffers ---------------------------------------------------------------------------------

template <class Interface, IID kIid>
Buffer<Interface, kIid>* Buffer<Interface, kIid>::Create(ResourceDevice* device, UINT length,
                                                         DWORD usage, DWORD fvfOrFormat,
                                                         D3DPOOL pool) {
    std::unique_ptr<Buffer> b(new (std::nothrow) Buffer());
    if (b == nullptr) return nullptr;
    b->bytes = AllocateZeroed(length);
    if (b->bytes == nullptr) return nullptr;
    b->length = length;
    b->usage = usage;
    b->fvfOrFormat = fvfOrFormat;
    b->pool = pool;
    b->device = device;
    device->AddRef();
    return b.release();
}

template <class Interface, IID kIid>
Buffer<Interface, kIid>::~Buffer() {
    if (device != nullptr) device->Release();
}

template <class Interface, IID kIid>
HRESULT Buffer<Interface, kIid>::Lock(UINT offset, UINT size, void** data, DWORD flags) {
    if (data == nullptr || locked) return D3DERR_INVALIDCALL;
    if (size == 0) {
        if (offset > length) return D3DERR_INVALIDCALL;
    } else if (offset > length || size > length - offset) {
        return D3DERR_INVALIDCALL;
    }
    *data = bytes.get() + offset;
    locked = true;
    return D3D_OK;
}

template <class Interface, IID kIid>
HRESULT Buffer<Interface, kIid>::Unlock() {
    if (!locked) return D3DERR_INVALIDCALL;
    locked = false;
    return D3D_OK;
}

template struct Buffer<IDirect3DVertexBuffer9, IID_IDirect3DVertexBuffer9>;
template struct Buffer<IDirect3DIndexBuffer9, IID_IDirect3DIndexBuffer9>;

// ---- Declarations and shaders ----------------------------------------------------------------

VertexDeclaration::VertexDeclaration(ResourceDevice* device,
                                     std::vector<D3DVERTEXELEMENT9> elements)
    : device(device), elements(std::move(elements)) {
    device->AddRef();
}

VertexDeclaration::~VertexDeclaration() {
    device->Forget(this);
    device->Release();
}

VertexShader::VertexShader(ResourceDevice* device, std::string name)
    : device(device), name(std::move(name)) {
    device->AddRef();
}

VertexShader::~VertexShader() {
    device->Forget(this);
    device->Release();
}

PixelShader::PixelShader(ResourceDevice* device, std::string name, const PixelShaderBody& body)
    : device(device),
      name(std::move(name)),
      kernel(body.kernel),
      spanKernel(body.spanKernel),
      stages(body.stages) {
    device->AddRef();
}

PixelShader::~PixelShader() {
    device->Forget(this);
    device->Release();
}
