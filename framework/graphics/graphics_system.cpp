// Graphics start-up and shutdown, and the device's re-creation: the screen defaults, Direct3D
// (or the software screen), the handle kinds of graphs, shaders and buffers, the device's
// default states and the draw settings; after a re-creation the draw target, every cached
// state, the restore callback and the draw area and camera that were in force.
#include "graphics/graphics_system.h"

#include <platform/win32.h>

#include "core/async_load.h"
#include "core/shell_hooks.h"
#include "core/system_info.h"
#include "draw/filters.h"
#include "draw/graph_vertices.h"
#include "graphics/blend_states.h"
#include "graphics/camera.h"
#include "graphics/d3d_device.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/device_resources.h"
#include "graphics/device_transforms.h"
#include "graphics/draw_screen.h"
#include "graphics/graph_records.h"
#include "graphics/graph_restore.h"
#include "graphics/lights.h"
#include "graphics/masks.h"
#include "graphics/memory_textures.h"
#include "graphics/model_resources.h"
#include "graphics/present_screen.h"
#include "graphics/render_state_cache.h"
#include "graphics/screen_state.h"
#include "graphics/shader_pack.h"
#include "graphics/shaders.h"
#include "graphics/software_screen.h"
#include "graphics/vertex_batch.h"
#include "softrender/mem_img.h"

GraphicsSystemState gGraphicsSystem = {};
GraphicsHooks gGraphicsHooks = {};

namespace {

// The framework's constants (camera, lights, blend factor) live in usage set 0: the set mask 1.
constexpr int kFrameworkConstantSets = 1 << 0;

struct HandleKindSetup {
    HandleRegistry* registry;
    int32_t kind;
    uint32_t recordSize;
    int32_t maxCount;
    HandleInitCallback init;
    HandleTerminateCallback terminate;
    const char* name;
};

int RegisterGraphicsHandleKinds() {
    const HandleKindSetup kinds[] = {
        {&gGraphRegistry, kHandleKindGraph, sizeof(GraphRecord), kMaxGraphs, InitGraphRecord,
         TerminateGraphRecord, "グラフィック"},
        {&gShaderRegistry, kHandleKindShader, sizeof(ShaderRecord), kMaxShaders, nullptr,
         TerminateShaderRecord, "シェーダー"},
        {&gVertexBufferRegistry, kHandleKindVertexBuffer, sizeof(VertexBufferRecord),
         kMaxVertexBuffers, nullptr, ReleaseBufferObject, "頂点バッファ"},
        {&gIndexBufferRegistry, kHandleKindIndexBuffer, sizeof(IndexBufferRecord), kMaxIndexBuffers,
         nullptr, ReleaseBufferObject, "インデックスバッファ"},
    };
    for (const HandleKindSetup& k : kinds) {
        if (k.registry->setUp) continue;
        SetupHandleRegistry(k.registry, HandleKindBits(k.kind), k.recordSize, k.maxCount, k.init,
                            k.terminate, k.name);
    }
    return 0;
}

void RetireAndShutdown(HandleRegistry* registry) {
    if (!registry->setUp) return;
    RetireAllHandles(registry, nullptr);
    ShutdownHandleRegistry(registry);
}

// What RecreateDevice carries over a device that keeps its mode.
struct SavedView {
    CameraSettings camera;
    Matrix4x4 view, projection, viewportAdjust;
};

SavedView SaveView() {
    const DrawSettings& s = gDrawSettings;
    return {s.camera, s.viewMatrix, s.projectionMatrix, s.viewportAdjustMatrix};
}

void RestoreView(const SavedView& saved) {
    gDrawSettings.camera = saved.camera;
    SetViewMatrix(&saved.view);
    SetViewportAdjustMatrix(&saved.viewportAdjust);
    SetProjectionMatrix(&saved.projection);
}

void WaitForQueuedLoads() {
    while (CountQueuedAsyncLoads() > 0) {
        RunMainThreadRequests();
        Sleep(gSystemInfo.processorCount > 1 ? 0 : 2);
    }
}

}  // namespace

int InitializeGraphics() {
    if (gGraphicsSystem.GraphicsInitialized) return 0;
    if (gScreen.screenWidth == 0 || gScreen.screenHeight == 0) StoreScreenSize(640, 480);
    if (gScreen.colorBits == 0) {
        gScreen.colorBits = 16;
        SetMemImgDefaultColorType(kMemImgRgb565);
    }
    if (IsFullScreenMode() && gScreen.screenWidth == 320 && gScreen.screenHeight == 240) {
        SetEmulation320x240(1);
        StoreScreenSize(640, 480);
    }
    InitShaderConstCache(&gShaderConstCache);
    SelectShaderConstSets(&gShaderConstCache, kFrameworkConstantSets);
    if (SetupDirect3D() == -1) {
        ShutdownGraphicsSystem();
        TerminateDirect3D();
        return -1;
    }
    RegisterGraphicsHandleKinds();
    gGraphicsSystem.GraphicsInitialized = 1;
    if (IsDirect3DMode()) {
        ApplyDeviceDefaultStates();
    } else {
        SetupSoftwareScreenImages();
    }
    ResetDrawSettings();
    SetupMemImgTables();
    if (gGraphicsHooks.setUp != nullptr) gGraphicsHooks.setUp();
    RegisterMaskHandleType();
    ResendCachedDrawStates(0);
    gGraphicsSystem.FilterResultExact = 0;
    if (IsDirect3DMode() && GetUsableShaderVersion() != 0) {
        gGraphicsSystem.FilterResultExact = TestFilterResultExact();
    }
    return 0;
}

