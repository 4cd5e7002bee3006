// The built-in shader pack held in the program: three LZ-packed blocks (the 2D pixel shaders as
// a scrambled in-memory archive; the source-only channel-mix shaders as a size table and
// bodies followed by the filter shaders' archive; the 3D shader variants as a size table and
// bodies). Every body is a kernel record of the software device naming a C++ kernel.
#pragma once

#include <cstdint>

constexpr int kShaderPackBlockCount = 3;
// Block 2: a table of 64 x 4 16-bit sizes, one per channel-mix selection index.
constexpr int kChannelMixShaders = 256;
constexpr uint32_t kChannelMixTableBytes = kChannelMixShaders * 2;
// Block 3: groups of six 16-bit sizes, the vertex-shader variants' groups first.
constexpr int kVariantSizesPerGroup = 6;
constexpr int kVertexVariantGroups = 16384;
constexpr int kPixelVariantGroups = 20736;
constexpr int kVertexVariantSlots = kVertexVariantGroups * kVariantSizesPerGroup;  // 98,304
constexpr int kPixelVariantSlots = kPixelVariantGroups * kVariantSizesPerGroup;    // 124,416
constexpr uint32_t kVariantTableBytes = (kVertexVariantSlots + kPixelVariantSlots) * 2;
// The two variants made at set-up, the only ones the pack holds.
constexpr int kBuiltinVertexVariant = 32774;
constexpr int kBuiltinPixelVariant = 2454;

// One LZ-packed block as the program holds it.
struct PackedShaderBlock {
    const uint8_t* data;
    uint32_t bytes;
};
// Written by the pack's generator at build time.
extern const PackedShaderBlock kBuiltinShaderPack[kShaderPackBlockCount];

// 1 opened (or already open), 0 failed with nothing kept.
int OpenBuiltinShaderPack();
// The same from the given blocks instead of the program's own.
int OpenShaderPackBlocks(const PackedShaderBlock blocks[kShaderPackBlockCount]);
// Closes both archives and frees the blocks; 1.
int CloseBuiltinShaderPack();
int IsBuiltinShaderPackOpen();

// A shader of either archive by file name ("Invert.pso"): its code in the pack and its size;
// -1 when the pack is not open or holds no such file.
int FindPackedShader(const char* fileName, const void** code, uint32_t* size);
// Selection index 0..255 of the source-only channel-mix shaders of block 2; -1 for an empty
// or missing body.
int GetPackedChannelMixShader(int index, const void** code, uint32_t* size);
// Slot of the 3D variant tables counted from the start of the vertex (or pixel) table; -1 for
// an empty or missing body.
int GetPackedVariantShader(int isVertex, int slot, const void** code, uint32_t* size);
