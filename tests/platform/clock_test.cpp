// The virtual clock and what follows it (timeGetTime, the performance counter, Sleep, timed
// waits, the time-stamp counter, winmm timer events), and FILETIME conversions.
#include <stdlib.h>
#include <time.h>

#include <atomic>

#include "platform/cpu.h"
#include "platform/mmsystem.h"
#include "platform_test_support.h"

namespace {

class VirtualClockTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        TestUseVirtualClock(true);
    }
};

LONGLONG Counter() {
    LARGE_INTEGER count;
    EXPECT_TRUE(QueryPerformanceCounter(&count));
    return count.QuadPart;
}

TEST_F(VirtualClockTest, ReadsFollowTheClockAndItsStep) {
    TestSetClockMicroseconds(5'000'250);
    EXPECT_EQ(timeGetTime(), 5000u);
    LARGE_INTEGER frequency;
    EXPECT_TRUE(QueryPerformanceFrequency(&frequency));
    EXPECT_EQ(frequency.QuadPart, 1'000'000);
    EXPECT_EQ(Counter(), 5'000'250);
    TestAdvanceClockMicroseconds(750);
    EXPECT_EQ(Counter(), 5'001'000);
    EXPECT_EQ(ReadTimeStampCounter(), 5'001'000ULL * 3000);

    TestSetClockStepPerRead(1000);
    EXPECT_EQ(timeGetTime(), 5001u);
    EXPECT_EQ(timeGetTime(), 5002u);
    EXPECT_EQ(Counter(), 5'003'000);
    EXPECT_EQ(timeGetTime(), 5004u);
}

TEST_F(VirtualClockTest, MillisecondsWrapAt32Bits) {
    TestSetClockMicroseconds((1ULL << 32) * 1000 + 7000);
    EXPECT_EQ(timeGetTime(), 7u);
}

TEST_F(VirtualClockTest, FrequencyOverrideAndMissingCounter) {
    TestSetClockMicroseconds(3'000'000);
    TestSetPerformanceFrequency(10'000'000);
    EXPECT_EQ(Counter(), 30'000'000);
    TestSetPerformanceFrequency(0);
    LARGE_INTEGER value;
    EXPECT_FALSE(QueryPerformanceFrequency(&value));
    EXPECT_EQ(value.QuadPart, 0);
    EXPECT_FALSE(QueryPerformanceCounter(&value));
}

TEST_F(VirtualClockTest, SleepAndTimedOutWaitsMoveTheClockInstead) {
    TestSetClockMicroseconds(0);
    Sleep(24);
    EXPECT_EQ(timeGetTime(), 24u);
    Sleep(0);
    EXPECT_EQ(timeGetTime(), 24u);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // An hour of timeout costs no real hour.
    EXPECT_EQ(WaitForSingleObject(event, 3'600'000), WAIT_TIMEOUT);
    EXPECT_EQ(timeGetTime(), 3'600'024u);
    SetEvent(event);
    EXPECT_EQ(WaitForSingleObject(event, 100), WAIT_OBJECT_0);
    EXPECT_EQ(timeGetTime(), 3'600'024u);
    CloseHandle(event);
}

TEST_F(PlatformTest, RealClockMovesForward) {
    LARGE_INTEGER frequency, first, second;
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    EXPECT_GT(frequency.QuadPart, 0);
    QueryPerformanceCounter(&first);
    ASSERT_TRUE(WaitUntil([&] {
        QueryPerformanceCounter(&second);
        return second.QuadPart > first.QuadPart;
    }));
    DWORD start = timeGetTime();
    ASSERT_TRUE(WaitUntil([&] { return timeGetTime() != start; }));
}

void CountTick(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    ++*reinterpret_cast<std::atomic<int>*>(user);
}

