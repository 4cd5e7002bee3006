// winmm's clock and timers: timeGetTime from the layer's clock, timer periods (accepted, as
// the host's timers need no period), and timer events that call back from a thread of their
// own, once or periodically.
#include <algorithm>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "../base/clock.h"
#include "../base/test_overrides.h"
#include "platform/mmsystem.h"

constexpr UINT kPeriodMin = 1;
constexpr UINT kPeriodMax = 1000000;

// One timer event; guarded by its own mutex, which its thread holds except during callbacks.
struct TimerRecord {
    UINT id = 0;
    unsigned long long periodUs = 0;
    unsigned long long dueUs = 0;  // counted from the call that set the timer
    bool periodic = false;
    LPTIMECALLBACK callback = nullptr;
    DWORD_PTR user = 0;
    std::mutex mutex;
    std::condition_variable changed;
    std::thread::id thread;
    bool killed = false;
    bool finished = false;
};

struct WinmmTimeState {
    std::mutex mutex;
    std::map<UINT, std::shared_ptr<TimerRecord>> timers;
    UINT nextId = 1;
};

static WinmmTimeState gWinmm;

DWORD timeGetTime() {
    return static_cast<DWORD>(ClockReadMicroseconds() / 1000);
}

MMRESULT timeGetDevCaps(LPTIMECAPS caps, UINT capsSize) {
    if (InjectedFailure("timeGetDevCaps") || caps == nullptr || capsSize < sizeof(TIMECAPS)) {
        return TIMERR_NOCANDO;
    }
    caps->wPeriodMin = kPeriodMin;
    caps->wPeriodMax = kPeriodMax;
    return TIMERR_NOERROR;
}

MMRESULT timeBeginPeriod(UINT period) {
    return period >= kPeriodMin && period <= kPeriodMax ? TIMERR_NOERROR : TIMERR_NOCANDO;
}

MMRESULT timeEndPeriod(UINT period) {
    return timeBeginPeriod(period);
}

// Waits for each due time on the layer's clock. Under the virtual clock the time only moves
// when a test moves it, so the wait looks again every real millisecond.
static void RunTimer(std::shared_ptr<TimerRecord> timer) {
    std::unique_lock lock(timer->mutex);
    timer->thread = std::this_thread::get_id();
    unsigned long long& due = timer->dueUs;
    while (!timer->killed) {
        unsigned long long now = ClockPeekMicroseconds();
        if (now < due) {
            auto wait = std::chrono::microseconds(ClockIsVirtual() ? 1000 : due - now);
            timer->changed.wait_for(lock, wait);
            continue;
        }
        lock.unlock();
        timer->callback(timer->id, 0, timer->user, 0, 0);
        lock.lock();
        if (!timer->periodic) break;
        // When behind, the latest period still fires; older missed ones are skipped rather
        // than fired in a burst.
        due += timer->periodUs;
        unsigned long long after = ClockPeekMicroseconds();
        if (after >= due + timer->periodUs)
            due += (after - due) / timer->periodUs * timer->periodUs;
    }
    timer->finished = true;
    timer->changed.notify_all();
}

// Forgets one-shot timers that have fired, as Windows frees their ids.
static void ForgetFinishedTimers() {
    std::erase_if(gWinmm.timers, [](const auto& entry) {
        std::lock_guard lock(entry.second->mutex);
        return entry.second->finished;
    });
}

MMRESULT timeSetEvent(UINT delay, UINT resolution, LPTIMECALLBACK callback, DWORD_PTR user,
                      UINT eventType) {
    if (InjectedFailure("timeSetEvent") || callback == nullptr || delay < kPeriodMin ||
        delay > kPeriodMax) {
        return 0;
    }
    auto timer = std::make_shared<TimerRecord>();
    timer->periodUs = static_cast<unsigned long long>(delay) * 1000;
    timer->periodic = (eventType & TIME_PERIODIC) != 0;
    timer->callback = callback;
    timer->user = user;
    timer->dueUs = ClockPeekMicroseconds() + timer->periodUs;
    std::lock_guard lock(gWinmm.mutex);
    ForgetFinishedTimers();
    timer->id = gWinmm.nextId++;
    if (gWinmm.nextId == 0) gWinmm.nextId = 1;
    try {
        std::thread(RunTimer, timer).detach();
    } catch (const std::system_error&) {
        return 0;
    }
    gWinmm.timers[timer->id] = timer;
    return timer->id;
}

// Returns once the timer's callback can no longer run, unless called from that callback.
MMRESULT timeKillEvent(UINT timerId) {
    std::shared_ptr<TimerRecord> timer;
    {
        std::lock_guard lock(gWinmm.mutex);
        ForgetFinishedTimers();
        auto it = gWinmm.timers.find(timerId);
        if (it == gWinmm.timers.end()) return MMSYSERR_INVALPARAM;
        timer = std::move(it->second);
        gWinmm.timers.erase(it);
    }
    std::unique_lock lock(timer->mutex);
    timer->killed = true;
    timer->changed.notify_all();
    if (timer->thread != std::this_thread::get_id()) {
        timer->changed.wait(lock, [&] { return timer->finished; });
    }
    return TIMERR_NOERROR;
}
