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
    int32_t cullingPlanesStale;
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

int SetCameraPositionAndTarget(float x, float y, float z, float targetX, float targetY,
                               float targetZ, float upX, float upY, float upZ);
int SetCameraNearFar(float nearZ, float farZ);
// Switches to perspective projection.
int SetCameraFieldOfView(float radians);
int SetCameraAspectFactor(float factor);
int SetCameraScreenCenter(float x, float y);
// Builds the projection of the current mode for the draw target's aspect and applies it.
int UpdateCameraProjection();
void MarkCullingPlanesStale();

// A directional light towards (x, y, z); the light handle or -1.
int CreateDirectionalLight(float x, float y, float z);
int DeleteLight(int light);
int DeleteAllLightsButDefault();
// Brings the device's lights, material and lighting switch up to date for a lit draw.
int ApplyLights();
// After a device re-creation: every light is sent again at the next lit draw.
void MarkLightsForResend();
