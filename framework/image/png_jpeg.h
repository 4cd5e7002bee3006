// PNG and JPEG decoding through libpng and libjpeg, reading from the framework's streams.
#pragma once

#include "core/streams.h"
#include "image/color_format.h"

// Decoders of the image reader's list: 0 decoded, -1 refused.
int LoadPNGImage(StreamReader* reader, GraphImage* image);
int LoadJPEGImage(StreamReader* reader, GraphImage* image);
