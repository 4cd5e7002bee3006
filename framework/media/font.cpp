// Stands in for the font manager until it exists: no font can be made, so there is nothing to
// set up, end or rebuild.
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

int SetupFontManager() {
    return 0;
}

int ShutdownFontManager() {
    return 0;
}

int RebuildAllFontHandles() {
    return 0;
}
