// Stands in for music until it exists: nothing plays.
#include "media/music.h"

int StopCurrentMusic() {
    return 0;
}

int UpdateMusicPlayFlags() {
    return 0;
}

int HandleMciNotify(WPARAM wParam, LPARAM lParam) {
    return 0;
}
