// The framework-wide lock taken by the three public entry points: recursive for its owner,
// handed to waiting threads in the order in which they asked.
#pragma once

#include <cstdint>

void EnterApiLock();
// Drops one level; the caller must hold the lock.
void LeaveApiLock();
// Closes the waiters' events and the guard when they exist and nobody waits on them.
void CloseApiLock();
// The number of threads queued for the lock; -1 while it is closed (not yet made, or closed).
int32_t CountApiLockWaiters();
