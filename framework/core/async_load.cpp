// Asynchronous loading: the request table, the parked workers and the choice of which one runs,
// argument packing, and the hand-over of calls to the main thread. One lock guards the table,
// the main-thread queue, the workers' flags and the active count; jobs run without it, and the
// main thread runs the handed-over calls while holding it.
#include "core/async_load.h"

#include <atomic>
#include <cstring>

#include "core/clocks.h"
#include "core/fatal_error.h"
#include "core/log.h"
#include "core/pump_services.h"
#include "core/tracked_memory.h"

AsyncLoadState gAsyncLoad = {};

namespace {

// The main thread's share of each pump pass.
constexpr int64_t kMainThreadBudgetMicroseconds = 2000;
constexpr uint32_t kStartSettleMilliseconds = 16;
constexpr uint32_t kClockMask = 0x7FFFFFFF;
constexpr uint32_t kLengthPrefixBytes = 2;

// Holds the lock for a scope (or between Take and Release), keeping track of its owner: the
// lock is recursive, and its owner is forgotten only when the outermost hold ends.
class AsyncLockScope {
public:
    AsyncLockScope() { Take(); }
    ~AsyncLockScope() {
        if (held_) Release();
    }
    void Take() {
        ownerOnEntry_ = IsAsyncLoadLockHeld() ? GetCurrentThreadId() : 0;
        EnterLock(&gAsyncLoad.lock);
        Owner().store(GetCurrentThreadId(), std::memory_order_relaxed);
        held_ = true;
    }
    void Release() {
        Owner().store(ownerOnEntry_, std::memory_order_relaxed);
        LeaveLock(&gAsyncLoad.lock);
        held_ = false;
    }
    AsyncLockScope(const AsyncLockScope&) = delete;
    AsyncLockScope& operator=(const AsyncLockScope&) = delete;

private:
    static std::atomic_ref<DWORD> Owner() { return std::atomic_ref<DWORD>(gAsyncLoad.lockOwner); }

