// Asynchronous loading on worker threads.
#pragma once

#include <cstdint>

// Withdraws a queued request: 0, -1 for an empty slot, -2 when it runs and the flag is set.
int DeleteAsyncLoadRequest(int32_t slot, int32_t onlyIfNotRunning);
// Runs the calls that workers handed to the main thread; 0.
int RunMainThreadRequests();

// Stores the main thread's id and creates the lock; -1 when already set up.
int SetupAsyncLoad(uint32_t mainThreadId);
// Starts the workers, at most processorCount - 1 (and at least one) running at once; -1 when
// a worker cannot be made.
int StartAsyncWorkers(int32_t processorCount);
int StopAsyncWorkers();
// -1 when not set up.
int ShutdownAsyncLoad();
// The requests queued or running.
int CountQueuedAsyncLoads();
