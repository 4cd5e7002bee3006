// The system-information block written to the log at start-up, and the values it leaves for
// the rest of the framework (Windows version code, processor count, CPU features).
#pragma once

#include <cstdint>

// Windows version codes; other versions leave 0.
constexpr int32_t kOsCodeWin32s = 0;
constexpr int32_t kOsCodeWindows95 = 1;
constexpr int32_t kOsCodeWindows98 = 2;
constexpr int32_t kOsCodeWindowsMe = 3;
constexpr int32_t kOsCodeWindowsNt351 = 260;
constexpr int32_t kOsCodeWindowsNt40 = 261;
constexpr int32_t kOsCodeWindows2000 = 262;
constexpr int32_t kOsCodeWindowsXp = 263;
constexpr int32_t kOsCodeWindowsVista = 264;
constexpr int32_t kOsCodeWindows7 = 265;

struct SystemInfo {
    int32_t osCode;
    int32_t processorCount;
    char osDescription[256];  // "<name> ( Build <number> <service pack> )"
    int32_t hasTimeStampCounter;
    int32_t mmxUsable;
    int32_t sseUsable;
    int32_t sse2Usable;
    int32_t cpuMhz;
    uint64_t ticksPer10Ms;
    char cpuName[49];  // the processor's brand text, when it reports one
    int32_t directXVersion;
};
extern SystemInfo gSystemInfo;

int LogSystemInfo();
