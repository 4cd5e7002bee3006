// Asynchronous loading on worker threads: loads packed into requests and queued, 32 parked
// workers at the lowest priority of which at most one fewer than the processors run at once,
// and the calls a worker hands to the main thread, which the message pump runs.
#pragma once

#include <orbek/orbek.h>
#include <platform/win32.h>

#include <cstdint>

#include "core/threads.h"

constexpr int32_t kAsyncLoadTableSize = 32768;
constexpr int32_t kMainThreadQueueSize = 32768;
constexpr int32_t kAsyncWorkerCount = 32;
// An item packed as bytes or text holds at most this many bytes (its 16-bit length prefix
// counts itself too).
constexpr uint32_t kMaxPackedItemBytes = 65533;

struct AsyncLoadRequest;
using AsyncLoadJob = void (*)(AsyncLoadRequest* request);

// One queued load; its packed arguments follow it in the same block (AsyncLoadArguments).
struct AsyncLoadRequest {
    int32_t slot;  // in the table
    int32_t running;
    uint32_t timeQueued;  // GetMillisecondCount
    AsyncLoadJob job;
    // How many handles wait on this load. A request that several handles wait on is not
    // withdrawn for one of them: the others would stay pending for ever.
    int32_t heldHandles;
};

struct MainThreadRequest;
using MainThreadFunction = int32_t (*)(MainThreadRequest* request);
constexpr int kMainThreadRequestWords = 8;

// A call a worker hands to the main thread, on the worker's stack; each argument is one word of
// pointer width, so that pointers travel whole.
struct MainThreadRequest {
    MainThreadFunction function;
    int32_t workerIndex;
    int32_t result;
    // Set by the function when what it needs is not there yet (another worker holds it): the
    // call stays queued and runs again at the next pump pass, its worker waiting meanwhile.
    int32_t callAgain;
    uintptr_t arguments[kMainThreadRequestWords];
};

struct AsyncWorker {
    ThreadRecord thread;
    int32_t exited;
    int32_t runningJob;
    int32_t waitingForMainThread;
    int32_t sleeping;
    uint32_t sleepTime;  // when it fell asleep (GetMillisecondCount)
    AsyncLoadRequest* current;
};

struct AsyncLoadState {
    int32_t switchedOn;  // loads run on workers; a setting, kept over set-ups
    int32_t setUp;
    DWORD mainThreadId;
    CRITICAL_SECTION lock;
    DWORD lockOwner;  // the thread that holds the lock, 0 for none
    int32_t stop;
    int32_t workerCount;
    int32_t activeLimit;
    int32_t active;  // workers resumed and not asleep
    AsyncLoadRequest* requests[kAsyncLoadTableSize];
    int32_t queuedCount;  // queued or running
    int32_t endIndex;     // one past the highest slot in use
    MainThreadRequest* mainQueue[kMainThreadQueueSize];
    int32_t mainQueueCount;
    AsyncWorker workers[kAsyncWorkerCount];
};
extern AsyncLoadState gAsyncLoad;

// Stores the main thread's id and creates the lock; -1 when already set up.
int SetupAsyncLoad(uint32_t mainThreadId);
// Starts the workers, at most processorCount - 1 (and at least one) running at once; -1 when
// a worker cannot be made.
int StartAsyncWorkers(int32_t processorCount);
// Lets every worker end, running the main thread's share meanwhile; 0.
int StopAsyncWorkers();
// Deletes the lock and frees the requests no worker ran; -1 when not set up.
int ShutdownAsyncLoad();

// A request with room for argumentBytes of packed arguments; null (logged) when it cannot be
// had.
AsyncLoadRequest* AllocAsyncLoadRequest(uint32_t argumentBytes);
void FreeAsyncLoadRequest(AsyncLoadRequest* request);
uint8_t* AsyncLoadArguments(AsyncLoadRequest* request);
// Packing: with a null buffer only the offset advances (the sizing pass). An item too long for
// its length prefix is refused: -1 (logged), else 0.
int PackAsyncArgInt(uint8_t* buffer, uint32_t* offset, int32_t value);
int PackAsyncArgBytes(uint8_t* buffer, uint32_t* offset, const void* bytes, uint32_t size);
// A null text packs as null and unpacks as null; an empty text unpacks as an empty text.
int PackAsyncArgString(uint8_t* buffer, uint32_t* offset, const char* text);
// Unpacking in the packing order; bytes and texts are read in place (they live as long as the
// request) and may lie at any alignment.
int32_t UnpackAsyncArgInt(const uint8_t* buffer, uint32_t* offset);
const void* UnpackAsyncArgBytes(const uint8_t* buffer, uint32_t* offset, uint32_t* size);
const char* UnpackAsyncArgString(const uint8_t* buffer, uint32_t* offset);

// A request of `job` holding what pack(buffer, &offset) writes, packed twice (sizing, then
// filling); null when an item is refused or the request cannot be had.
template <class Pack>
AsyncLoadRequest* PackAsyncLoadRequest(AsyncLoadJob job, int32_t heldHandles, Pack&& pack) {
    uint32_t size = 0;
    if (pack(nullptr, &size) != 0) return nullptr;
    AsyncLoadRequest* request = AllocAsyncLoadRequest(size);
    if (request == nullptr) return nullptr;
    uint32_t offset = 0;
    pack(AsyncLoadArguments(request), &offset);
    request->job = job;
    request->heldHandles = heldHandles;
    return request;
}

// Queues the request for a worker and returns the slot it took: the request itself may already
// be done and gone when the call returns. A full table ends the program.
int QueueAsyncLoadRequest(AsyncLoadRequest* request);
// Withdraws a queued request: 0, -1 for an empty slot, -2 when it runs and the flag is set (or,
// with the flag, when several handles wait on it).
int DeleteAsyncLoadRequest(int32_t slot, int32_t onlyIfNotRunning);
// From a worker: has the main thread run the request's function (again at each pump pass while
// it asks to be called again) and returns its result.
int32_t CallOnMainThread(MainThreadRequest* request);
// Runs the calls that workers handed to the main thread, for at most about 2 ms, keeping those
// that ask to be called again queued in their order; -1 off the main thread, else 0.
int RunMainThreadRequests();
// Resumes a sleeping worker unless extra + the active limit are already running; 0.
int WakeAsyncWorker(int32_t extra);
// 1 when the calling thread holds the asynchronous-loading lock.
int IsAsyncLoadLockHeld();
