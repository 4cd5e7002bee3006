// What the system reports and its overrides, the module registry, COM basics, the CPU,
// debugger output capture and process exit.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

#include "platform/com.h"
#include "platform/cpu.h"
#include "platform/mmsystem.h"
#include "platform_test_support.h"

namespace {

using SystemTest = PlatformTest;
using ModuleTest = PlatformTest;

TEST_F(SystemTest, ReportsWindows7Sp1UnlessOverridden) {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof(version);
    ASSERT_TRUE(GetVersionExA(&version));
    EXPECT_EQ(version.dwPlatformId, VER_PLATFORM_WIN32_NT);
    EXPECT_EQ(version.dwMajorVersion, 6u);
    EXPECT_EQ(version.dwMinorVersion, 1u);
    EXPECT_EQ(version.dwBuildNumber, 7601u);
    EXPECT_STREQ(version.szCSDVersion, "Service Pack 1");

    TestSetOsVersion(1, 4, 10, 2222, "A ");
    ASSERT_TRUE(GetVersionExA(&version));
    EXPECT_EQ(version.dwPlatformId, 1u);
    EXPECT_EQ(version.dwMinorVersion, 10u);
    EXPECT_EQ(version.dwBuildNumber, 2222u);
    EXPECT_STREQ(version.szCSDVersion, "A ");

    version.dwOSVersionInfoSize = 12;
    EXPECT_FALSE(GetVersionExA(&version));
}

TEST_F(SystemTest, ProcessorCountAndMemoryFigures) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    EXPECT_GE(info.dwNumberOfProcessors, 1u);
    EXPECT_GT(info.dwPageSize, 0u);
    TestSetProcessorCount(8);
    GetSystemInfo(&info);
    EXPECT_EQ(info.dwNumberOfProcessors, 8u);
    EXPECT_EQ(info.dwActiveProcessorMask, 0xFFu);

    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    ASSERT_TRUE(GlobalMemoryStatusEx(&status));
    EXPECT_GT(status.ullTotalPhys, 0u);
    EXPECT_LE(status.ullAvailPhys, status.ullTotalPhys);
    TestSetMemoryStatus(2048ULL << 20, 512ULL << 20);
    ASSERT_TRUE(GlobalMemoryStatusEx(&status));
    EXPECT_EQ(status.ullTotalPhys, 2048ULL << 20);
    EXPECT_EQ(status.ullAvailPhys, 512ULL << 20);
    EXPECT_EQ(status.dwMemoryLoad, 75u);
    MEMORYSTATUS old;
    GlobalMemoryStatus(&old);
    EXPECT_EQ(old.dwLength, sizeof(old));
    EXPECT_EQ(old.dwTotalPhys, 2048ULL << 20);
    EXPECT_EQ(old.dwAvailPhys, 512ULL << 20);
    status.dwLength = 60;
    EXPECT_FALSE(GlobalMemoryStatusEx(&status));
}

TEST_F(SystemTest, TestProcessorAnswersCpuid) {
    TestCpu cpu{};
    cpu.hasCpuid = true;
    std::strcpy(cpu.vendor, "GenuineIntel");
    cpu.leaf1Edx = (1u << 4) | (1u << 23) | (1u << 25);
    cpu.maxExtendedLeaf = 0x80000004;
    std::strcpy(cpu.brand, "Orbek Test CPU @ 3.00GHz");
    TestSetCpu(&cpu);
    EXPECT_TRUE(CpuHasCpuidInstruction());
    unsigned regs[4];
    CpuId(0, regs);
    char vendor[13] = {};
    std::memcpy(vendor, &regs[1], 4);
    std::memcpy(vendor + 4, &regs[3], 4);
    std::memcpy(vendor + 8, &regs[2], 4);
    EXPECT_STREQ(vendor, "GenuineIntel");
    CpuId(1, regs);
    EXPECT_EQ(regs[3], cpu.leaf1Edx);
    char brand[49] = {};
    for (unsigned leaf = 0; leaf < 3; ++leaf) {
        CpuId(0x80000002 + leaf, regs);
        std::memcpy(brand + leaf * 16, regs, 16);
    }
    EXPECT_STREQ(brand, cpu.brand);

    cpu.maxExtendedLeaf = 0x80000001;
    TestSetCpu(&cpu);
    CpuId(0x80000002, regs);
    EXPECT_EQ(regs[0] | regs[1] | regs[2] | regs[3], 0u);
    cpu.hasCpuid = false;
    TestSetCpu(&cpu);
    EXPECT_FALSE(CpuHasCpuidInstruction());
}

