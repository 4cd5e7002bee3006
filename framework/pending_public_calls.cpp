// Public calls whose modules are still being written, answering as an empty framework would
// (-1 for a load or a handle, 0 for drawing); each goes when its module defines it.
#include "orbek/orbek.h"

int EraseDrawScreen(const RECT* rect) {
    return 0;
}
int FlipScreen() {
    return 0;
}
int SetDrawRegion(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    return 0;
}
int ChangeBlendMode(int32_t mode, int32_t param) {
    return 0;
}
int SetDrawSamplingMode(int32_t mode) {
    return 0;
}

Handle LoadImageFileAsGraph(const char* fileName, int32_t flag) {
    return -1;
}
int LoadImageFileAsDivGraphs(const char* fileName, int32_t allNum, int32_t xNum, int32_t yNum,
                             int32_t width, int32_t height, Handle* out, int32_t flag) {
    return -1;
}
int DisposeGraph(Handle graph) {
    return -1;
}

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

Handle MakeFontHandle(const char* face, int size, int thickness, int type, int charsetIndex,
                      int edgeSize, int italic, Handle reuse) {
    return -1;
}