int ShutdownGraphicsSystem() {
    if (gGraphicsHooks.shutDown != nullptr) gGraphicsHooks.shutDown();
    if (!gGraphicsSystem.GraphicsInitialized) return 0;
    ShutdownMasks();
    RetireAllModelInstances();
    RetireAllModelBaseData();
    RetireAllHandles(&gGraphRegistry, nullptr);
    ReleaseAllMemoryTextures();
    RetireAllHandles(&gVertexBufferRegistry, nullptr);
    RetireAllHandles(&gIndexBufferRegistry, nullptr);
    RetireAllHandles(&gShaderRegistry, nullptr);
    DeleteAllLightsButDefault();
    DeleteLight(gDrawSettings.lighting.defaultLight);
    ReleaseBlendStateTextures();
    ForgetDeviceStates();
    TerminateDirect3D();
    ReleaseSoftwareScreenImages();
    CloseBuiltinShaderPack();
    FreeVertexListBuffer();
    RetireAndShutdown(&gVertexBufferRegistry);
    RetireAndShutdown(&gIndexBufferRegistry);
    RetireAndShutdown(&gShaderRegistry);
    RetireAndShutdown(&gGraphRegistry);
    gGraphicsSystem.GraphicsInitialized = 0;
    return 0;
}

int IsGraphicsInitialized() {
    return gGraphicsSystem.GraphicsInitialized;
}

int InstallGraphRestoreHandler(GraphRestoreCallback callback) {
    gDrawSettings.restoreCallback = callback != nullptr ? callback : ReloadAllGraphs;
    return 0;
}

GraphRestoreCallback GetGraphRestoreHandler() {
    return gDrawSettings.restoreCallback;
}

int RunGraphRestore() {
    int asyncWasOn = IsAsyncLoadOn();
    SwitchAsyncLoad(0);
    GraphRestoreCallback restore = gDrawSettings.restoreCallback;
    (restore != nullptr ? restore : ReloadAllGraphs)();
    RestoreModelTextures();
    if (gGraphicsHooks.restore != nullptr) gGraphicsHooks.restore();
    SwitchAsyncLoad(asyncWasOn);
    return 0;
}

int RecreateDevice(int colorBits, int changeMode, int width, int height, int refreshRate) {
    WaitForQueuedLoads();
    ReleaseDeviceForDeactivation();
    if (changeMode) {
        StoreScreenSize(width, height);
        gScreen.colorBits = colorBits;
        gScreen.refreshRate = refreshRate;
        SetMemImgDefaultColorType(colorBits == 32 ? kMemImgXrgb8888 : kMemImgRgb565);
    } else if (gGraphicsHooks.deviceRemade != nullptr) {
        gGraphicsHooks.deviceRemade();
    }
    if (gShell.noGraphics != 0) return 0;
    SetupDirect3D();
    DrawSettings& s = gDrawSettings;
    if (!IsDirect3DMode()) {
        // A device that could not be made again leaves the software screen, which needs its
        // images.
        if (!IsMemImgValid(&gSoftwareScreen.screen)) {
            SetupSoftwareScreenImages();
            SelectDrawScreen(s.drawTargets[0]);
        }
        return 0;
    }
    RecreateDeviceResources();
    RestoreMaskScreen();
    SavedView saved = SaveView();
    RECT area = s.requestedArea;
    SelectDrawScreen(s.drawTargets[0]);
    ResendAllRenderStates();
    // Both buffers of the swap chain start from the background colour.
    for (int i = 0; i < 2; ++i) {
        EraseDrawScreen(nullptr);
        PresentScreen();
    }
    RunGraphRestore();
    ResendCachedDrawStates(0);
    RebuildAllModelBuffers(0);
    MarkLightsForResend();
    if (!changeMode) {
        SetDrawRegion(area.left, area.top, area.right, area.bottom);
        RestoreView(saved);
    }
    for (int slot = 1; slot < kDrawTargetSlots; ++slot) {
        Handle target = s.drawTargets[slot];
        if (target == -1) continue;
        s.drawTargets[slot] = -1;
        SetRenderTargetSlot(slot, target);
    }
    return 0;
}

int RecreateDeviceKeepingMode() {
    return RecreateDevice(-1, 0, -1, -1, -1);
}

void ReleaseDeviceForDeactivation() {
    if (gShell.noGraphics != 0) return;
    if (IsDirect3DMode()) {
        ReleaseMaskScreen();
        ReleaseAllDeviceTextures();
        ReleaseBlendStateTextures();
        ForgetDeviceStates();
    }
    TerminateDirect3D();
}

int SwitchDialogBoxMode(int on) {
    gGraphicsSystem.dialogBoxMode = on;
    if (IsDirect3DMode() && HasDirect3DDevice()) {
        DeviceSetDialogBoxMode(FALSE);
        if (on) DeviceSetDialogBoxMode(TRUE);
    }
    return 0;
}

int IsDialogBoxModeOn() {
    return gGraphicsSystem.dialogBoxMode;
}

int ApplyDialogBoxMode(int enable) {
    if (!HasDirect3DDevice()) return 0;
    CloseDeviceScene();
    DeviceSetDialogBoxMode(enable);
    return 0;
}

int EndOpenScene() {
    CloseDeviceScene();
    return 0;
}

int IsDeviceReady() {
    return IsDeviceNotReady() ? 0 : 1;
}
