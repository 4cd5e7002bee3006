// The Direct3D object and device the graphics core draws with. A plain record at the bottom of
// the graphics floors: the thin wrappers read it, the device module fills and empties it.
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
