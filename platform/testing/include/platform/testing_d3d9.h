// Hooks for tests only: what the software Direct3D device reports, forced device loss, and
// read-back of every surface and of the last presented frame. Making "d3d9.dll" missing goes
// through TestSetModuleMissing (testing.h); hiding the Ex interfaces through
// TestSetExportMissing("d3d9.dll", "Direct3DCreate9Ex", true), which is also the default while
// the environment has ORBEK_D3D9_NO_EX=1.
#pragma once

#include <utility>
#include <vector>

#include "platform/d3d9.h"

struct TestD3d9Profile {
    bool nativeSubtract;   // D3DPMISCCAPS_BLENDOP: blend operations other than ADD
    bool tempRegister;     // D3DPMISCCAPS_TSSARGTEMP
    bool shaders;          // vertex and pixel shaders 2.0; false: version 0
    DWORD textureCaps;     // added D3DPTEXTURECAPS_POW2, _NONPOW2CONDITIONAL, _SQUAREONLY
    DWORD maxTextureSize;  // MaxTextureWidth and MaxTextureHeight
    DWORD simultaneousRenderTargets;
    bool dxt;                           // DXT1..DXT5 textures
    DWORD refusedVertexProcessing;      // D3DCREATE_*_VERTEXPROCESSING flags CreateDevice refuses
    bool exDevices;                     // CreateDeviceEx makes devices (else D3DERR_NOTAVAILABLE)
    D3DDISPLAYMODE desktop;             // GetAdapterDisplayMode
    std::vector<D3DDISPLAYMODE> modes;  // what GetAdapterModeCount counts, per format
    // (format, usage) pairs that CheckDeviceFormat refuses and creation fails on: usage 0 for
    // textures and plain surfaces, D3DUSAGE_RENDERTARGET, D3DUSAGE_DEPTHSTENCIL.
    std::vector<std::pair<D3DFORMAT, DWORD>> refusedFormats;
};

// Shaders 2.0, native subtraction, the temporary register, no size restriction, 4096-texel
// textures, 4 render targets, DXT, Ex devices; a 1920x1080 32-bit desktop; 320x240 to
// 1920x1080 modes in R5G6B5 and X8R8G8B8.
TestD3d9Profile TestD3d9DefaultProfile();
// Read at each call: by the Direct3D object's queries, GetDeviceCaps, creation and drawing.
void TestD3d9SetProfile(const TestD3d9Profile& profile);

// The default profile, no loss, no pitch padding, no kept frame, presents not kept, pixels
// written, the pixel paths the environment asks for.
void TestD3d9Reset();

// true: every draw goes through the general pixel path, as with ORBEK_D3D9_GENERAL_SPANS=1;
// false: specialised spans wherever the state has one. Takes effect at the next draw.
void TestD3d9SetGeneralSpansOnly(bool on);

// Off: draws and clears are checked as always but write no pixels, so drawing costs next to
// nothing (for long runs that only play); a reset turns pixels back on.
void TestD3d9KeepPixels(bool on);

// Primitives drawn by specialised spans and by the general pixel path since the last reset.
struct TestD3d9PathCounts {
    long long specialised;
    long long general;
};
TestD3d9PathCounts TestD3d9CountPaths();

// Every live device becomes lost: TestCooperativeLevel answers D3DERR_DEVICELOST once, then
// D3DERR_DEVICENOTRESET, and Present fails. An Ex device hangs instead: both answer
// D3DERR_DEVICEHUNG.
void TestD3d9LoseDevices();

// Extra bytes (rounded up to whole 32-bit words) added to the pitch of every surface created
// from now on.
void TestD3d9SetPitchPadding(UINT bytes);

// Live Direct3D objects of every kind (the Direct3D object, devices, resources, shaders).
int TestD3d9LiveObjects();

// A colour surface's pixels as A8R8G8B8 (DXT decoded), row by row; empty for depth surfaces
// and foreign objects.
std::vector<DWORD> TestD3d9ReadSurface(IDirect3DSurface9* surface, UINT* width, UINT* height);
DWORD TestD3d9ReadPixel(IDirect3DSurface9* surface, UINT x, UINT y);
// A depth surface's value at (x, y) in 0..1; -1 for anything else.
float TestD3d9ReadDepth(IDirect3DSurface9* surface, UINT x, UINT y);

struct TestD3d9Frame {
    HWND window;
    D3DFORMAT format;
    UINT width;
    UINT height;
    std::vector<DWORD> pixels;  // the whole back buffer as A8R8G8B8
    RECT source;
    RECT dest;
    bool wholeClientArea;
    int presentCount;  // presents kept since the last reset
};
// While on, each present keeps a copy of the back buffer for TestD3d9LastPresent.
void TestD3d9KeepPresents(bool on);
// The last presented back buffer; false when no present was kept.
bool TestD3d9LastPresent(TestD3d9Frame* frame);

// The state a device holds now, as its setters left it (Direct3D 9 offers no getters for these).
DWORD TestD3d9ReadRenderState(IDirect3DDevice9* device, D3DRENDERSTATETYPE state);
DWORD TestD3d9ReadStageState(IDirect3DDevice9* device, DWORD stage, D3DTEXTURESTAGESTATETYPE type);
DWORD TestD3d9ReadSamplerState(IDirect3DDevice9* device, DWORD sampler, D3DSAMPLERSTATETYPE type);
IDirect3DBaseTexture9* TestD3d9ReadTexture(IDirect3DDevice9* device, DWORD stage);
D3DMATRIX TestD3d9ReadTransform(IDirect3DDevice9* device, D3DTRANSFORMSTATETYPE state);
// The frame latency an Ex device was given (3 until SetMaximumFrameLatency).
UINT TestD3d9ReadMaximumFrameLatency(IDirect3DDevice9* device);
// True while the device is between BeginScene and EndScene.
bool TestD3d9InScene(IDirect3DDevice9* device);

// The state setters, in the order they were called, while recording is on.
enum class TestD3d9CallKind {
    RenderState,   // index: the state
    StageState,    // index: the stage, type: the state
    SamplerState,  // index: the sampler, type: the state
    Texture,       // index: the stage, value: 1 for a texture, 0 for none
    Viewport,
    Transform,     // type: the transform
    RenderTarget,  // index: the slot
    Material,
    Fvf,
};
struct TestD3d9Call {
    TestD3d9CallKind kind;
    DWORD index;
    DWORD type;
    DWORD value;
};
// Starts (with an empty list) or stops recording.
void TestD3d9RecordCalls(bool on);
std::vector<TestD3d9Call> TestD3d9RecordedCalls();
