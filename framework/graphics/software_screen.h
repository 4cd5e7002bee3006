// The software screen's memory images: the screen itself and two screen-size work images; and
// the images the software renderer draws into and blends through.
#pragma once

#include "softrender/mem_img.h"

struct SoftwareScreenState {
    MEMIMG screen;
    MEMIMG work;
    MEMIMG workAlpha;          // with an alpha plane
    MEMIMG* target;            // the draw target's image
    const MEMIMG* blendImage;  // the blend graph's image, or null
};
extern SoftwareScreenState gSoftwareScreen;

// Creates the three images at the screen size and clears the screen to the background colour;
// the process ends when the screen image cannot be made.
int SetupSoftwareScreenImages();
void ReleaseSoftwareScreenImages();
