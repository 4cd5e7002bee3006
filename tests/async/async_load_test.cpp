// The asynchronous loader on its own: argument packing, the active limit, the order in which a
// worker takes requests, withdrawal, the hand-over of calls to the main thread with its 2 ms
// share per pump pass and calls run again until they can be made, idle workers staying asleep,
// and the end of the workers.
#include "core/async_load.h"

#include <gtest/gtest.h>
#include <platform/testing.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "async_wait.h"
#include "core/platform_dlls.h"
#include "core/tracked_memory.h"

namespace {

// What the jobs of a test record, shared with the workers.
struct JobLog {
    std::atomic<bool> release{false};
    std::atomic<int> started{0};
    std::atomic<int> finished{0};
    std::atomic<int> calls{0};
    std::atomic<DWORD> mainCallThread{0};
    std::vector<int32_t> order;  // under gAsyncLoad.lock: the ids of the jobs, as they ran
};
JobLog* gJobs = nullptr;

// The job's id, the first packed argument.
int32_t JobId(AsyncLoadRequest* request) {
    uint32_t offset = 0;
    return UnpackAsyncArgInt(AsyncLoadArguments(request), &offset);
}

void RecordJob(AsyncLoadRequest* request) {
    EnterLock(&gAsyncLoad.lock);
    gJobs->order.push_back(JobId(request));
    LeaveLock(&gAsyncLoad.lock);
    gJobs->finished++;
}

// Holds its worker until the test releases it.
void BlockingJob(AsyncLoadRequest* request) {
    gJobs->started++;
    while (!gJobs->release) SleepMilliseconds(0);
    RecordJob(request);
}

int32_t OnMainThread(MainThreadRequest* request) {
    gJobs->mainCallThread = GetCurrentThreadId();
    // One millisecond of the test's clock per call, so that the pump's share can be counted.
    TestAdvanceClockMicroseconds(1000);
    return static_cast<int32_t>(request->arguments[0] * 2);
}

// Hands one call to the main thread and keeps its answer as the job's result.
void HandingOverJob(AsyncLoadRequest* request) {
    gJobs->started++;
    MainThreadRequest call{};
    call.function = OnMainThread;
    call.arguments[0] = static_cast<uintptr_t>(JobId(request));
    if (CallOnMainThread(&call) == JobId(request) * 2) RecordJob(request);
}

// Asks to be called again until the test releases it; the job's id.
int32_t CalledUntilReleased(MainThreadRequest* request) {
    gJobs->calls++;
    request->callAgain = gJobs->release ? 0 : 1;
    return static_cast<int32_t>(request->arguments[0]);
}

void WaitingJob(AsyncLoadRequest* request) {
    MainThreadRequest call{};
    call.function = CalledUntilReleased;
    call.arguments[0] = static_cast<uintptr_t>(JobId(request));
    if (CallOnMainThread(&call) == JobId(request)) RecordJob(request);
}

AsyncLoadRequest* MakeRequest(AsyncLoadJob job, int32_t id, int32_t heldHandles = 1) {
    return PackAsyncLoadRequest(job, heldHandles, [&](uint8_t* buffer, uint32_t* offset) {
        return PackAsyncArgInt(buffer, offset, id);
    });
}

class AsyncLoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestResetPlatform();
        LoadPlatformDlls();
        TestUseVirtualClock(true);
        TestSetClockMicroseconds(1'000'000);
        TestSetClockStepPerRead(0);
        gJobs = &jobs_;
        ASSERT_EQ(SetupAsyncLoad(GetCurrentThreadId()), 0);
    }

    void TearDown() override {
        jobs_.release = true;
        StopAsyncWorkers();
        ShutdownAsyncLoad();
        gJobs = nullptr;
        FreePlatformDlls();
        TestResetPlatform();
    }

    void Start(int processors) { ASSERT_EQ(StartAsyncWorkers(processors), 0); }

    // Pumps the main thread's share until the condition holds.
    template <class Condition>
    bool PumpUntil(Condition condition) {
        return WaitFor([&] {
            RunMainThreadRequests();
            return condition();
        });
    }

    static int MainQueueCount() {
        EnterLock(&gAsyncLoad.lock);
        int count = gAsyncLoad.mainQueueCount;
        LeaveLock(&gAsyncLoad.lock);
        return count;
    }

    static int ActiveWorkers() {
        EnterLock(&gAsyncLoad.lock);
        int active = gAsyncLoad.active;
        LeaveLock(&gAsyncLoad.lock);
        return active;
    }

    std::vector<int32_t> Order() {
        EnterLock(&gAsyncLoad.lock);
        std::vector<int32_t> order = jobs_.order;
        LeaveLock(&gAsyncLoad.lock);
        return order;
    }

    JobLog jobs_;
};

