// The ApiLock: a recursive lock whose waiting threads queue in a table of 4,096 slots, each
// waiting on a manual-reset event of its own, so that the lock passes in arrival order.
#include "core/api_lock.h"

#include <platform/win32.h>

#include <mutex>

namespace {

constexpr int32_t kWaiterSlots = 4096;
constexpr DWORD kFree = 0xFFFFFFFF;

struct ApiLockWaiter {
    DWORD threadId;
    HANDLE event;
};

struct ApiLockState {
    int32_t recursionCount;
    int32_t locked;
    DWORD owner;
    ApiLockWaiter waiters[kWaiterSlots];
    int32_t eventsCreated;
    int32_t waiterCount;
    CRITICAL_SECTION guard;
    std::mutex creation;  // makes the first use safe when several threads make it at once
};

ApiLockState gApiLock = {0, 0, kFree, {}, 0, 0, {}, {}};

void CreateLockObjects() {
    std::lock_guard<std::mutex> creation(gApiLock.creation);
    if (gApiLock.eventsCreated != 0) return;
    for (ApiLockWaiter& waiter : gApiLock.waiters) {
        waiter.threadId = 0;
        waiter.event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    InitializeCriticalSection(&gApiLock.guard);
    gApiLock.eventsCreated = 1;
}

// With the guard held: the lock becomes the caller's, one level deeper.
void TakeLock(DWORD self) {
    gApiLock.recursionCount++;
    gApiLock.locked = 1;
    gApiLock.owner = self;
    LeaveCriticalSection(&gApiLock.guard);
}

}  // namespace

void EnterApiLock() {
    CreateLockObjects();
    DWORD self = GetCurrentThreadId();
    for (;;) {
        EnterCriticalSection(&gApiLock.guard);
        int32_t n = gApiLock.waiterCount;
        if (gApiLock.locked == 0) {
            if (n == 0) return TakeLock(self);
            if (gApiLock.waiters[0].threadId == self) {
                // Leave the queue: the others move up, the old first event goes to the end.
                HANDLE event = gApiLock.waiters[0].event;
                for (int32_t i = 1; i < n; i++) gApiLock.waiters[i - 1] = gApiLock.waiters[i];
                gApiLock.waiters[n - 1] = {0, event};
                gApiLock.waiterCount = n - 1;
                return TakeLock(self);
            }
        } else if (gApiLock.owner == self) {
            return TakeLock(self);
        }
        if (n < kWaiterSlots) {
            gApiLock.waiters[n].threadId = self;
            HANDLE event = gApiLock.waiters[n].event;
            gApiLock.waiterCount = n + 1;
            LeaveCriticalSection(&gApiLock.guard);
            WaitForSingleObject(event, INFINITE);
            ResetEvent(event);
        } else {
            LeaveCriticalSection(&gApiLock.guard);
            Sleep(1);
        }
    }
}

void LeaveApiLock() {
    EnterCriticalSection(&gApiLock.guard);
    bool wake = false;
    if (gApiLock.recursionCount == 1) {
        gApiLock.locked = 0;
        gApiLock.owner = kFree;
        wake = gApiLock.waiterCount >= 1;
    }
    gApiLock.recursionCount--;
    HANDLE first = gApiLock.waiters[0].event;
    LeaveCriticalSection(&gApiLock.guard);
    if (wake) {
        SetEvent(first);
        Sleep(0);
    }
}

void CloseApiLock() {
    std::lock_guard<std::mutex> creation(gApiLock.creation);
    if (gApiLock.eventsCreated == 0) return;
    EnterCriticalSection(&gApiLock.guard);
    bool waited = gApiLock.waiterCount != 0 || gApiLock.locked != 0;
    LeaveCriticalSection(&gApiLock.guard);
    if (waited) return;
    gApiLock.eventsCreated = 0;
    for (ApiLockWaiter& waiter : gApiLock.waiters) {
        CloseHandle(waiter.event);
        waiter.event = nullptr;
    }
    DeleteCriticalSection(&gApiLock.guard);
}

int32_t CountApiLockWaiters() {
    if (gApiLock.eventsCreated == 0) return -1;
    EnterCriticalSection(&gApiLock.guard);
    int32_t count = gApiLock.waiterCount;
    LeaveCriticalSection(&gApiLock.guard);
    return count;
}
