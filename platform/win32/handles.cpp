// The handle table: kernel objects behind small HANDLE values, closing, and waiting on the
// objects that can be signalled.
#include "handles.h"

#include <deque>
#include <vector>

#include "../base/clock.h"
#include "../base/test_overrides.h"
#include "platform/win32_kernel.h"

struct HandleTableState {
    std::mutex mutex;
    std::vector<std::shared_ptr<KernelObject>> slots;
    // Freed slots are reused oldest first, so a stale handle rarely names a new object at once.
    std::deque<size_t> freeSlots;
};

// Never destroyed: detached threads may still wait on handles while the process exits.
static HandleTableState& gHandles = *new HandleTableState;

// Handles are multiples of four from 4 up, as on Windows; never 0, -1 or -2.
static HANDLE HandleOfSlot(size_t slot) {
    return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>((slot + 1) * 4));
}

static bool SlotOfHandle(HANDLE handle, size_t* slot) {
    ULONG_PTR value = reinterpret_cast<ULONG_PTR>(handle);
    if (value == 0 || value % 4 != 0) return false;
    *slot = value / 4 - 1;
    return *slot < gHandles.slots.size() && gHandles.slots[*slot] != nullptr;
}

HANDLE InsertKernelObject(std::shared_ptr<KernelObject> object) {
    std::lock_guard lock(gHandles.mutex);
    size_t slot;
    if (!gHandles.freeSlots.empty()) {
        slot = gHandles.freeSlots.front();
        gHandles.freeSlots.pop_front();
    } else {
        slot = gHandles.slots.size();
        gHandles.slots.push_back(nullptr);
    }
    gHandles.slots[slot] = std::move(object);
    return HandleOfSlot(slot);
}

std::shared_ptr<KernelObject> FindKernelObject(HANDLE handle) {
    std::lock_guard lock(gHandles.mutex);
    size_t slot;
    if (!SlotOfHandle(handle, &slot)) return nullptr;
    return gHandles.slots[slot];
}

BOOL CloseHandle(HANDLE object) {
    if (object == CurrentThreadPseudoHandle()) return TRUE;
    std::shared_ptr<KernelObject> closed;  // destroyed outside the lock
    std::lock_guard lock(gHandles.mutex);
    size_t slot;
    if (!SlotOfHandle(object, &slot)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    closed = std::move(gHandles.slots[slot]);
    gHandles.freeSlots.push_back(slot);
    return TRUE;
}

// True when the object became signalled (and was taken, for an auto-reset one).
static bool TakeSignal(WaitableObject& waitable) {
    if (!waitable.signalled) return false;
    if (!waitable.manualReset) waitable.signalled = false;
    return true;
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
    if (InjectedFailure("WaitForSingleObject", ERROR_INVALID_HANDLE)) return WAIT_FAILED;
    std::shared_ptr<WaitableObject> waitable = FindKernelObjectOf<WaitableObject>(object);
    if (waitable == nullptr) return WAIT_FAILED;
    std::unique_lock lock(waitable->mutex);
    if (milliseconds == INFINITE) {
        waitable->changed.wait(lock, [&] { return TakeSignal(*waitable); });
        return WAIT_OBJECT_0;
    }
    // Under the virtual clock a timeout costs no real time beyond a short grace period in
    // which other threads may still signal; the clock then moves by the whole timeout.
    bool virtualClock = ClockIsVirtual();
    DWORD realWait =
        virtualClock ? std::min<DWORD>(milliseconds, kVirtualWaitGraceMs) : milliseconds;
    if (waitable->changed.wait_for(lock, std::chrono::milliseconds(realWait),
                                   [&] { return TakeSignal(*waitable); })) {
        return WAIT_OBJECT_0;
    }
    if (virtualClock)
        ClockAdvanceMicroseconds(static_cast<unsigned long long>(milliseconds) * 1000);
    return WAIT_TIMEOUT;
}
