// What a find-first/next over the disk or inside an archive reports for one entry, and the
// conversion of a stored file time to a local date and time.
#pragma once

#include <platform/win32.h>

#include <cstdint>

// Year, month, day, hour, minute, second in local time.
struct DateTimeRecord {
    int32_t year;
    int32_t month;
    int32_t day;
    int32_t hour;
    int32_t minute;
    int32_t second;
};

constexpr uint32_t kFindNameBytes = 260;

struct FileFindData {
    char name[kFindNameBytes];
    int32_t isDirectory;
    uint32_t sizeLow;
    uint32_t sizeHigh;
    DateTimeRecord creationTime;
    DateTimeRecord lastWriteTime;
};

// A FILETIME (100 ns ticks since 1601, UTC) as a local date and time; all zero when the
// system cannot convert it.
void FileTimeToDateTime(const FILETIME* time, DateTimeRecord* out);
