// How the software Direct3D device hands a presented back buffer to the window that shows it.
// The window layer installs the handler; without one, presents are only kept for tests.
#pragma once

#include "platform/d3d9.h"

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

using D3d9PresentHandler = void (*)(const D3d9PresentedFrame& frame);
void SetD3d9PresentHandler(D3d9PresentHandler handler);
