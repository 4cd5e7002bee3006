// The system-information block of start-up: framework version, processors, Windows version,
// timer period, processor features and speed, each written to the log and kept for the rest
// of the framework.
#include "core/system_info.h"

#include <platform/cpu.h>
#include <platform/mmsystem.h>
#include <platform/win32.h>

#include <cstdio>

#include "core/clocks.h"
#include "core/log.h"
#include "core/platform_dlls.h"
#include "core/string_functions.h"

SystemInfo gSystemInfo;

namespace {

constexpr const char* kFrameworkVersion = "1.00";
constexpr int32_t kDirectXVersion = 0x70000;

// Processor feature levels.
constexpr int kCpuLevelNoCpuid = 0;
constexpr int kCpuLevelNoMmx = 1;
constexpr int kCpuLevelMmx = 3;
constexpr int kCpuLevelSse = 4;
constexpr int kCpuLevelSse2 = 5;

constexpr unsigned kEdxTimeStampCounter = 1u << 4;
constexpr unsigned kEdxMmx = 1u << 23;
constexpr unsigned kEdxSse = 1u << 25;
constexpr unsigned kEdxSse2 = 1u << 26;

// The suffix of "Windows" and the version code for the reported version.
const char* ChooseOsName(const OSVERSIONINFOA& version, int32_t* osCode) {
    DWORD major = version.dwMajorVersion;
    DWORD minor = version.dwMinorVersion;
    char servicePack = version.szCSDVersion[0];
    switch (version.dwPlatformId) {
        case VER_PLATFORM_WIN32s:
            *osCode = kOsCodeWin32s;
            return "3.1";
        case VER_PLATFORM_WIN32_WINDOWS:
            if (minor == 0) {
                *osCode = kOsCodeWindows95;
                return servicePack == 'C' ? "95OSR2" : "95";
            }
            if (minor == 10) {
                *osCode = kOsCodeWindows98;
                return servicePack == 'A' ? "98SE" : "98";
            }
            if (minor == 90) {
                *osCode = kOsCodeWindowsMe;
                return "Me";
            }
            return "";
        case VER_PLATFORM_WIN32_NT:
            if (major == 3) {
                *osCode = kOsCodeWindowsNt351;
                return "NT 3.51";
            }
            if (major == 4) {
                *osCode = kOsCodeWindowsNt40;
                return "4.0";
            }
            if (major == 5 && minor == 0) {
                *osCode = kOsCodeWindows2000;
                return "2000";
            }
            if (major == 5 && minor == 1) {
                *osCode = kOsCodeWindowsXp;
                return "XP";
            }
            if (major == 6 && minor == 0) {
                *osCode = kOsCodeWindowsVista;
                return "Vista";
            }
            if (major == 6 && minor == 1) {
                *osCode = kOsCodeWindows7;
                return "7";
            }
            return "";
        default:
            return "";
    }
}

void LogOsVersion() {
    AppendLogText("ＯＳ  ");
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    gSystemInfo.osCode = 0;
    const char* suffix = ChooseOsName(version, &gSystemInfo.osCode);
    // The service-pack text need not be terminated within its field.
    snprintf(gSystemInfo.osDescription, sizeof gSystemInfo.osDescription,
             "Windows%s ( Build %d %.*s )", suffix, static_cast<int>(version.dwBuildNumber),
             static_cast<int>(sizeof version.szCSDVersion), version.szCSDVersion);
    EmitLogFormat("%s", gSystemInfo.osDescription);
}

// Asks for the smallest timer period the system offers.
void SetFinestTimerPeriod() {
    if (gPlatformDlls.timeGetDevCaps == nullptr || gPlatformDlls.timeBeginPeriod == nullptr) {
        return;
    }
    TIMECAPS caps{};
    gPlatformDlls.timeGetDevCaps(&caps, sizeof caps);
    gPlatformDlls.timeBeginPeriod(caps.wPeriodMin);
}

// Reads the processor's features through CPUID; returns the feature level and fills the
// vendor (12 characters) and brand (48) texts.
int ReadCpuFeatures(char vendor[13], char brand[49]) {
    if (!CpuHasCpuidInstruction()) return kCpuLevelNoCpuid;
    unsigned regs[4];
    CpuId(0, regs);
    CopyBytes(vendor, &regs[1], 4);
    CopyBytes(vendor + 4, &regs[3], 4);
    CopyBytes(vendor + 8, &regs[2], 4);
    int level = kCpuLevelNoMmx;

    CpuId(1, regs);
    unsigned edx = regs[3];
    gSystemInfo.hasTimeStampCounter = (edx & kEdxTimeStampCounter) != 0 ? 1 : 0;

    CpuId(0x80000000u, regs);
    if (regs[0] >= 0x80000004u) {
        for (unsigned i = 0; i < 3; i++) {
            CpuId(0x80000002u + i, regs);
            CopyBytes(brand + i * 16, regs, 16);
        }
    }

    if ((edx & kEdxMmx) != 0) {
        level = kCpuLevelMmx;
        if ((edx & kEdxSse) != 0) {
            level = kCpuLevelSse;
            if ((edx & kEdxSse2) != 0) level = kCpuLevelSse2;
        }
    }
    return level;
}

// Counts time-stamp ticks over 100 ms of the millisecond clock.
void MeasureCpuSpeed() {
    unsigned long long start = ReadTimeStampCounter();
    uint32_t startMs = GetMillisecondCount(0);
    while (((GetMillisecondCount(0) - startMs) & 0x7FFFFFFFu) < 100) {
    }
    unsigned long long ticks = ReadTimeStampCounter() - start;
    gSystemInfo.cpuMhz = static_cast<int32_t>(static_cast<double>(ticks) / 100000.0);
    gSystemInfo.ticksPer10Ms = ticks / 10;
    EmitLogFormat("ＣＰＵ動作速度：大体%.2fGHz", gSystemInfo.cpuMhz / 1000.0);
}

void LogCpuLevel(int level) {
    switch (level) {
        case kCpuLevelNoCpuid:
            AppendLogText("ＣＰＵＩＤ命令は使えません\n");
            break;
        case kCpuLevelNoMmx:
            AppendLogText("ＭＭＸは使えません\n");
            break;
        default:
            AppendLogText("ＭＭＸ命令を使用します\n");
            gSystemInfo.mmxUsable = 1;
            if (level >= kCpuLevelSse) {
                AppendLogText("ＳＳＥ命令が使用可能です\n");
                gSystemInfo.sseUsable = 1;
            }
            if (level >= kCpuLevelSse2) {
                AppendLogText("ＳＳＥ２命令が使用可能です\n");
                gSystemInfo.sse2Usable = 1;
            }
            break;
    }
}

}  // namespace

