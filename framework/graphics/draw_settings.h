// Draw settings: target, area, blend mode, bright colour and screen colours.
#pragma once

#include <cstdint>

// A colour in the current screen's pixel format.
using ScreenColor = uint32_t;

ScreenColor PackScreenColor(int red, int green, int blue);