TEST_F(AsyncLoadTest, PackedArgumentsReadBackInOrderAndLongItemsAreRefused) {
    const std::string text = "Z:\\graphics\\ship.png";
    const uint8_t bytes[5] = {1, 2, 3, 4, 5};
    auto pack = [&](uint8_t* buffer, uint32_t* offset) {
        return PackAsyncArgInt(buffer, offset, -7) | PackAsyncArgString(buffer, offset, nullptr) |
               PackAsyncArgString(buffer, offset, "") |
               PackAsyncArgBytes(buffer, offset, bytes, sizeof bytes) |
               PackAsyncArgString(buffer, offset, text.c_str()) |
               PackAsyncArgInt(buffer, offset, 0x12345678);
    };
    uint32_t size = 0;
    ASSERT_EQ(pack(nullptr, &size), 0);
    EXPECT_EQ(size, 4 + 2 + 3 + 7 + 2 + text.size() + 1 + 4);
    AsyncLoadRequest* request = PackAsyncLoadRequest(RecordJob, 1, pack);
    ASSERT_NE(request, nullptr);
    const uint8_t* args = AsyncLoadArguments(request);
    uint32_t offset = 0, length = 0;
    EXPECT_EQ(UnpackAsyncArgInt(args, &offset), -7);
    EXPECT_EQ(UnpackAsyncArgString(args, &offset), nullptr);
    const char* empty = UnpackAsyncArgString(args, &offset);
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(empty, "");
    const void* unpacked = UnpackAsyncArgBytes(args, &offset, &length);
    ASSERT_EQ(length, sizeof bytes);
    EXPECT_EQ(std::memcmp(unpacked, bytes, sizeof bytes), 0);
    EXPECT_EQ(UnpackAsyncArgString(args, &offset), text);
    EXPECT_EQ(UnpackAsyncArgInt(args, &offset), 0x12345678);
    EXPECT_EQ(offset, size);
    FreeAsyncLoadRequest(request);

    // The 16-bit prefix counts itself: 65,533 bytes are the most an item holds.
    std::vector<uint8_t> big(kMaxPackedItemBytes + 1, 'a');
    offset = 0;
    EXPECT_EQ(PackAsyncArgBytes(nullptr, &offset, big.data(), kMaxPackedItemBytes), 0);
    EXPECT_EQ(PackAsyncArgBytes(nullptr, &offset, big.data(), kMaxPackedItemBytes + 1), -1);
    big[kMaxPackedItemBytes - 1] = '\0';
    EXPECT_EQ(PackAsyncArgString(nullptr, &offset, reinterpret_cast<char*>(big.data())), 0);
    big[kMaxPackedItemBytes - 1] = 'a';
    big[kMaxPackedItemBytes] = '\0';
    EXPECT_EQ(PackAsyncArgString(nullptr, &offset, reinterpret_cast<char*>(big.data())), -1);
    EXPECT_EQ(PackAsyncLoadRequest(RecordJob, 1,
                                   [&](uint8_t* buffer, uint32_t* at) {
                                       return PackAsyncArgBytes(buffer, at, big.data(),
                                                                kMaxPackedItemBytes + 1);
                                   }),
              nullptr);
}