    DWORD ownerOnEntry_ = 0;
    bool held_ = false;
};

// The counts that a pump pass and CountQueuedAsyncLoads read without the lock; written under it.
std::atomic_ref<int32_t> Shared(int32_t& count) {
    return std::atomic_ref<int32_t>(count);
}

// Milliseconds since `time`, across the clock's 31-bit wrap.
uint32_t AgeOf(uint32_t time) {
    return (GetMillisecondCount(0) - time) & kClockMask;
}

void MarkAsleep(AsyncWorker* worker) {
    worker->sleeping = 1;
    worker->sleepTime = GetMillisecondCount(0);
    Shared(gAsyncLoad.active)--;
}

// The worker to resume: first one whose hand-over to the main thread is done (the one whose job
// was queued earliest), else, unless only those are wanted, an idle one (asleep the longest);
// ties go to the first in the table. -1 for none.
int ChooseWorkerToWake(bool onlyFinishedHandOvers) {
    int chosen = -1;
    uint32_t oldest = 0;
    for (int i = 0; i < gAsyncLoad.workerCount; ++i) {
        const AsyncWorker& w = gAsyncLoad.workers[i];
        if (w.exited || !w.sleeping || !w.runningJob || w.waitingForMainThread) continue;
        uint32_t age = AgeOf(w.current->timeQueued);
        if (chosen < 0 || age > oldest) {
            chosen = i;
            oldest = age;
        }
    }
    if (chosen >= 0 || onlyFinishedHandOvers) return chosen;
    for (int i = 0; i < gAsyncLoad.workerCount; ++i) {
        const AsyncWorker& w = gAsyncLoad.workers[i];
        if (w.exited || !w.sleeping || w.waitingForMainThread) continue;
        uint32_t age = AgeOf(w.sleepTime);
        if (chosen < 0 || age > oldest) {
            chosen = i;
            oldest = age;
        }
    }
    return chosen;
}

// Under the lock. A worker that found nothing to run hands its turn only to one whose hand-over
// is done: an idle worker would find nothing either, and would hand on to the next in an
// endless chain while any job waits for the main thread.
void WakeWorker(int32_t extra, bool onlyFinishedHandOvers) {
    if (gAsyncLoad.active >= gAsyncLoad.activeLimit + extra) return;
    for (;;) {
        int index = ChooseWorkerToWake(onlyFinishedHandOvers);
        if (index < 0) return;
        AsyncWorker& w = gAsyncLoad.workers[index];
        // A worker that marked itself asleep may not have suspended itself yet; it does so
        // without the lock, so waiting for it here ends.
        if (ResumeParkedThread(&w.thread) == 1) {
            w.sleeping = 0;
            Shared(gAsyncLoad.active)++;
            return;
        }
        SleepMilliseconds(0);
    }
}

// The request a worker takes next: the one queued longest ago, of equal times the one in the
// higher slot; -1 when every request runs.
int ChooseRequest() {
    int chosen = -1;
    uint32_t oldest = 0;
    for (int slot = 0; slot < gAsyncLoad.endIndex; ++slot) {
        const AsyncLoadRequest* r = gAsyncLoad.requests[slot];
        if (r == nullptr || r->running) continue;
        uint32_t age = AgeOf(r->timeQueued);
        if (chosen < 0 || age >= oldest) {
            chosen = slot;
            oldest = age;
        }
    }
    return chosen;
}

// Under the lock.
void RemoveRequest(int32_t slot) {
    AsyncLoadRequest* request = gAsyncLoad.requests[slot];
    gAsyncLoad.requests[slot] = nullptr;
    Shared(gAsyncLoad.queuedCount)--;
    if (slot == gAsyncLoad.endIndex - 1) {
        int32_t end = slot;
        while (end > 0 && gAsyncLoad.requests[end - 1] == nullptr) end--;
        gAsyncLoad.endIndex = end;
    }
    FreeAsyncLoadRequest(request);
}

// How many workers the pump keeps running while requests are queued: one fewer than the limit,
// at least one, at most one per request. 0 with none queued.
int32_t WakeTarget() {
    int32_t limit = Shared(gAsyncLoad.activeLimit).load();
    int32_t queued = Shared(gAsyncLoad.queuedCount).load();
    int32_t target = limit - 1 < 1 ? 1 : limit - 1;
    return target < queued ? target : queued;
}

int WorkerIndexOf(DWORD threadId) {
    for (int i = 0; i < gAsyncLoad.workerCount; ++i) {
        if (GetThreadRecordId(&gAsyncLoad.workers[i].thread) == threadId) return i;
    }
    return -1;
}

void AsyncWorkerLoop(AsyncWorker* worker) {
    AsyncLockScope lock;
    while (!gAsyncLoad.stop) {
        while (gAsyncLoad.endIndex != 0) {
            int slot = ChooseRequest();
            if (slot < 0) {
                WakeWorker(1, true);
                break;
            }
            AsyncLoadRequest* request = gAsyncLoad.requests[slot];
            request->running = 1;
            worker->runningJob = 1;
            worker->current = request;
            lock.Release();
            request->job(request);
            lock.Take();
            RemoveRequest(slot);
            worker->runningJob = 0;
            worker->current = nullptr;
        }
        MarkAsleep(worker);
        lock.Release();
        SuspendCurrentThread();
        lock.Take();
    }
    worker->exited = 1;
    Shared(gAsyncLoad.active)--;
}

void AsyncWorkerEntry(ThreadRecord* record, uintptr_t argument) {
    AsyncWorkerLoop(reinterpret_cast<AsyncWorker*>(record));
}

// Logs an item that its length prefix cannot hold.
int RefuseLongItem(uint64_t bytes) {
    return EmitLogFormat("非同期読み込みデータの項目 %lluByte が大きすぎます",
                         static_cast<unsigned long long>(bytes));
}

int PackPrefixed(uint8_t* buffer, uint32_t* offset, const void* bytes, uint32_t size) {
    if (buffer != nullptr) {
        auto prefix = static_cast<uint16_t>(size + kLengthPrefixBytes);
        std::memcpy(buffer + *offset, &prefix, kLengthPrefixBytes);
        if (size != 0) std::memcpy(buffer + *offset + kLengthPrefixBytes, bytes, size);
    }
    *offset += kLengthPrefixBytes + size;
    return 0;
}

}  // namespace

