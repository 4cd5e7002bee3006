// Monotonic time for Sleep and the performance counter, and the virtual clock that replaces
// it in tests so that waits cost no real time and runs replay exactly.
#include "clock.h"

#include <sched.h>
#include <time.h>

#include <atomic>
#include <cerrno>

#include "platform/testing.h"
#include "platform/win32_kernel.h"

constexpr long long kRealCounterFrequency = 1000000000;  // nanoseconds

struct ClockState {
    std::atomic<bool> virtualOn{false};
    std::atomic<unsigned long long> virtualUs{0};
    std::atomic<unsigned long long> stepPerRead{0};
    std::atomic<long long> virtualFrequency{1000000};
};

static ClockState gClock;

static unsigned long long MonotonicNanoseconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<unsigned long long>(now.tv_sec) * 1000000000ULL +
           static_cast<unsigned long long>(now.tv_nsec);
}

bool ClockIsVirtual() {
    return gClock.virtualOn.load();
}

unsigned long long ClockReadMicroseconds() {
    if (!ClockIsVirtual()) return MonotonicNanoseconds() / 1000;
    return gClock.virtualUs.fetch_add(gClock.stepPerRead.load());
}

unsigned long long ClockPeekMicroseconds() {
    if (!ClockIsVirtual()) return MonotonicNanoseconds() / 1000;
    return gClock.virtualUs.load();
}

void ClockAdvanceMicroseconds(unsigned long long us) {
    if (ClockIsVirtual()) gClock.virtualUs.fetch_add(us);
}

// The deadline is absolute, so that the time signal handlers take is not added to the wait.
void SleepUntilMicroseconds(unsigned long long us) {
    timespec until{static_cast<time_t>(us / 1000000), static_cast<long>(us % 1000000) * 1000L};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

void TestUseVirtualClock(bool on) {
    gClock.virtualOn = on;
}
void TestSetClockMicroseconds(unsigned long long us) {
    gClock.virtualUs = us;
}
void TestAdvanceClockMicroseconds(unsigned long long us) {
    gClock.virtualUs.fetch_add(us);
}
void TestSetClockStepPerRead(unsigned long long us) {
    gClock.stepPerRead = us;
}
void TestSetPerformanceFrequency(long long frequency) {
    gClock.virtualFrequency = frequency;
}

void Sleep(DWORD milliseconds) {
    if (ClockIsVirtual()) {
        ClockAdvanceMicroseconds(static_cast<unsigned long long>(milliseconds) * 1000);
        sched_yield();
        return;
    }
    if (milliseconds == 0) {
        sched_yield();
        return;
    }
    SleepUntilMicroseconds(MonotonicNanoseconds() / 1000 +
                           static_cast<unsigned long long>(milliseconds) * 1000);
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    long long value = ClockIsVirtual() ? gClock.virtualFrequency.load() : kRealCounterFrequency;
    frequency->QuadPart = value;
    return value > 0 ? TRUE : FALSE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
    if (!ClockIsVirtual()) {
        count->QuadPart = static_cast<LONGLONG>(MonotonicNanoseconds());
        return TRUE;
    }
    long long frequency = gClock.virtualFrequency.load();
    if (frequency <= 0) {
        count->QuadPart = 0;
        return FALSE;
    }
    unsigned __int128 ticks = static_cast<unsigned __int128>(ClockReadMicroseconds()) *
                              static_cast<unsigned long long>(frequency) / 1000000;
    count->QuadPart = static_cast<LONGLONG>(ticks);
    return TRUE;
}
