// The framework's clocks: the millisecond count (the game's only clock), the microsecond count
// and the local date and time.
#pragma once

#include <orbek/orbek.h>
#include <platform/win32.h>

#include <cstdint>

struct ClockState {
    int32_t hasPerformanceCounter;  // 1 when the performance counter reported a frequency
    int64_t performanceFrequency;
};
extern ClockState gClocks;

// Reads the performance counter's frequency once at start-up; returns the flag.
int ProbePerformanceCounter();
// Microseconds from the performance counter (or the multimedia time); -1 without winmm.dll.
int64_t GetMicrosecondCount(int32_t unused = 0);
// Year, month, day, hour, minute, second.
int ReadLocalDateTime(int32_t out[6]);
// A file time (UTC) as the local year, month, day, hour, minute and second; all zero when it
// cannot be converted.
void FileTimeToDateTime(const FILETIME* time, int32_t out[6]);
