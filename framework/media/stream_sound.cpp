// Stands in for stream sounds until they exist: nothing streams.
#include "media/stream_sound.h"

int RefillStreamSounds() {
    return 0;
}