TEST_F(AsyncLoadTest, TheActiveLimitIsOneFewerThanTheProcessorsAndAtLeastOne) {
    for (int processors : {1, 2, 8}) {
        ASSERT_EQ(StartAsyncWorkers(processors), 0);
        EXPECT_EQ(gAsyncLoad.activeLimit, processors == 8 ? 7 : 1) << processors;
        StopAsyncWorkers();
        ShutdownAsyncLoad();
        ASSERT_EQ(SetupAsyncLoad(GetCurrentThreadId()), 0);
    }
}

TEST_F(AsyncLoadTest, OneWorkerTakesTheOldestRequestAndOfOneMillisecondTheHigherSlot) {
    Start(2);
    QueueAsyncLoadRequest(MakeRequest(BlockingJob, 0));
    ASSERT_TRUE(WaitFor([&] { return jobs_.started == 1; }));
    // The worker that runs stays the only one: these wait in its queue.
    QueueAsyncLoadRequest(MakeRequest(RecordJob, 1));
    QueueAsyncLoadRequest(MakeRequest(RecordJob, 2));
    TestAdvanceClockMicroseconds(5000);
    QueueAsyncLoadRequest(MakeRequest(RecordJob, 3));
    EXPECT_EQ(CountQueuedAsyncLoads(), 4);
    jobs_.release = true;
    ASSERT_TRUE(WaitFor([&] { return CountQueuedAsyncLoads() == 0; }));
    EXPECT_EQ(Order(), (std::vector<int32_t>{0, 2, 1, 3}));
}

TEST_F(AsyncLoadTest, WithdrawalAnswersByTheRequestsStateAndTheTopSlotIsReused) {
    Start(2);
    QueueAsyncLoadRequest(MakeRequest(BlockingJob, 0));
    ASSERT_TRUE(WaitFor([&] { return jobs_.started == 1; }));
    AsyncLoadRequest* single = MakeRequest(RecordJob, 1);
    AsyncLoadRequest* shared = MakeRequest(RecordJob, 2, 3);
    AsyncLoadRequest* top = MakeRequest(RecordJob, 3);
    QueueAsyncLoadRequest(single);
    QueueAsyncLoadRequest(shared);
    QueueAsyncLoadRequest(top);
    EXPECT_EQ(DeleteAsyncLoadRequest(0, 1), -2) << "it runs";
    EXPECT_EQ(DeleteAsyncLoadRequest(2, 1), -2) << "three handles wait on it";
    EXPECT_EQ(DeleteAsyncLoadRequest(3, 1), 0);
    EXPECT_EQ(DeleteAsyncLoadRequest(3, 1), -1);
    EXPECT_EQ(DeleteAsyncLoadRequest(1, 0), 0);
    EXPECT_EQ(gAsyncLoad.endIndex, 3);
    EXPECT_EQ(QueueAsyncLoadRequest(MakeRequest(RecordJob, 4)), 3);
    jobs_.release = true;
    ASSERT_TRUE(WaitFor([&] { return CountQueuedAsyncLoads() == 0; }));
    EXPECT_EQ(Order(), (std::vector<int32_t>{0, 4, 2}));
    EXPECT_EQ(gAsyncLoad.endIndex, 0);
}

TEST_F(AsyncLoadTest, AWorkersCallRunsOnTheMainThreadAtItsNextPumpPass) {
    Start(4);
    QueueAsyncLoadRequest(MakeRequest(HandingOverJob, 21));
    ASSERT_TRUE(WaitFor([&] { return MainQueueCount() == 1; }));
    // Without a pump pass the worker waits.
    for (int i = 0; i < 1000; ++i) SleepMilliseconds(0);
    EXPECT_EQ(jobs_.finished, 0);
    EXPECT_EQ(RunMainThreadRequests(), 0);
    EXPECT_EQ(jobs_.mainCallThread, GetCurrentThreadId());
    ASSERT_TRUE(WaitFor([&] { return jobs_.finished == 1; }));
    EXPECT_EQ(Order(), (std::vector<int32_t>{21}));
}

