// Drawing text with a font handle's glyphs.
#pragma once

#include "core/handle_registry.h"
#include "graphics/draw_settings.h"

int DrawStringWithFont(int x, int y, const char* text, ScreenColor color, Handle font,
                       ScreenColor edgeColor, int vertical);
