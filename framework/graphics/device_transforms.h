// The world, view and projection transforms: kept in the draw settings, and on the device both
// as fixed-function transforms and as the vertex-shader constants of the built-in shaders.
#pragma once

#include "core/vector_math.h"

// Each flushes the vertex batch, stores the matrix, marks the culling planes stale and, with a
// device, applies it; 0.
int SetWorldMatrix(const Matrix4x4* matrix);
int SetViewMatrix(const Matrix4x4* matrix);
int SetProjectionMatrix(const Matrix4x4* matrix);
// Carries the camera's projection to its screen centre; applied with the projection.
int SetViewportAdjustMatrix(const Matrix4x4* matrix);
// Carries the whole target's projection into the draw area; applied with the projection.
int SetDrawAreaAdjustMatrix(const Matrix4x4* matrix);

// Send a matrix to the device as the transform and as shader constants.
void ApplyWorldMatrix(const Matrix4x4* matrix);
void ApplyViewMatrix(const Matrix4x4* matrix);
// Sends the projection carried by the two adjustment matrices.
void ApplyProjectionMatrix(const Matrix4x4* matrix);
// The camera's culling planes and inverse screen transform are made again on next use.
void MarkCullingPlanesStale();