TEST_F(AsyncLoadTest, APumpPassRunsHandedOverCallsForAtMostTwoMilliseconds) {
    Start(8);
    for (int i = 0; i < 5; ++i) QueueAsyncLoadRequest(MakeRequest(HandingOverJob, i));
    ASSERT_TRUE(WaitFor([&] { return MainQueueCount() == 5; }));
    // Each call takes 1 ms: the third starts at 2 ms, the fourth would start after them.
    RunMainThreadRequests();
    EXPECT_EQ(MainQueueCount(), 2);
    ASSERT_TRUE(PumpUntil([&] { return jobs_.finished == 5; }));
}

// A call that cannot be made yet (what it needs is another job's) runs again at every pass
// while its worker waits aside: the one worker allowed to run takes the next job to its end.
TEST_F(AsyncLoadTest, ACallAskingToBeCalledAgainRunsAtEachPassWhileItsWorkerWaitsAside) {
    Start(2);
    QueueAsyncLoadRequest(MakeRequest(WaitingJob, 1));
    ASSERT_TRUE(WaitFor([&] { return MainQueueCount() == 1; }));
    for (int pass = 1; pass <= 3; ++pass) {
        RunMainThreadRequests();
        EXPECT_EQ(jobs_.calls, pass);
        EXPECT_EQ(MainQueueCount(), 1);
    }
    QueueAsyncLoadRequest(MakeRequest(HandingOverJob, 2));
    ASSERT_TRUE(PumpUntil([&] { return jobs_.finished == 1; }));
    jobs_.release = true;
    ASSERT_TRUE(PumpUntil([&] { return jobs_.finished == 2; }));
    EXPECT_EQ(Order(), (std::vector<int32_t>{2, 1}));
}

TEST_F(AsyncLoadTest, IdleWorkersStayAsleepWhileAJobWaitsForTheMainThread) {
    Start(8);
    QueueAsyncLoadRequest(MakeRequest(HandingOverJob, 1));
    ASSERT_TRUE(WaitFor([&] { return MainQueueCount() == 1 && ActiveWorkers() == 0; }));
    for (int i = 0; i < 2000; ++i) {
        ASSERT_EQ(ActiveWorkers(), 0) << "an idle worker was woken, pass " << i;
        SleepMilliseconds(0);
    }
    ASSERT_TRUE(PumpUntil([&] { return jobs_.finished == 1; }));
}

TEST_F(AsyncLoadTest, StoppingEndsAWorkerThatWaitsForTheMainThread) {
    Start(2);
    QueueAsyncLoadRequest(MakeRequest(HandingOverJob, 5));
    QueueAsyncLoadRequest(MakeRequest(HandingOverJob, 6));
    ASSERT_TRUE(WaitFor([&] { return MainQueueCount() == 2; }));
    EXPECT_EQ(StopAsyncWorkers(), 0);
    std::vector<int32_t> order = Order();
    std::sort(order.begin(), order.end());
    EXPECT_EQ(order, (std::vector<int32_t>{5, 6}));
    for (const AsyncWorker& w : gAsyncLoad.workers) EXPECT_EQ(w.exited, 1);
    EXPECT_EQ(CountQueuedAsyncLoads(), 0);
}

TEST_F(AsyncLoadTest, ACallFromAThreadThatIsNoWorkerEndsTheProgram) {
    Start(2);
    MainThreadRequest call{};
    call.function = OnMainThread;
    EXPECT_EXIT(CallOnMainThread(&call), ::testing::ExitedWithCode(255), "");
}

}  // namespace
