// The built-in shader pack held in the program: three LZ-packed blocks (the 2D pixel shaders as
// a scrambled in-memory archive; the source-only channel-mix shaders as a size table and
// bodies followed by the filter shaders' archive; the 3D shader variants as a size table and
// bodies). Every body is a kernel record of the software device naming a C++ kernel.
#pragma once

#include <cstdint>

// 1 opened (or already open), 0 failed with nothing kept.
int OpenBuiltinShaderPack();
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

constexpr int kVertexVariantSlots = 98304;
constexpr int kPixelVariantSlots = 124416;
constexpr int kChannelMixShaders = 256;
