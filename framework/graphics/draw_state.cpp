#include "graphics/draw_state.h"

DrawSettings gDrawSettings = {};

int IsScreenId(int screen) {
    return screen == kBackScreen || screen == kFrontScreen || screen == kBackScreenAlias3 ||
                   screen == kBackScreenAlias5
               ? 1
               : 0;
}

int GetDrawScreen() {
    return gDrawSettings.drawTargets[0];
}
