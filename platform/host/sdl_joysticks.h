// The SDL2 host's joysticks and their force feedback, for its driver table and test hooks.
#pragma once

#include "host.h"

// Starts SDL's game-controller and haptic side once; false when SDL cannot.
bool StartSdlJoysticks();
int SdlCountJoysticks();
bool SdlDescribeJoystick(int index, HostJoystickInfo* info);
bool SdlReadJoystick(int index, HostJoystickState* state);
bool SdlPlayJoystickEffect(int index, int slot, const HostJoystickEffect* effect);
