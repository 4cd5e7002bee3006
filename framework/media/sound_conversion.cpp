// Stands in for sound conversion until it exists: the audio compression manager is not loaded.
#include "media/sound_conversion.h"

int OpenAcmLibrary() {
    return 0;
}

int CloseAcmLibrary() {
    return 0;
}
