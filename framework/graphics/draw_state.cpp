#include "graphics/draw_state.h"

DrawSettings gDrawSettings = {};
