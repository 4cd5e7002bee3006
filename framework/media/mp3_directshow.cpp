// Stands in for MP3 decoding through DirectShow until it exists: it accepts no source.
#include "media/mp3_directshow.h"

int DecodeMp3WithDirectShow(SoundConverter* converter) {
    return -1;
}
