// The run-length stream that the unscaled blit walks instead of testing every pixel: per row,
// transparent, opaque and translucent runs.
#pragma once

#include <cstdint>

// Control bytes: bits 7-6 give the run kind, bits 5-0 the length less one.
constexpr uint8_t kRunTransparent = 0x00;
constexpr uint8_t kRunOpaque = 0x40;
constexpr uint8_t kRunTranslucent = 0x80;
constexpr uint8_t kRunEndOfRow = 0xC0;
