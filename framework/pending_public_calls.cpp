// Public calls whose modules are still being written, answering as an empty framework would
// (-1 for a load or a handle, 0 for drawing); each goes when its module defines it.
#include "orbek/orbek.h"

int PutGraph(int32_t x, int32_t y, Handle graph, int32_t trans) {
    return 0;
}
int PutGraphRotated(float x, float y, double scale, double angle, Handle graph, int32_t trans,
                    int32_t turn) {
    return 0;
}
int PutBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2, ScreenColor color, int32_t fill) {
    return 0;
}
