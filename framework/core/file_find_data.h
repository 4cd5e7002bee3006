// What a find-first/next over the disk or inside an archive reports for one entry.
#pragma once

#include <platform/win32.h>

#include <cstdint>

// Year, month, day, hour, minute, second, in local time.
using DateTimeRecord = int32_t[6];

constexpr uint32_t kFindNameBytes = 260;

struct FileFindData {
    char name[kFindNameBytes];
    int32_t isDirectory;
    uint32_t sizeLow;
    uint32_t sizeHigh;
    DateTimeRecord creationTime;
    DateTimeRecord lastWriteTime;
};
