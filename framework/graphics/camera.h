// The 3D side of the draw settings: the camera that places 3D drawing on the draw target, the
// material and the lights.
#pragma once

#include <platform/d3d9.h>

#include <cstdint>

#include "core/vector_math.h"

struct CameraSettings {
    int32_t projectionMode;  // 0 perspective, 1 orthographic, 2 a matrix the program gave
    float nearZ, farZ;
    float fieldOfView;  // radians
    float orthoHeight;
    float aspectFactor;
    Matrix4x4 givenProjection;
    Vector3 position, target, up;
    Matrix4x4 view;
    float screenCentreX, screenCentreY;
    // The 2D camera's viewport of the whole draw target and its inverse.
    Matrix4x4 targetViewport, inverseTargetViewport;
    // Near, far, left, right, top, bottom: a, b, c, d with a x + b y + c z + d >= 0 inside.
    float cullingPlanes[6][4];
    int32_t cullingPlanesStale;
    // The inverse of view x projection x viewport adjustment, made again after each change.
    Matrix4x4 inverseScreenTransform;
    int32_t inverseStale;
    float horizontalAngle, verticalAngle, twistAngle;
};

struct LightingSettings {
    int32_t lightingOff;  // lighting is on while this is 0
    D3DMATERIAL9 material;
    int32_t materialChanged;
    int32_t lightsChanged;
    int32_t defaultLight;  // light handle
};

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
void MarkCullingPlanesStale();
// The culling planes of the current view and projection, when they are stale.
void UpdateCullingPlanes();
// The horizontal, vertical and twist angles of the camera from its view matrix.
void ComputeCameraAngles();
// A point given in screen space (pixels of the draw target, depth 0 to 1) to world space, in
// place.
void UnprojectScreenPoint(float point[3]);

// The 3D depth switch; the batch is drawn first when it changes. 0.
int SwitchZBufferUse(int use);
