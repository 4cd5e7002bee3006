// The software device's creation, default state, state setters, resource creation, render
// targets, scenes, shaders and presentation.
#include "device.h"

#include <platform/win32_user.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "../base/test_overrides.h"
#include "../ddraw/direct_draw.h"
#include "shader_kernels.h"

namespace {

constexpr UINT kMaxSurfaceSize = 8192;
constexpr UINT kMaxVolumeSize = 512;
constexpr DWORD kMaxLightIndex = 65535;

DWORD FloatBits(float v) {
    DWORD bits;
    std::memcpy(&bits, &v, sizeof(bits));
    return bits;
}

D3DMATRIX Identity() {
    D3DMATRIX m{};
    for (int i = 0; i < 4; ++i) m.m[i][i] = 1.0f;
    return m;
}

bool IsPowerOfTwo(UINT v) {
    return v != 0 && (v & (v - 1)) == 0;
}

DWORD RenderTargetSlots() {
    D3DCAPS9 caps;
    FillDeviceCaps(&caps);
    return caps.NumSimultaneousRTs;
}

bool HasAdapterMode(const D3DPRESENT_PARAMETERS& p) {
    for (const D3DDISPLAYMODE& mode : gD3d9.profile.modes) {
        if (mode.Width == p.BackBufferWidth && mode.Height == p.BackBufferHeight &&
            mode.Format == p.BackBufferFormat &&
            (p.FullScreen_RefreshRateInHz == 0 ||
             p.FullScreen_RefreshRateInHz == mode.RefreshRate)) {
            return true;
        }
    }
    return false;
}

RECT WholeRect(const Surface& s) {
    return {0, 0, static_cast<LONG>(s.width), static_cast<LONG>(s.height)};
}

// Keeps the frame for tests and points it at the copy.
void KeepPresentedFrame(const D3d9PresentedFrame& frame) {
    size_t bytes = static_cast<size_t>(frame.pitch) * frame.height;
    gD3d9.presentedBits.assign(frame.bits, frame.bits + bytes);
    gD3d9.lastPresent = frame;
    gD3d9.lastPresent.bits = gD3d9.presentedBits.data();
    ++gD3d9.presentCount;
}

template <class T>
HRESULT StoreConstants(T* registers, UINT capacity, UINT start, const T* data, UINT count) {
    if ((data == nullptr && count > 0) || start > capacity || count > capacity - start) {
        return D3DERR_INVALIDCALL;
    }
    if (count > 0) std::memcpy(registers + start, data, count * sizeof(T));
    return D3D_OK;
}

}  // namespace

Surface* OwnSurface(Device* device, IDirect3DSurface9* surface) {
    auto* s = dynamic_cast<Surface*>(surface);
    return s != nullptr && s->device == device ? s : nullptr;
}

// ---- Creation and lifetime ---------------------------------------------------------------

