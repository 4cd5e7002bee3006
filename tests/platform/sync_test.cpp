// Events, waits and recursive critical sections.
#include <atomic>
#include <vector>

#include "platform_test_support.h"

namespace {

using SyncTest = PlatformTest;

TEST_F(SyncTest, ManualResetEventStaysSignalledUntilReset) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 1), WAIT_OBJECT_0);
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 1), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(event));
}

TEST_F(SyncTest, AutoResetEventReleasesOneWaitPerSet) {
    HANDLE event = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    SetEvent(event);
    SetEvent(event);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    CloseHandle(event);
}

struct Relay {
    HANDLE request = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE reply = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    int rounds = 0;
};

DWORD Echo(LPVOID p) {
    auto* relay = static_cast<Relay*>(p);
    for (int i = 0; i < relay->rounds; ++i) {
        WaitForSingleObject(relay->request, INFINITE);
        SetEvent(relay->reply);
    }
    return 0;
}

TEST_F(SyncTest, EventsHandOverBetweenThreads) {
    Relay relay;
    relay.rounds = 200;
    HANDLE thread = CreateThread(nullptr, 0, Echo, &relay, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    for (int i = 0; i < relay.rounds; ++i) {
        SetEvent(relay.request);
        ASSERT_EQ(WaitForSingleObject(relay.reply, INFINITE), WAIT_OBJECT_0);
    }
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    CloseHandle(thread);
    CloseHandle(relay.request);
    CloseHandle(relay.reply);
}

TEST_F(SyncTest, BadHandlesAreRefused) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(event);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(SetEvent(event));
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
    // A thread handle is not an event.
    HANDLE thread = CreateThread(
        nullptr, 0, [](LPVOID) -> DWORD { return 0; }, nullptr, 0, nullptr);
    EXPECT_FALSE(SetEvent(thread));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);

    TestFailNthCall("CreateEventA", 1);
    EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, nullptr), nullptr);
}

struct Shared {
    CRITICAL_SECTION lock;
    long long total = 0;
};

DWORD AddUnderNestedLock(LPVOID p) {
    auto* shared = static_cast<Shared*>(p);
    for (int i = 0; i < 2000; ++i) {
        EnterCriticalSection(&shared->lock);
        EnterCriticalSection(&shared->lock);
        long long seen = shared->total;
        shared->total = seen + 1;
        LeaveCriticalSection(&shared->lock);
        LeaveCriticalSection(&shared->lock);
    }
    return 0;
}

TEST_F(SyncTest, CriticalSectionIsRecursiveAndExclusive) {
    Shared shared;
    InitializeCriticalSection(&shared.lock);
    std::vector<HANDLE> threads;
    for (int i = 0; i < 4; ++i) {
        threads.push_back(CreateThread(nullptr, 0, AddUnderNestedLock, &shared, 0, nullptr));
    }
    for (HANDLE thread : threads) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    EXPECT_EQ(shared.total, 8000);
    DeleteCriticalSection(&shared.lock);
}

DWORD TryFromOtherThread(LPVOID p) {
    auto* lock = static_cast<CRITICAL_SECTION*>(p);
    if (!TryEnterCriticalSection(lock)) return 0;
    LeaveCriticalSection(lock);
    return 1;
}

int TryOnAnotherThread(CRITICAL_SECTION* lock) {
    HANDLE thread = CreateThread(nullptr, 0, TryFromOtherThread, lock, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    return static_cast<int>(code);
}

TEST_F(SyncTest, CriticalSectionIsHeldUntilEveryEnterIsLeft) {
    CRITICAL_SECTION lock;
    InitializeCriticalSection(&lock);
    EnterCriticalSection(&lock);
    EXPECT_TRUE(TryEnterCriticalSection(&lock));
    LeaveCriticalSection(&lock);
    EXPECT_EQ(TryOnAnotherThread(&lock), 0);
    EnterCriticalSection(&lock);
    LeaveCriticalSection(&lock);
    EXPECT_EQ(TryOnAnotherThread(&lock), 0);
    LeaveCriticalSection(&lock);
    EXPECT_EQ(TryOnAnotherThread(&lock), 1);
    DeleteCriticalSection(&lock);
}

}  // namespace
