// Fuzz target: the LZ encoder's stream of any data expands, through the framework's expander, to
// the data byte for byte. The first byte picks the escape byte (from 0x80 up) or leaves it to the
// encoder; one scratch serves every input, as it serves an archive's files of every size.
#include <lz_encode.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/lz_expand.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > (1 << 24)) return 0;
    static LzScratch scratch;
    const int escape = data[0] >= 0x80 ? data[0] : -1;
    const uint8_t* input = data + 1;
    const size_t inputSize = size - 1;
    std::vector<uint8_t> packed;
    const uint64_t length = EncodeLzTo(input, inputSize, escape, scratch, MemorySink(&packed));
    if (length != packed.size()) __builtin_trap();
    std::vector<uint8_t> out(inputSize + 1);
    const int32_t expanded = ExpandArchiveData(packed.data(), static_cast<uint32_t>(packed.size()),
                                               out.data(), static_cast<uint32_t>(inputSize));
    if (expanded != static_cast<int32_t>(inputSize)) __builtin_trap();
    for (size_t i = 0; i < inputSize; i++) {
        if (out[i] != input[i]) __builtin_trap();
    }
    return 0;
}
