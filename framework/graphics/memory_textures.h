// The pool of system-memory textures through which images reach the device: entries are kept
// by shape (size, mip levels, format index) and reused, so uploads do not create and free a
// texture each time.
#pragma once

#include <platform/d3d9.h>

#include <cstdint>

constexpr int kMemoryTextureCount = 2048;
// At most this many entries of one shape are in use at once.
constexpr int kMemoryTexturesPerShape = 16;

struct MemoryTextureEntry {
    uint8_t used;
    uint8_t inUse;
    uint16_t width;
    uint16_t height;
    uint8_t mipLevels;
    uint8_t formatIndex;
    uint32_t useCount;
    IDirect3DTexture9* texture;  // D3DUSAGE_DYNAMIC in system memory
};

// AcquireMemoryTexture's answer on the main thread while sixteen entries of the shape, or every
// entry, are in use: one comes free when its user gives it back.
constexpr int kMemoryTextureBusy = -2;

// The entry index; kMemoryTextureBusy; or -1 when the texture cannot be made. From a loading
// worker (fromWorker) the pool is used on the main thread, and the worker waits there while the
// pool is busy: it never answers kMemoryTextureBusy.
int AcquireMemoryTexture(int width, int height, int mipLevels, int formatIndex, int fromWorker);
// The entry's texture; null for an index that is not a used entry.
IDirect3DTexture9* GetMemoryTexture(int index);
// Gives the entry back to the pool; -1 for an index that is not a used entry.
int ReleaseMemoryTexture(int index, int fromWorker);
// Releases every pooled texture and empties the pool.
int ReleaseAllMemoryTextures();
// Before the device goes: the textures are released, the shapes kept.
void ReleasePooledTextureObjects();
// On a new device: each kept shape gets its texture again; an entry that fails is dropped.
void RecreatePooledTextureObjects();
