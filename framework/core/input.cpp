// Stands in for the input module until it exists: no devices, nothing to read.
#include "core/input.h"

int SetupInput() {
    return 0;
}

int ShutdownInput() {
    return 0;
}

int UpdateKeyboardState(int32_t pumpFirst) {
    return 0;
}

int TickJoypadRumble() {
    return 0;
}

int ApplyJoypadVibration() {
    return 0;
}

int ReacquireInputDevices() {
    return 0;
}
