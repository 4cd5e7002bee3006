// Stands in for the draw screens until they exist: the selection is remembered (the front
// screen starts the timer that shows it), and showing the back buffer presents the screen.
#include "graphics/draw_screen.h"

#include "graphics/present_screen.h"

namespace {

struct DrawScreenState {
    int screen;
};

DrawScreenState gDrawScreen = {kBackScreen};

}  // namespace

int SelectDrawScreen(int screen) {
    gDrawScreen.screen = screen;
    StartFrontScreenTimer(screen == kFrontScreen);
    return 0;
}

int GetDrawScreen() {
    return gDrawScreen.screen;
}

int ShowBackBufferOnWindow() {
    PresentScreen();
    return 0;
}

int IsFlipRunning() {
    return 0;
}