#if defined(__x86_64__)
TEST_F(SystemTest, RealProcessorHasCpuidAndAVendor) {
    EXPECT_TRUE(CpuHasCpuidInstruction());
    unsigned regs[4];
    CpuId(0, regs);
    EXPECT_GE(regs[0], 1u);
    EXPECT_NE(regs[1], 0u);
    unsigned long long first = ReadTimeStampCounter();
    EXPECT_TRUE(WaitUntil([&] { return ReadTimeStampCounter() != first; }));
}
#endif

TEST_F(SystemTest, DebugOutputIsCapturedOnlyWhenAsked) {
    OutputDebugStringA("before");
    TestCaptureDebugOutput(true);
    OutputDebugStringA("一行目\t");
    OutputDebugStringA("two\n");
    OutputDebugStringA(nullptr);
    EXPECT_EQ(TestTakeDebugOutput(), std::string("一行目\ttwo\n"));
    EXPECT_EQ(TestTakeDebugOutput(), "");
    TestCaptureDebugOutput(false);
    OutputDebugStringA("after");
    EXPECT_EQ(TestTakeDebugOutput(), "");
}

TEST_F(SystemTest, DebugOutputGoesToStderrAsUtf8WhenAsked) {
    char path[] = "/tmp/orbek_stderr_XXXXXX";
    int capture = mkstemp(path);
    ASSERT_GE(capture, 0);
    std::fflush(stderr);
    int saved = dup(2);
    dup2(capture, 2);
    OutputDebugStringA("hidden\n");
    setenv("ORBEK_DEBUG_OUTPUT", "1", 1);
    OutputDebugStringA("表示\n");
    unsetenv("ORBEK_DEBUG_OUTPUT");
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    close(capture);
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(content.str(), "\xE8\xA1\xA8\xE7\xA4\xBA\n");
    std::remove(path);
}

TEST_F(SystemTest, ExitProcessFlushesAndEndsWithTheLowByte) {
    EXPECT_EXIT(ExitProcess(static_cast<UINT>(-1)), ::testing::ExitedWithCode(255), "");
    char path[] = "/tmp/orbek_exit_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    EXPECT_EXIT(
        {
            std::FILE* file = std::fopen(path, "w");
            std::fputs("buffered", file);
            ExitProcess(3);
        },
        ::testing::ExitedWithCode(3), "");
    std::ifstream in(path);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(content.str(), "buffered");
    std::remove(path);
}

