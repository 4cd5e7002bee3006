// The built-in shader pack: each block is expanded into memory of its own, block 2 twice (one
// copy is read as its size table and bodies, the other is opened as an archive, which
// unscrambles its image in place). Every size is checked against its block before a body is
// recorded, so a damaged pack fails to open instead of being read past its end.
#include "graphics/shader_pack.h"

#include <cstring>

#include "core/archive.h"
#include "core/lz_expand.h"
#include "core/tracked_memory.h"
#include "graphics/shader_pack_key.h"

namespace {

// Where a body lies in its expanded block.
struct PackedBody {
    const uint8_t* code;
    uint32_t size;
};

struct ShaderPackState {
    int32_t open;
    uint8_t* drawImage;      // block 1
    uint8_t* channelMix;     // block 2, read as table and bodies
    uint8_t* filterImage;    // block 2, the copy whose archive is opened
    uint8_t* variantBlock;   // block 3
    PackedBody* variants;    // the vertex slots, then the pixel slots
    Archive drawArchive;
    Archive filterArchive;
    PackedBody channelMixBodies[kChannelMixShaders];
};
ShaderPackState gShaderPack = {};

void FreeBlock(uint8_t** block) {
    if (*block != nullptr) FreeMemory(*block);
    *block = nullptr;
}

void ReleaseShaderPack() {
    ShaderPackState& p = gShaderPack;
    if (p.drawArchive.image != nullptr) CloseArchive(&p.drawArchive);
    if (p.filterArchive.image != nullptr) CloseArchive(&p.filterArchive);
    FreeBlock(&p.drawImage);
    FreeBlock(&p.channelMix);
    FreeBlock(&p.filterImage);
    FreeBlock(&p.variantBlock);
    if (p.variants != nullptr) FreeMemory(p.variants);
    p.variants = nullptr;
    std::memset(p.channelMixBodies, 0, sizeof p.channelMixBodies);
    p.open = 0;
}

// The block expanded into new memory and its size; null when it is damaged or memory is short.
uint8_t* ExpandBlock(const PackedShaderBlock& block, uint32_t* size) {
    int32_t expanded = ExpandArchiveData(block.data, block.bytes, nullptr, 0);
    if (expanded <= 0) return nullptr;
    auto* out = static_cast<uint8_t*>(
        AllocMemory(static_cast<uint32_t>(expanded), __FILE__, __LINE__));
    if (out == nullptr) return nullptr;
    if (ExpandArchiveData(block.data, block.bytes, out, static_cast<uint32_t>(expanded)) !=
        expanded) {
        FreeMemory(out);
        return nullptr;
    }
    *size = static_cast<uint32_t>(expanded);
    return out;
}

// Records count bodies whose 16-bit sizes begin the block and whose bodies follow the table
// (tableBytes from the start). Each body must be whole 32-bit words within the block, so that
// it can be handed to the device as it lies. Returns the offset after the last body, or 0.
uint32_t ReadSizeTable(const uint8_t* block, uint32_t blockSize, int count, uint32_t tableBytes,
                       PackedBody* bodies) {
    if (blockSize < tableBytes) return 0;
    uint32_t offset = tableBytes;
    for (int i = 0; i < count; i++) {
        uint16_t size;
        std::memcpy(&size, block + 2 * i, sizeof size);
        if (size % 4 != 0 || size > blockSize - offset) return 0;
        bodies[i] = {size != 0 ? block + offset : nullptr, size};
        offset += size;
    }
    return offset;
}

int ReturnBody(const PackedBody& body, const void** code, uint32_t* size) {
    if (body.code == nullptr) return -1;
    *code = body.code;
    *size = body.size;
    return 0;
}

int FindInArchive(Archive* archive, const char* fileName, const void** code, uint32_t* size) {
    const ArchiveFileEntry* entry = FindArchiveFileEntry(fileName, archive);
    // Shaders are handed to the device where they lie: a packed entry is no shader.
    if (entry == nullptr || IsArchiveEntryCompressed(archive, entry)) return -1;
    uint32_t position, bytes;
    if (LocateArchiveEntry(archive, fileName, &position, &bytes) != 0) return -1;
    *code = GetArchiveImage(archive) + position;
    *size = bytes;
    return 0;
}

}  // namespace

int OpenBuiltinShaderPack() {
    return OpenShaderPackBlocks(kBuiltinShaderPack);
}

int OpenShaderPackBlocks(const PackedShaderBlock blocks[kShaderPackBlockCount]) {
    ShaderPackState& p = gShaderPack;
    if (p.open) return 1;
    char key[kShaderPackKeyLength + 1];
    BuildShaderPackKey(key);
    uint32_t drawSize = 0, mixSize = 0, filterSize = 0, variantSize = 0;
    p.drawImage = ExpandBlock(blocks[0], &drawSize);
    bool ok = p.drawImage != nullptr &&
              OpenArchiveFromImage(&p.drawArchive, p.drawImage, drawSize, key) == 0;

    p.channelMix = ok ? ExpandBlock(blocks[1], &mixSize) : nullptr;
    p.filterImage = p.channelMix != nullptr ? ExpandBlock(blocks[1], &filterSize) : nullptr;
    uint32_t archiveStart = p.filterImage != nullptr
                                ? ReadSizeTable(p.channelMix, mixSize, kChannelMixShaders,
                                                kChannelMixTableBytes, p.channelMixBodies)
                                : 0;
    ok = archiveStart != 0 &&
         OpenArchiveFromImage(&p.filterArchive, p.filterImage + archiveStart,
                              filterSize - archiveStart, key) == 0;

    p.variantBlock = ok ? ExpandBlock(blocks[2], &variantSize) : nullptr;
    constexpr uint32_t kSlots = kVertexVariantSlots + kPixelVariantSlots;
    p.variants = p.variantBlock != nullptr
                     ? static_cast<PackedBody*>(
                           AllocClearedMemory(kSlots * sizeof(PackedBody), __FILE__, __LINE__))
                     : nullptr;
    ok = p.variants != nullptr &&
         ReadSizeTable(p.variantBlock, variantSize, kSlots, kVariantTableBytes, p.variants) != 0;
    std::memset(key, 0, sizeof key);
    if (!ok) {
        ReleaseShaderPack();
        return 0;
    }
    p.open = 1;
    return 1;
}

int CloseBuiltinShaderPack() {
    ReleaseShaderPack();
    return 1;
}

int IsBuiltinShaderPackOpen() {
    return gShaderPack.open;
}

int FindPackedShader(const char* fileName, const void** code, uint32_t* size) {
    ShaderPackState& p = gShaderPack;
    if (!p.open || fileName == nullptr) return -1;
    if (FindInArchive(&p.drawArchive, fileName, code, size) == 0) return 0;
    return FindInArchive(&p.filterArchive, fileName, code, size);
}

int GetPackedChannelMixShader(int index, const void** code, uint32_t* size) {
    if (!gShaderPack.open || index < 0 || index >= kChannelMixShaders) return -1;
    return ReturnBody(gShaderPack.channelMixBodies[index], code, size);
}

int GetPackedVariantShader(int isVertex, int slot, const void** code, uint32_t* size) {
    int count = isVertex ? kVertexVariantSlots : kPixelVariantSlots;
    if (!gShaderPack.open || slot < 0 || slot >= count) return -1;
    return ReturnBody(gShaderPack.variants[isVertex ? slot : kVertexVariantSlots + slot], code,
                      size);
}
