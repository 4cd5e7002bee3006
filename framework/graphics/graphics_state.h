// Whether graphics are up, as a plain record every graphics module may read: the start-up and
// shutdown sequencing above them sets it.
#pragma once

#include <cstdint>

struct GraphicsSystemState {
    int32_t GraphicsInitialized;
    // 1 when a filter pass into a draw-target graph gives back exact values.
    int32_t FilterResultExact;
    int32_t dialogBoxMode;
};
extern GraphicsSystemState gGraphicsSystem;

// 1 between a successful InitializeGraphics and ShutdownGraphicsSystem.
int IsGraphicsInitialized();
// 1 when the device can draw (it exists and was not released).
int IsDeviceReady();
