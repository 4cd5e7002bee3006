// Presenting the finished screen: through the device's swap chain, or through GDI from the
// software screen image.
#pragma once

#include <platform/win32_user.h>

#include <cstdint>

struct PresentState {
    RECT lastSource;  // the rectangles of the last present that used them
    RECT lastDest;
};
extern PresentState gPresent;

// 0, or -1 when the device refused the present.
int PresentScreen();
