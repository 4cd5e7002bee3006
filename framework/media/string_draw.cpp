// Stands in for the string drawer until it exists: no font is ever valid.
#include "media/string_draw.h"

int DrawStringWithFont(int x, int y, const char* text, ScreenColor color, Handle font,
                       ScreenColor edgeColor, int vertical) {
    return -1;
}
