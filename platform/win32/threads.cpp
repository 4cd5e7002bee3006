// Threads over POSIX threads: suspended starts, self-suspension, resume counts, exit codes,
// best-effort priorities, and thread handles that become signalled when the thread ends.
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

#include "../base/test_overrides.h"
#include "handles.h"
#include "platform/win32_kernel.h"

// `signalled` (from WaitableObject) means the thread has ended; all fields are guarded by
// `mutex`.
struct ThreadObject : WaitableObject {
    std::condition_variable resumed;
    LPTHREAD_START_ROUTINE entry = nullptr;
    LPVOID parameter = nullptr;
    bool started = false;
    DWORD suspendCount = 0;
    DWORD pendingExitCode = 0;
    DWORD exitCode = STILL_ACTIVE;
    int priority = THREAD_PRIORITY_NORMAL;
    pid_t tid = 0;
};

static thread_local std::shared_ptr<ThreadObject> tCurrentThread;
static thread_local DWORD tThreadId = 0;

DWORD GetCurrentThreadId() {
    if (tThreadId == 0) tThreadId = static_cast<DWORD>(gettid());
    return tThreadId;
}

HANDLE GetCurrentThread() {
    return CurrentThreadPseudoHandle();
}

// The record of the calling thread, made on first use for threads the layer did not start.
static std::shared_ptr<ThreadObject> CurrentThreadObject() {
    if (tCurrentThread == nullptr) {
        tCurrentThread = std::make_shared<ThreadObject>();
        tCurrentThread->started = true;
        tCurrentThread->tid = static_cast<pid_t>(GetCurrentThreadId());
    }
    return tCurrentThread;
}

// The thread behind a handle, the pseudo handle included; else null with ERROR_INVALID_HANDLE.
static std::shared_ptr<ThreadObject> FindThreadObject(HANDLE handle) {
    if (handle == CurrentThreadPseudoHandle()) return CurrentThreadObject();
    return FindKernelObjectOf<ThreadObject>(handle);
}

// Marks the thread ended when its entry returns or ExitThread unwinds it.
struct ThreadEndMarker {
    ThreadObject& thread;
    ~ThreadEndMarker() {
        std::lock_guard lock(thread.mutex);
        thread.exitCode = thread.pendingExitCode;
        thread.signalled = true;
        thread.changed.notify_all();
    }
};

static void* ThreadMain(void* argument) {
    std::shared_ptr<ThreadObject>* handOver = static_cast<std::shared_ptr<ThreadObject>*>(argument);
    tCurrentThread = std::move(*handOver);
    delete handOver;
    ThreadObject& self = *tCurrentThread;
    {
        std::unique_lock lock(self.mutex);
        self.tid = static_cast<pid_t>(GetCurrentThreadId());
        self.started = true;
        self.resumed.notify_all();
        self.resumed.wait(lock, [&] { return self.suspendCount == 0; });
    }
    ThreadEndMarker marker{self};
    self.pendingExitCode = self.entry(self.parameter);
    return nullptr;
}

