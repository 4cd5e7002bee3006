// Stands in for the font manager until it exists: no font can be made.
#include "media/font.h"

Handle MakeFontHandleWithFlags(FontCreateFlags flags, const char* face, int size, int thickness,
                               int type, int charsetIndex, int edgeSize, int italic, Handle reuse,
                               int async) {
    return -1;
}

int DeleteFontHandle(Handle font) {
    return -1;
}

int BindFontLostFlag(Handle font, int* lostFlag) {
    return -1;
}
