// Public calls whose modules are still being written, answering as an empty framework would
// (-1 for a load or a handle, 0 for drawing); each goes when its module defines it.
#include "orbek/orbek.h"

Handle MakeFontHandle(const char* face, int size, int thickness, int type, int charsetIndex,
                      int edgeSize, int italic, Handle reuse) {
    return -1;
}
