#include "graphics/graphics_state.h"

#include "graphics/d3d_device.h"

GraphicsSystemState gGraphicsSystem = {};

int IsGraphicsInitialized() {
    return gGraphicsSystem.GraphicsInitialized;
}

int IsDeviceReady() {
    return IsDeviceNotReady() ? 0 : 1;
}
