// Fuzz target: DDS files through the image reader, seeded with files of every variant.
#include "image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzImageReader(data, size);
}
