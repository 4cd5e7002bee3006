// What the file units share: the values that stand for an open file and a find in progress,
// and the record of the twelve file operations that a set of them fills.
#pragma once

#include <orbek/orbek.h>

#include <cstddef>
#include <cstdint>

#include "core/file_find_data.h"

// StreamValue, an open file (orbek/orbek.h): for the archive-aware set its open-file table index
// OR kFileValueTag, for the disk set the DiskFile itself. 0 means that the open failed.

// A find in progress; -1 means that nothing matched.
using FindValue = intptr_t;

constexpr StreamValue kFileValueTag = 0xF0000000;
// Buffers handed to the GetCurrentDir operation hold at least this many bytes.
constexpr uint32_t kCurrentDirBytes = 260;

// A read whose byte total (elementSize x count) does not fit a size_t reads nothing: the
// buffer cannot be that large, and a wrapped or saturated total would write past it.
inline bool ByteTotalOverflows(size_t elementSize, size_t count) {
    return elementSize != 0 && count > SIZE_MAX / elementSize;
}

// The place a seek counts from: the start (origin 0), the position (1) or the end (2); -1 for
// another origin.
inline int64_t SeekBase(int32_t origin, uint32_t position, uint32_t size) {
    if (origin < 0 || origin > 2) return -1;
    return origin == 0 ? 0 : origin == 1 ? position : size;
}

// Where a seek within 0..size lands, for any offset (compared before adding, so that no sum
// overflows); -1 for another origin.
inline int64_t ClampedSeekPosition(int64_t offset, int32_t origin, uint32_t position,
                                   uint32_t size) {
    const int64_t base = SeekBase(origin, position, size);
    if (base < 0) return -1;
    if (offset < -base) return 0;
    if (offset > int64_t{size} - base) return size;
    return base + offset;
}

struct FileAccessFunctions {
    // The third argument is read by no operation; callers pass 1.
    StreamValue (*open)(const char* path, int32_t useCache, int32_t unused, int32_t useAsync);
    int (*close)(StreamValue file);
    int64_t (*tell)(StreamValue file);
    // origin 0 from the start, 1 from the current position, 2 from the end.
    int (*seek)(StreamValue file, int64_t offset, int32_t origin);
    // The number of whole elements read, as fread counts them.
    size_t (*read)(void* buffer, size_t elementSize, size_t count, StreamValue file);
    // -1 once a read found the end, else 0.
    int (*eof)(StreamValue file);
    // 1 when no asynchronous read is pending, else 0.
    int (*isIdle)(StreamValue file);
    int (*setCurrentDir)(const char* path);
    int (*getCurrentDir)(char* buffer);
    FindValue (*findFirst)(const char* pattern, FileFindData* out);
    int (*findNext)(FindValue find, FileFindData* out);
    int (*findClose)(FindValue find);
};
