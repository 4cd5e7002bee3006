// Stands in for the Direct3D marshalling module until it exists: only the readiness test of
// the DirectDraw object and the main window, and a flush that runs where it is asked (no
// loading worker exists yet to ask from another thread).
#include "graphics/d3d_marshal.h"

#include "app/shell.h"
#include "graphics/vertex_batch.h"
#include "graphics/vertical_blank.h"

int IsDirectDrawWindowReady() {
    return GetDirectDraw7Object() != nullptr && GetMainHwnd() != nullptr ? 1 : 0;
}

int MarshalFlushVertexBatch() {
    return FlushVertexBatchNow();
}
