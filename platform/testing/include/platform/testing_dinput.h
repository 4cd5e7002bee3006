// Hooks for tests only: DirectInput's live objects and a record of the calls made to its
// devices and effects. Failures are injected through TestFailNthCall (testing.h) under the
// names "IDirectInput7A::Initialize", "IDirectInput8A::Initialize", "IDirectInput::CreateDevice",
// "IDirectInputDevice::<method>" (SetDataFormat, SetCooperativeLevel, SetProperty,
// SetEventNotification, Acquire, GetDeviceState, CreateEffect) and "IDirectInputEffect::Start".
#pragma once

#include <string>
#include <vector>

// Objects made and not yet released: DirectInput objects, devices and effects.
int TestCountDirectInputObjects();

// While on, device and effect calls are recorded as "<device> <method>[ <argument>]", the
// device being "keyboard", "mouse" or "pad <index>" and an effect "pad <index> effect <slot>";
// the argument is the flags of SetCooperativeLevel, the size of GetDeviceState and the
// property number of SetProperty.
void TestRecordDirectInputCalls(bool on);
std::vector<std::string> TestTakeDirectInputCalls();