HRESULT Device::Create(IDirect3D9* direct3d, HWND focusWindow, DWORD behavior,
                       D3DPRESENT_PARAMETERS* parameters, bool ex, Device** out) {
    *out = nullptr;
    if (parameters == nullptr) return D3DERR_INVALIDCALL;
    DWORD processing =
        behavior & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                    D3DCREATE_MIXED_VERTEXPROCESSING);
    if (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING &&
        processing != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
        processing != D3DCREATE_MIXED_VERTEXPROCESSING) {
        return D3DERR_INVALIDCALL;
    }
    if ((processing & gD3d9.profile.refusedVertexProcessing) != 0) return D3DERR_NOTAVAILABLE;
    if (focusWindow == nullptr && parameters->hDeviceWindow == nullptr) return D3DERR_INVALIDCALL;

    D3DPRESENT_PARAMETERS p = *parameters;
    if (p.Windowed) {
        if (p.BackBufferFormat == D3DFMT_UNKNOWN) p.BackBufferFormat = gD3d9.profile.desktop.Format;
        if (p.FullScreen_RefreshRateInHz != 0) return D3DERR_INVALIDCALL;
    } else if (!HasAdapterMode(p)) {
        return D3DERR_INVALIDCALL;
    }
    const FormatInfo* info = FindFormatInfo(p.BackBufferFormat);
    if (info == nullptr || !info->display || p.BackBufferWidth == 0 || p.BackBufferHeight == 0 ||
        p.BackBufferWidth > kMaxSurfaceSize || p.BackBufferHeight > kMaxSurfaceSize ||
        p.BackBufferCount > 1 || p.MultiSampleType != D3DMULTISAMPLE_NONE ||
        p.SwapEffect < D3DSWAPEFFECT_DISCARD || p.SwapEffect > D3DSWAPEFFECT_COPY) {
        return D3DERR_INVALIDCALL;
    }
    if (p.EnableAutoDepthStencil &&
        !IsFormatOffered(p.AutoDepthStencilFormat, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE)) {
        return D3DERR_INVALIDCALL;
    }
    p.BackBufferCount = 1;

    std::unique_ptr<Device> device(new (std::nothrow) Device());
    if (device == nullptr) return E_OUTOFMEMORY;
    device->thread_ = std::this_thread::get_id();
    device->focusWindow_ = focusWindow;
    device->ex_ = ex;
    device->presentParams = p;
    SurfaceParams back = {
        p.BackBufferFormat,    p.BackBufferWidth,
        p.BackBufferHeight,    D3DPOOL_DEFAULT,
        D3DUSAGE_RENDERTARGET, (p.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) != 0};
    device->backBuffer.reset(Surface::Create(device.get(), device.get(), back));
    if (device->backBuffer == nullptr) return E_OUTOFMEMORY;
    if (p.EnableAutoDepthStencil) {
        SurfaceParams depth = {p.AutoDepthStencilFormat, p.BackBufferWidth,     p.BackBufferHeight,
                               D3DPOOL_DEFAULT,          D3DUSAGE_DEPTHSTENCIL, false};
        device->autoDepthStencil.reset(Surface::Create(device.get(), device.get(), depth));
        if (device->autoDepthStencil == nullptr) return E_OUTOFMEMORY;
    }
    device->swapChain = std::make_unique<SwapChain>(device.get());
    device->ResetState();
    device->direct3d_ = direct3d;
    direct3d->AddRef();
    gD3d9.devices.push_back(device.get());
    *parameters = p;
    *out = device.release();
    return D3D_OK;
}

Device::~Device() {
    std::erase(gD3d9.devices, this);
    swapChain.reset();
    backBuffer.reset();
    autoDepthStencil.reset();
    if (direct3d_ != nullptr) direct3d_->Release();
}

