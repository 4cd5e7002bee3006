// Keyboard, mouse and joypad input.
#pragma once

#include <cstdint>

int SetupInput();
int ShutdownInput();
// 1 when the key table was refreshed, else 0.
int UpdateKeyboardState(int32_t pumpFirst);
int TickJoypadRumble();
int ApplyJoypadVibration();
int ReacquireInputDevices();