// Windows priority levels as nice values; raising needs privileges and may be refused.
static int NiceOfPriority(int priority) {
    switch (priority) {
        case THREAD_PRIORITY_IDLE:
            return 19;
        case THREAD_PRIORITY_LOWEST:
            return 10;
        case THREAD_PRIORITY_BELOW_NORMAL:
            return 5;
        case THREAD_PRIORITY_ABOVE_NORMAL:
            return -5;
        case THREAD_PRIORITY_HIGHEST:
            return -10;
        case THREAD_PRIORITY_TIME_CRITICAL:
            return -20;
        default:
            return 0;
    }
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize,
                    LPTHREAD_START_ROUTINE startAddress, LPVOID parameter, DWORD creationFlags,
                    LPDWORD threadId) {
    if (InjectedFailure("CreateThread", ERROR_NOT_ENOUGH_MEMORY)) return nullptr;
    if (startAddress == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto thread = std::make_shared<ThreadObject>();
    thread->entry = startAddress;
    thread->parameter = parameter;
    thread->suspendCount = (creationFlags & CREATE_SUSPENDED) != 0 ? 1 : 0;

    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (stackSize != 0) {
        pthread_attr_setstacksize(&attr, std::max<SIZE_T>(stackSize, PTHREAD_STACK_MIN));
    }
    auto* handOver = new std::shared_ptr<ThreadObject>(thread);
    pthread_t pthread;
    int failed = pthread_create(&pthread, &attr, ThreadMain, handOver);
    pthread_attr_destroy(&attr);
    if (failed != 0) {
        delete handOver;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // The id must be known on return, so wait until the thread has published it.
    {
        std::unique_lock lock(thread->mutex);
        thread->resumed.wait(lock, [&] { return thread->started; });
    }
    if (threadId != nullptr) *threadId = static_cast<DWORD>(thread->tid);
    return InsertKernelObject(thread);
}

DWORD ResumeThread(HANDLE handle) {
    if (InjectedFailure("ResumeThread", ERROR_INVALID_HANDLE)) return static_cast<DWORD>(-1);
    std::shared_ptr<ThreadObject> thread = FindThreadObject(handle);
    if (thread == nullptr) return static_cast<DWORD>(-1);
    std::lock_guard lock(thread->mutex);
    DWORD previous = thread->suspendCount;
    // A resume of a running thread does nothing and is not remembered.
    if (previous > 0 && --thread->suspendCount == 0) thread->resumed.notify_all();
    return previous;
}

// Only a thread's suspension of itself is offered: stopping another thread at an arbitrary
// point cannot be done safely here, and nothing needs it.
DWORD SuspendThread(HANDLE handle) {
    if (InjectedFailure("SuspendThread", ERROR_INVALID_HANDLE)) return static_cast<DWORD>(-1);
    std::shared_ptr<ThreadObject> thread = FindThreadObject(handle);
    if (thread == nullptr) return static_cast<DWORD>(-1);
    if (thread != CurrentThreadObject()) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return static_cast<DWORD>(-1);
    }
    std::unique_lock lock(thread->mutex);
    DWORD previous = thread->suspendCount++;
    thread->resumed.wait(lock, [&] { return thread->suspendCount == 0; });
    return previous;
}

void ExitThread(DWORD exitCode) {
    std::shared_ptr<ThreadObject> self = CurrentThreadObject();
    {
        std::lock_guard lock(self->mutex);
        self->pendingExitCode = exitCode;
    }
    pthread_exit(nullptr);
}

BOOL GetExitCodeThread(HANDLE handle, LPDWORD exitCode) {
    std::shared_ptr<ThreadObject> thread = FindThreadObject(handle);
    if (thread == nullptr) return FALSE;
    if (exitCode == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard lock(thread->mutex);
    *exitCode = thread->signalled ? thread->exitCode : STILL_ACTIVE;
    return TRUE;
}

BOOL SetThreadPriority(HANDLE handle, int priority) {
    std::shared_ptr<ThreadObject> thread = FindThreadObject(handle);
    if (thread == nullptr) return FALSE;
    if (priority != THREAD_PRIORITY_IDLE && priority != THREAD_PRIORITY_TIME_CRITICAL &&
        (priority < THREAD_PRIORITY_LOWEST || priority > THREAD_PRIORITY_HIGHEST)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard lock(thread->mutex);
    thread->priority = priority;
    // An ended thread's id may already belong to another thread.
    if (!thread->signalled)
        setpriority(PRIO_PROCESS, static_cast<id_t>(thread->tid), NiceOfPriority(priority));
    return TRUE;
}

int GetThreadPriority(HANDLE handle) {
    std::shared_ptr<ThreadObject> thread = FindThreadObject(handle);
    if (thread == nullptr) return THREAD_PRIORITY_ERROR_RETURN;
    std::lock_guard lock(thread->mutex);
    return thread->priority;
}
