// The memory-texture pool: reuse by shape with a per-shape limit, eviction of the idle entry
// used least often when the pool is full, and re-creation of the kept shapes on a new device.
#include "graphics/memory_textures.h"

#include "core/async_load.h"
#include "core/log.h"
#include "graphics/d3d_device.h"
#include "graphics/d3d_marshal.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/pixel_format_table.h"

namespace {

struct MemoryTexturePool {
    MemoryTextureEntry entries[kMemoryTextureCount];
};

MemoryTexturePool gMemoryTextures = {};

bool SameShape(const MemoryTextureEntry& e, int width, int height, int mipLevels, int formatIndex) {
    return e.width == width && e.height == height && e.mipLevels == mipLevels &&
           e.formatIndex == formatIndex;
}

bool CreateEntryTexture(MemoryTextureEntry* entry) {
    D3DFORMAT format = gPixelFormats.formats[entry->formatIndex];
    if (format == D3DFMT_UNKNOWN ||
        FAILED(DeviceCreateTexture(entry->width, entry->height, entry->mipLevels, D3DUSAGE_DYNAMIC,
                                   format, D3DPOOL_SYSTEMMEM, &entry->texture, nullptr))) {
        entry->texture = nullptr;
        AppendLogText("メモリテクスチャの作成に失敗しました\n");
        return false;
    }
    return true;
}

// A free entry; when every entry is used, the idle one used least often (the later one on
// ties) is emptied. kMemoryTextureBusy when every entry is in use.
int FindFreeEntry() {
    int evict = -1;
    for (int i = 0; i < kMemoryTextureCount; ++i) {
        const MemoryTextureEntry& e = gMemoryTextures.entries[i];
        if (!e.used) return i;
        if (!e.inUse && (evict < 0 || e.useCount <= gMemoryTextures.entries[evict].useCount)) {
            evict = i;
        }
    }
    if (evict >= 0) {
        ReleaseComObject(gMemoryTextures.entries[evict].texture);
        gMemoryTextures.entries[evict] = MemoryTextureEntry{};
        return evict;
    }
    return kMemoryTextureBusy;
}

bool IsUsedEntry(int index) {
    return index >= 0 && index < kMemoryTextureCount && gMemoryTextures.entries[index].used;
}

int AcquireOnMainThread(int width, int height, int mipLevels, int formatIndex) {
    if (width <= 0 || width > 0xFFFF || height <= 0 || height > 0xFFFF || mipLevels < 0 ||
        mipLevels > 0xFF || formatIndex < 0 || formatIndex >= kPixelFormatCount) {
        return -1;
    }
    int busy = 0;
    for (int i = 0; i < kMemoryTextureCount; ++i) {
        MemoryTextureEntry& e = gMemoryTextures.entries[i];
        if (!e.used || !SameShape(e, width, height, mipLevels, formatIndex)) continue;
        if (!e.inUse && e.texture != nullptr) {
            e.inUse = 1;
            ++e.useCount;
            return i;
        }
        if (++busy == kMemoryTexturesPerShape) return kMemoryTextureBusy;
    }
    int index = FindFreeEntry();
    if (index < 0) return index;
    MemoryTextureEntry& e = gMemoryTextures.entries[index];
    e = {1,
         1,
         static_cast<uint16_t>(width),
         static_cast<uint16_t>(height),
         static_cast<uint8_t>(mipLevels),
         static_cast<uint8_t>(formatIndex),
         1,
         nullptr};
    if (!CreateEntryTexture(&e)) {
        e = MemoryTextureEntry{};
        return -1;
    }
    return index;
}

// A worker's acquisition, on the main thread. While every entry of the shape is in use it is
// called again at each pump pass and its worker waits, taking no turn from the workers that hold
// the entries: a worker that tried again on its own would spend their turns, and a count of
// tries runs out while a busy machine holds them up.
int32_t AcquireForWorker(MainThreadRequest* request) {
    const uintptr_t* a = request->arguments;
    int index = AcquireOnMainThread(static_cast<int>(a[0]), static_cast<int>(a[1]),
                                    static_cast<int>(a[2]), static_cast<int>(a[3]));
    request->callAgain = index == kMemoryTextureBusy ? 1 : 0;
    return index;
}

int ReleaseOnMainThread(int index) {
    if (!IsUsedEntry(index)) return -1;
    gMemoryTextures.entries[index].inUse = 0;
    return 0;
}

}  // namespace

int AcquireMemoryTexture(int width, int height, int mipLevels, int formatIndex, int fromWorker) {
    if (!fromWorker) return AcquireOnMainThread(width, height, mipLevels, formatIndex);
    MainThreadRequest request{};
    request.function = AcquireForWorker;
    const int values[4] = {width, height, mipLevels, formatIndex};
    for (int i = 0; i < 4; ++i) request.arguments[i] = static_cast<uintptr_t>(values[i]);
    return CallOnMainThread(&request);
}

IDirect3DTexture9* GetMemoryTexture(int index) {
    return IsUsedEntry(index) ? gMemoryTextures.entries[index].texture : nullptr;
}

int ReleaseMemoryTexture(int index, int fromWorker) {
    return MarshalToMainThread<ReleaseOnMainThread>(fromWorker, index);
}

int ReleaseAllMemoryTextures() {
    for (MemoryTextureEntry& e : gMemoryTextures.entries) {
        ReleaseComObject(e.texture);
        e = MemoryTextureEntry{};
    }
    return 0;
}

void ReleasePooledTextureObjects() {
    for (MemoryTextureEntry& e : gMemoryTextures.entries) {
        ReleaseComObject(e.texture);
        e.texture = nullptr;
    }
}

void RecreatePooledTextureObjects() {
    for (MemoryTextureEntry& e : gMemoryTextures.entries) {
        if (e.used && e.texture == nullptr && !CreateEntryTexture(&e)) e = MemoryTextureEntry{};
    }
}
