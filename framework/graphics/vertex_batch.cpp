// Stands in for the vertex batch until it exists: nothing is batched and no scene is opened,
// so there is nothing to flush or close.
#include "graphics/vertex_batch.h"

int FlushVertexBatch() {
    return 0;
}

int CloseDeviceScene() {
    return 0;
}
