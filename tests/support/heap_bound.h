// Whether some work keeps its heap requests under a bound, without timing it. Sanitizer
// builds see every request through the allocator's hooks and compare the largest one; other
// builds run the work in a child process whose data segment may grow by no more than the
// bound, so a larger request fails there and leaves ENOMEM behind.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <functional>

#if defined(__SANITIZE_ADDRESS__)
#define HEAP_BOUND_THROUGH_HOOKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HEAP_BOUND_THROUGH_HOOKS 1
#endif
#endif

#if defined(HEAP_BOUND_THROUGH_HOOKS)
#include <atomic>

// The sanitizer runtime's hook registration: both hooks run on every allocation and release.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*,
                                                                            size_t),
                                                         void (*freeHook)(const volatile void*));
#else
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

// True when work returns true and asks for no block larger than `bytes` on the way.
#if defined(HEAP_BOUND_THROUGH_HOOKS)
inline std::atomic<size_t> gLargestHeapRequest{0};

inline void NoteHeapRequest(const volatile void*, size_t size) {
    size_t seen = gLargestHeapRequest.load();
    while (size > seen && !gLargestHeapRequest.compare_exchange_weak(seen, size)) {
    }
}

// The runtime takes a pair of hooks or none.
inline void IgnoreHeapRelease(const volatile void*) {}

inline bool StaysUnderHeapBound(size_t bytes, const std::function<bool()>& work) {
    static const bool hooked =
        __sanitizer_install_malloc_and_free_hooks(NoteHeapRequest, IgnoreHeapRelease) != 0;
    gLargestHeapRequest.store(0);
    bool done = work();
    return hooked && done && gLargestHeapRequest.load() <= bytes;
}
#else
// The data segment's present size, from the kernel's status of the process.
inline size_t DataSegmentBytes() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) return 0;
    char line[256];
    size_t kilobytes = 0;
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::sscanf(line, "VmData: %zu kB", &kilobytes) == 1) break;
    }
    std::fclose(status);
    return kilobytes * 1024;
}

inline bool StaysUnderHeapBound(size_t bytes, const std::function<bool()>& work) {
    std::fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        size_t present = DataSegmentBytes();
        rlimit limit = {present + bytes, present + bytes};
        if (present == 0 || setrlimit(RLIMIT_DATA, &limit) != 0) _exit(2);
        errno = 0;
        bool done = work();
        _exit(done && errno != ENOMEM ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}
#endif
