// Releases the pooled memory textures before the device goes. Stands in for the rest of graph
// restore until graph creation exists: no graph, buffer or shader holds a device object, so
// there is nothing else to release or reload.
#include "graphics/graph_restore.h"

#include "graphics/memory_textures.h"

int ReleaseAllDeviceTextures() {
    ReleasePooledTextureObjects();
    return 0;
}

void ReloadAllGraphs() {}
