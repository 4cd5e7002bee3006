// Stands in for the asynchronous loader until it exists: nothing is ever queued.
#include "core/async_load.h"

#include "core/pump_services.h"

int DeleteAsyncLoadRequest(int32_t slot, int32_t onlyIfNotRunning) {
    return -1;
}

int RunMainThreadRequests() {
    return 0;
}

int SetupAsyncLoad(uint32_t mainThreadId) {
    SetPumpService(kPumpMainThreadRequests, RunMainThreadRequests);
    return 0;
}

int StartAsyncWorkers(int32_t processorCount) {
    return 0;
}

int StopAsyncWorkers() {
    return 0;
}

int ShutdownAsyncLoad() {
    SetPumpService(kPumpMainThreadRequests, nullptr);
    return 0;
}

int CountQueuedAsyncLoads() {
    return 0;
}
