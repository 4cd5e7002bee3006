// DirectDraw's class object, for the COM layer's class table, and the wait for the display's
// next vertical blank that DirectDraw's wait and the Direct3D device's presents share.
#pragma once

#include "platform/com.h"

// A new, uninitialised DirectDraw 7 object answering `iid`; no outer object is taken.
HRESULT CreateDirectDraw7Object(LPUNKNOWN outer, REFIID iid, void** object);

// Returns at the display's next vertical blank (at once on the virtual clock, which it moves).
void WaitForNextVerticalBlank();
