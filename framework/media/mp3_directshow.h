// MP3 decoding through DirectShow: the converter's last decoder.
#pragma once

#include "media/sound_conversion.h"

// 0 when the source was decoded into PCM held by the converter (kind 3).
int DecodeMp3WithDirectShow(SoundConverter* converter);