void Device::ResetState() {
    DeviceState& s = state;
    DWORD* rs = s.renderStates;
    rs[D3DRS_ZENABLE] = presentParams.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
    rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
    rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    rs[D3DRS_ZWRITEENABLE] = TRUE;
    rs[D3DRS_LASTPIXEL] = TRUE;
    rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_FOGEND] = FloatBits(1.0f);
    rs[D3DRS_FOGDENSITY] = FloatBits(1.0f);
    rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFFu;
    rs[D3DRS_LIGHTING] = TRUE;
    rs[D3DRS_COLORVERTEX] = TRUE;
    rs[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    rs[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
    rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    for (int i = 0; i < kTextureStages; ++i) {
        DWORD* ss = s.stageStates[i];
        ss[D3DTSS_COLOROP] = i == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        ss[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        ss[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        ss[D3DTSS_ALPHAOP] = i == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        ss[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        ss[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        ss[D3DTSS_TEXCOORDINDEX] = static_cast<DWORD>(i);
        ss[D3DTSS_COLORARG0] = D3DTA_CURRENT;
        ss[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
        ss[D3DTSS_RESULTARG] = D3DTA_CURRENT;
    }
    for (auto& sampler : s.samplerStates) {
        sampler[D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
        sampler[D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
        sampler[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        sampler[D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
        sampler[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        sampler[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        sampler[D3DSAMP_MAXANISOTROPY] = 1;
    }
    s.view = s.projection = Identity();
    for (D3DMATRIX& m : s.world) m = Identity();
    for (D3DMATRIX& m : s.textureMatrices) m = Identity();
    s.renderTargets[0] = backBuffer.get();
    s.depthStencil = autoDepthStencil.get();
    s.viewport = {0, 0, backBuffer->width, backBuffer->height, 0.0f, 1.0f};
    s.scissor = WholeRect(*backBuffer);
}

void Device::Forget(const void* object) {
    DeviceState& s = state;
    for (auto*& texture : s.textures) {
        if (texture == object) texture = nullptr;
    }
    for (Surface*& target : s.renderTargets) {
        if (target == object) target = nullptr;
    }
    if (s.depthStencil == object) s.depthStencil = nullptr;
    if (s.declaration == object) s.declaration = nullptr;
    if (s.vertexShader == object) s.vertexShader = nullptr;
    if (s.pixelShader == object) s.pixelShader = nullptr;
}

void Device::Lose() {
    loss_ = ex_ ? LossState::Hung : LossState::Lost;
}

bool Device::Answers(REFIID iid) const {
    return ex_ && iid == IID_IDirect3DDevice9Ex;
}

bool Device::IsPoolRefused(D3DPOOL pool) const {
    return pool > D3DPOOL_SCRATCH || (ex_ && pool == D3DPOOL_MANAGED);
}

HRESULT Device::SetMaximumFrameLatency(UINT maxLatency) {
    if (WrongThread() || maxLatency > kMaxFrameLatency) return D3DERR_INVALIDCALL;
    maximumFrameLatency = maxLatency == 0 ? kDefaultFrameLatency : maxLatency;
    return D3D_OK;
}

HRESULT Device::TestCooperativeLevel() {
    if (WrongThread()) return D3DERR_INVALIDCALL;
    switch (loss_) {
        case LossState::None:
            return D3D_OK;
        case LossState::Lost:
            loss_ = LossState::NotReset;
            return D3DERR_DEVICELOST;
        case LossState::NotReset:
            return D3DERR_DEVICENOTRESET;
        default:
            return D3DERR_DEVICEHUNG;
    }
}

HRESULT Device::GetDeviceCaps(D3DCAPS9* caps) {
    if (WrongThread() || caps == nullptr) return D3DERR_INVALIDCALL;
    FillDeviceCaps(caps);
    return D3D_OK;
}

HRESULT Device::SetDialogBoxMode(BOOL enable) {
    if (WrongThread()) return D3DERR_INVALIDCALL;
    // Dialogs over a device need a back buffer that can be locked.
    if (enable && (presentParams.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) == 0) {
        return D3DERR_INVALIDCALL;
    }
    state.dialogBoxMode = enable;
    return D3D_OK;
}

// ---- Swap chain and presentation -----------------------------------------------------------

ULONG SwapChain::AddRef() {
    return device->AddRef();
}
ULONG SwapChain::Release() {
    return device->Release();
}

HRESULT SwapChain::Present(const RECT* sourceRect, const RECT* destRect, HWND destWindow,
                           const RGNDATA* dirtyRegion, DWORD flags) {
    return device->PresentBackBuffer(sourceRect, destRect, destWindow);
}

HRESULT SwapChain::GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) {
    return device->GetBackBuffer(0, index, type, surface);
}

HRESULT Device::GetSwapChain(UINT index, IDirect3DSwapChain9** out) {
    if (WrongThread() || out == nullptr || index != 0) return D3DERR_INVALIDCALL;
    *out = swapChain.get();
    swapChain->AddRef();
    return D3D_OK;
}

HRESULT Device::GetBackBuffer(UINT chain, UINT index, D3DBACKBUFFER_TYPE type,
                              IDirect3DSurface9** out) {
    if (WrongThread() || out == nullptr || chain != 0 || index != 0 ||
        type != D3DBACKBUFFER_TYPE_MONO) {
        return D3DERR_INVALIDCALL;
    }
    *out = backBuffer.get();
    backBuffer->AddRef();
    return D3D_OK;
}

HRESULT Device::Present(const RECT* sourceRect, const RECT* destRect, HWND destWindow,
                        const RGNDATA* dirtyRegion) {
    return PresentBackBuffer(sourceRect, destRect, destWindow);
}

HRESULT Device::PresentBackBuffer(const RECT* sourceRect, const RECT* destRect, HWND destWindow) {
    if (WrongThread() || state.inScene) return D3DERR_INVALIDCALL;
    if (loss_ == LossState::Hung) return D3DERR_DEVICEHUNG;
    if (loss_ != LossState::None || InjectedFailure("Present")) return D3DERR_DEVICELOST;
    // Rectangles need the copy swap effect, as in Direct3D 9.
    if ((sourceRect != nullptr || destRect != nullptr) &&
        presentParams.SwapEffect != D3DSWAPEFFECT_COPY) {
        return D3DERR_INVALIDCALL;
    }
    Surface& back = *backBuffer;
    RECT source = sourceRect != nullptr ? *sourceRect : WholeRect(back);
    if (source.left < 0 || source.top < 0 || source.left >= source.right ||
        source.top >= source.bottom || source.right > static_cast<LONG>(back.width) ||
        source.bottom > static_cast<LONG>(back.height)) {
        return D3DERR_INVALIDCALL;
    }
    if (destRect != nullptr &&
        (destRect->left >= destRect->right || destRect->top >= destRect->bottom)) {
        return D3DERR_INVALIDCALL;
    }
    D3d9PresentedFrame frame{};
    frame.window = destWindow != nullptr                    ? destWindow
                   : presentParams.hDeviceWindow != nullptr ? presentParams.hDeviceWindow
                                                            : focusWindow_;
    frame.format = back.format;
    frame.bits = back.bits.get();
    frame.pitch = static_cast<INT>(back.pitch);
    frame.width = back.width;
    frame.height = back.height;
    frame.source = source;
    frame.wholeClientArea = destRect == nullptr;
    if (destRect != nullptr) frame.dest = *destRect;
    // Every interval but IMMEDIATE shows the frame at the next vertical blank; a window that
    // shows nothing (hidden or minimised) is not waited for, as Windows does not throttle it.
    if (presentParams.PresentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE &&
        IsWindowVisible(frame.window) && !IsIconic(frame.window)) {
        WaitForNextVerticalBlank();
    }
    ShowPresentedFrame(frame);
    if (gD3d9.keepPresents) KeepPresentedFrame(frame);
    return D3D_OK;
}

// ---- Resource creation ---------------------------------------------------------------------

HRESULT Device::CheckSurfaceRequest(UINT width, UINT height, D3DFORMAT format, DWORD usage,
                                    D3DRESOURCETYPE type, HANDLE* shared) const {
    if (WrongThread() || shared != nullptr) return D3DERR_INVALIDCALL;
    if (width == 0 || height == 0 || width > kMaxSurfaceSize || height > kMaxSurfaceSize) {
        return D3DERR_INVALIDCALL;
    }
    return IsFormatOffered(format, usage, type) ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                              D3DPOOL pool, IDirect3DTexture9** out, HANDLE* shared) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    *out = nullptr;
    HRESULT checked = CheckSurfaceRequest(width, height, format, usage, D3DRTYPE_TEXTURE, shared);
    if (checked != D3D_OK) return checked;
    if (IsPoolRefused(pool) || ((usage & D3DUSAGE_RENDERTARGET) != 0 && pool != D3DPOOL_DEFAULT) ||
        ((usage & D3DUSAGE_DYNAMIC) != 0 && pool == D3DPOOL_MANAGED)) {
        return D3DERR_INVALIDCALL;
    }
    D3DCAPS9 caps;
    FillDeviceCaps(&caps);
    levels = ResolveLevelCount(levels, width, height, 1);
    if (levels == 0 || width > caps.MaxTextureWidth || height > caps.MaxTextureHeight) {
        return D3DERR_INVALIDCALL;
    }
    if ((caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) != 0 && width != height) {
        return D3DERR_INVALIDCALL;
    }
    if ((caps.TextureCaps & D3DPTEXTURECAPS_POW2) != 0 &&
        !(IsPowerOfTwo(width) && IsPowerOfTwo(height))) {
        // Conditional support allows other sizes only without mip levels.
        if ((caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) == 0 || levels != 1) {
            return D3DERR_INVALIDCALL;
        }
    }
    if (InjectedFailure("CreateTexture")) return D3DERR_OUTOFVIDEOMEMORY;
    Texture* texture = Texture::Create(this, width, height, levels, usage, format, pool);
    if (texture == nullptr) return E_OUTOFMEMORY;
    *out = texture;
    return D3D_OK;
}

HRESULT Device::CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels, DWORD usage,
                                    D3DFORMAT format, D3DPOOL pool, IDirect3DVolumeTexture9** out,
                                    HANDLE* shared) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    *out = nullptr;
    HRESULT checked =
        CheckSurfaceRequest(width, height, format, usage, D3DRTYPE_VOLUMETEXTURE, shared);
    if (checked != D3D_OK) return checked;
    levels = ResolveLevelCount(levels, width, height, depth);
    if (depth == 0 || levels == 0 || IsPoolRefused(pool) || width > kMaxVolumeSize ||
        height > kMaxVolumeSize || depth > kMaxVolumeSize ||
        ((usage & D3DUSAGE_DYNAMIC) != 0 && pool == D3DPOOL_MANAGED)) {
        return D3DERR_INVALIDCALL;
    }
    if (InjectedFailure("CreateVolumeTexture")) return D3DERR_OUTOFVIDEOMEMORY;
    VolumeTexture* texture =
        VolumeTexture::Create(this, width, height, depth, levels, usage, format, pool);
    if (texture == nullptr) return E_OUTOFMEMORY;
    *out = texture;
    return D3D_OK;
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                   IDirect3DVertexBuffer9** out, HANDLE* shared) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (WrongThread() || shared != nullptr || length == 0 || IsPoolRefused(pool)) {
        return D3DERR_INVALIDCALL;
    }
    VertexBuffer* buffer = VertexBuffer::Create(this, length, usage, fvf, pool);
    if (buffer == nullptr) return E_OUTOFMEMORY;
    *out = buffer;
    return D3D_OK;
}

HRESULT Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DIndexBuffer9** out, HANDLE* shared) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (WrongThread() || shared != nullptr || length == 0 || IsPoolRefused(pool) ||
        (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32)) {
        return D3DERR_INVALIDCALL;
    }
    IndexBuffer* buffer = IndexBuffer::Create(this, length, usage, format, pool);
    if (buffer == nullptr) return E_OUTOFMEMORY;
    *out = buffer;
    return D3D_OK;
}

HRESULT Device::CreateRenderTarget(UINT width, UINT height, D3DFORMAT format,
                                   D3DMULTISAMPLE_TYPE multiSample, DWORD quality, BOOL lockable,
                                   IDirect3DSurface9** out, HANDLE* shared) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    *out = nullptr;
    HRESULT checked =
        CheckSurfaceRequest(width, height, format, D3DUSAGE_RENDERTARGET, D3DRTYPE_SURFACE, shared);
    if (checked != D3D_OK) return checked;
    if (multiSample != D3DMULTISAMPLE_NONE) return D3DERR_INVALIDCALL;
    if (InjectedFailure("CreateRenderTarget")) return D3DERR_OUTOFVIDEOMEMORY;
    Surface* surface = Surface::Create(
        this, nullptr,
        {format, width, height, D3DPOOL_DEFAULT, D3DUSAGE_RENDERTARGET, lockable != FALSE});
    if (surface == nullptr) return E_OUTOFMEMORY;
    *out = surface;
    return D3D_OK;
}

HRESULT Device::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                          D3DMULTISAMPLE_TYPE multiSample, DWORD quality,
                                          BOOL discard, IDirect3DSurface9** out, HANDLE* shared) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    *out = nullptr;
    HRESULT checked =
        CheckSurfaceRequest(width, height, format, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, shared);
    if (checked != D3D_OK) return checked;
    if (multiSample != D3DMULTISAMPLE_NONE) return D3DERR_INVALIDCALL;
    if (InjectedFailure("CreateDepthStencilSurface")) return D3DERR_OUTOFVIDEOMEMORY;
    Surface* surface = Surface::Create(
        this, nullptr, {format, width, height, D3DPOOL_DEFAULT, D3DUSAGE_DEPTHSTENCIL, false});
    if (surface == nullptr) return E_OUTOFMEMORY;
    *out = surface;
    return D3D_OK;
}

HRESULT Device::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                            IDirect3DSurface9** out, HANDLE* shared) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    *out = nullptr;
    HRESULT checked = CheckSurfaceRequest(width, height, format, 0, D3DRTYPE_SURFACE, shared);
    if (checked != D3D_OK) return checked;
    if (pool == D3DPOOL_MANAGED || pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    // Video formats share chroma between pixel pairs (and YV12 between row pairs).
    if (IsYuvFormat(format) && (width % 2 != 0 || (format == D3DFMT_YV12 && height % 2 != 0))) {
        return D3DERR_INVALIDCALL;
    }
    if (InjectedFailure("CreateOffscreenPlainSurface")) return D3DERR_OUTOFVIDEOMEMORY;
    Surface* surface = Surface::Create(this, nullptr, {format, width, height, pool, 0, true});
    if (surface == nullptr) return E_OUTOFMEMORY;
    *out = surface;
    return D3D_OK;
}

// ---- Render targets and scenes -------------------------------------------------------------

HRESULT Device::SetRenderTarget(DWORD index, IDirect3DSurface9* surface) {
    if (WrongThread() || index >= RenderTargetSlots()) return D3DERR_INVALIDCALL;
    if (surface == nullptr) {
        if (index == 0) return D3DERR_INVALIDCALL;
        state.renderTargets[index] = nullptr;
        return D3D_OK;
    }
    Surface* target = OwnSurface(this, surface);
    if (target == nullptr || !target->IsRenderTarget()) return D3DERR_INVALIDCALL;
    state.renderTargets[index] = target;
    RecordTestCall(TestD3d9CallKind::RenderTarget, index, 0, 1);
    if (index == 0) {  // the viewport and scissor follow the new target
        state.viewport = {0, 0, target->width, target->height, 0.0f, 1.0f};
        state.scissor = WholeRect(*target);
    }
    return D3D_OK;
}

HRESULT Device::GetRenderTarget(DWORD index, IDirect3DSurface9** out) {
    if (WrongThread() || out == nullptr || index >= kMaxRenderTargets) return D3DERR_INVALIDCALL;
    *out = state.renderTargets[index];
    if (*out == nullptr) return D3DERR_NOTFOUND;
    (*out)->AddRef();
    return D3D_OK;
}

HRESULT Device::SetDepthStencilSurface(IDirect3DSurface9* surface) {
    if (WrongThread()) return D3DERR_INVALIDCALL;
    Surface* depth = surface != nullptr ? OwnSurface(this, surface) : nullptr;
    if (surface != nullptr && (depth == nullptr || !depth->IsDepth())) return D3DERR_INVALIDCALL;
    state.depthStencil = depth;
    return D3D_OK;
}

HRESULT Device::GetDepthStencilSurface(IDirect3DSurface9** out) {
    if (WrongThread() || out == nullptr) return D3DERR_INVALIDCALL;
    *out = state.depthStencil;
    if (*out == nullptr) return D3DERR_NOTFOUND;
    (*out)->AddRef();
    return D3D_OK;
}

HRESULT Device::BeginScene() {
    if (WrongThread() || state.inScene) return D3DERR_INVALIDCALL;
    state.inScene = true;
    return D3D_OK;
}

HRESULT Device::EndScene() {
    if (WrongThread() || !state.inScene) return D3DERR_INVALIDCALL;
    state.inScene = false;
    return D3D_OK;
}

// ---- Fixed-function state ------------------------------------------------------------------

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE which, const D3DMATRIX* matrix) {
    if (WrongThread() || matrix == nullptr) return D3DERR_INVALIDCALL;
    D3DMATRIX* slot = nullptr;
    if (which == D3DTS_VIEW) {
        slot = &state.view;
    } else if (which == D3DTS_PROJECTION) {
        slot = &state.projection;
    } else if (which >= D3DTS_TEXTURE0 && which <= D3DTS_TEXTURE7) {
        slot = &state.textureMatrices[which - D3DTS_TEXTURE0];
    } else if (which >= D3DTS_WORLD && which < D3DTS_WORLD + 256) {
        slot = &state.world[which - D3DTS_WORLD];
    } else {
        return D3DERR_INVALIDCALL;
    }
    RecordTestCall(TestD3d9CallKind::Transform, 0, which, 0);
    *slot = *matrix;
    return D3D_OK;
}

