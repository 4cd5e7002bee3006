// The Direct3D object layer: "d3d9.dll" loaded at run time, the Direct3D object (the Ex one where
// the system has it), the device with its present parameters for window, emulated and exclusive
// full screen and its fall-backs from mixed to software vertex processing and from the Ex device
// to the plain one.
#include "graphics/d3d_device.h"

#include "core/desktop_composition.h"
#include "core/log.h"
#include "core/platform_dlls.h"
#include "core/shell_hooks.h"
#include "core/system_info.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/screen_state.h"
#include "softrender/mem_img.h"

namespace {

constexpr int kClearsAtCreation = 3;

DeviceObjectReleaseHooks gReleaseHooks = {};

D3DCOLOR BackgroundColor() {
    return D3DCOLOR_ARGB(0, gScreen.backgroundRed, gScreen.backgroundGreen, gScreen.backgroundBlue);
}

// The back-buffer format of a full-screen device at the screen depth; unknown for depths
// other than 16 and 32.
D3DFORMAT FullScreenFormat() {
    switch (QueryColorBitDepth()) {
        case 16:
            return gDirect3D.direct3D->GetAdapterModeCount(D3DADAPTER_DEFAULT, D3DFMT_R5G6B5) != 0
                       ? D3DFMT_R5G6B5
                       : D3DFMT_X1R5G5B5;
        case 32:
            return D3DFMT_X8R8G8B8;
        default:
            return D3DFMT_UNKNOWN;
    }
}

// In window mode the desktop's format decides the screen depth.
void AdoptDesktopDepth(D3DFORMAT desktop) {
    if (desktop == D3DFMT_X8R8G8B8) {
        gScreen.colorBits = 32;
        SetMemImgDefaultColorType(kMemImgXrgb8888);
    } else if (desktop == D3DFMT_R5G6B5 || desktop == D3DFMT_X1R5G5B5 ||
               desktop == D3DFMT_A1R5G5B5) {
        gScreen.colorBits = 16;
        SetMemImgDefaultColorType(kMemImgRgb565);
    }
}

// Fills the present parameters for the current mode; -1 for an unsupported full-screen depth.
int BuildPresentParameters(D3DPRESENT_PARAMETERS* p) {
    *p = D3DPRESENT_PARAMETERS{};
    p->BackBufferWidth = static_cast<UINT>(gScreen.screenWidth);
    p->BackBufferHeight = static_cast<UINT>(gScreen.screenHeight);
    p->BackBufferCount = 1;
    gDirect3D.exclusiveFullScreen = 0;
    bool emulatedFullScreen =
        !IsWindowedMode() && gSystemInfo.osCode >= kOsCodeWindowsVista && IsEmulating320x240();
    if (IsWindowedMode()) {
        D3DDISPLAYMODE desktop{};
        gDirect3D.direct3D->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &desktop);
        p->BackBufferFormat = desktop.Format;
        p->Windowed = TRUE;
        AdoptDesktopDepth(desktop.Format);
        EnableDesktopComposition(1);
    } else {
        p->BackBufferFormat = FullScreenFormat();
        if (p->BackBufferFormat == D3DFMT_UNKNOWN) {
            return AppendLogText("非対応のバックバッファービット深度が指定されました\n");
        }
        if (emulatedFullScreen) {
            // A window over the whole display, whose mode GDI has already changed.
            p->Windowed = TRUE;
        } else {
            p->Windowed = FALSE;
            p->FullScreen_RefreshRateInHz = static_cast<UINT>(gScreen.refreshRate);
            gDirect3D.exclusiveFullScreen = 1;
            EnableDesktopComposition(0);
            if (gPlatformDlls.DwmEnableComposition != nullptr) {
                AppendLogText("Desktop Window Manager を無効にしました\n");
            }
        }
    }
    if (gDirect3D.multisampleType != 0) {
        ProbeMultisampleType(p->BackBufferFormat, &gDirect3D.multisampleType,
                             &gDirect3D.multisampleQuality, 0);
    } else {
        gDirect3D.multisampleQuality = 0;
    }
    bool multisampled = gDirect3D.multisampleType != 0;
    p->SwapEffect = multisampled ? D3DSWAPEFFECT_DISCARD : D3DSWAPEFFECT_COPY;
    p->MultiSampleType = static_cast<D3DMULTISAMPLE_TYPE>(gDirect3D.multisampleType);
    p->MultiSampleQuality = static_cast<DWORD>(gDirect3D.multisampleQuality);
    p->hDeviceWindow = GetDrawWindowHandle();
    p->EnableAutoDepthStencil = FALSE;
    p->Flags = multisampled ? 0 : D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    p->PresentationInterval =
        gScreen.noVSyncWait ? D3DPRESENT_INTERVAL_IMMEDIATE : D3DPRESENT_INTERVAL_ONE;
    return 0;
}

