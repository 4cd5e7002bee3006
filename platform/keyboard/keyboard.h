// The keyboard as the layer knows it: one table of keys, each with its Windows virtual key and
// its scan code, which is also its DirectInput key code, and the keys and mouse buttons that
// the host reports held. Its own lock guards the state.
#pragma once

#include "platform/win32_types.h"

// A key message's lParam carries the scan code: its low seven bits in bits 16 to 23 and bit 7
// as the extended flag, bit 24.
constexpr BYTE kScanCodeExtended = 0x80;

// The key's virtual key; 0 for a scan code that no key has.
BYTE VirtualKeyOfScanCode(BYTE scanCode);
// The scan code of the key that gives the virtual key (Return for VK_RETURN, not the numeric
// pad's Enter); 0 for a virtual key that no key gives.
BYTE ScanCodeOfVirtualKey(BYTE virtualKey);

// Presses or releases a key (and for a sided Shift, Ctrl or Alt the generic one) in a table by
// virtual key; returns the generic key.
BYTE UpdateKeyTable(BYTE* table, BYTE key, bool down);

// A key or a mouse button (scan code 0) that the host reported pressed or released; returns
// the generic virtual key.
BYTE RecordHostKey(BYTE virtualKey, BYTE scanCode, bool down);
// Whether the host reports the key or mouse button held.
bool IsHostKeyHeld(BYTE virtualKey);
// DirectInput's keyboard state: 0x80 at the scan code of each held key, else 0.
void ReadHeldScanCodes(BYTE keys[256]);
void ResetHostKeys();
