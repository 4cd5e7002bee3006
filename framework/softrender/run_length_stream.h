// The run-length stream of a memory image: per row, runs of transparent, opaque and
// translucent pixels and an end-of-row byte, so that a whole-image blit need not test pixels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "softrender/mem_img.h"

// Control bytes: bits 7-6 give the run kind, bits 5-0 the length less one.
constexpr uint8_t kRunTransparent = 0x00;
constexpr uint8_t kRunOpaque = 0x40;
constexpr uint8_t kRunTranslucent = 0x80;
constexpr uint8_t kRunEndOfRow = 0xC0;
constexpr int kRunMaxLength = 64;

// Rewrites the body's stream from all of its pixels and returns the bytes written, at most
// (width + 1) x height. The body must have run-length memory and colour type 0 or 1. A
// palette index or a pixel without alpha is transparent when it equals the transparent colour;
// a pixel with alpha is transparent at alpha 0, opaque at 255 and translucent between.
size_t WriteRunLengthStream(MemImgBody* body);
