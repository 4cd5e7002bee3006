// A growable byte ring over tracked memory. It never shrinks; growth unwraps the stored bytes
// to the start of the new storage.
#include "core/ring_buffer.h"

#include <climits>

#include "core/log.h"
#include "core/string_functions.h"
#include "core/tracked_memory.h"

int InitRingBuffer(RingBuffer* ring) {
    *ring = RingBuffer{};
    return 0;
}

int FreeRingBuffer(RingBuffer* ring) {
    if (ring->buffer != nullptr) FreeMemory(ring->buffer);
    *ring = RingBuffer{};
    return 0;
}

void NormalizeRingBuffer(RingBuffer* ring) {
    if (ring->start == ring->capacity) ring->start = 0;
    if (ring->end == ring->capacity) ring->end = 0;
}

// Copies size bytes from start, in two pieces when they wrap past the end of the storage.
static void CopyOut(const RingBuffer* ring, void* dst, int size) {
    const int untilEnd = ring->capacity - ring->start;
    const int first = size < untilEnd ? size : untilEnd;
    CopyBytes(dst, ring->buffer + ring->start, static_cast<size_t>(first));
    CopyBytes(static_cast<uint8_t*>(dst) + first, ring->buffer, static_cast<size_t>(size - first));
}

int ReadRingBuffer(RingBuffer* ring, void* dst, int size, int peekOnly) {
    NormalizeRingBuffer(ring);
    if (size < 0 || ring->stored < size) return -1;
    if (size == 0) return 0;
    CopyOut(ring, dst, size);
    if (!peekOnly) {
        ring->stored -= size;
        ring->start += size;
        if (ring->start >= ring->capacity) ring->start -= ring->capacity;
    }
    return 0;
}

int ReserveRingBuffer(RingBuffer* ring, int extra) {
    NormalizeRingBuffer(ring);
    if (extra < 0) return -1;
    if (int64_t{ring->capacity} >= int64_t{ring->stored} + extra) return 0;

    // In 64 bits, so that a capacity that would not fit an int fails like a failed allocation.
    const int64_t newCapacity = int64_t{ring->stored} * 3 / 2 + extra + 1000;
    uint8_t* storage = nullptr;
    if (newCapacity <= INT_MAX) {
        storage = static_cast<uint8_t*>(AllocMemory(static_cast<uint32_t>(newCapacity), "", 0));
    }
    if (storage == nullptr) {
        FreeRingBuffer(ring);
        EmitLogFormat("リングバッファの再確保に失敗しました(確保しようとしたサイズ %lld byte)",
                      static_cast<long long>(newCapacity));
        return -1;
    }
    if (ring->stored > 0) CopyOut(ring, storage, ring->stored);
    if (ring->buffer != nullptr) FreeMemory(ring->buffer);
    ring->buffer = storage;
    ring->capacity = static_cast<int>(newCapacity);
    ring->start = 0;
    ring->end = ring->stored;
    return 0;
}
