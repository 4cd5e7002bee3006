// DirectSound's class object, for the COM layer's class table.
#pragma once

#include "platform/com.h"

// A new, uninitialised device answering `iid`; DirectSound takes no outer object.
HRESULT CreateDirectSoundObject(LPUNKNOWN outer, REFIID iid, void** object);
