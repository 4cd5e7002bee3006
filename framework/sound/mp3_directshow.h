// MP3 decoding through DirectShow: the converter's last decoder.
#pragma once

#include <platform/dshow.h>

#include "sound/sound_conversion.h"

// 0 when the source was decoded into PCM held by the converter (kind 3).
int DecodeMp3WithDirectShow(SoundConverter* converter);
// Appends a sample's data to the converter's PCM; called on the graph's streaming thread.
int Mp3GrabberCallback(IMediaSample* sample, void* context);
// The filter's first pin of the direction (PINDIR_INPUT or PINDIR_OUTPUT), with a reference
// that the caller releases; null when there is none.
IPin* FindFilterPin(IBaseFilter* filter, int32_t direction);
