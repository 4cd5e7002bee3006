// A growable byte ring (the socket layer's receive and send queues). Writers copy at end,
// in two pieces when the copy reaches the end of the storage, after ReserveRingBuffer.
#pragma once

#include <cstdint>

struct RingBuffer {
    uint8_t* buffer;  // tracked memory, or null
    int start;        // read offset
    int end;          // write offset
    int stored;       // bytes held
    int capacity;     // size of the storage
};

int InitRingBuffer(RingBuffer* ring);
int FreeRingBuffer(RingBuffer* ring);
// Copies size bytes from start; unless peekOnly, consumes them. -1 when fewer than size bytes
// are stored or size is negative (nothing changes).
int ReadRingBuffer(RingBuffer* ring, void* dst, int size, int peekOnly);
// Makes room for extra more bytes. -1 (logged) when the storage cannot be had: the ring is then
// empty and without storage. A negative extra is refused with -1 and leaves the ring as it was.
int ReserveRingBuffer(RingBuffer* ring, int extra);
// Folds start and end from capacity to 0.
void NormalizeRingBuffer(RingBuffer* ring);
