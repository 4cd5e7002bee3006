// The Direct3D object of the software device (adapter 0, the HAL device type only), the
// capabilities and formats it reports from the current profile, and the "d3d9.dll" entries.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "../base/test_overrides.h"
#include "device.h"

bool GeneralSpansWanted() {
    const char* wanted = std::getenv("ORBEK_D3D9_GENERAL_SPANS");
    return wanted != nullptr && std::strcmp(wanted, "1") == 0;
}

D3d9State gD3d9;
ComObjectCount gD3d9Objects;

namespace {

constexpr DWORD kMaxPrimitiveCount = 0xFFFFF;
constexpr DWORD kMaxVertexIndex = 0xFFFFFF;

bool IsRefused(D3DFORMAT format, DWORD usage) {
    for (const auto& refused : gD3d9.profile.refusedFormats) {
        if (refused.first == format && refused.second == usage) return true;
    }
    return false;
}

bool IsDisplayFormat(D3DFORMAT format) {
    const FormatInfo* info = FindFormatInfo(format);
    return info != nullptr && info->display;
}

// Whether an Ex device's full-screen display mode is the one its back buffer asks for.
bool IsFullScreenModeOf(const D3DDISPLAYMODEEX& mode, const D3DPRESENT_PARAMETERS& p) {
    return mode.Size == sizeof(D3DDISPLAYMODEEX) && mode.Width == p.BackBufferWidth &&
           mode.Height == p.BackBufferHeight && mode.Format == p.BackBufferFormat &&
           mode.RefreshRate == p.FullScreen_RefreshRateInHz;
}

// Made by Direct3DCreate9Ex, the object answers for the Ex interface and CreateDeviceEx may
// be called on it.
class Direct3D final : public ComObject<IDirect3D9Ex, gD3d9Objects, IID_IDirect3D9> {
public:
    explicit Direct3D(bool ex) : ex_(ex) {}

    UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) override {
        if (adapter != D3DADAPTER_DEFAULT) return 0;
        UINT count = 0;
        for (const D3DDISPLAYMODE& mode : gD3d9.profile.modes) count += mode.Format == format;
        return count;
    }

    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override {
        if (adapter != D3DADAPTER_DEFAULT || mode == nullptr) return D3DERR_INVALIDCALL;
        *mode = gD3d9.profile.desktop;
        return D3D_OK;
    }