TEST_F(ModuleTest, NamesAreCaseInsensitiveAndDllOptional) {
    HMODULE winmm = LoadLibraryA("winmm.dll");
    ASSERT_NE(winmm, nullptr);
    HMODULE again = LoadLibraryA("WINMM");
    EXPECT_EQ(again, winmm);
    EXPECT_EQ(GetModuleHandleA("WinMM.DLL"), winmm);
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(winmm, "timeGetTime")),
              reinterpret_cast<void*>(&timeGetTime));
    // Export names are exact.
    EXPECT_EQ(GetProcAddress(winmm, "TIMEGETTIME"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    EXPECT_EQ(GetProcAddress(winmm, reinterpret_cast<LPCSTR>(1)), nullptr);
    EXPECT_TRUE(FreeLibrary(again));
    EXPECT_TRUE(FreeLibrary(winmm));
    EXPECT_EQ(LoadLibraryA("nothere.dll"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(LoadLibraryA("C:\\Windows\\winmm.dll"), nullptr);
}

TEST_F(ModuleTest, ReferenceCountsDecideWhenAModuleIsGone) {
    HMODULE first = LoadLibraryA("ole32.dll");
    HMODULE second = LoadLibraryA("Ole32.dll");
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_NE(GetProcAddress(second, "CoInitializeEx"), nullptr);
    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_EQ(GetProcAddress(second, "CoInitializeEx"), nullptr);
    EXPECT_EQ(GetModuleHandleA("ole32"), nullptr);
    EXPECT_FALSE(FreeLibrary(second));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(ModuleTest, TestsCanRemoveModulesAndExports) {
    TestSetModuleMissing("WINMM.DLL", true);
    EXPECT_EQ(LoadLibraryA("winmm.dll"), nullptr);
    TestSetModuleMissing("winmm", false);
    HMODULE winmm = LoadLibraryA("winmm.dll");
    ASSERT_NE(winmm, nullptr);
    TestSetExportMissing("winmm.dll", "timeGetTime", true);
    EXPECT_EQ(GetProcAddress(winmm, "timeGetTime"), nullptr);
    EXPECT_NE(GetProcAddress(winmm, "timeGetDevCaps"), nullptr);
    TestResetPlatform();
    EXPECT_NE(GetProcAddress(winmm, "timeGetTime"), nullptr);
    FreeLibrary(winmm);

    TestFailNthCall("LoadLibraryA", 1);
    EXPECT_EQ(LoadLibraryA("Kernel32.dll"), nullptr);
    HMODULE kernel = LoadLibraryA("Kernel32.dll");
    ASSERT_NE(kernel, nullptr);
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(kernel, "GlobalMemoryStatusEx")),
              reinterpret_cast<void*>(&GlobalMemoryStatusEx));
    FreeLibrary(kernel);
}

TEST_F(ModuleTest, EveryNamedModuleLoads) {
    for (const char* name :
         {"Kernel32.dll", "winmm.dll", "ole32.dll", "User32.dll", "Imm32.dll", "ws2_32.dll",
          "dwmapi.dll", "comctl32.dll", "d3d9.dll", "DSOUND.DLL", "msacm32.dll"}) {
        HMODULE module = LoadLibraryA(name);
        EXPECT_NE(module, nullptr) << name;
        EXPECT_TRUE(FreeLibrary(module)) << name;
    }
    // The exports the framework's table asks for, by their exact names.
    const std::pair<const char*, const char*> exports[] = {
        {"winmm.dll", "timeSetEvent"},
        {"winmm.dll", "timeKillEvent"},
        {"winmm.dll", "timeBeginPeriod"},
        {"winmm.dll", "timeEndPeriod"},
        {"winmm.dll", "timeGetDevCaps"},
        {"ole32.dll", "CoCreateInstance"},
        {"ole32.dll", "CoTaskMemAlloc"},
        {"ole32.dll", "CoTaskMemFree"},
        {"ole32.dll", "CoFreeUnusedLibraries"},
        {"ole32.dll", "CoUninitialize"},
        {"dwmapi.dll", "DwmEnableComposition"},
        {"User32.dll", "WINNLSEnableIME"},
        {"d3d9.dll", "Direct3DCreate9"},
        {"d3d9.dll", "Direct3DCreate9Ex"},
        {"Imm32.dll", "ImmGetCompositionStringA"},
        {"Imm32.dll", "ImmSetCompositionStringA"},
        {"ws2_32.dll", "WSAAsyncSelect"},
        {"ws2_32.dll", "recv"},
    };
    for (const auto& [name, function] : exports) {
        HMODULE module = LoadLibraryA(name);
        EXPECT_NE(GetProcAddress(module, function), nullptr) << name << " " << function;
        FreeLibrary(module);
    }
    HMODULE self = GetModuleHandleA(nullptr);
    EXPECT_NE(self, nullptr);
    EXPECT_EQ(GetModuleHandleA(nullptr), self);
}

TEST_F(SystemTest, ComInitialisationAndClassLookup) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(IID_IUnknown, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(IID_IUnknown, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoCreateInstance(IID_IUnknown, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr),
              E_POINTER);
    CoUninitialize();
    CoUninitialize();
    TestFailNthCall("CoInitializeEx", 1);
    EXPECT_TRUE(FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    void* memory = CoTaskMemAlloc(16);
    EXPECT_NE(memory, nullptr);
    CoTaskMemFree(memory);
    CoTaskMemFree(nullptr);
}

}  // namespace
