// Module-wide state of the software Direct3D device and what its files share: the profile it
// reports, the live devices, the kept presented frame.
#pragma once

#include <atomic>
#include <vector>

#include "../ole32/com_object.h"
#include "platform/d3d9.h"
#include "platform/testing_d3d9.h"

class Device;

// Whether the environment asks for the general pixel path only.
bool GeneralSpansWanted();

// A back buffer the device presents.
struct D3d9PresentedFrame {
    HWND window;       // the present's window, else the device window
    D3DFORMAT format;  // of the back buffer: X8R8G8B8, R5G6B5 or X1R5G5B5
    const BYTE* bits;  // the whole back buffer, valid during the call
    INT pitch;
    UINT width;
    UINT height;
    RECT source;           // the part of the back buffer shown
    RECT dest;             // where it goes in the window's client area
    bool wholeClientArea;  // no destination rectangle: stretch over the whole client area
};

struct D3d9State {
    TestD3d9Profile profile = TestD3d9DefaultProfile();
    std::vector<Device*> devices;
    UINT pitchPadding = 0;
    // Every draw through the general pixel path (ORBEK_D3D9_GENERAL_SPANS=1, or a test).
    bool generalSpansOnly = GeneralSpansWanted();
    // Off while a test asks: draws and clears are checked but write no pixels.
    bool keepPixels = true;
    // Primitives drawn by the specialised spans and by the general path, for tests.
    TestD3d9PathCounts pathCounts{};
    // While a test asks: the last presented frame (its `bits` point into presentedBits) and the
    // presents kept since the reset.
    bool keepPresents = false;
    int presentCount = 0;
    D3d9PresentedFrame lastPresent{};
    std::vector<BYTE> presentedBits;
    // The setter calls, while a test records them.
    bool recordCalls = false;
    std::vector<TestD3d9Call> calls;
};

extern D3d9State gD3d9;
// The device's objects that live, for tests.
extern ComObjectCount gD3d9Objects;

// Adds a setter call to the list while a test records them.
void RecordTestCall(TestD3d9CallKind kind, DWORD index, DWORD type, DWORD value);
// Caps as the current profile reports them.
void FillDeviceCaps(D3DCAPS9* caps);
// Whether the device offers `format` for the usage (0, D3DUSAGE_RENDERTARGET or
// D3DUSAGE_DEPTHSTENCIL; D3DUSAGE_DYNAMIC is ignored) and resource type.
bool IsFormatOffered(D3DFORMAT format, DWORD usage, D3DRESOURCETYPE type);
// Draws the frame into its window; nothing for a present to no window of the layer.
void ShowPresentedFrame(const D3d9PresentedFrame& frame);
