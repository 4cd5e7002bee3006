// What the system reports (processors, Windows version, memory, code pages) and process
// exit. The layer presents Windows 7 SP1 with code page 932.
#include <sys/sysinfo.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "../base/test_overrides.h"
#include "platform/win32_kernel.h"

constexpr UINT kAnsiCodePage = 932;
constexpr DWORD_PTR kMaxApplicationAddress = 0x7FFFFFFEFFFF;
constexpr DWORDLONG kTotalVirtual = 0x7FFFFFFE0000;

void ExitProcess(UINT exitCode) {
    std::fflush(nullptr);
    _exit(static_cast<int>(exitCode & 0xFF));
}

static DWORD ProcessorCount() {
    int count = OverriddenProcessorCount();
    if (count <= 0) count = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
    return count > 0 ? static_cast<DWORD>(count) : 1;
}

void GetSystemInfo(LPSYSTEM_INFO info) {
    *info = {};
#if defined(__aarch64__)
    info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_ARM64;
#else
    info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    info->dwProcessorType = PROCESSOR_AMD_X8664;
#endif
    info->dwPageSize = static_cast<DWORD>(sysconf(_SC_PAGESIZE));
    info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(static_cast<DWORD_PTR>(0x10000));
    info->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(kMaxApplicationAddress);
    info->dwNumberOfProcessors = ProcessorCount();
    unsigned maskBits = info->dwNumberOfProcessors < 64 ? info->dwNumberOfProcessors : 64;
    info->dwActiveProcessorMask = maskBits == 64 ? ~DWORD_PTR{0} : (DWORD_PTR{1} << maskBits) - 1;
    info->dwAllocationGranularity = 65536;
}

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
    if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (OverriddenOsVersion(info)) return TRUE;
    *info = {};
    info->dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    info->dwMajorVersion = 6;
    info->dwMinorVersion = 1;
    info->dwBuildNumber = 7601;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    std::strcpy(info->szCSDVersion, "Service Pack 1");
    return TRUE;
}

// The host's memory figures in bytes; available memory is MemAvailable where the kernel
// reports it (free memory alone would count the page cache as used).
static MEMORYSTATUSEX HostMemoryStatus() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    struct sysinfo info {};
    sysinfo(&info);
    DWORDLONG unit = info.mem_unit != 0 ? info.mem_unit : 1;
    status.ullTotalPhys = info.totalram * unit;
    status.ullAvailPhys = (info.freeram + info.bufferram) * unit;
    if (std::FILE* meminfo = std::fopen("/proc/meminfo", "r")) {
        char line[256];
        unsigned long long kib;
        while (std::fgets(line, sizeof(line), meminfo) != nullptr) {
            if (std::sscanf(line, "MemAvailable: %llu kB", &kib) == 1) {
                status.ullAvailPhys = kib * 1024;
                break;
            }
        }
        std::fclose(meminfo);
    }
    OverriddenMemoryStatus(&status.ullTotalPhys, &status.ullAvailPhys);
    if (status.ullAvailPhys > status.ullTotalPhys) status.ullAvailPhys = status.ullTotalPhys;
    status.ullTotalPageFile = status.ullTotalPhys + info.totalswap * unit;
    status.ullAvailPageFile = status.ullAvailPhys + info.freeswap * unit;
    status.ullTotalVirtual = kTotalVirtual;
    status.ullAvailVirtual = kTotalVirtual;
    if (status.ullTotalPhys != 0) {
        status.dwMemoryLoad =
            static_cast<DWORD>(100 - status.ullAvailPhys * 100 / status.ullTotalPhys);
    }
    return status;
}

BOOL GlobalMemoryStatusEx(LPMEMORYSTATUSEX status) {
    if (InjectedFailure("GlobalMemoryStatusEx", ERROR_INVALID_PARAMETER)) return FALSE;
    if (status == nullptr || status->dwLength != sizeof(MEMORYSTATUSEX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *status = HostMemoryStatus();
    return TRUE;
}

void GlobalMemoryStatus(LPMEMORYSTATUS status) {
    MEMORYSTATUSEX full = HostMemoryStatus();
    status->dwLength = sizeof(MEMORYSTATUS);
    status->dwMemoryLoad = full.dwMemoryLoad;
    status->dwTotalPhys = full.ullTotalPhys;
    status->dwAvailPhys = full.ullAvailPhys;
    status->dwTotalPageFile = full.ullTotalPageFile;
    status->dwAvailPageFile = full.ullAvailPageFile;
    status->dwTotalVirtual = full.ullTotalVirtual;
    status->dwAvailVirtual = full.ullAvailVirtual;
}

UINT GetOEMCP() {
    UINT codePage = OverriddenOemCodePage();
    return codePage != 0 ? codePage : kAnsiCodePage;
}

UINT GetACP() {
    return kAnsiCodePage;
}
