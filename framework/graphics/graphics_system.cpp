// Graphics start-up and shutdown, the device's re-creation and the run-time screen-mode change:
// the screen defaults, Direct3D (or the software screen), the handle kinds of graphs, shaders
// and buffers, the device's default states and the draw settings; after a re-creation the draw
// target, every cached state, the restore callback and the draw area and camera that were in
// force.
#include "graphics/graphics_system.h"

#include <platform/win32.h>
#include <platform/win32_user.h>

#include "core/async_load.h"
#include "core/fatal_error.h"
#include "core/log.h"
#include "core/shell_hooks.h"
#include "core/system_info.h"
#include "core/tracked_memory.h"
#include "core/vector_math.h"
#include "graphics/blend_states.h"
#include "graphics/d3d_device.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/device_resources.h"
#include "graphics/device_transforms.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/draw_state.h"
#include "graphics/graph_creation.h"
#include "graphics/graph_records.h"
#include "graphics/graph_restore.h"
#include "graphics/lights.h"
#include "graphics/masks.h"
#include "graphics/memory_textures.h"
#include "graphics/model_resources.h"
#include "graphics/prepare_draw.h"
#include "graphics/present_screen.h"
#include "graphics/render_state_cache.h"
#include "graphics/screen_state.h"
#include "graphics/shader_pack.h"
#include "graphics/shaders.h"
#include "graphics/software_screen.h"
#include "graphics/state_resend.h"
#include "graphics/vertex_batch.h"
#include "graphics/vertical_blank.h"
#include "softrender/mem_img.h"

GraphicsHooks gGraphicsHooks = {};

