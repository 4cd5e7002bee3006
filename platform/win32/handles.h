// The handle table: kernel objects behind HANDLE values (events, threads, files, find
// handles) and the signalled state that the waitable ones share.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/win32_kernel.h"

struct KernelObject {
    virtual ~KernelObject() = default;
};

// Events and threads: WaitForSingleObject waits for `signalled` under `mutex`.
struct WaitableObject : KernelObject {
    std::mutex mutex;
    std::condition_variable changed;
    bool signalled = false;
    bool manualReset = true;
};

// A new handle for the object.
HANDLE InsertKernelObject(std::shared_ptr<KernelObject> object);
// The object behind a handle, or null; the thread functions resolve the current-thread pseudo
// handle themselves.
std::shared_ptr<KernelObject> FindKernelObject(HANDLE handle);

// A pseudo handle, as on Windows: it always means the calling thread, and closing it does
// nothing.
inline HANDLE CurrentThreadPseudoHandle() {
    return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2));
}

// The object behind a handle when it is of type T; else null with ERROR_INVALID_HANDLE.
template <class T>
std::shared_ptr<T> FindKernelObjectOf(HANDLE handle) {
    std::shared_ptr<T> object = std::dynamic_pointer_cast<T>(FindKernelObject(handle));
    if (object == nullptr) SetLastError(ERROR_INVALID_HANDLE);
    return object;
}
