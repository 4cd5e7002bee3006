// Fuzz target: the shader pack opened from three arbitrary blocks (the input's first two
// little-endian words are the lengths of blocks 1 and 2, the rest is block 3). Every table size
// and archive reference must be checked before it is followed; whatever opens is searched.
#include "graphics/shader_pack.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "core/lz_expand.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8 || size > UINT32_MAX) return 0;
    uint32_t lengths[2];
    std::memcpy(lengths, data, sizeof lengths);
    const uint32_t rest = static_cast<uint32_t>(size) - 8;
    if (lengths[0] > rest || lengths[1] > rest - lengths[0]) return 0;
    const uint8_t* start = data + 8;
    PackedShaderBlock blocks[kShaderPackBlockCount] = {
        {start, lengths[0]},
        {start + lengths[0], lengths[1]},
        {start + lengths[0] + lengths[1], rest - lengths[0] - lengths[1]},
    };
    // Large claims are refused by the allocation, not by the pack.
    for (const PackedShaderBlock& block : blocks) {
        if (ExpandArchiveData(block.data, block.bytes, nullptr, 0) > (1 << 22)) return 0;
    }
    if (OpenShaderPackBlocks(blocks) != 1) return 0;
    const void* code;
    uint32_t bytes;
    volatile uint8_t sink = 0;
    auto touch = [&] {
        const auto* p = static_cast<const uint8_t*>(code);
        for (uint32_t i = 0; i < bytes; i++) sink = sink ^ p[i];
    };
    for (const char* name : {"ps_nonetex_type0.pso", "ps_mask_blend.pso", "Invert.pso",
                             "RGBAMix_SRSRSRBA.pso", "dir\\..\\Mono.pso"}) {
        if (FindPackedShader(name, &code, &bytes) == 0) touch();
    }
    for (int index = 0; index < kChannelMixShaders; index++) {
        if (GetPackedChannelMixShader(index, &code, &bytes) == 0) touch();
    }
    if (GetPackedVariantShader(1, kBuiltinVertexVariant, &code, &bytes) == 0) touch();
    if (GetPackedVariantShader(0, kBuiltinPixelVariant, &code, &bytes) == 0) touch();
    CloseBuiltinShaderPack();
    return 0;
}
