// A file-access table over one block of memory, so that the movie player reads a test movie
// (or a fuzz input) without touching the disk. One block at a time; the file value is 1.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/file_access.h"

struct MemoryFile {
    const uint8_t* data = nullptr;
    int64_t size = 0;
    int64_t position = 0;
    bool hitEnd = false;
};
inline MemoryFile gMemoryFile;

inline const FileAccessFunctions* MemoryFileFunctions(const uint8_t* data, size_t size) {
    gMemoryFile = {data, static_cast<int64_t>(size), 0, false};
    static const FileAccessFunctions kFunctions = {
        nullptr,
        [](StreamValue) { return 0; },
        [](StreamValue) { return gMemoryFile.position; },
        [](StreamValue, int64_t offset, int32_t origin) {
            int64_t base = origin == 0 ? 0 : origin == 1 ? gMemoryFile.position : gMemoryFile.size;
            if (base + offset < 0 || base + offset > gMemoryFile.size) return -1;
            gMemoryFile.position = base + offset;
            gMemoryFile.hitEnd = false;
            return 0;
        },
        [](void* buffer, size_t elementSize, size_t count, StreamValue) -> size_t {
            if (elementSize == 0) return 0;
            int64_t left = gMemoryFile.size - gMemoryFile.position;
            size_t elements = std::min<size_t>(count, static_cast<size_t>(left) / elementSize);
            if (elements < count) gMemoryFile.hitEnd = true;
            if (elements == 0) return 0;
            std::memcpy(buffer, gMemoryFile.data + gMemoryFile.position, elements * elementSize);
            gMemoryFile.position += static_cast<int64_t>(elements * elementSize);
            return elements;
        },
        [](StreamValue) { return gMemoryFile.hitEnd ? -1 : 0; },
        [](StreamValue) { return 1; },
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
    };
    return &kFunctions;
}
