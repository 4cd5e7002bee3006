// The vertex batch and the device scene bracket.
#pragma once

// Draws what the batch holds; 0.
int FlushVertexBatch();
// Ends the device scene when one is open; 0.
int CloseDeviceScene();