int SwitchAsyncLoad(int on) {
    gAsyncLoad.switchedOn = on != 0 ? 1 : 0;
    return 0;
}

int IsAsyncLoadOn() {
    return gAsyncLoad.switchedOn;
}

int SetupAsyncLoad(uint32_t mainThreadId) {
    if (gAsyncLoad.setUp) return -1;
    gAsyncLoad.mainThreadId = mainThreadId;
    gAsyncLoad.lockOwner = 0;
    gAsyncLoad.stop = 0;
    gAsyncLoad.workerCount = kAsyncWorkerCount;
    Shared(gAsyncLoad.active) = 0;
    Shared(gAsyncLoad.queuedCount) = 0;
    gAsyncLoad.endIndex = 0;
    Shared(gAsyncLoad.mainQueueCount) = 0;
    // A worker that was never made counts as ended.
    for (AsyncWorker& w : gAsyncLoad.workers) {
        w = AsyncWorker{};
        w.exited = 1;
    }
    InitLock(&gAsyncLoad.lock);
    gAsyncLoad.setUp = 1;
    SetPumpService(kPumpMainThreadRequests, RunMainThreadRequests);
    return 0;
}

int StartAsyncWorkers(int32_t processorCount) {
    // A start-up that failed after its workers were made leaves them behind: they end first.
    for (const AsyncWorker& w : gAsyncLoad.workers) {
        if (HasThreadHandle(&w.thread)) {
            StopAsyncWorkers();
            break;
        }
    }
    AsyncLockScope lock;
    gAsyncLoad.stop = 0;
    Shared(gAsyncLoad.activeLimit) = processorCount - 1 < 1 ? 1 : processorCount - 1;
    uint32_t now = GetMillisecondCount(0);
    for (int i = 0; i < gAsyncLoad.workerCount; ++i) {
        AsyncWorker& w = gAsyncLoad.workers[i];
        if (CreateParkedThread(&w.thread, AsyncWorkerEntry, 0) != 0) return -1;
        SetThreadPriorityLevel(&w.thread, 0);
        w.exited = 0;
        w.sleeping = 1;
        w.sleepTime = now;
    }
    lock.Release();
    SleepMilliseconds(kStartSettleMilliseconds);
    return 0;
}

int StopAsyncWorkers() {
    if (!gAsyncLoad.setUp) return 0;
    {
        AsyncLockScope lock;
        gAsyncLoad.stop = 1;
    }
    for (AsyncWorker& w : gAsyncLoad.workers) {
        if (!HasThreadHandle(&w.thread)) continue;
        for (;;) {
            {
                AsyncLockScope lock;
                if (w.exited) break;
                if (gAsyncLoad.active == 0) WakeWorker(0, false);
            }
            RunMainThreadRequests();
            SleepMilliseconds(1);
        }
        CloseThreadHandle(&w.thread);
    }
    return 0;
}

int ShutdownAsyncLoad() {
    if (!gAsyncLoad.setUp) return -1;
    SetPumpService(kPumpMainThreadRequests, nullptr);
    for (int32_t slot = 0; slot < gAsyncLoad.endIndex; ++slot) {
        if (gAsyncLoad.requests[slot] != nullptr) FreeAsyncLoadRequest(gAsyncLoad.requests[slot]);
        gAsyncLoad.requests[slot] = nullptr;
    }
    Shared(gAsyncLoad.queuedCount) = 0;
    gAsyncLoad.endIndex = 0;
    DeleteLock(&gAsyncLoad.lock);
    gAsyncLoad.setUp = 0;
    return 0;
}

