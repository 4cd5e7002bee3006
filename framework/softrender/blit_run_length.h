// The run-length path of the unscaled blit: a whole image drawn by walking its body's stream
// of transparent, opaque and translucent runs instead of testing every pixel.
#pragma once

#include <cstdint>

#include "softrender/blit_frame.h"
#include "softrender/run_length_stream.h"

// Draws j (the whole source) by the stream in [stream, streamEnd). Runs that would pass the end
// of their row are cut there, and the walk stops at streamEnd.
void RunRunLengthJob(const BlitJob& j, const uint8_t* stream, const uint8_t* streamEnd);