    HRESULT GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER9* id) override {
        if (adapter != D3DADAPTER_DEFAULT || id == nullptr) return D3DERR_INVALIDCALL;
        std::memset(id, 0, sizeof(*id));
        std::strcpy(id->Driver, "orbek_d3d9.dll");
        std::strcpy(id->Description, "Orbek software Direct3D 9 device");
        std::strcpy(id->DeviceName, "\\\\.\\DISPLAY1");
        return D3D_OK;
    }

    HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                              D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) override {
        HRESULT checked = CheckAdapter(adapter, type);
        if (checked != D3D_OK) return checked;
        if (!IsDisplayFormat(adapterFormat)) return D3DERR_NOTAVAILABLE;
        return IsFormatOffered(checkFormat, usage, resourceType) ? D3D_OK : D3DERR_NOTAVAILABLE;
    }

    HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT format,
                                       BOOL windowed, D3DMULTISAMPLE_TYPE multiSample,
                                       DWORD* qualityLevels) override {
        HRESULT checked = CheckAdapter(adapter, type);
        if (checked != D3D_OK) return checked;
        bool known = IsFormatOffered(format, D3DUSAGE_RENDERTARGET, D3DRTYPE_SURFACE) ||
                     IsFormatOffered(format, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE);
        if (!known || multiSample != D3DMULTISAMPLE_NONE) return D3DERR_NOTAVAILABLE;
        if (qualityLevels != nullptr) *qualityLevels = 1;
        return D3D_OK;
    }

    HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                   D3DFORMAT renderTargetFormat,
                                   D3DFORMAT depthStencilFormat) override {
        HRESULT checked = CheckAdapter(adapter, type);
        if (checked != D3D_OK) return checked;
        bool target = IsDisplayFormat(renderTargetFormat) ||
                      IsFormatOffered(renderTargetFormat, D3DUSAGE_RENDERTARGET, D3DRTYPE_SURFACE);
        bool depth = IsFormatOffered(depthStencilFormat, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE);
        return target && depth && IsDisplayFormat(adapterFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
    }

    // StretchRect converts from every plain surface format, the video formats included, into
    // the formats a render target can have.
    HRESULT CheckDeviceFormatConversion(UINT adapter, D3DDEVTYPE type, D3DFORMAT source,
                                        D3DFORMAT target) override {
        HRESULT checked = CheckAdapter(adapter, type);
        if (checked != D3D_OK) return checked;
        bool from =
            IsFormatOffered(source, 0, D3DRTYPE_SURFACE) && FindFormatInfo(source)->blockBytes == 0;
        bool to = IsFormatOffered(target, D3DUSAGE_RENDERTARGET, D3DRTYPE_SURFACE);
        return from && to ? D3D_OK : D3DERR_NOTAVAILABLE;
    }

    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) override {
        HRESULT checked = CheckAdapter(adapter, type);
        if (checked != D3D_OK) return checked;
        if (caps == nullptr) return D3DERR_INVALIDCALL;
        FillDeviceCaps(caps);
        return D3D_OK;
    }

    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behavior,
                         D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device) override {
        if (device == nullptr) return D3DERR_INVALIDCALL;
        *device = nullptr;
        HRESULT checked = CheckAdapter(adapter, type);
        if (checked != D3D_OK) return checked;
        if (InjectedFailure("CreateDevice")) return D3DERR_NOTAVAILABLE;
        Device* created = nullptr;
        HRESULT result = Device::Create(this, focusWindow, behavior, parameters, false, &created);
        *device = created;
        return result;
    }

    HRESULT CreateDeviceEx(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behavior,
                           D3DPRESENT_PARAMETERS* parameters, D3DDISPLAYMODEEX* fullScreenMode,
                           IDirect3DDevice9Ex** device) override {
        if (device == nullptr || parameters == nullptr) return D3DERR_INVALIDCALL;
        *device = nullptr;
        HRESULT checked = CheckAdapter(adapter, type);
        if (checked != D3D_OK) return checked;
        // A windowed device takes no display mode; a full-screen one the back buffer's.
        if (parameters->Windowed
                ? fullScreenMode != nullptr
                : fullScreenMode == nullptr || !IsFullScreenModeOf(*fullScreenMode, *parameters)) {
            return D3DERR_INVALIDCALL;
        }
        if (!gD3d9.profile.exDevices || InjectedFailure("CreateDeviceEx")) {
            return D3DERR_NOTAVAILABLE;
        }
        Device* created = nullptr;
        HRESULT result = Device::Create(this, focusWindow, behavior, parameters, true, &created);
        *device = created;
        return result;
    }

protected:
    bool Answers(REFIID iid) const override { return ex_ && iid == IID_IDirect3D9Ex; }

private:
    static HRESULT CheckAdapter(UINT adapter, D3DDEVTYPE type) {
        if (adapter != D3DADAPTER_DEFAULT) return D3DERR_INVALIDCALL;
        return type == D3DDEVTYPE_HAL ? D3D_OK : D3DERR_NOTAVAILABLE;
    }

    bool ex_;
};

}  // namespace

TestD3d9Profile TestD3d9DefaultProfile() {
    TestD3d9Profile profile{};
    profile.nativeSubtract = true;
    profile.tempRegister = true;
    profile.shaders = true;
    profile.textureCaps = 0;
    profile.maxTextureSize = 4096;
    profile.simultaneousRenderTargets = 4;
    profile.dxt = true;
    profile.refusedVertexProcessing = 0;
    profile.exDevices = true;
    profile.desktop = {1920, 1080, 60, D3DFMT_X8R8G8B8};
    const UINT sizes[][2] = {{320, 240},  {640, 480},  {800, 600},
                             {1024, 768}, {1280, 720}, {1920, 1080}};
    for (D3DFORMAT format : {D3DFMT_R5G6B5, D3DFMT_X8R8G8B8}) {
        for (const auto& size : sizes) profile.modes.push_back({size[0], size[1], 60, format});
    }
    return profile;
}