AsyncLoadRequest* AllocAsyncLoadRequest(uint32_t argumentBytes) {
    uint64_t bytes = uint64_t{sizeof(AsyncLoadRequest)} + argumentBytes;
    void* block = bytes <= 0x7FFFFFFF
                      ? AllocClearedMemory(static_cast<uint32_t>(bytes), __FILE__, __LINE__)
                      : nullptr;
    if (block == nullptr) {
        EmitLogFormat("非同期読み込みデータを格納するメモリ領域 %dByte の確保に失敗しました",
                      static_cast<int>(bytes > 0x7FFFFFFF ? 0x7FFFFFFF : bytes));
    }
    return static_cast<AsyncLoadRequest*>(block);
}

void FreeAsyncLoadRequest(AsyncLoadRequest* request) {
    FreeMemory(request);
}

uint8_t* AsyncLoadArguments(AsyncLoadRequest* request) {
    return reinterpret_cast<uint8_t*>(request + 1);
}

int PackAsyncArgInt(uint8_t* buffer, uint32_t* offset, int32_t value) {
    if (buffer != nullptr) std::memcpy(buffer + *offset, &value, sizeof value);
    *offset += sizeof value;
    return 0;
}

int PackAsyncArgBytes(uint8_t* buffer, uint32_t* offset, const void* bytes, uint32_t size) {
    if (size > kMaxPackedItemBytes) return RefuseLongItem(size);
    return PackPrefixed(buffer, offset, bytes, size);
}

int PackAsyncArgString(uint8_t* buffer, uint32_t* offset, const char* text) {
    if (text == nullptr) return PackPrefixed(buffer, offset, nullptr, 0);
    uint64_t size = uint64_t{std::strlen(text)} + 1;
    if (size > kMaxPackedItemBytes) return RefuseLongItem(size);
    return PackPrefixed(buffer, offset, text, static_cast<uint32_t>(size));
}

int32_t UnpackAsyncArgInt(const uint8_t* buffer, uint32_t* offset) {
    int32_t value = 0;
    std::memcpy(&value, buffer + *offset, sizeof value);
    *offset += sizeof value;
    return value;
}

const void* UnpackAsyncArgBytes(const uint8_t* buffer, uint32_t* offset, uint32_t* size) {
    uint16_t prefix = 0;
    std::memcpy(&prefix, buffer + *offset, kLengthPrefixBytes);
    const uint8_t* bytes = buffer + *offset + kLengthPrefixBytes;
    if (size != nullptr) *size = prefix - kLengthPrefixBytes;
    *offset += prefix;
    return bytes;
}

const char* UnpackAsyncArgString(const uint8_t* buffer, uint32_t* offset) {
    uint32_t size = 0;
    const void* text = UnpackAsyncArgBytes(buffer, offset, &size);
    return size == 0 ? nullptr : static_cast<const char*>(text);
}

int QueueAsyncLoadRequest(AsyncLoadRequest* request) {
    AsyncLockScope lock;
    if (gAsyncLoad.queuedCount == kAsyncLoadTableSize) {
        lock.Release();
        ExitOnFatalError("非同期読み込みデータの数が許容量を越えました終了します");
    }
    int32_t slot = gAsyncLoad.endIndex;
    if (slot == kAsyncLoadTableSize) {
        for (slot = 0; gAsyncLoad.requests[slot] != nullptr; ++slot) {
        }
    }
    request->slot = slot;
    request->running = 0;
    request->timeQueued = GetMillisecondCount(0);
    gAsyncLoad.requests[slot] = request;
    Shared(gAsyncLoad.queuedCount)++;
    if (slot == gAsyncLoad.endIndex) gAsyncLoad.endIndex++;
    WakeWorker(0, false);
    return slot;
}

int DeleteAsyncLoadRequest(int32_t slot, int32_t onlyIfNotRunning) {
    if (!gAsyncLoad.setUp || slot < 0 || slot >= kAsyncLoadTableSize) return -1;
    AsyncLockScope lock;
    const AsyncLoadRequest* request = gAsyncLoad.requests[slot];
    if (request == nullptr) return -1;
    if (onlyIfNotRunning && (request->running || request->heldHandles > 1)) return -2;
    RemoveRequest(slot);
    return 0;
}