// Steps `type` down until `format` offers it and reads its quality levels. False when the probe
// ends there: the type was refused with `exact`, or stepped down to none; *quality is then 0.
bool StepMultisampleDown(D3DFORMAT format, int32_t* type, int32_t* quality, int exact,
                         DWORD* levels) {
    while (FAILED(gDirect3D.direct3D->CheckDeviceMultiSampleType(
        D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, format, IsWindowedMode() ? TRUE : FALSE,
        static_cast<D3DMULTISAMPLE_TYPE>(*type), levels))) {
        if (exact || --*type <= 0) {
            if (!exact) *type = 0;
            *quality = 0;
            return false;
        }
    }
    return true;
}

// The display mode an exclusive full-screen Ex device is made with: the back buffer's.
D3DDISPLAYMODEEX FullScreenDisplayMode(const D3DPRESENT_PARAMETERS& p) {
    return {sizeof(D3DDISPLAYMODEEX),     p.BackBufferWidth,  p.BackBufferHeight,
            p.FullScreen_RefreshRateInHz, p.BackBufferFormat, D3DSCANLINEORDERING_PROGRESSIVE};
}

// Asks for the device with the first choice of vertex processing, then once more with software
// processing, which is then recorded.
template <class Create>
HRESULT CreateWithFallBack(Create create) {
    HRESULT result = create(gDirect3D.mixedVertexProcessing ? D3DCREATE_MIXED_VERTEXPROCESSING
                                                            : D3DCREATE_SOFTWARE_VERTEXPROCESSING);
    if (FAILED(result)) {
        gDirect3D.mixedVertexProcessing = 0;
        result = create(D3DCREATE_SOFTWARE_VERTEXPROCESSING);
    }
    return result;
}

}  // namespace

int LoadDirect3DLibrary() {
    gDirect3D.d3d9Module = LoadLibraryA("d3d9.dll");
    if (gDirect3D.d3d9Module == nullptr)
        return AppendLogText("d3d9.dll の読み込みに失敗しました\n");
    return 0;
}

int FreeDirect3DLibrary() {
    if (gDirect3D.d3d9Module != nullptr) {
        AppendLogText("Direct3D9 DLL の解放 1\n");
        FreeLibrary(gDirect3D.d3d9Module);
        gDirect3D.d3d9Module = nullptr;
    }
    return 0;
}

int CreateDirect3DObject() {
    ReleaseDirect3DObject();
    if (!gDirect3D.noExDevice) {
        AppendLogText("IDirect3D9Ex オブジェクトを取得します.... ");
        auto createEx = reinterpret_cast<PFN_Direct3DCreate9Ex>(
            GetProcAddress(gDirect3D.d3d9Module, "Direct3DCreate9Ex"));
        if (createEx != nullptr && SUCCEEDED(createEx(D3D_SDK_VERSION, &gDirect3D.direct3DEx))) {
            gDirect3D.direct3D = gDirect3D.direct3DEx;
        } else {
            gDirect3D.direct3DEx = nullptr;
        }
    }
    if (gDirect3D.direct3D == nullptr) {
        AppendLogText("IDirect3D9 オブジェクトを取得します.... ");
        auto create = reinterpret_cast<PFN_Direct3DCreate9>(
            GetProcAddress(gDirect3D.d3d9Module, "Direct3DCreate9"));
        if (create == nullptr) {
            return AppendLogText("Direct3DCreate9 APIのアドレス取得に失敗しました\n");
        }
        gDirect3D.direct3D = create(D3D_SDK_VERSION);
        if (gDirect3D.direct3D == nullptr) {
            return AppendLogText("IDirect3D9 オブジェクトの取得に失敗しました\n");
        }
    }
    AppendLogText("成功\n");
    return 0;
}

void ReleaseDirect3DObject() {
    ReleaseComObject(gDirect3D.direct3D);
    gDirect3D.direct3D = nullptr;
    gDirect3D.direct3DEx = nullptr;
}

int HasDirect3DObject() {
    return gDirect3D.direct3D != nullptr ? 1 : 0;
}

int HasDirect3DExObject() {
    return gDirect3D.direct3DEx != nullptr ? 1 : 0;
}