namespace {

// The framework's constants (camera, lights, blend factor) live in usage set 0: the set mask 1.
constexpr int kFrameworkConstantSets = 1 << 0;

// The graph handle kind's end: draw targets and the depth target let go of the graph first.
int TerminateGraphRecord(HandleHeader* header) {
    GraphRecord* graph = reinterpret_cast<GraphRecord*>(header);
    Handle handle = header->handle;
    if (graph->movie != -1 && gGraphMovieHooks.remove != nullptr) gGraphMovieHooks.remove(graph->movie);
    graph->movie = -1;

    DrawSettings& s = gDrawSettings;
    for (int slot = 0; slot < kDrawTargetSlots; ++slot) {
        if (s.drawTargets[slot] == handle) SetRenderTargetSlot(slot, slot == 0 ? kFrontScreen : -1);
    }
    if (s.zBufferGraph == handle && IsGraphicsInitialized()) {
        WaitWhileInactive();
        s.zBufferGraph = kBackScreen;
        ApplyDepthSurfaceForTarget();
    }
    // The blend graph goes with its graph, as AttachBlendGraph(-1, ...) removes it, and with
    // the blend image made of it, which the renderers read.
    if (s.blendGraph == handle || s.blendImageGraph == handle) {
        Handle image = DropBlendGraph();
        if (image != handle) DisposeGraph(image);
    }

    if (IsMemImgValid(&graph->image)) ReleaseMemImg(&graph->image);
    ReleaseGraphTextureInfo(graph->textureInfo);
    graph->textureInfo = nullptr;
    for (void*& block : graph->ownedBlocks) {
        if (block != nullptr) FreeMemory(block);
        block = nullptr;
    }
    ReleaseGraphRestoreInfo(graph->restoreInfo);
    graph->restoreInfo = nullptr;
    if (graph->lostFlag != nullptr) *graph->lostFlag = 1;
    return 0;
}

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

// -1 only when "d3d9.dll" or DirectDraw are missing, or the software full screen cannot be set;
// a device that cannot be made leaves software mode.
int SetupDirect3D() {
    if (LoadDirect3DLibrary() == -1) return -1;
    if (SetupDirectDraw7() == -1) {
        FreeDirect3DLibrary();
        return -1;
    }
    gScreen.direct3DMode = 0;
    if (!IsHardwareRenderingRequested()) {
        if (IsFullScreenMode() && ApplyDisplayModeSettings() == -1) return -1;
        MeasureVerticalBlankPeriod();
        return 0;
    }
    bool displayReady = true;
    if (IsFullScreenMode() && gSystemInfo.osCode >= kOsCodeWindowsVista && IsEmulating320x240()) {
        displayReady = ApplyDisplayModeSettings() == 0;
    }
    int created = -1;
    if (displayReady) {
        // An Ex device that cannot be made is asked for once more from the plain object.
        do {
            created = CreateDirect3DObject() == 0 ? SetupDeviceResources() : -1;
        } while (created == -2);
    }
    if (created == 0 && CreateZBuffer() == 0) {
        gScreen.direct3DMode = 1;
        SetupBuiltinShaders();
        if (AreBuiltinShadersOn()) {
            BuildVertexDeclarations();
            CreateBrightnessVolumeTexture();
        }
        return 0;
    }

    ReleaseDeviceSurfaces();
    ReleaseDirect3DDevice();
    ReleaseDirect3DObject();
    if (IsFullScreenMode() && ApplyDisplayModeSettings() == -1) return -1;
    MeasureVerticalBlankPeriod();
    return 0;
}

int TerminateDirect3D() {
    ReleaseAllModelBuffers();
    // The buffers keep their data; their device objects are made again with the next device.
    ReleaseBufferObjects();
    ReleaseVertexDeclarations();
    ReleaseBuiltinShaders();
    // Shader handles keep their code and are made again with the next device.
    ReleaseUserShaderObjects();
    if (!(gScreen.direct3DMode && gDirect3D.exclusiveFullScreen)) {
        ChangeDisplaySettingsA(nullptr, 0);
    }
    ReleaseDeviceSurfaces();
    ReleaseDirect3DDevice();
    ReleaseDirect3DObject();
    ReleaseDirectDraw7();
    FreeDirect3DLibrary();
    FreeDisplayModeList();
    return 0;
}

struct ScreenMode {
    int32_t width, height, bits, refresh;
};

// A side the device can make a back buffer of.
constexpr int32_t kLargestScreenSide = 8192;

// Each value -1 (kept) or one a screen can have.
bool IsScreenModeRequest(int32_t width, int32_t height, int32_t bits, int32_t refresh) {
    auto side = [](int32_t value) {
        return value == -1 || (value >= 1 && value <= kLargestScreenSide);
    };
    return side(width) && side(height) && (bits == -1 || bits == 16 || bits == 32) && refresh >= -1;
}

ScreenMode CurrentMode() {
    return {gScreen.screenWidth, gScreen.screenHeight, gScreen.colorBits, gScreen.refreshRate};
}

// The mode's settings as InitializeGraphics reads them.
void StoreMode(const ScreenMode& mode) {
    StoreScreenSize(mode.width, mode.height);
    gScreen.colorBits = mode.bits;
    gScreen.refreshRate = mode.refresh;
    SetMemImgDefaultColorType(mode.bits == 32 ? kMemImgXrgb8888 : kMemImgRgb565);
}

void RecreateGraphObjects(GraphRecord* graph) {
    // Graphs that share a texture set find its objects made by the first of them.
    if (graph->textureInfo != nullptr) CreateGraphTextureObjects(graph->textureInfo, 0);
}

// After a device re-creation: the objects that outlive a device are made again.
int RecreateDeviceResources() {
    RecreatePooledTextureObjects();
    ForEachGraphRecord(RecreateGraphObjects);
    if (gDirect3D.mixedVertexProcessing || gDeviceResources.vertexShaderModel2) {
        RecreateBufferObjects();
    }
    RecreateUserShaders();
    return 0;
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
        if (ApplyDeviceDefaultStates() == 0) {
            ResendCachedDrawStates(0);
            OpenDeviceScene();
            PrepareDrawStates(nullptr, nullptr, 0);
        }
    } else {
        SetupSoftwareScreenImages();
    }
    ResetDrawSettings();
    SetupMemImgTables();
    if (gGraphicsHooks.setUp != nullptr) gGraphicsHooks.setUp();
    RegisterMaskHandleType();
    ResendCachedDrawStates(0);
    gGraphicsSystem.FilterResultExact = 0;
    if (IsDirect3DMode() && GetUsableShaderVersion() != 0 &&
        gGraphicsHooks.testFilterResults != nullptr) {
        gGraphicsSystem.FilterResultExact = gGraphicsHooks.testFilterResults();
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
    if (gGraphicsHooks.closed != nullptr) gGraphicsHooks.closed();
    RetireAndShutdown(&gVertexBufferRegistry);
    RetireAndShutdown(&gIndexBufferRegistry);
    RetireAndShutdown(&gShaderRegistry);
    RetireAndShutdown(&gGraphRegistry);
    gGraphicsSystem.GraphicsInitialized = 0;
    return 0;
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
    // Only graphics that are up get their device back: an activation handled while the library
    // shuts down would make one that nothing releases.
    if (!IsGraphicsInitialized()) return 0;
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

int ChangeScreenMode(int32_t width, int32_t height, int32_t colorBits, int32_t force,
                     int32_t refreshRate) {
    if (!IsScreenModeRequest(width, height, colorBits, refreshRate)) {
        return AppendLogText("画面モードの指定が正しくありません in ChangeScreenMode\n");
    }
    FlushVertexBatchNow();
    bool graphicsUp = IsGraphicsInitialized() != 0;

    ScreenMode wanted = {width != -1 ? width : gScreen.screenWidth,
                         height != -1 ? height : gScreen.screenHeight,
                         colorBits != -1 ? colorBits : gScreen.colorBits,
                         refreshRate != -1 ? refreshRate : gScreen.refreshRate};
    bool sizeGiven = width != -1 || height != -1;
    if (!IsWindowedMode() && wanted.width == 320 && wanted.height == 240) {
        wanted.width = 640;
        wanted.height = 480;
        SetEmulation320x240(1);
    } else if (IsWindowedMode() || sizeGiven) {
        // A window that showed the emulated screen becomes a real 320x240 screen.
        if (IsWindowedMode() && force == 1 && gScreen.emulate320x240 != 0 && wanted.width == 640 &&
            wanted.height == 480) {
            wanted.width = 320;
            wanted.height = 240;
        }
        SetEmulation320x240(0);
    }

    ScreenMode old = CurrentMode();
    if (force == 0 && wanted.width == old.width && wanted.height == old.height &&
        wanted.bits == old.bits && wanted.refresh == old.refresh) {
        return 0;
    }
    AppendLogText("画面モード変更処理を開始します\n");
    RaiseLogIndent();
    bool kept = graphicsUp && gGraphicsHooks.keepAcrossModeChange != nullptr &&
                gGraphicsHooks.keepAcrossModeChange() == 1;
    // Before the start-up the mode is only recorded, for the start-up to bring up.
    if (gShell.setUp == 0 && gShell.initialising == 0) {
        StoreMode(wanted);
        LowerLogIndent();
        return 0;
    }
    if (!IsWindowedMode() && HasDisplayMode(wanted.width, wanted.height, wanted.bits) == 0) {
        LowerLogIndent();
        return AppendLogText("画面モードがディスプレイにありません in ChangeScreenMode\n");
    }
    // Graphics left out of the start-up stay out until the shutdown: the window takes the
    // mode's size, and nothing starts.
    if (gShell.noGraphics != 0) {
        StoreMode(wanted);
        RestyleShellWindow();
        LowerLogIndent();
        return 0;
    }

    if (graphicsUp) ShutdownGraphicsSystem();
    StoreMode(wanted);
    int result = InitializeGraphics();
    if (result == -1 && wanted.width == 320 && wanted.height == 240) {
        bool emulated = IsEmulating320x240() != 0;
        gScreen.screenWidth = 640;
        gScreen.screenHeight = 480;
        gScreen.outputWidth = emulated ? 320 : 640;
        gScreen.outputHeight = emulated ? 240 : 480;
        SetProjectionScreenSize(gScreen.outputWidth, gScreen.outputHeight);
        SetEmulation320x240Fallback(1);
        result = InitializeGraphics();
    }
    // The mode asked for could not be had: the program is told, whatever mode takes over.
    bool fellBack = result == -1;
    if (result == -1) {
        StoreMode(old);
        result = InitializeGraphics();
    }
    if (result == -1) {
        StoreMode({640, 480, 16, 0});
        result = InitializeGraphics();
    }
    if (result == -1) ExitOnFatalError("予期せぬ画面モード変更不能現象が起きました2\n");

    // In full screen too: the window that shows the picture takes the new mode's size.
    RestyleShellWindow();
    if (kept && gGraphicsHooks.remakeAfterModeChange != nullptr) {
        gGraphicsHooks.remakeAfterModeChange();
    }
    LowerLogIndent();
    AppendLogText("画面モード変更処理は正常に終了しました\n");
    PumpMessagesUnlocked();
    SelectDrawScreen(GetDrawScreen());
    return fellBack ? -1 : 0;
}
