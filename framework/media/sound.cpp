// Stands in for sound until it exists: no device, nothing plays.
#include "media/sound.h"

int SetupDirectSound() {
    return 0;
}

int ShutdownDirectSound() {
    return 0;
}

int PauseAllSoundHandles(int32_t pause) {
    return 0;
}

int PauseAllSoftSoundPlayers(int32_t pause) {
    return 0;
}

int ProcessSoftSoundPlayers() {
    return 0;
}