int CreateDirect3DDevice() {
    D3DPRESENT_PARAMETERS parameters;
    if (BuildPresentParameters(&parameters) == -1) return -1;

    D3DCAPS9 caps{};
    Direct3DGetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps);
    gDirect3D.vertexShaderVersion = caps.VertexShaderVersion;
    gDirect3D.pixelShaderVersion = caps.PixelShaderVersion;
    gDirect3D.mixedVertexProcessing =
        (caps.VertexShaderVersion & 0xFFFF) >= 0x200 && (caps.PixelShaderVersion & 0xFFFF) >= 0x200;

    if (gDirect3D.direct3DEx != nullptr) {
        AppendLogText("IDirect3DDevice9Ex オブジェクトを取得します.... ");
        D3DDISPLAYMODEEX mode = FullScreenDisplayMode(parameters);
        HRESULT result = CreateWithFallBack([&](DWORD behaviour) {
            D3DPRESENT_PARAMETERS copy = parameters;
            return gDirect3D.direct3DEx->CreateDeviceEx(
                D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, GetMainHwnd(), behaviour, &copy,
                gDirect3D.exclusiveFullScreen ? &mode : nullptr, &gDirect3D.deviceEx);
        });
        if (FAILED(result)) {
            gDirect3D.deviceEx = nullptr;
            gDirect3D.noExDevice = 1;
            AppendLogText("Direct3DDevice9Ex の作成に失敗しました\n");
            return -2;
        }
        gDirect3D.device = gDirect3D.deviceEx;
        gDirect3D.deviceEx->SetMaximumFrameLatency(1);
    } else {
        AppendLogText("IDirect3DDevice9 オブジェクトを取得します.... ");
        HRESULT result = CreateWithFallBack([&](DWORD behaviour) {
            D3DPRESENT_PARAMETERS copy = parameters;
            return gDirect3D.direct3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL,
                                                    GetMainHwnd(), behaviour, &copy,
                                                    &gDirect3D.device);
        });
        if (FAILED(result)) {
            gDirect3D.device = nullptr;
            return AppendLogText("Direct3DDevice9 の作成に失敗しました\n");
        }
    }
    AppendLogText(gDirect3D.mixedVertexProcessing ? "ハードウエア頂点演算を使用します\n"
                                                  : "ソフトウエア頂点演算を使用します\n");

    DeviceSetRenderState(D3DRS_ZENABLE, TRUE);
    // The first frames start from the background colour in every buffer.
    for (int i = 0; i < kClearsAtCreation; ++i) {
        DeviceClear(0, nullptr, D3DCLEAR_TARGET, BackgroundColor(), 1.0f, 0);
        gDirect3D.device->Present(nullptr, nullptr, nullptr, nullptr);
    }
    DeviceClear(0, nullptr, D3DCLEAR_TARGET, BackgroundColor(), 1.0f, 0);
    gDirect3D.device->GetSwapChain(0, &gDirect3D.swapChain);
    return 0;
}

int ReleaseDirect3DDevice() {
    ReleaseComObject(gDirect3D.swapChain);
    gDirect3D.swapChain = nullptr;
    if (gDirect3D.device != nullptr) {
        AppendLogText("Direct3DDevice9 の解放 2\n");
        gDirect3D.device->Release();
        gDirect3D.device = nullptr;
        gDirect3D.deviceEx = nullptr;
    }
    return 0;
}

int HasDirect3DDevice() {
    return gDirect3D.device != nullptr ? 1 : 0;
}

int IsDeviceNotReady() {
    if (gDirect3D.device == nullptr) return 1;
    return gDirect3D.device->TestCooperativeLevel() != D3D_OK ? 1 : 0;
}

ULONG ReleaseComObject(IUnknown* object) {
    if (object == nullptr) return 0;
    // A texture's level-0 surface, which may be bound as a draw target, goes with the texture.
    IDirect3DSurface9* level = nullptr;
    IDirect3DTexture9* texture = nullptr;
    if (SUCCEEDED(
            object->QueryInterface(IID_IDirect3DTexture9, reinterpret_cast<void**>(&texture)))) {
        if (FAILED(texture->GetSurfaceLevel(0, &level))) level = nullptr;
        if (level != nullptr) level->Release();
        texture->Release();
    }
    if (gReleaseHooks.beforeRelease != nullptr) gReleaseHooks.beforeRelease(object);
    ULONG left = object->Release();
    if (left == 0 && gReleaseHooks.afterLastRelease != nullptr) {
        gReleaseHooks.afterLastRelease(object);
        if (level != nullptr) gReleaseHooks.afterLastRelease(level);
    }
    return left;
}

void SetDeviceObjectReleaseHooks(const DeviceObjectReleaseHooks& hooks) {
    gReleaseHooks = hooks;
}

int ProbeMultisampleType(D3DFORMAT format, int32_t* type, int32_t* quality, int exact) {
    DWORD colourLevels = 0, depthLevels = 0;
    if (!StepMultisampleDown(format, type, quality, exact, &colourLevels)) return exact ? -1 : 0;
    if (!StepMultisampleDown(D3DFMT_D16, type, quality, exact, &depthLevels)) {
        return exact ? -1 : 0;
    }
    int32_t levels = static_cast<int32_t>(colourLevels < depthLevels ? colourLevels : depthLevels);
    if (*quality > levels - 1) *quality = levels - 1;
    return 0;
}
