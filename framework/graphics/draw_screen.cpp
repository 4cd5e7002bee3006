// Draw screens: the draw target of each slot, the 2D camera of the target, clearing and the
// flip.
#include "graphics/draw_screen.h"

#include "core/shell_hooks.h"
#include "core/log.h"
#include "graphics/camera.h"
#include "graphics/d3d_device.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/device_resources.h"
#include "graphics/device_transforms.h"
#include "graphics/draw_state.h"
#include "graphics/graph_records.h"
#include "graphics/graphics_state.h"
#include "graphics/masks.h"
#include "graphics/present_screen.h"
#include "graphics/render_state_cache.h"
#include "graphics/screen_state.h"
#include "graphics/shaders.h"
#include "graphics/software_screen.h"
#include "graphics/vertex_batch.h"

namespace {

// tan(30 degrees): the 2D camera's distance puts the target's height in a 60-degree view.
constexpr float kHalfFieldTangent = 0.57735026f;
constexpr float kFieldOfView = 1.0471976f;
constexpr float kFarBeyondTarget = 20000.0f;

struct DrawScreenState {
    int32_t flipping;
    int32_t drawingScreenLog;
};

DrawScreenState gDrawScreen = {};

void SetUpTwoDimensionalCamera(int width, int height) {
    CameraSettings& c = gDrawSettings.camera;
    float w = static_cast<float>(width), h = static_cast<float>(height);
    c.aspectFactor = 1.0f;
    Matrix4x4 identity;
    MakeIdentityMatrix(&identity);
    SetWorldMatrix(&identity);
    MakeViewportMatrix(&c.targetViewport, w * 0.5f, h * 0.5f, w, h);
    InvertMatrix(&c.inverseTargetViewport, &c.targetViewport);
    SetCameraScreenCenter(w * 0.5f, h * 0.5f);
    float distance = static_cast<float>(height / 2) / kHalfFieldTangent;
    SetCameraPositionAndTarget(w * 0.5f, h * 0.5f, -distance, w * 0.5f, h * 0.5f, -distance + 1.0f,
                               0.0f, 1.0f, 0.0f);
    c.projectionMode = 0;
    c.fieldOfView = kFieldOfView;
    c.nearZ = distance * 0.1f;
    c.farZ = distance + kFarBeyondTarget;
    UpdateCameraProjection();
}

}  // namespace

int SelectDrawScreen(int screen) {
    DrawSettings& s = gDrawSettings;
    if (!IsGraphicsInitialized()) return -1;
    WaitWhileInactive();
    const GraphRecord* graph = nullptr;
    if (!IsScreenId(screen)) {
        graph = GetGraphRecord(screen, 1);
        if (graph == nullptr) return -1;
        if (graph->header.asyncPendingCount == 0 && !IsDrawTargetGraph(graph)) return -1;
    }
    bool direct3D = IsDirect3DMode() != 0;
    if (!direct3D && graph != nullptr && !IsMemImgValid(&graph->image)) return -1;
    int maskWasOn = IsMaskDrawingOn();
    if (maskWasOn) SwitchMaskScreenUse(0);

    int oldWidth = s.targetWidth, oldHeight = s.targetHeight;
    s.drawTargets[0] = screen;
    if (screen != kBackScreenAlias3 && screen != kBackScreenAlias5) {
        QueryGraphSize(screen, &s.targetWidth, &s.targetHeight);
    }
    if (!direct3D) {
        gSoftwareScreen.target =
            graph != nullptr ? const_cast<MEMIMG*>(&graph->image) : &gSoftwareScreen.screen;
    } else if (HasDirect3DDevice()) {
        FlushVertexBatchNow();
        CloseDeviceScene();
        SelectDrawTexture(nullptr);
        BindRenderTargetSurface(graph != nullptr ? GetGraphTargetSurface(graph) : ScreenSurface(),
                                0);
        ApplyDepthSurfaceForTarget();
    }
    StartFrontScreenTimer(screen == kFrontScreen);

    if (s.targetWidth == oldWidth && s.targetHeight == oldHeight) {
        SetDrawRegion(s.drawX1, s.drawY1, s.drawX2, s.drawY2);
    } else {
        SetDrawRegion(0, 0, s.targetWidth, s.targetHeight);
    }
    SetUpTwoDimensionalCamera(s.targetWidth, s.targetHeight);
    if (maskWasOn) SwitchMaskScreenUse(1);
    return 0;
}

int SetRenderTargetSlot(int slot, int target) {
    DrawSettings& s = gDrawSettings;
    int slots = gDeviceResources.simultaneousRenderTargets > 0
                    ? gDeviceResources.simultaneousRenderTargets
                    : 1;
    if (slot < 0 || slot >= slots) return -1;
    if (s.drawTargets[slot] == target) return 0;
    if (slot == 0) return SelectDrawScreen(target);
    if (!IsDirect3DMode() || GetUsableShaderVersion() == 0 || !HasDirect3DDevice()) return -1;
    const GraphRecord* graph = GetGraphRecord(target, 0);
    if (graph != nullptr && !IsDrawTargetGraph(graph)) return -1;
    FlushVertexBatchNow();
    CloseDeviceScene();
    s.drawTargets[slot] = graph != nullptr ? target : 0;
    BindRenderTargetSurface(graph != nullptr ? GetGraphTargetSurface(graph) : nullptr, slot);
    return 0;
}