HRESULT Device::SetViewport(const D3DVIEWPORT9* viewport) {
    if (WrongThread() || viewport == nullptr) return D3DERR_INVALIDCALL;
    const Surface* target = state.renderTargets[0];
    if (target == nullptr) return D3DERR_INVALIDCALL;
    unsigned long long right = static_cast<unsigned long long>(viewport->X) + viewport->Width;
    unsigned long long bottom = static_cast<unsigned long long>(viewport->Y) + viewport->Height;
    if (right > target->width || bottom > target->height) return D3DERR_INVALIDCALL;
    if (!(viewport->MinZ >= 0.0f && viewport->MinZ <= 1.0f && viewport->MaxZ >= 0.0f &&
          viewport->MaxZ <= 1.0f)) {
        return D3DERR_INVALIDCALL;
    }
    state.viewport = *viewport;
    RecordTestCall(TestD3d9CallKind::Viewport, 0, 0, 0);
    return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT9* viewport) {
    if (WrongThread() || viewport == nullptr) return D3DERR_INVALIDCALL;
    *viewport = state.viewport;
    return D3D_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL9* material) {
    if (WrongThread() || material == nullptr) return D3DERR_INVALIDCALL;
    state.material = *material;
    RecordTestCall(TestD3d9CallKind::Material, 0, 0, 0);
    return D3D_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL9* material) {
    if (WrongThread() || material == nullptr) return D3DERR_INVALIDCALL;
    *material = state.material;
    return D3D_OK;
}

