// The layer's clock: the host's monotonic time, or the virtual clock that tests drive.
#pragma once

#include "platform/win32_types.h"

// Under the virtual clock a timed wait still waits this long in real time for other threads.
constexpr DWORD kVirtualWaitGraceMs = 10;

bool ClockIsVirtual();
// A caller's read: under the virtual clock it also moves the clock by the step per read.
unsigned long long ClockReadMicroseconds();
// The same time without the step, for the layer's own pacing (timer threads, the TSC).
unsigned long long ClockPeekMicroseconds();
// Moves the virtual clock; nothing happens under the real one.
void ClockAdvanceMicroseconds(unsigned long long us);
// Waits in real time until the host's monotonic clock reads `us`, whatever signals arrive.
void SleepUntilMicroseconds(unsigned long long us);