int EraseDrawScreen(const RECT* rect) {
    const DrawSettings& s = gDrawSettings;
    EndPendingMaskDrawArea();
    if (rect != nullptr && (rect->left < 0 || rect->top < 0)) rect = nullptr;
    if (!IsDirect3DMode()) {
        MEMIMG* target = gSoftwareScreen.target;
        if (target == nullptr || !IsMemImgValid(target)) return 0;
        ClearMemImgRect(target, rect,
                        PackColorForFormat(target->body->format, gScreen.backgroundRed,
                                           gScreen.backgroundGreen, gScreen.backgroundBlue, 255));
        return 0;
    }
    if (!HasDirect3DDevice()) return 0;
    FlushVertexBatchNow();
    CloseDeviceScene();
    D3DVIEWPORT9 whole = {
        0, 0, static_cast<DWORD>(s.targetWidth), static_cast<DWORD>(s.targetHeight), 0.0f, 1.0f};
    ApplyViewport(&whole);
    DWORD flags = D3DCLEAR_TARGET | (gDeviceResources.zBuffer != nullptr ? D3DCLEAR_ZBUFFER : 0);
    D3DRECT area{};
    if (rect != nullptr) area = {rect->left, rect->top, rect->right, rect->bottom};
    DeviceClear(
        rect != nullptr ? 1 : 0, rect != nullptr ? &area : nullptr, flags,
        D3DCOLOR_ARGB(0, gScreen.backgroundRed, gScreen.backgroundGreen, gScreen.backgroundBlue),
        1.0f, 0);
    D3DVIEWPORT9 drawArea = {static_cast<DWORD>(s.drawX1),
                             static_cast<DWORD>(s.drawY1),
                             static_cast<DWORD>(s.drawX2 - s.drawX1),
                             static_cast<DWORD>(s.drawY2 - s.drawY1),
                             0.0f,
                             1.0f};
    if (!s.emptyDrawArea) ApplyViewport(&drawArea);
    return 0;
}

int FlipScreen() {
    DrawScreenState& f = gDrawScreen;
    if (f.drawingScreenLog) return 0;
    f.flipping = 1;
    if (gShell.setUp == 0 || IsQuitting()) {
        f.flipping = 0;
        return -1;
    }
    EndPendingMaskDrawArea();
    if (gShell.isScreenLogShown != nullptr && gShell.isScreenLogShown()) {
        DrawSettings& s = gDrawSettings;
        RECT area = {s.drawX1, s.drawY1, s.drawX2, s.drawY2};
        int mode = s.blendMode, param = s.blendParam;
        int red = s.brightRed, green = s.brightGreen, blue = s.brightBlue;
        SetDrawRegion(0, 0, gScreen.screenWidth, gScreen.screenHeight);
        ChangeBlendMode(BlendOpaque, 0);
        SetDrawBright(255, 255, 255);
        f.drawingScreenLog = 1;
        gShell.drawScreenLog();
        f.drawingScreenLog = 0;
        SetDrawRegion(area.left, area.top, area.right, area.bottom);
        ChangeBlendMode(mode, param);
        SetDrawBright(red, green, blue);
    }
    PresentScreen();
    f.flipping = 0;
    return 0;
}

int UseSubBackBuffer() {
    RenderStateCache& c = gRenderStates;
    if (gDeviceResources.subBackBuffer != nullptr) return 0;
    if (!HasDirect3DDevice()) return -1;
    FlushVertexBatchNow();
    CloseDeviceScene();
    if (CreateSubBackBuffer() == -1) return -1;
    IDirect3DSurface9* sub = gDeviceResources.subBackBuffer;
    DeviceStretchRect(gDeviceResources.backBuffer, nullptr, sub, nullptr, D3DTEXF_NONE);
    D3DVIEWPORT9 whole = {0,
                          0,
                          static_cast<DWORD>(gScreen.screenWidth),
                          static_cast<DWORD>(gScreen.screenHeight),
                          0.0f,
                          1.0f};
    c.ResendAll = 1;
    BindRenderTargetSurface(sub, 0);
    ApplyViewport(&whole);
    c.ResendAll = 0;
    return 0;
}

int ShowBackBufferOnWindow() {
    if (IsDirect3DMode() && !IsWindowedMode()) UseSubBackBuffer();
    return FlipScreen();
}

int IsFlipRunning() {
    return gDrawScreen.flipping;
}

int StartFrontScreenTimer(int start) {
    if (start)
        SetTimer(GetMainHwnd(), kFrontScreenTimerId, kFrontScreenTimerMs, FrontScreenTimerProc);
    return 0;
}

void CALLBACK FrontScreenTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time) {
    KillTimer(GetMainHwnd(), kFrontScreenTimerId);
    if (GetDrawScreen() != kFrontScreen) return;
    if (IsAppActive()) ShowBackBufferOnWindow();
    SetTimer(GetMainHwnd(), kFrontScreenTimerId, kFrontScreenTimerMs, FrontScreenTimerProc);
}
