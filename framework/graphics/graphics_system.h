// Graphics start-up and shutdown as a whole, and the device's release and re-creation around
// activation changes and screen-mode changes, with the restore of what lived on it.
#pragma once

#include <orbek/orbek.h>

#include "graphics/draw_state.h"
#include "graphics/graphics_state.h"

// What the modules above graphics (fonts, input) do at the graphics system's turns; the shell
// sets them at start-up. Each may be null.
struct GraphicsHooks {
    int (*setUp)();     // start-up, once the device and the memory images are up
    int (*shutDown)();  // first thing of the shutdown
    int (*restore)();   // after the graphs and model textures were restored
    // The device is made again in the same mode.
    int (*deviceRemade)();
    // Before a screen-mode change: 1 when something was kept to be made again after it.
    int (*keepAcrossModeChange)();
    // After a screen-mode change whose keepAcrossModeChange answered 1.
    int (*remakeAfterModeChange)();
    // Last of the start-up on a device with shaders: 1 when the filters' shader results are
    // exact enough to stand for the software ones.
    int (*testFilterResults)();
    // Last of the shutdown, once the device and everything made on it are gone.
    int (*closed)();
};
extern GraphicsHooks gGraphicsHooks;

// 0 (also when already started); -1 only when Direct3D or DirectDraw are missing or the
// software full screen cannot be set.
int InitializeGraphics();
// Safe when graphics never started; 0.
int ShutdownGraphicsSystem();
// The restore callback in force, null when none was installed.
GraphRestoreCallback GetGraphRestoreHandler();
// Runs the restore callback with asynchronous loading off, then restores model textures and
// fonts; 0.
int RunGraphRestore();
// Tears the device down and builds it again with everything that lives on it; with
// changeMode the new mode is stored first. Never fails as a whole: 0.
int RecreateDevice(int colorBits, int changeMode, int width, int height, int refreshRate);
int RecreateDeviceKeepingMode();
// Full-screen deactivation: releases the device and what lives on it.
void ReleaseDeviceForDeactivation();
int SwitchDialogBoxMode(int on);
int IsDialogBoxModeOn();
int ApplyDialogBoxMode(int enable);
// Ends a scene left open on the device; 0.
int EndOpenScene();