HRESULT Device::SetLight(DWORD index, const D3DLIGHT9* light) {
    if (WrongThread() || light == nullptr || index > kMaxLightIndex ||
        light->Type < D3DLIGHT_POINT || light->Type > D3DLIGHT_DIRECTIONAL) {
        return D3DERR_INVALIDCALL;
    }
    if (index >= state.lights.size()) state.lights.resize(index + 1, LightSlot{});
    state.lights[index].light = *light;
    return D3D_OK;
}

HRESULT Device::LightEnable(DWORD index, BOOL enable) {
    if (WrongThread() || index > kMaxLightIndex) return D3DERR_INVALIDCALL;
    if (index >= state.lights.size()) {
        // Enabling a light never set gives Direct3D's default: white, directional, along +z.
        LightSlot light{};
        light.light.Type = D3DLIGHT_DIRECTIONAL;
        light.light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
        light.light.Direction = {0.0f, 0.0f, 1.0f};
        state.lights.resize(index + 1, light);
    }
    state.lights[index].enabled = enable != FALSE;
    return D3D_OK;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE which, DWORD value) {
    if (WrongThread() || which >= kRenderStateCount) return D3DERR_INVALIDCALL;
    state.renderStates[which] = value;
    RecordTestCall(TestD3d9CallKind::RenderState, which, 0, value);
    return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
    if (WrongThread() || stage >= kSamplers) return D3DERR_INVALIDCALL;
    if (texture != nullptr) {
        auto* plain = dynamic_cast<Texture*>(texture);
        auto* volume = dynamic_cast<VolumeTexture*>(texture);
        bool own = (plain != nullptr && plain->device == this) ||
                   (volume != nullptr && volume->device == this);
        if (!own) return D3DERR_INVALIDCALL;
    }
    state.textures[stage] = texture;
    RecordTestCall(TestD3d9CallKind::Texture, stage, 0, texture != nullptr ? 1 : 0);
    return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    if (WrongThread() || stage >= kTextureStages || type >= kStageStateCount) {
        return D3DERR_INVALIDCALL;
    }
    state.stageStates[stage][type] = value;
    RecordTestCall(TestD3d9CallKind::StageState, stage, type, value);
    return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    if (WrongThread() || sampler >= kSamplers || type >= kSamplerStateCount) {
        return D3DERR_INVALIDCALL;
    }
    state.samplerStates[sampler][type] = value;
    RecordTestCall(TestD3d9CallKind::SamplerState, sampler, type, value);
    return D3D_OK;
}

