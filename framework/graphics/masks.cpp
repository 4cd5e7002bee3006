// Stands in for the masks until they exist: no mask screen is ever made, so mask drawing is
// never on and no draw area is left open.
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

int EndPendingMaskDrawArea() {
    return 0;
}

int ReleaseMaskScreen() {
    return 0;
}

int RestoreMaskScreen() {
    return 0;
}