int CountQueuedAsyncLoads() {
    if (!gAsyncLoad.setUp) return 0;
    return Shared(gAsyncLoad.queuedCount).load();
}

int32_t CallOnMainThread(MainThreadRequest* request) {
    AsyncLockScope lock;
    if (gAsyncLoad.mainQueueCount == kMainThreadQueueSize) {
        lock.Release();
        ExitOnFatalError(
            "非同期読み込みスレッドからメインスレッドへの処理依頼数が許容量を越えました終了します");
    }
    int index = WorkerIndexOf(GetCurrentThreadId());
    if (index < 0) {
        lock.Release();
        ExitOnFatalError("非同期読み込みスレッド以外からメインスレッドへの処理依頼が行われました");
    }
    request->result = 0;
    request->callAgain = 0;
    request->workerIndex = index;
    gAsyncLoad.mainQueue[gAsyncLoad.mainQueueCount] = request;
    Shared(gAsyncLoad.mainQueueCount)++;
    AsyncWorker& worker = gAsyncLoad.workers[index];
    worker.waitingForMainThread = 1;
    WakeWorker(1, false);
    MarkAsleep(&worker);
    lock.Release();
    SuspendCurrentThread();
    // The result was written before this worker could be resumed, and the resume orders it
    // before this read: taking the lock again would only queue the worker behind a pump pass
    // that holds it while it runs the other workers' calls.
    return request->result;
}

int RunMainThreadRequests() {
    if (!gAsyncLoad.setUp || GetCurrentThreadId() != gAsyncLoad.mainThreadId) return -1;
    // A pass with nothing to run and no worker to wake leaves the lock alone: a pump that takes
    // it on every pass keeps the workers that need it waiting.
    if (Shared(gAsyncLoad.mainQueueCount).load() == 0 &&
        Shared(gAsyncLoad.active).load() >= WakeTarget()) {
        return 0;
    }
    AsyncLockScope lock;
    if (gAsyncLoad.mainQueueCount > 0) {
        int64_t start = GetMicrosecondCount(0);
        // The calls that ask to be called again close up at the front of the queue, in order;
        // the others leave it, and their workers may go on.
        int32_t ran = 0, kept = 0;
        while (ran < gAsyncLoad.mainQueueCount) {
            if (ran > 0 && GetMicrosecondCount(0) - start > kMainThreadBudgetMicroseconds) break;
            MainThreadRequest* request = gAsyncLoad.mainQueue[ran++];
            request->callAgain = 0;
            request->result = request->function(request);
            if (request->callAgain) {
                gAsyncLoad.mainQueue[kept++] = request;
                continue;
            }
            gAsyncLoad.workers[request->workerIndex].waitingForMainThread = 0;
            WakeWorker(0, false);
        }
        int32_t left = gAsyncLoad.mainQueueCount - ran;
        std::memmove(gAsyncLoad.mainQueue + kept, gAsyncLoad.mainQueue + ran,
                     sizeof(MainThreadRequest*) * static_cast<size_t>(left));
        Shared(gAsyncLoad.mainQueueCount) = kept + left;
    }
    int32_t missing = gAsyncLoad.queuedCount > 0 ? WakeTarget() - gAsyncLoad.active : 0;
    if (missing > 0) {
        // One wake per missing worker: a wake may find no one to resume. An idle worker is woken
        // only for a request that no worker has taken: woken for none it would find nothing and
        // sleep again, pass after pass, while a job's call waits to be called again.
        bool onlyFinishedHandOvers = ChooseRequest() < 0;
        for (; missing > 0; --missing) WakeWorker(0, onlyFinishedHandOvers);
    }
    return 0;
}

int WakeAsyncWorker(int32_t extra) {
    AsyncLockScope lock;
    WakeWorker(extra, false);
    return 0;
}

int IsAsyncLoadLockHeld() {
    return gAsyncLoad.setUp &&
                   std::atomic_ref<DWORD>(gAsyncLoad.lockOwner).load(std::memory_order_relaxed) ==
                       GetCurrentThreadId()
               ? 1
               : 0;
}