HRESULT Device::SetScissorRect(const RECT* rect) {
    if (WrongThread() || rect == nullptr) return D3DERR_INVALIDCALL;
    state.scissor = *rect;
    return D3D_OK;
}

// ---- Vertex formats and shaders ------------------------------------------------------------

HRESULT Device::CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                        IDirect3DVertexDeclaration9** out) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (WrongThread() || elements == nullptr) return D3DERR_INVALIDCALL;
    std::vector<D3DVERTEXELEMENT9> list;
    for (UINT i = 0;; ++i) {
        if (i > MAXD3DDECLLENGTH) return D3DERR_INVALIDCALL;  // no end marker in reach
        list.push_back(elements[i]);
        if (elements[i].Stream == 0xFF) break;
        if (elements[i].Type >= D3DDECLTYPE_UNUSED) return D3DERR_INVALIDCALL;
    }
    auto* declaration = new (std::nothrow) VertexDeclaration(this, std::move(list));
    if (declaration == nullptr) return E_OUTOFMEMORY;
    *out = declaration;
    return D3D_OK;
}

HRESULT Device::SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) {
    if (WrongThread()) return D3DERR_INVALIDCALL;
    auto* own = dynamic_cast<VertexDeclaration*>(declaration);
    if (declaration != nullptr && (own == nullptr || own->device != this))
        return D3DERR_INVALIDCALL;
    state.declaration = own;
    state.fvf = 0;
    return D3D_OK;
}

