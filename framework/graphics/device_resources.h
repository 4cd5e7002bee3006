// What the graphics core keeps of each new device: its capabilities, the device-wide surfaces
// (back buffer, sub back buffer, Z buffer, the brightness volume texture), and the choice
// between locking the back buffer and copying it for reading.
#pragma once

#include <platform/d3d9.h>

#include <cstdint>

#include "graphics/graph_records.h"
#include "image/color_format.h"

struct DeviceResourceState {
    // Capabilities read after creation.
    int32_t simultaneousRenderTargets;  // at most 16
    int32_t tempRegister;               // D3DPMISCCAPS_TSSARGTEMP
    int32_t nativeBlendOp;              // D3DPMISCCAPS_BLENDOP; else subtraction is emulated
    int32_t nonPow2Conditional;
    int32_t pow2Only;
    int32_t squareOnly;
    int32_t maxTextureWidth, maxTextureHeight;  // 0 read as 256
    int32_t maxTextureSize;                     // the smaller of the two
    int32_t maxPrimitiveCount;
    int32_t maxVertexIndex;
    DWORD vertexShaderVersion;
    DWORD pixelShaderVersion;
    int32_t vertexShaderModel2;  // version >= 2.0
    int32_t pixelShaderModel2;

    IDirect3DSurface9* backBuffer;
    IDirect3DSurface9* subBackBuffer;
    IDirect3DSurface9* zBuffer;
    int32_t zBufferWidth, zBufferHeight;  // set by the program; 0 = powers of two over the screen
    IDirect3DVolumeTexture9* brightnessTexture;

    int32_t useBackBufferLock;  // 1: locking the back buffer was measured faster than copying
};
extern DeviceResourceState gDeviceResources;

// Creates the device and settles everything kept per device; 0, or -1 when no usable device
// could be made.
int SetupDeviceResources();
// Releases the device-wide surfaces (before the device goes).
void ReleaseDeviceSurfaces();
int CreateZBuffer();
int CreateSubBackBuffer();
int CreateBrightnessVolumeTexture();
// The colour with the same hue at full brightness (the largest channel at 255); grey and black
// give white. Inputs are clamped to 0..255.
void MaxBrightnessColor(int red, int green, int blue, int* outRed, int* outGreen, int* outBlue);
// The Direct3D objects behind a texture set's pieces that are missing: textures, their level-0
// surfaces, and a draw target's multisample and depth surfaces. 0 without pieces; -1 without a
// device or when an object cannot be made (what was made stays in the pieces).
int CreateGraphTextureObjects(GraphTextureInfo* info, int fromAsyncWorker);
// ProbeMultisampleType on the main thread.
int ProbeMultisampleTypeMarshalled(D3DFORMAT format, int32_t* type, int32_t* quality, int exact,
                                   int fromWorker);
// Copies a multisampled draw target's picture into its texture; 0.
int ResolveMultisampleSurface(const TexturePiece* piece);
// The device surface that the screen ids draw into.
IDirect3DSurface9* ScreenSurface();
