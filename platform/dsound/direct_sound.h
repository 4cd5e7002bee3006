// DirectSound's class object, for the COM layer's class table.
#pragma once

#include "platform/com.h"
#include "platform/dsound.h"

// A new, uninitialised device answering `iid`; DirectSound takes no outer object.
HRESULT CreateDirectSoundObject(LPUNKNOWN outer, REFIID iid, void** object);
// A device of the layer's own for DirectShow's audio renderer, initialised: it plays through the
// host output whichever device holds it, and opens the output itself only when none does (as
// devices share the sound card on Windows). Null when there is no output.
IDirectSound* CreateSharedDirectSound();
