// Stands in for the masks until they exist: no mask screen is ever made, so mask drawing is
// never on, no draw area is opened around a drawing call and none is left open.
#include "graphics/masks.h"

int RegisterMaskHandleType() {
    return 0;
}

int ShutdownMasks() {
    return 0;
}

int IsMaskDrawingOn() {
    return 0;
}

int SwitchMaskScreenUse(int use) {
    return -1;
}

int BeginMaskDrawArea(RECT rect) {
    return 0;
}

int EndMaskDrawArea(RECT rect) {
    return 0;
}

int EndPendingMaskDrawArea() {
    return 0;
}

int ReleaseMaskScreen() {
    return 0;
}

int RestoreMaskScreen() {
    return 0;
}
