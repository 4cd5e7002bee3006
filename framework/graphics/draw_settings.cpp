// Stands in for the draw settings until they exist: without a screen format every colour is 0.
#include "graphics/draw_settings.h"

ScreenColor PackScreenColor(int red, int green, int blue) {
    return 0;
}
