// Thread and lock wrappers. A parked thread suspends itself before running anything, so that
// its creator can set its priority and decide when it starts.
#include "core/threads.h"

int CreateParkedThread(ThreadRecord* record, ThreadFunction function, uintptr_t argument) {
    record->function = function;
    record->argument = argument;
    record->thread = CreateThread(nullptr, 0, ParkedThreadEntry, record, 0, &record->threadId);
    return record->thread == nullptr ? -1 : 0;
}

DWORD ParkedThreadEntry(LPVOID param) {
    ThreadRecord* record = static_cast<ThreadRecord*>(param);
    SuspendThread(GetCurrentThread());
    record->function(record, record->argument);
    ExitThread(0);
}

int ResumeParkedThread(ThreadRecord* record) {
    DWORD previous = ResumeThread(record->thread);
    return previous != static_cast<DWORD>(-1) && previous > 0 ? 1 : 0;
}

void SuspendCurrentThread() {
    SuspendThread(GetCurrentThread());
}

void SetThreadPriorityLevel(ThreadRecord* record, int32_t level) {
    static const int kPriorities[] = {THREAD_PRIORITY_LOWEST, THREAD_PRIORITY_BELOW_NORMAL,
                                      THREAD_PRIORITY_NORMAL, THREAD_PRIORITY_HIGHEST};
    if (level < 0 || level > 3) return;
    SetThreadPriority(record->thread, kPriorities[level]);
}

void CloseThreadHandle(ThreadRecord* record) {
    CloseHandle(record->thread);
    record->thread = nullptr;
}

int HasThreadHandle(const ThreadRecord* record) {
    return record->thread != nullptr ? 1 : 0;
}

DWORD GetThreadRecordId(const ThreadRecord* record) {
    return record->threadId;
}

void SleepMilliseconds(uint32_t ms) {
    Sleep(ms);
}

int InitLock(CRITICAL_SECTION* lock) {
    InitializeCriticalSection(lock);
    return 0;
}

int DeleteLock(CRITICAL_SECTION* lock) {
    DeleteCriticalSection(lock);
    return 0;
}

int EnterLock(CRITICAL_SECTION* lock) {
    EnterCriticalSection(lock);
    return 0;
}

int LeaveLock(CRITICAL_SECTION* lock) {
    LeaveCriticalSection(lock);
    return 0;
}
