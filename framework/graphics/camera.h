// The 3D side of the draw settings: the camera that places 3D drawing on the draw target, the
// material and the lights.
#pragma once

#include "graphics/draw_state.h"

// The 3D part of the draw-settings reset: depth sets, fill mode, camera and material defaults,
// and the default light. The lighting switch and the lights are kept.
void ResetCameraSettings();

// Places the camera; its up vector is made square to the viewing direction.
int SetCameraPositionAndTarget(float x, float y, float z, float targetX, float targetY,
                               float targetZ, float upX, float upY, float upZ);
int SetCameraNearFar(float nearZ, float farZ);
// Switches to perspective projection.
int SetCameraFieldOfView(float radians);
int SetCameraAspectFactor(float factor);
int SetCameraScreenCenter(float x, float y);
// Switches to the given projection matrix.
int SetCameraProjectionMatrix(const Matrix4x4* matrix);
// Builds the projection of the current mode for the draw target's aspect and applies it.
int UpdateCameraProjection();
// The culling planes of the current view and projection, when they are stale.
void UpdateCullingPlanes();
// The horizontal, vertical and twist angles of the camera from its view matrix.
void ComputeCameraAngles();
// A point given in screen space (pixels of the draw target, depth 0 to 1) to world space, in
// place.
void UnprojectScreenPoint(float point[3]);

// The 3D depth switch; the batch is drawn first when it changes. 0.
int SwitchZBufferUse(int use);
