// Graph restore after device loss: the device objects of every graph, buffer and shader are
// released before the device goes and filled again after it is made anew.
#pragma once

// Before the device is released; 0.
int ReleaseAllDeviceTextures();
// The built-in restore handler: reloads every graph from what it was made from.
void ReloadAllGraphs();