HRESULT Device::SetFVF(DWORD fvf) {
    if (WrongThread()) return D3DERR_INVALIDCALL;
    state.fvf = fvf;
    RecordTestCall(TestD3d9CallKind::Fvf, 0, 0, fvf);
    state.declaration = nullptr;
    return D3D_OK;
}

HRESULT Device::CreateVertexShader(const DWORD* code, IDirect3DVertexShader9** out) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    *out = nullptr;
    ShaderKernelRecord record;
    if (WrongThread() || !gD3d9.profile.shaders || !ParseShaderKernelRecord(code, &record) ||
        !record.vertex) {
        return D3DERR_INVALIDCALL;
    }
    auto* shader = new (std::nothrow) VertexShader(this, record.name);
    if (shader == nullptr) return E_OUTOFMEMORY;
    *out = shader;
    return D3D_OK;
}

HRESULT Device::SetVertexShader(IDirect3DVertexShader9* shader) {
    if (WrongThread()) return D3DERR_INVALIDCALL;
    auto* own = dynamic_cast<VertexShader*>(shader);
    if (shader != nullptr && (own == nullptr || own->device != this)) return D3DERR_INVALIDCALL;
    state.vertexShader = own;
    return D3D_OK;
}

HRESULT Device::CreatePixelShader(const DWORD* code, IDirect3DPixelShader9** out) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    *out = nullptr;
    ShaderKernelRecord record;
    if (WrongThread() || !gD3d9.profile.shaders || !ParseShaderKernelRecord(code, &record) ||
        record.vertex) {
        return D3DERR_INVALIDCALL;
    }
    PixelShaderBody body = FindPixelShader(record.name);
    if ((body.kernel == nullptr && body.spanKernel == nullptr && body.stages == nullptr) ||
        InjectedFailure("CreatePixelShader")) {
        return D3DERR_INVALIDCALL;
    }
    auto* shader = new (std::nothrow) PixelShader(this, record.name, body);
    if (shader == nullptr) return E_OUTOFMEMORY;
    *out = shader;
    return D3D_OK;
}

