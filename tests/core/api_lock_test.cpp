// The ApiLock: its owner re-enters, and waiting threads get it in the order in which they
// asked, also through the public entry points.
#include "core/api_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "app/message_pump.h"

namespace {

// Spins until the condition holds, for at most ten seconds.
template <class Condition>
bool WaitFor(Condition condition) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

TEST(ApiLockTest, WaitingThreadsGetTheLockInArrivalOrder) {
    EnterApiLock();
    std::mutex orderMutex;
    std::vector<int> order;
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; i++) {
        threads.emplace_back([i, &order, &orderMutex] {
            EnterApiLock();
            {
                std::lock_guard<std::mutex> guard(orderMutex);
                order.push_back(i);
            }
            LeaveApiLock();
        });
        // The next thread starts only once this one is queued.
        ASSERT_TRUE(WaitFor([i] { return CountApiLockWaiters() == i + 1; }));
    }
    LeaveApiLock();
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(CountApiLockWaiters(), 0);
}

TEST(ApiLockTest, TheOwnerReentersAndReleasesLevelByLevel) {
    EnterApiLock();
    EnterApiLock();
    std::atomic<bool> taken{false};
    std::thread other([&taken] {
        EnterApiLock();
        taken = true;
        LeaveApiLock();
    });
    ASSERT_TRUE(WaitFor([] { return CountApiLockWaiters() == 1; }));
    LeaveApiLock();
    // One level is still held: the waiter stays queued.
    EXPECT_FALSE(taken);
    EXPECT_EQ(CountApiLockWaiters(), 1);
    LeaveApiLock();
    other.join();
    EXPECT_TRUE(taken);
}

TEST(ApiLockTest, PumpMessagesWaitsForTheHolder) {
    EnterApiLock();
    std::atomic<int> result{1};
    std::thread pumping([&result] { result = PumpMessages(); });
    ASSERT_TRUE(WaitFor([] { return CountApiLockWaiters() == 1; }));
    EXPECT_EQ(result, 1);
    // The holder may pump too without blocking.
    EXPECT_EQ(PumpMessages(), 0);
    LeaveApiLock();
    pumping.join();
    EXPECT_EQ(result, 0);
}

TEST(ApiLockTest, ClosingWaitsUntilNobodyHoldsTheLock) {
    // Held by its owner alone: the close is refused.
    EnterApiLock();
    CloseApiLock();
    EXPECT_EQ(CountApiLockWaiters(), 0) << "closed while held";
    // Held and waited on: refused too, and the waiter is still woken by the owner's leave.
    std::atomic<bool> taken{false};
    std::thread waiter([&taken] {
        EnterApiLock();
        taken = true;
        LeaveApiLock();
    });
    ASSERT_TRUE(WaitFor([] { return CountApiLockWaiters() == 1; }));
    CloseApiLock();
    EXPECT_EQ(CountApiLockWaiters(), 1) << "closed while held and waited on";
    LeaveApiLock();
    waiter.join();
    EXPECT_TRUE(taken);
    // Free: the close goes through, and the next use makes the lock anew.
    CloseApiLock();
    EXPECT_EQ(CountApiLockWaiters(), -1);
    EnterApiLock();
    EXPECT_EQ(CountApiLockWaiters(), 0);
    LeaveApiLock();
    CloseApiLock();
}

}  // namespace
