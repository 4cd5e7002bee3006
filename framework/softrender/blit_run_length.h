// The run-length path of the unscaled blit: a whole image drawn by walking its body's stream
// of transparent, opaque and translucent runs instead of testing every pixel.
#pragma once

#include <cstdint>

#include "softrender/blit_frame.h"

// Control bytes: bits 7-6 give the run kind, bits 5-0 the length less one.
constexpr uint8_t kRunTransparent = 0x00;
constexpr uint8_t kRunOpaque = 0x40;
constexpr uint8_t kRunTranslucent = 0x80;
constexpr uint8_t kRunEndOfRow = 0xC0;

// Draws j (the whole source) by the stream in [stream, streamEnd). Runs that would pass the end
// of their row are cut there, and the walk stops at streamEnd.
void RunRunLengthJob(const BlitJob& j, const uint8_t* stream, const uint8_t* streamEnd);
