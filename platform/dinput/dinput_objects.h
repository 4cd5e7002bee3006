// What the DirectInput module's files share: the live-object count and the call record, the
// pads' identifiers, and the makers of devices and effects.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "../ole32/com_object.h"
#include "platform/dinput.h"

struct DirectInputState {
    std::atomic<bool> recordCalls{false};
    std::mutex mutex;  // guards the record
    std::vector<std::string> calls;
};
extern DirectInputState gDirectInput;
// DirectInput objects, devices and effects that live, for tests.
extern ComObjectCount gDirectInputObjects;

// Adds "<who> <what>" to the record; callers skip building the texts while recording is off.
void RecordDirectInputCall(const std::string& who, const std::string& what);

// CoCreateInstance's makers for CLSID_DirectInput and CLSID_DirectInput8: objects that must be
// initialised before use.
HRESULT CreateDirectInput7Object(LPUNKNOWN outer, REFIID iid, LPVOID* object);
HRESULT CreateDirectInput8Object(LPUNKNOWN outer, REFIID iid, LPVOID* object);

// Pads are known by the host's joystick index; their GUIDs carry it.
GUID PadInstanceGuid(int index);
GUID PadProductGuid(int index);
// The index in a pad's instance GUID, or -1.
int PadIndexOfGuid(REFGUID guid);

// A device of DirectInput `version` (7 or 8) for the system keyboard, the system mouse or a
// pad's instance GUID; DIERR_DEVICENOTREG for anything else.
HRESULT CreateInputDevice(int version, REFGUID guid, IDirectInputDevice8A** device);

// An effect of a pad, playing in `slot` of the host joystick once started.
HRESULT CreatePadEffect(int pad, int slot, REFGUID kind, LPCDIEFFECT parameters,
                        IDirectInputEffect** effect);