TEST_F(VirtualClockTest, PeriodicTimerFiresAsTheClockMovesAndStopsWhenKilled) {
    std::atomic<int> ticks{0};
    UINT id = timeSetEvent(10, 1, CountTick, reinterpret_cast<DWORD_PTR>(&ticks), TIME_PERIODIC);
    ASSERT_NE(id, 0u);
    EXPECT_EQ(ticks.load(), 0);
    TestAdvanceClockMicroseconds(10'000);
    ASSERT_TRUE(WaitUntil([&] { return ticks.load() >= 1; }));
    TestAdvanceClockMicroseconds(10'000);
    ASSERT_TRUE(WaitUntil([&] { return ticks.load() >= 2; }));
    EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);
    int seen = ticks.load();
    TestAdvanceClockMicroseconds(1'000'000);
    EXPECT_EQ(ticks.load(), seen);
    EXPECT_EQ(timeKillEvent(id), MMSYSERR_INVALPARAM);
}

TEST_F(VirtualClockTest, OneShotTimerFiresOnceAndForgetsItsId) {
    std::atomic<int> ticks{0};
    UINT id = timeSetEvent(5, 1, CountTick, reinterpret_cast<DWORD_PTR>(&ticks), TIME_ONESHOT);
    ASSERT_NE(id, 0u);
    TestAdvanceClockMicroseconds(50'000);
    ASSERT_TRUE(WaitUntil([&] { return ticks.load() == 1; }));
    // Once it has fired its id is released, as on Windows.
    ASSERT_TRUE(WaitUntil([&] { return timeKillEvent(id) == MMSYSERR_INVALPARAM; }));
    EXPECT_EQ(ticks.load(), 1);
}

struct SelfKill {
    std::atomic<UINT> id{0};
    std::atomic<int> calls{0};
};

void KillFromCallback(UINT timerId, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    auto* self = reinterpret_cast<SelfKill*>(user);
    ++self->calls;
    timeKillEvent(timerId);
}

TEST_F(VirtualClockTest, TimerCanBeKilledFromItsOwnCallback) {
    SelfKill self;
    self.id =
        timeSetEvent(1, 1, KillFromCallback, reinterpret_cast<DWORD_PTR>(&self), TIME_PERIODIC);
    ASSERT_NE(self.id.load(), 0u);
    TestAdvanceClockMicroseconds(1000);
    ASSERT_TRUE(WaitUntil([&] { return self.calls.load() == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return timeKillEvent(self.id) == MMSYSERR_INVALPARAM; }));
    TestAdvanceClockMicroseconds(100'000);
    EXPECT_EQ(self.calls.load(), 1);
}

TEST_F(PlatformTest, FileTimesConvertToAndFromCalendarDates) {
    SYSTEMTIME t;
    FILETIME zero{0, 0};
    ASSERT_TRUE(FileTimeToSystemTime(&zero, &t));
    EXPECT_EQ(t.wYear, 1601);
    EXPECT_EQ(t.wMonth, 1);
    EXPECT_EQ(t.wDay, 1);
    EXPECT_EQ(t.wDayOfWeek, 1);  // a Monday
    ULONGLONG unixEpoch = 116444736000000000ULL;
    FILETIME epoch{static_cast<DWORD>(unixEpoch), static_cast<DWORD>(unixEpoch >> 32)};
    ASSERT_TRUE(FileTimeToSystemTime(&epoch, &t));
    EXPECT_EQ(t.wYear, 1970);
    EXPECT_EQ(t.wDayOfWeek, 4);  // a Thursday

    SYSTEMTIME leap{2000, 2, 0, 29, 12, 34, 56, 789};
    FILETIME leapTime;
    ASSERT_TRUE(SystemTimeToFileTime(&leap, &leapTime));
    SYSTEMTIME back;
    ASSERT_TRUE(FileTimeToSystemTime(&leapTime, &back));
    EXPECT_EQ(back.wYear, 2000);
    EXPECT_EQ(back.wMonth, 2);
    EXPECT_EQ(back.wDay, 29);
    EXPECT_EQ(back.wDayOfWeek, 2);  // a Tuesday
    EXPECT_EQ(back.wHour, 12);
    EXPECT_EQ(back.wMinute, 34);
    EXPECT_EQ(back.wSecond, 56);
    EXPECT_EQ(back.wMilliseconds, 789);

    SYSTEMTIME noLeap{2001, 2, 0, 29, 0, 0, 0, 0};
    EXPECT_FALSE(SystemTimeToFileTime(&noLeap, &leapTime));
    SYSTEMTIME century{1900, 2, 0, 29, 0, 0, 0, 0};
    EXPECT_FALSE(SystemTimeToFileTime(&century, &leapTime));
    FILETIME tooLate{0, 0x80000000};
    EXPECT_FALSE(FileTimeToSystemTime(&tooLate, &t));
}

TEST_F(PlatformTest, LocalFileTimeAddsTheZoneBias) {
    const char* saved = getenv("TZ");
    std::string previous = saved != nullptr ? saved : "";
    setenv("TZ", "JST-9", 1);
    tzset();
    FILETIME utc{0, 0x01000000}, local;
    ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
    ULONGLONG difference = ((ULONGLONG{local.dwHighDateTime} << 32) | local.dwLowDateTime) -
                           ((ULONGLONG{utc.dwHighDateTime} << 32) | utc.dwLowDateTime);
    EXPECT_EQ(difference, 9ULL * 3600 * 10'000'000);
    if (saved != nullptr) {
        setenv("TZ", previous.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

}  // namespace
