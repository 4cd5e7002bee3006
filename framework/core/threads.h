// Thread and lock wrappers: threads that start parked (suspended by themselves) and run their
// function once resumed, priority levels, and the critical-section calls.
#pragma once

#include <platform/win32.h>

#include <cstdint>

struct ThreadRecord;
using ThreadFunction = void (*)(ThreadRecord* record, uintptr_t argument);

// Users append their own fields after these.
struct ThreadRecord {
    ThreadFunction function;
    uintptr_t argument;
    uintptr_t spare;
    HANDLE thread;
    DWORD threadId;
};

// Creates the thread, which suspends itself at once; -1 when no thread was made.
int CreateParkedThread(ThreadRecord* record, ThreadFunction function, uintptr_t argument);
// The entry of every parked thread: parks, then runs the record's function.
DWORD ParkedThreadEntry(LPVOID record);
// 1 when the thread was suspended and now runs, 0 when it was not suspended (yet).
int ResumeParkedThread(ThreadRecord* record);
void SuspendCurrentThread();
// Levels 0 lowest, 1 below normal, 2 normal, 3 highest; any other level does nothing.
void SetThreadPriorityLevel(ThreadRecord* record, int32_t level);
void CloseThreadHandle(ThreadRecord* record);
int HasThreadHandle(const ThreadRecord* record);
DWORD GetThreadRecordId(const ThreadRecord* record);
void SleepMilliseconds(uint32_t ms);

int InitLock(CRITICAL_SECTION* lock);
int DeleteLock(CRITICAL_SECTION* lock);
int EnterLock(CRITICAL_SECTION* lock);
int LeaveLock(CRITICAL_SECTION* lock);
