// The Direct3D objects of the graphics core: "d3d9.dll", the Direct3D object and the device
// with its present parameters and fall-backs. The bring-up and tear-down of everything that
// lives on the device is sequenced above, in the graphics system.
#pragma once

#include <platform/d3d9.h>

#include <cstdint>

#include "graphics/d3d_objects.h"

int LoadDirect3DLibrary();
int FreeDirect3DLibrary();
int CreateDirect3DObject();
void ReleaseDirect3DObject();
int HasDirect3DObject();
int HasDirect3DExObject();
// 0; -1 when no device could be made; -2 when no Ex device could be made, so that the caller
// asks again with the plain object.
int CreateDirect3DDevice();
int ReleaseDirect3DDevice();
int HasDirect3DDevice();
// 1 when the device cannot draw now (lost, not reset, or absent).
int IsDeviceNotReady();
// What ReleaseComObject tells the modules above that keep device objects: before a reference
// goes (draws queued with the object go first) and after the last one went (no cache may name
// it). Either may be null.
struct DeviceObjectReleaseHooks {
    void (*beforeRelease)(const void* object);
    void (*afterLastRelease)(const void* object);
};
void SetDeviceObjectReleaseHooks(const DeviceObjectReleaseHooks& hooks);
// The object's Release result; 0 for null, with the release hooks called around it.
ULONG ReleaseComObject(IUnknown* object);
// Steps *type down until the adapter offers it for the format and for D16 depth; with exact,
// -1 instead of stepping. *quality is capped to what both offer.
int ProbeMultisampleType(D3DFORMAT format, int32_t* type, int32_t* quality, int exact);
