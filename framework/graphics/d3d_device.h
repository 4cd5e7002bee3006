// The Direct3D objects of the graphics core: "d3d9.dll", the Direct3D object and the device
// with its present parameters and fall-backs, and the bring-up and tear-down that continue in
// software mode when no device can be made.
#pragma once

#include <platform/d3d9.h>

#include <cstdint>

struct Direct3DState {
    HMODULE d3d9Module;
    IDirect3D9* direct3D;
    IDirect3D9Ex* direct3DEx;  // the same object, when it came from Direct3DCreate9Ex
    IDirect3DDevice9* device;
    IDirect3DDevice9Ex* deviceEx;    // the same object, when the device is an Ex device
    IDirect3DSwapChain9* swapChain;  // swap chain 0, fetched right after creation
    // Set once an Ex device could not be made: from then on only the plain object is asked for.
    int32_t noExDevice;
    int32_t mixedVertexProcessing;  // the device was asked for mixed vertex processing
    DWORD vertexShaderVersion;      // of the adapter, read at device creation
    DWORD pixelShaderVersion;
    int32_t multisampleType;  // 0 = none
    int32_t multisampleQuality;
    int32_t exclusiveFullScreen;  // the device owns the display (not a window)
};
extern Direct3DState gDirect3D;

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
// The object's Release result; 0 for null. Draws queued with the object go first, and once it
// has gone the render-state cache no longer names it.
ULONG ReleaseComObject(IUnknown* object);
// Steps *type down until the adapter offers it for the format and for D16 depth; with exact,
// -1 instead of stepping. *quality is capped to what both offer.
int ProbeMultisampleType(D3DFORMAT format, int32_t* type, int32_t* quality, int exact);

// -1 only when "d3d9.dll" or DirectDraw are missing, or the software full screen cannot be set;
// a device that cannot be made leaves software mode.
int SetupDirect3D();
int TerminateDirect3D();