void FillDeviceCaps(D3DCAPS9* caps) {
    const TestD3d9Profile& p = gD3d9.profile;
    std::memset(caps, 0, sizeof(*caps));
    caps->DeviceType = D3DDEVTYPE_HAL;
    caps->PrimitiveMiscCaps = D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW;
    if (p.nativeSubtract) caps->PrimitiveMiscCaps |= D3DPMISCCAPS_BLENDOP;
    if (p.tempRegister) caps->PrimitiveMiscCaps |= D3DPMISCCAPS_TSSARGTEMP;
    caps->ZCmpCaps = 0xFF;  // NEVER .. ALWAYS
    caps->AlphaCmpCaps = 0xFF;
    caps->SrcBlendCaps = 0x1FFF;  // ZERO .. BOTHINVSRCALPHA
    caps->DestBlendCaps = 0x1FFF;
    caps->ShadeCaps = D3DPSHADECAPS_COLORGOURAUDRGB | D3DPSHADECAPS_ALPHAGOURAUDBLEND;
    caps->TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA |
                        D3DPTEXTURECAPS_MIPMAP | D3DPTEXTURECAPS_VOLUMEMAP | p.textureCaps;
    caps->TextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR |
                              D3DPTFILTERCAPS_MIPFPOINT | D3DPTFILTERCAPS_MIPFLINEAR |
                              D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
    caps->TextureAddressCaps = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR |
                               D3DPTADDRESSCAPS_CLAMP | D3DPTADDRESSCAPS_BORDER |
                               D3DPTADDRESSCAPS_MIRRORONCE;
    caps->MaxTextureWidth = p.maxTextureSize;
    caps->MaxTextureHeight = p.maxTextureSize;
    caps->MaxVolumeExtent = 512;
    caps->MaxTextureAspectRatio = p.maxTextureSize;
    caps->MaxAnisotropy = 1;
    // One bit per operation, 1 << (op - 1): DISABLE .. BLENDCURRENTALPHA, the four
    // MODULATE..ADD variants, DOTPRODUCT3, MULTIPLYADD and LERP.
    caps->TextureOpCaps = 0xFFFF | (0xF << 17) | (0x7 << 23);
    caps->MaxTextureBlendStages = kTextureStages;
    caps->MaxSimultaneousTextures = kTextureStages;
    caps->MaxActiveLights = 8;
    caps->MaxPrimitiveCount = kMaxPrimitiveCount;
    caps->MaxVertexIndex = kMaxVertexIndex;
    caps->MaxStreams = 1;
    caps->MaxStreamStride = 255;
    caps->VertexShaderVersion = p.shaders ? D3DVS_VERSION(2, 0) : 0;
    caps->MaxVertexShaderConst = p.shaders ? kVertexFloatConstants : 0;
    caps->PixelShaderVersion = p.shaders ? D3DPS_VERSION(2, 0) : 0;
    caps->NumSimultaneousRTs = std::clamp<DWORD>(p.simultaneousRenderTargets, 1, kMaxRenderTargets);
}

bool IsFormatOffered(D3DFORMAT format, DWORD usage, D3DRESOURCETYPE type) {
    const FormatInfo* info = FindFormatInfo(format);
    if (info == nullptr) return false;
    DWORD kind = usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL);
    if (IsRefused(format, kind)) return false;
    if (kind == D3DUSAGE_DEPTHSTENCIL) return info->depth && type == D3DRTYPE_SURFACE;
    if (kind == D3DUSAGE_RENDERTARGET) {
        return info->renderTarget && (type == D3DRTYPE_SURFACE || type == D3DRTYPE_TEXTURE);
    }
    if (kind == 0 && IsYuvFormat(format)) return type == D3DRTYPE_SURFACE;
    if (kind != 0 || !info->texture) return false;
    if (info->blockBytes != 0 && !gD3d9.profile.dxt) return false;
    switch (type) {
        case D3DRTYPE_SURFACE:
        case D3DRTYPE_TEXTURE:
            return true;
        case D3DRTYPE_VOLUMETEXTURE:
            return format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8;
        default:
            return false;
    }
}

IDirect3D9* Direct3DCreate9(UINT sdkVersion) {
    if (sdkVersion != D3D_SDK_VERSION || InjectedFailure("Direct3DCreate9")) return nullptr;
    return new (std::nothrow) Direct3D(false);
}

HRESULT Direct3DCreate9Ex(UINT sdkVersion, IDirect3D9Ex** object) {
    if (object == nullptr) return D3DERR_INVALIDCALL;
    *object = nullptr;
    if (sdkVersion != D3D_SDK_VERSION || InjectedFailure("Direct3DCreate9Ex")) {
        return D3DERR_NOTAVAILABLE;
    }
    *object = new (std::nothrow) Direct3D(true);
    return *object != nullptr ? D3D_OK : E_OUTOFMEMORY;
}
