// Stands in for the draw screens until they exist: the selection is remembered, nothing is
// drawn or shown.
#include "graphics/draw_screen.h"

namespace {

struct DrawScreenState {
    int screen;
};

DrawScreenState gDrawScreen = {kBackScreen};

}  // namespace

int SelectDrawScreen(int screen) {
    gDrawScreen.screen = screen;
    return 0;
}

int GetDrawScreen() {
    return gDrawScreen.screen;
}

int ShowBackBufferOnWindow() {
    return 0;
}

int IsFlipRunning() {
    return 0;
}
