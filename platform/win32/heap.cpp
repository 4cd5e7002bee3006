// The process heap over malloc. Each block remembers its size, so that a zeroing reallocation
// clears exactly the bytes beyond the old size, as Windows does.
#include <cstdlib>
#include <cstring>

#include "../base/test_overrides.h"
#include "platform/win32_kernel.h"

// Sits before every block; 16 bytes keep the caller's memory as aligned as malloc's.
struct alignas(16) HeapBlockHeader {
    SIZE_T size;
};

static HeapBlockHeader* HeaderOf(LPCVOID memory) {
    return reinterpret_cast<HeapBlockHeader*>(const_cast<void*>(memory)) - 1;
}

static bool SizeFits(SIZE_T bytes) {
    return bytes <= SIZE_MAX - sizeof(HeapBlockHeader);
}

HANDLE GetProcessHeap() {
    static int processHeap;
    return &processHeap;
}

LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
    if (InjectedFailure("HeapAlloc") || !SizeFits(bytes)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* header = static_cast<HeapBlockHeader*>(std::malloc(sizeof(HeapBlockHeader) + bytes));
    if (header == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    header->size = bytes;
    if ((flags & HEAP_ZERO_MEMORY) != 0) std::memset(header + 1, 0, bytes);
    return header + 1;
}

LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID memory, SIZE_T bytes) {
    if (memory == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (InjectedFailure("HeapReAlloc") || !SizeFits(bytes)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HeapBlockHeader* header = HeaderOf(memory);
    SIZE_T oldSize = header->size;
    if ((flags & HEAP_REALLOC_IN_PLACE_ONLY) != 0) {
        // Shrinking keeps the block where it is; growing in place is never offered.
        if (bytes > oldSize) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        header->size = bytes;
        return memory;
    }
    auto* moved =
        static_cast<HeapBlockHeader*>(std::realloc(header, sizeof(HeapBlockHeader) + bytes));
    if (moved == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    moved->size = bytes;
    if ((flags & HEAP_ZERO_MEMORY) != 0 && bytes > oldSize) {
        std::memset(reinterpret_cast<BYTE*>(moved + 1) + oldSize, 0, bytes - oldSize);
    }
    return moved + 1;
}

BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID memory) {
    if (memory != nullptr) std::free(HeaderOf(memory));
    return TRUE;
}

SIZE_T HeapSize(HANDLE heap, DWORD flags, LPCVOID memory) {
    if (memory == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return static_cast<SIZE_T>(-1);
    }
    return HeaderOf(memory)->size;
}
