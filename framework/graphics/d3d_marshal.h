// Main-thread marshalling of Direct3D calls.
#pragma once

// 1 when the DirectDraw object and the main window both exist, else 0.
int IsDirectDrawWindowReady();
// The vertex-batch flush asked for by a loading worker, run on the main thread.
int MarshalFlushVertexBatch();
