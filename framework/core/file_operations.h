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