HRESULT Device::SetPixelShader(IDirect3DPixelShader9* shader) {
    if (WrongThread()) return D3DERR_INVALIDCALL;
    auto* own = dynamic_cast<PixelShader*>(shader);
    if (shader != nullptr && (own == nullptr || own->device != this)) return D3DERR_INVALIDCALL;
    state.pixelShader = own;
    return D3D_OK;
}

HRESULT Device::SetVertexShaderConstantF(UINT start, const float* data, UINT count) {
    if (WrongThread()) return D3DERR_INVALIDCALL;
    return StoreConstants(state.vertexFloats, kVertexFloatConstants, start,
                          reinterpret_cast<const ShaderFloat4*>(data), count);
}

HRESULT Device::SetVertexShaderConstantI(UINT start, const int* data, UINT count) {
    if (WrongThread()) return D3DERR_INVALIDCALL;
    return StoreConstants(state.vertexInts, kIntConstants, start,
                          reinterpret_cast<const int(*)[4]>(data), count);
}

HRESULT Device::SetVertexShaderConstantB(UINT start, const BOOL* data, UINT count) {
    if (WrongThread()) return D3DERR_INVALIDCALL;
    return StoreConstants(state.vertexBools, kBoolConstants, start, data, count);
}

HRESULT Device::SetPixelShaderConstantF(UINT start, const float* data, UINT count) {
    if (WrongThread()) return D3DERR_INVALIDCALL;
    return StoreConstants(state.pixelFloats, kPixelFloatConstants, start,
                          reinterpret_cast<const ShaderFloat4*>(data), count);
}

HRESULT Device::SetPixelShaderConstantI(UINT start, const int* data, UINT count) {
    if (WrongThread()) return D3DERR_INVALIDCALL;
    return StoreConstants(state.pixelInts, kIntConstants, start,
                          reinterpret_cast<const int(*)[4]>(data), count);
}

HRESULT Device::SetPixelShaderConstantB(UINT start, const BOOL* data, UINT count) {
    if (WrongThread()) return D3DERR_INVALIDCALL;
    return StoreConstants(state.pixelBools, kBoolConstants, start, data, count);
}
