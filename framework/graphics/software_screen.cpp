// The software screen's images: the screen image at the screen size in the screen's colour
// type, cleared to the background colour and made the draw target, and its two work images.
#include "graphics/software_screen.h"

#include <initializer_list>

#include "core/fatal_error.h"
#include "graphics/screen_state.h"

SoftwareScreenState gSoftwareScreen = {};

int SetupSoftwareScreenImages() {
    ReleaseSoftwareScreenImages();
    int type = QueryColorBitDepth() == 16 ? kMemImgRgb565 : kMemImgXrgb8888;
    int width = gScreen.screenWidth, height = gScreen.screenHeight;
    if (CreateMemImg(&gSoftwareScreen.screen, width, height, -1, 0, type, 0, 0, 0, nullptr) == -1) {
        ExitOnFatalError("プライマリサーフェス用の MEMIMG の作成に失敗しました\n");
    }
    CreateMemImg(&gSoftwareScreen.work, width, height, -1, 0, type, 0, 0, 0, nullptr);
    CreateMemImg(&gSoftwareScreen.workAlpha, width, height, -1, 0, type, 0, 1, 0, nullptr);
    const ColorFormat* format = gSoftwareScreen.screen.body->format;
    ClearMemImgRect(&gSoftwareScreen.screen, nullptr,
                    PackColorForFormat(format, gScreen.backgroundRed, gScreen.backgroundGreen,
                                       gScreen.backgroundBlue, 255));
    gSoftwareScreen.target = &gSoftwareScreen.screen;
    return 0;
}

void ReleaseSoftwareScreenImages() {
    for (MEMIMG* image :
         {&gSoftwareScreen.screen, &gSoftwareScreen.work, &gSoftwareScreen.workAlpha}) {
        if (IsMemImgValid(image)) ReleaseMemImg(image);
        *image = MEMIMG{};
    }
    gSoftwareScreen.target = nullptr;
    gSoftwareScreen.blendImage = nullptr;
}
