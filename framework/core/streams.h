// The six stream operations through which image and sound loaders read, in two sets: one over
// the file front calls (the stream value is a file value) and one over a block of memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/file_access.h"

struct StreamFunctions {
    int64_t (*tell)(StreamValue stream);
    // origin 0 from the start, 1 from the current position, 2 from the end.
    int (*seek)(StreamValue stream, int64_t offset, int32_t origin);
    size_t (*read)(void* buffer, size_t elementSize, size_t count, StreamValue stream);
    // Non-zero at the end.
    int (*eof)(StreamValue stream);
    int (*isIdle)(StreamValue stream);
    int (*close)(StreamValue stream);
};

// What a loader reads through: the operations of one set and the value they take.
struct StreamReader {
    StreamFunctions functions;
    StreamValue value;
};

// A read-only view of memory that it does not own.
struct MemoryStream {
    const uint8_t* data;
    uint32_t size;
    uint32_t position;
    int32_t eof;
};

const StreamFunctions* GetFileStreamFunctions();
// The stream value of this set is a MemoryStream pointer.
const StreamFunctions* GetMemoryStreamFunctions();

// Null when memory runs out.
MemoryStream* OpenMemoryStream(const void* data, uint32_t size);
// Frees the record, not the data; 0.
int CloseMemoryStream(MemoryStream* stream);
