// The light table (4,096 lights with handles of kind 11, in a table of their own) and the
// lights' way to the device: device light indices, the lights and the light shader constants.
#pragma once

#include <platform/d3d9.h>

#include <cstdint>

#include "core/vector_math.h"

constexpr int32_t kMaxLights = 4096;
// Device light indices listed by ApplyLights.
constexpr int32_t kMaxDeviceLights = 256;
// The lights whose view-space position and direction the view setter sends as constants.
constexpr int32_t kViewSpaceConstantLights = 4;

struct LightRecord {
    int32_t checkNumber;
    int32_t handle;
    D3DLIGHT9 light;
    int32_t deviceIndex;  // -1 while none is assigned
    int32_t enabled;
    int32_t changed;
};

struct LightTable {
    LightRecord* slots[kMaxLights];
    int32_t count;
    int32_t highMark;  // one past the highest used slot
    int32_t checkCounter;
    int32_t deviceLightCount;    // indices assigned by the last ApplyLights
    int32_t highestDeviceIndex;  // -1 when none was ever sent
};
extern LightTable gLights;

// Stores the inverse in the draw settings and sends the switch; 0.
int SwitchLighting(int on);
// A new light with the defaults; its handle (-1 when every slot is used).
int CreateLight();
// A directional light towards (x, y, z); the light handle or -1.
int CreateDirectionalLight(float x, float y, float z);
int DeleteLight(int light);
int DeleteAllLightsButDefault();
// The live light of a handle, or null.
LightRecord* FindLight(int light);
// Brings the device's lights, material and lighting switch up to date for a lit draw.
int ApplyLights();
// After a device re-creation: every light is sent again at the next lit draw.
void MarkLightsForResend();
// The view-space position and direction of device lights 0 to 3 into their shader constants.
void StoreLightViewConstants(const Matrix4x4* view);
