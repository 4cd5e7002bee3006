// The clocks: the multimedia time through the run-time DLL table (missing until winmm.dll is
// loaded), the performance counter scaled without overflow, and the local date and time.
#include "core/clocks.h"

#include <platform/win32.h>

#include "core/platform_dlls.h"
#include "core/string_functions.h"

ClockState gClocks;

int ProbePerformanceCounter() {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    gClocks.performanceFrequency = frequency.QuadPart;
    gClocks.hasPerformanceCounter = frequency.QuadPart != 0 ? 1 : 0;
    return gClocks.hasPerformanceCounter;
}

uint32_t GetMillisecondCount(int32_t unused) {
    if (gPlatformDlls.timeGetTime == nullptr) return 0xFFFFFFFFu;
    return gPlatformDlls.timeGetTime() & 0x7FFFFFFFu;
}

int64_t GetMicrosecondCount(int32_t unused) {
    if (gPlatformDlls.timeGetTime == nullptr) return -1;
    if (gClocks.hasPerformanceCounter == 0) {
        return static_cast<int64_t>(gPlatformDlls.timeGetTime()) * 1000;
    }
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    // counter x 1,000,000 needs up to 84 bits, so the product is taken in 128 bits.
    uint64_t count = static_cast<uint64_t>(counter.QuadPart);
    uint64_t frequency = static_cast<uint64_t>(gClocks.performanceFrequency);
    const uint32_t a[2] = {static_cast<uint32_t>(count), static_cast<uint32_t>(count >> 32)};
    const uint32_t b[2] = {1000000u, 0u};
    const uint32_t divisor[2] = {static_cast<uint32_t>(frequency),
                                 static_cast<uint32_t>(frequency >> 32)};
    uint32_t product[4];
    uint32_t quotient[2];
    MultiplyU64ToU128(a, b, product);
    DivideU128ByU64(product, divisor, quotient);
    return static_cast<int64_t>(static_cast<uint64_t>(quotient[1]) << 32 | quotient[0]);
}

int ReadLocalDateTime(int32_t out[6]) {
    SYSTEMTIME time{};
    GetLocalTime(&time);
    out[0] = time.wYear;
    out[1] = time.wMonth;
    out[2] = time.wDay;
    out[3] = time.wHour;
    out[4] = time.wMinute;
    out[5] = time.wSecond;
    return 0;
}

void FileTimeToDateTime(const FILETIME* time, int32_t out[6]) {
    FILETIME local;
    SYSTEMTIME parts{};
    if (!FileTimeToLocalFileTime(time, &local) || !FileTimeToSystemTime(&local, &parts)) {
        parts = SYSTEMTIME{};
    }
    out[0] = parts.wYear;
    out[1] = parts.wMonth;
    out[2] = parts.wDay;
    out[3] = parts.wHour;
    out[4] = parts.wMinute;
    out[5] = parts.wSecond;
}
