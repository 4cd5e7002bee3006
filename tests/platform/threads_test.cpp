// Threads: suspended starts, self-suspension and resume counts, exit codes, waiting on a
// thread's end, ids and priorities.
#include <atomic>

#include "platform_test_support.h"

namespace {

using ThreadTest = PlatformTest;

struct Gate {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ~Gate() { CloseHandle(event); }
};

DWORD ReturnParameter(LPVOID parameter) {
    return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(parameter));
}

TEST_F(ThreadTest, SuspendedStartRunsOnlyAfterResume) {
    std::atomic<int> runs{0};
    auto entry = [](LPVOID p) -> DWORD {
        ++*static_cast<std::atomic<int>*>(p);
        return 5;
    };
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, entry, &runs, CREATE_SUSPENDED, &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);
    EXPECT_EQ(runs.load(), 0);
    EXPECT_EQ(ResumeThread(thread), 1u);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(runs.load(), 1);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 5u);
    // An ended thread is signalled for good.
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
    EXPECT_EQ(ResumeThread(thread), 0u);
    EXPECT_TRUE(CloseHandle(thread));
}

struct ParkedThread {
    Gate goOn;
    std::atomic<DWORD> suspendResult{12345};
};

DWORD ParkAfterGate(LPVOID p) {
    auto* parked = static_cast<ParkedThread*>(p);
    WaitForSingleObject(parked->goOn.event, INFINITE);
    parked->suspendResult = SuspendThread(GetCurrentThread());
    return 9;
}

TEST_F(ThreadTest, ResumeOfRunningThreadIsNotRememberedAndSelfSuspensionWaits) {
    ParkedThread parked;
    HANDLE thread = CreateThread(nullptr, 0, ParkAfterGate, &parked, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    // Running, not suspended: nothing happens and nothing is kept for later.
    EXPECT_EQ(ResumeThread(thread), 0u);
    SetEvent(parked.goOn.event);
    // The thread must now really park: either a resume finds it suspended, or it ran through.
    DWORD previous = 0;
    ASSERT_TRUE(WaitUntil([&] {
        previous = ResumeThread(thread);
        return previous != 0 || WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
    }));
    EXPECT_EQ(previous, 1u);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(parked.suspendResult.load(), 0u);
    CloseHandle(thread);
}

struct Unwound {
    std::atomic<int>* counter;
    ~Unwound() { ++*counter; }
};

DWORD ExitEarly(LPVOID p) {
    Unwound guard{static_cast<std::atomic<int>*>(p)};
    ExitThread(7);
}

TEST_F(ThreadTest, ExitThreadGivesItsCodeAndUnwindsTheThread) {
    std::atomic<int> destroyed{0};
    HANDLE thread = CreateThread(nullptr, 0, ExitEarly, &destroyed, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(destroyed.load(), 1);
    CloseHandle(thread);
}

TEST_F(ThreadTest, ThreadIdsAreStableNonZeroAndDistinct) {
    DWORD mine = GetCurrentThreadId();
    EXPECT_NE(mine, 0u);
    EXPECT_EQ(GetCurrentThreadId(), mine);
    std::atomic<DWORD> seen{0};
    auto entry = [](LPVOID p) -> DWORD {
        *static_cast<std::atomic<DWORD>*>(p) = GetCurrentThreadId();
        return 0;
    };
    DWORD reported = 0;
    HANDLE thread = CreateThread(nullptr, 0, entry, &seen, 0, &reported);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    EXPECT_EQ(seen.load(), reported);
    EXPECT_NE(reported, mine);
    CloseHandle(thread);
}

TEST_F(ThreadTest, PrioritiesAreKeptAndBadLevelsRefused) {
    HANDLE thread = CreateThread(nullptr, 0, ReturnParameter, nullptr, CREATE_SUSPENDED, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_NORMAL);
    for (int level : {THREAD_PRIORITY_LOWEST, THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_HIGHEST,
                      THREAD_PRIORITY_TIME_CRITICAL}) {
        EXPECT_TRUE(SetThreadPriority(thread, level));
        EXPECT_EQ(GetThreadPriority(thread), level);
    }
    EXPECT_FALSE(SetThreadPriority(thread, 5));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_TIME_CRITICAL);
    ResumeThread(thread);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_ERROR_RETURN);
}

TEST_F(ThreadTest, OnlySelfSuspensionIsOffered) {
    HANDLE thread = CreateThread(nullptr, 0, ReturnParameter, nullptr, CREATE_SUSPENDED, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(SuspendThread(thread), static_cast<DWORD>(-1));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    EXPECT_EQ(ResumeThread(thread), 1u);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

TEST_F(ThreadTest, ExitCodeOfReturnAndFailedCreation) {
    HANDLE thread =
        CreateThread(nullptr, 0, ReturnParameter, reinterpret_cast<LPVOID>(300), 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, 300u);
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_FALSE(CloseHandle(thread));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(GetExitCodeThread(thread, &code));

    TestFailNthCall("CreateThread", 2);
    HANDLE first = CreateThread(nullptr, 0, ReturnParameter, nullptr, 0, nullptr);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(CreateThread(nullptr, 0, ReturnParameter, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    WaitForSingleObject(first, INFINITE);
    CloseHandle(first);
}

}  // namespace
