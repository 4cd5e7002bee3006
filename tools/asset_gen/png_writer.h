// Writes a picture as an 8-bit RGB PNG (colour type 2, not interlaced) through libpng.
#pragma once

#include <string>

#include "image.h"

// False, with a message on stderr, when the file cannot be written.
bool WritePng(const std::string& path, const RgbImage& image);
