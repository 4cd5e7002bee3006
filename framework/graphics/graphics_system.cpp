// Stands in for graphics start-up until it exists: the screen defaults, the Direct3D bring-up
// (or the software screen), and the device's release and re-creation with the pooled textures;
// no handle kinds, render states, fonts or masks yet, and the built-in reloader has nothing to
// reload.
#include "graphics/graphics_system.h"

#include "app/shell.h"
#include "graphics/d3d_device.h"
#include "graphics/device_resources.h"
#include "graphics/mem_img.h"
#include "graphics/memory_textures.h"
#include "graphics/screen_state.h"
#include "graphics/software_screen.h"
#include "graphics/vertex_batch.h"

namespace {

void ReloadNothing() {}

struct GraphicsSystemState {
    GraphRestoreCallback restore;
    int initialized;
};

GraphicsSystemState gGraphicsSystem = {nullptr, 0};

}  // namespace

int InitializeGraphics() {
    if (gGraphicsSystem.initialized) return 0;
    if (gScreen.screenWidth == 0 || gScreen.screenHeight == 0) StoreScreenSize(640, 480);
    if (gScreen.colorBits == 0) {
        gScreen.colorBits = 16;
        SetMemImgDefaultColorType(kMemImgRgb565);
    }
    if (IsFullScreenMode() && gScreen.screenWidth == 320 && gScreen.screenHeight == 240) {
        SetEmulation320x240(1);
        StoreScreenSize(640, 480);
    }
    if (SetupDirect3D() == -1) {
        TerminateDirect3D();
        return -1;
    }
    gGraphicsSystem.initialized = 1;
    if (!IsDirect3DMode()) SetupSoftwareScreenImages();
    return 0;
}

int ShutdownGraphicsSystem() {
    if (!gGraphicsSystem.initialized) return 0;
    ReleaseAllMemoryTextures();
    TerminateDirect3D();
    ReleaseSoftwareScreenImages();
    gGraphicsSystem.initialized = 0;
    return 0;
}

int IsGraphicsInitialized() {
    return gGraphicsSystem.initialized;
}

int InstallGraphRestoreHandler(GraphRestoreCallback callback) {
    gGraphicsSystem.restore = callback != nullptr ? callback : ReloadNothing;
    return 0;
}

GraphRestoreCallback GetGraphRestoreHandler() {
    return gGraphicsSystem.restore;
}

int RecreateDeviceKeepingMode() {
    ReleaseDeviceForDeactivation();
    if (gShell.noGraphics != 0) return 0;
    SetupDirect3D();
    if (IsDirect3DMode()) {
        RecreateDeviceResources();
        if (gGraphicsSystem.restore != nullptr) gGraphicsSystem.restore();
    }
    return 0;
}

void ReleaseDeviceForDeactivation() {
    if (gShell.noGraphics != 0) return;
    if (IsDirect3DMode()) ReleasePooledTextureObjects();
    TerminateDirect3D();
}

int EndOpenScene() {
    return CloseDeviceScene();
}

int IsDeviceReady() {
    return IsDeviceNotReady() ? 0 : 1;
}
