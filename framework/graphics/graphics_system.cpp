// Stands in for graphics start-up until it exists: no device, and the built-in reloader is a
// callback that has nothing to reload.
#include "graphics/graphics_system.h"

namespace {

void ReloadNothing() {}

struct GraphicsSystemState {
    GraphRestoreCallback restore;
};

GraphicsSystemState gGraphicsSystem = {nullptr};

}  // namespace

int InitializeGraphics() {
    return 0;
}

int ShutdownGraphicsSystem() {
    return 0;
}

int InstallGraphRestoreHandler(GraphRestoreCallback callback) {
    gGraphicsSystem.restore = callback != nullptr ? callback : ReloadNothing;
    return 0;
}

GraphRestoreCallback GetGraphRestoreHandler() {
    return gGraphicsSystem.restore;
}

int RecreateDeviceKeepingMode() {
    return 0;
}

void ReleaseDeviceForDeactivation() {}

int EndOpenScene() {
    return 0;
}

int IsDeviceReady() {
    return 1;
}
