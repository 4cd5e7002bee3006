// Events (manual or auto reset) and recursive critical sections.
#include <new>

#include "../base/test_overrides.h"
#include "handles.h"
#include "platform/win32_kernel.h"

static_assert(sizeof(std::recursive_mutex) <= sizeof(CRITICAL_SECTION::opaque));
static_assert(alignof(std::recursive_mutex) <= alignof(CRITICAL_SECTION));

struct EventObject : WaitableObject {};

// Named events are treated as unnamed: nothing here shares events between processes.
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                    LPCSTR name) {
    if (InjectedFailure("CreateEventA", ERROR_NOT_ENOUGH_MEMORY)) return nullptr;
    auto event = std::make_shared<EventObject>();
    event->manualReset = manualReset != FALSE;
    event->signalled = initialState != FALSE;
    return InsertKernelObject(std::move(event));
}

static BOOL SetEventState(HANDLE handle, bool signalled) {
    std::shared_ptr<EventObject> event = FindKernelObjectOf<EventObject>(handle);
    if (event == nullptr) return FALSE;
    std::lock_guard lock(event->mutex);
    event->signalled = signalled;
    if (signalled) event->changed.notify_all();
    return TRUE;
}

BOOL SetEvent(HANDLE event) {
    return SetEventState(event, true);
}
BOOL ResetEvent(HANDLE event) {
    return SetEventState(event, false);
}

static std::recursive_mutex& LockOf(LPCRITICAL_SECTION section) {
    return *std::launder(reinterpret_cast<std::recursive_mutex*>(section->opaque));
}

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
    new (section->opaque) std::recursive_mutex();
}

void EnterCriticalSection(LPCRITICAL_SECTION section) {
    LockOf(section).lock();
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section) {
    return LockOf(section).try_lock() ? TRUE : FALSE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) {
    LockOf(section).unlock();
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
    LockOf(section).~recursive_mutex();
}