int LogSystemInfo() {
    AppendLogText("システムの情報を出力します\n");
    RaiseLogIndent();
    EmitLogFormat("ＯＲＢＥＫライブラリ Ver%s", kFrameworkVersion);

    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    gSystemInfo.processorCount = static_cast<int32_t>(system.dwNumberOfProcessors);
    EmitLogFormat("論理プロセッサの数 : %d", gSystemInfo.processorCount);

    LogOsVersion();
    gSystemInfo.directXVersion = kDirectXVersion;
    SetFinestTimerPeriod();

    char vendor[13] = {};
    char brand[49] = {};
    gSystemInfo.hasTimeStampCounter = 0;
    gSystemInfo.mmxUsable = 0;
    gSystemInfo.sseUsable = 0;
    gSystemInfo.sse2Usable = 0;
    int level = ReadCpuFeatures(vendor, brand);
    // Without the millisecond clock the measuring loop would never end.
    if (gSystemInfo.hasTimeStampCounter != 0 && gPlatformDlls.timeGetTime != nullptr) {
        MeasureCpuSpeed();
    }
    LogCpuLevel(level);
    if (level > kCpuLevelNoCpuid) {
        EmitLogFormat("ＣＰＵベンダ：%s", vendor);
        if (brand[0] != '\0') {
            EmitLogFormat("ＣＰＵ名：%s", brand);
            CopyString(gSystemInfo.cpuName, brand);
        }
    }

    LowerLogIndent();
    return 0;
}
