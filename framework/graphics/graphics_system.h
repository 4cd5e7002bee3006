// Graphics start-up and shutdown as a whole, and the device's release and re-creation around
// activation changes.
#pragma once

using GraphRestoreCallback = void (*)();

int InitializeGraphics();
int ShutdownGraphicsSystem();
// 1 between a successful InitializeGraphics and ShutdownGraphicsSystem.
int IsGraphicsInitialized();
// Null selects the built-in reloader.
int InstallGraphRestoreHandler(GraphRestoreCallback callback);
// The restore callback in force, null when none.
GraphRestoreCallback GetGraphRestoreHandler();
int RecreateDeviceKeepingMode();
void ReleaseDeviceForDeactivation();
// Ends a scene left open on the device; 0.
int EndOpenScene();
// 1 when the device can draw (it exists and was not released).
int IsDeviceReady();
