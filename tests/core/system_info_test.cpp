// The run-time DLL table, the clocks, code-page conversion and the system-information block
// that start-up writes to the log.
#include "core/system_info.h"

#include <gtest/gtest.h>
#include <platform/testing.h>
#include <platform/win32.h>

#include <cstring>
#include <string>

#include "core/clocks.h"
#include "core/code_pages.h"
#include "core/log.h"
#include "core/platform_dlls.h"
#include "log_file_fixture.h"

namespace {

constexpr unsigned kTsc = 1u << 4;
constexpr unsigned kMmx = 1u << 23;
constexpr unsigned kSse = 1u << 25;
constexpr unsigned kSse2 = 1u << 26;

TestCpu MakeCpu(unsigned edx, const char* brand = "") {
    TestCpu cpu{};
    cpu.hasCpuid = true;
    std::strcpy(cpu.vendor, "GenuineIntel");
    cpu.leaf1Edx = edx;
    cpu.maxExtendedLeaf = brand[0] != '\0' ? 0x80000004u : 0x80000000u;
    std::strcpy(cpu.brand, brand);
    return cpu;
}

// ---------------------------------------------------------------------------------------------
// The DLL table.

class PlatformDllTest : public ::testing::Test {
protected:
    void SetUp() override { TestResetPlatform(); }
    void TearDown() override {
        FreePlatformDlls();
        TestResetPlatform();
    }
};

TEST_F(PlatformDllTest, LoadsEveryDllAndTheClockAndComFunctions) {
    ASSERT_EQ(LoadPlatformDlls(), 0);
    const PlatformDllTable& t = gPlatformDlls;
    for (HMODULE module : {t.ws2_32Module, t.imm32Module, t.winmmModule, t.ole32Module,
                           t.comctl32Module, t.dwmapiModule, t.user32Module}) {
        EXPECT_NE(module, nullptr);
    }
    EXPECT_TRUE(t.timeSetEvent && t.timeKillEvent && t.timeBeginPeriod && t.timeEndPeriod &&
                t.timeGetTime && t.timeGetDevCaps);
    EXPECT_TRUE(t.CoCreateInstance && t.CoTaskMemAlloc && t.CoTaskMemFree && t.CoInitializeEx &&
                t.CoFreeUnusedLibraries && t.CoUninitialize);

    // Each slot holds the function of its own name.
    TestUseVirtualClock(true);
    TestSetClockMicroseconds(123456789);
    EXPECT_EQ(gPlatformDlls.timeGetTime(), 123456u);
    TIMECAPS caps{};
    EXPECT_EQ(gPlatformDlls.timeGetDevCaps(&caps, sizeof caps), TIMERR_NOERROR);
    void* block = gPlatformDlls.CoTaskMemAlloc(16);
    EXPECT_NE(block, nullptr);
    gPlatformDlls.CoTaskMemFree(block);
}

TEST_F(PlatformDllTest, MissingDllLeavesItsModuleAndEveryFunctionNull) {
    TestSetModuleMissing("WINMM.DLL", true);
    LoadPlatformDlls();
    EXPECT_EQ(gPlatformDlls.winmmModule, nullptr);
    EXPECT_EQ(gPlatformDlls.timeSetEvent, nullptr);
    EXPECT_EQ(gPlatformDlls.timeKillEvent, nullptr);
    EXPECT_EQ(gPlatformDlls.timeBeginPeriod, nullptr);
    EXPECT_EQ(gPlatformDlls.timeEndPeriod, nullptr);
    EXPECT_EQ(gPlatformDlls.timeGetTime, nullptr);
    EXPECT_EQ(gPlatformDlls.timeGetDevCaps, nullptr);
    EXPECT_EQ(gPlatformDlls.joyGetPosEx, nullptr);
    EXPECT_EQ(gPlatformDlls.joyGetDevCapsA, nullptr);
    EXPECT_EQ(gPlatformDlls.mciSendCommandA, nullptr);
    EXPECT_NE(gPlatformDlls.ole32Module, nullptr);
    EXPECT_NE(gPlatformDlls.CoInitializeEx, nullptr);
}

TEST_F(PlatformDllTest, MissingExportLeavesOnlyItsSlotNull) {
    TestSetExportMissing("winmm.dll", "timeGetDevCaps", true);
    LoadPlatformDlls();
    EXPECT_NE(gPlatformDlls.winmmModule, nullptr);
    EXPECT_EQ(gPlatformDlls.timeGetDevCaps, nullptr);
    EXPECT_NE(gPlatformDlls.timeGetTime, nullptr);
    EXPECT_NE(gPlatformDlls.timeBeginPeriod, nullptr);
}

TEST_F(PlatformDllTest, SecondLoadOnlyLoadsWhatIsStillMissing) {
    TestSetModuleMissing("ole32.dll", true);
    LoadPlatformDlls();
    ASSERT_EQ(gPlatformDlls.ole32Module, nullptr);
    HMODULE winmm = gPlatformDlls.winmmModule;

    // A loaded DLL is not looked at again, even when it would now fail to load.
    TestSetModuleMissing("ole32.dll", false);
    TestSetModuleMissing("winmm.dll", true);
    LoadPlatformDlls();
    EXPECT_NE(gPlatformDlls.ole32Module, nullptr);
    EXPECT_NE(gPlatformDlls.CoCreateInstance, nullptr);
    EXPECT_EQ(gPlatformDlls.winmmModule, winmm);
    EXPECT_NE(gPlatformDlls.timeGetTime, nullptr);

    // One free releases it: the DLL was loaded once.
    TestSetModuleMissing("winmm.dll", false);
    FreePlatformDlls();
    EXPECT_EQ(GetModuleHandleA("winmm.dll"), nullptr);
}

TEST_F(PlatformDllTest, FreeClearsEveryModuleAndFunctionSlot) {
    LoadPlatformDlls();
    ASSERT_EQ(FreePlatformDlls(), 0);
    const PlatformDllTable empty{};
    EXPECT_EQ(std::memcmp(&gPlatformDlls, &empty, sizeof empty), 0);
    EXPECT_EQ(GetModuleHandleA("ole32"), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Clocks.

class ClockTest : public PlatformDllTest {
protected:
    void SetUp() override {
        PlatformDllTest::SetUp();
        TestUseVirtualClock(true);
    }
};

TEST_F(ClockTest, BothClocksAreMinusOneWithoutWinmm) {
    EXPECT_EQ(GetMillisecondCount(0), 0xFFFFFFFFu);
    EXPECT_EQ(GetMicrosecondCount(0), -1);
    TestSetExportMissing("winmm.dll", "timeGetTime", true);
    LoadPlatformDlls();
    EXPECT_EQ(GetMillisecondCount(0), 0xFFFFFFFFu);
    EXPECT_EQ(GetMicrosecondCount(0), -1);
}

TEST_F(ClockTest, MillisecondCountNeverHasBit31Set) {
    LoadPlatformDlls();
    TestSetClockMicroseconds(0x80000005ull * 1000 + 999);
    EXPECT_EQ(GetMillisecondCount(0), 5u);
    TestSetClockMicroseconds(0xFFFFFFFFull * 1000);
    EXPECT_EQ(GetMillisecondCount(0), 0x7FFFFFFFu);
    TestSetClockMicroseconds(0x7FFFFFFFull * 1000);
    EXPECT_EQ(GetMillisecondCount(0), 0x7FFFFFFFu);
}

TEST_F(ClockTest, MicrosecondCountIsExactForCountersUpToTwoToThe64) {
    LoadPlatformDlls();
    // 255 MHz: this time reads as the counter value 2^64 - 1.
    TestSetPerformanceFrequency(255000000);
    ASSERT_EQ(ProbePerformanceCounter(), 1);
    EXPECT_EQ(gClocks.performanceFrequency, 255000000);
    TestSetClockMicroseconds(72340172838076673ull);
    EXPECT_EQ(GetMicrosecondCount(0), 72340172838076673ll);

    // 2^32 Hz: counter x 1,000,000 needs 84 bits.
    TestSetPerformanceFrequency(4294967296ll);
    ProbePerformanceCounter();
    TestSetClockMicroseconds(4294967000000000ull);
    EXPECT_EQ(GetMicrosecondCount(0), 4294967000000000ll);

    TestSetPerformanceFrequency(3000000000ll);
    ProbePerformanceCounter();
    TestSetClockMicroseconds(123456789);
    EXPECT_EQ(GetMicrosecondCount(0), 123456789);
}

TEST_F(ClockTest, WithoutAPerformanceCounterMicrosecondsComeFromTheUnmaskedTime) {
    LoadPlatformDlls();
    TestSetPerformanceFrequency(0);
    EXPECT_EQ(ProbePerformanceCounter(), 0);
    EXPECT_EQ(gClocks.hasPerformanceCounter, 0);
    TestSetClockMicroseconds(0x80000005ull * 1000 + 999);
    EXPECT_EQ(GetMicrosecondCount(0), 0x80000005ll * 1000);
}

// ---------------------------------------------------------------------------------------------
// Code pages.

TEST(CodePageTest, ConvertsWholeTextsBothWaysWithTheTerminator) {
    char narrow[16];
    EXPECT_EQ(ConvertWideToMultiByte(932, u"日本a", narrow, sizeof narrow), 6);
    EXPECT_STREQ(narrow, "日本a");
    EXPECT_EQ(std::string(narrow),
              "\x93\xfa\x96\x7b"
              "a");
    char16_t wide[8];
    EXPECT_EQ(ConvertMultiByteToWide(932, "表示", wide, 8), 3);
    EXPECT_EQ(std::u16string(wide), u"表示");
    // Too small an output converts nothing.
    EXPECT_EQ(ConvertWideToMultiByte(932, u"日本", narrow, 2), 0);
}

// ---------------------------------------------------------------------------------------------
// The system-information block.

class SystemInfoTest : public LogFileFixture {
protected:
    void SetUp() override {
        LogFileFixture::SetUp();
        TestUseVirtualClock(true);
        TestSetClockMicroseconds(5000 * 1000);
        // Each read of the clock moves it on, so the speed measurement's wait ends.
        TestSetClockStepPerRead(1);
        TestSetProcessorCount(4);
        cpu_ = MakeCpu(0);
        TestSetCpu(&cpu_);
        gSystemInfo = SystemInfo{};
    }

    std::string Run() {
        StartLog();
        EXPECT_EQ(LogSystemInfo(), 0);
        return ReadLogWithoutStamps();
    }

    static bool Has(const std::string& log, const std::string& line) {
        return log.find("\t" + line + "\r\n") != std::string::npos;
    }

    TestCpu cpu_{};
};

TEST_F(SystemInfoTest, WritesTheWholeBlockInOrder) {
    cpu_ = MakeCpu(kTsc | kMmx | kSse | kSse2, "Test CPU @ 3.00GHz");
    TestSetCpu(&cpu_);
    EXPECT_EQ(Run(),
              "システムの情報を出力します\r\n"
              "\tＯＲＢＥＫライブラリ Ver1.00\r\n"
              "\t論理プロセッサの数 : 4\r\n"
              "\tＯＳ  Windows7 ( Build 7601 Service Pack 1 )\r\n"
              "\tＣＰＵ動作速度：大体3.00GHz\r\n"
              "\tＭＭＸ命令を使用します\r\n"
              "\tＳＳＥ命令が使用可能です\r\n"
              "\tＳＳＥ２命令が使用可能です\r\n"
              "\tＣＰＵベンダ：GenuineIntel\r\n"
              "\tＣＰＵ名：Test CPU @ 3.00GHz\r\n");
    EXPECT_EQ(gLog.indentLevel, 0);
    EXPECT_EQ(gSystemInfo.processorCount, 4);
    EXPECT_EQ(gSystemInfo.osCode, 265);
    EXPECT_STREQ(gSystemInfo.osDescription, "Windows7 ( Build 7601 Service Pack 1 )");
    EXPECT_EQ(gSystemInfo.directXVersion, 0x70000);
    EXPECT_STREQ(gSystemInfo.cpuName, "Test CPU @ 3.00GHz");
    EXPECT_EQ(gSystemInfo.hasTimeStampCounter, 1);
}

TEST_F(SystemInfoTest, SpeedIsTimeStampTicksOverOneHundredMilliseconds) {
    // The layer's time-stamp counter runs at 3 GHz of the virtual clock. With every read of
    // the clock a whole millisecond on, the wait ends 101 ms after the first tick read: the
    // reads before it keep the clock on millisecond boundaries.
    TestSetClockStepPerRead(1000);
    cpu_ = MakeCpu(kTsc);
    TestSetCpu(&cpu_);
    const std::string log = Run();
    EXPECT_EQ(gSystemInfo.ticksPer10Ms, 30300000u);
    EXPECT_EQ(gSystemInfo.cpuMhz, 3030);
    EXPECT_TRUE(Has(log, "ＣＰＵ動作速度：大体3.03GHz")) << log;
}

TEST_F(SystemInfoTest, NoSpeedLineWithoutATimeStampCounter) {
    cpu_ = MakeCpu(kMmx);
    TestSetCpu(&cpu_);
    const std::string log = Run();
    EXPECT_EQ(log.find("ＣＰＵ動作速度"), std::string::npos);
    EXPECT_EQ(gSystemInfo.cpuMhz, 0);
}

struct OsCase {
    DWORD platform, major, minor, build;
    const char* servicePack;
    int32_t osCode;
    const char* line;
};

TEST_F(SystemInfoTest, OsLineAndCodeForEveryWindowsVersion) {
    const OsCase cases[] = {
        {0, 1, 30, 0, "", 0, "Windows3.1 ( Build 0  )"},
        {1, 4, 0, 950, "", 1, "Windows95 ( Build 950  )"},
        {1, 4, 0, 1111, "C", 1, "Windows95OSR2 ( Build 1111 C )"},
        {1, 4, 10, 1998, "", 2, "Windows98 ( Build 1998  )"},
        {1, 4, 10, 2222, "A", 2, "Windows98SE ( Build 2222 A )"},
        {1, 4, 90, 3000, "", 3, "WindowsMe ( Build 3000  )"},
        {1, 4, 50, 1, "", 0, "Windows ( Build 1  )"},
        {2, 3, 51, 1057, "", 260, "WindowsNT 3.51 ( Build 1057  )"},
        {2, 4, 0, 1381, "Service Pack 6", 261, "Windows4.0 ( Build 1381 Service Pack 6 )"},
        {2, 5, 0, 2195, "", 262, "Windows2000 ( Build 2195  )"},
        {2, 5, 1, 2600, "Service Pack 3", 263, "WindowsXP ( Build 2600 Service Pack 3 )"},
        {2, 5, 2, 3790, "", 0, "Windows ( Build 3790  )"},
        {2, 6, 0, 6002, "Service Pack 2", 264, "WindowsVista ( Build 6002 Service Pack 2 )"},
        {2, 6, 1, 7601, "Service Pack 1", 265, "Windows7 ( Build 7601 Service Pack 1 )"},
        {2, 6, 2, 9200, "", 0, "Windows ( Build 9200  )"},
    };
    // Start from a known code so that "left at 0" is seen to be written.
    for (const OsCase& c : cases) {
        gSystemInfo.osCode = 999;
        TestSetOsVersion(c.platform, c.major, c.minor, c.build, c.servicePack);
        const std::string log = Run();
        EXPECT_EQ(gSystemInfo.osCode, c.osCode) << c.line;
        EXPECT_TRUE(Has(log, std::string("ＯＳ  ") + c.line)) << log;
    }
}

struct CpuCase {
    unsigned edx;
    int mmx, sse, sse2;
    const char* lines;
};

TEST_F(SystemInfoTest, FeatureLevelLinesAndFlags) {
    const CpuCase cases[] = {
        {0, 0, 0, 0, "\tＭＭＸは使えません\r\n"},
        {kSse | kSse2, 0, 0, 0, "\tＭＭＸは使えません\r\n"},
        {kMmx, 1, 0, 0, "\tＭＭＸ命令を使用します\r\n\tＣＰＵベンダ"},
        {kMmx | kSse2, 1, 0, 0, "\tＭＭＸ命令を使用します\r\n\tＣＰＵベンダ"},
        {kMmx | kSse, 1, 1, 0, "\tＭＭＸ命令を使用します\r\n\tＳＳＥ命令が使用可能です\r\n\tＣ"},
        {kMmx | kSse | kSse2, 1, 1, 1,
         "\tＭＭＸ命令を使用します\r\n\tＳＳＥ命令が使用可能です\r\n"
         "\tＳＳＥ２命令が使用可能です\r\n\tＣＰＵベンダ：GenuineIntel\r\n"},
    };
    for (const CpuCase& c : cases) {
        cpu_ = MakeCpu(c.edx);
        TestSetCpu(&cpu_);
        const std::string log = Run();
        EXPECT_NE(log.find(c.lines), std::string::npos) << log;
        EXPECT_EQ(gSystemInfo.mmxUsable, c.mmx) << std::hex << c.edx;
        EXPECT_EQ(gSystemInfo.sseUsable, c.sse) << std::hex << c.edx;
        EXPECT_EQ(gSystemInfo.sse2Usable, c.sse2) << std::hex << c.edx;
        EXPECT_EQ(log.find("ＣＰＵ名"), std::string::npos);
    }
}

TEST_F(SystemInfoTest, WithoutCpuidOnlyTheLevelLineIsWritten) {
    cpu_ = TestCpu{};
    TestSetCpu(&cpu_);
    const std::string log = Run();
    EXPECT_TRUE(Has(log, "ＣＰＵＩＤ命令は使えません"));
    EXPECT_EQ(log.find("ＣＰＵベンダ"), std::string::npos);
    EXPECT_EQ(log.find("ＣＰＵ動作速度"), std::string::npos);
    EXPECT_EQ(gSystemInfo.mmxUsable, 0);
    EXPECT_EQ(gSystemInfo.hasTimeStampCounter, 0);
}

TEST_F(SystemInfoTest, BrandIsReadOnlyWhenTheExtendedLeavesReachIt) {
    cpu_ = MakeCpu(kMmx, "Some Brand");
    cpu_.maxExtendedLeaf = 0x80000003u;
    TestSetCpu(&cpu_);
    std::string log = Run();
    EXPECT_EQ(log.find("ＣＰＵ名"), std::string::npos);
    EXPECT_STREQ(gSystemInfo.cpuName, "");

    cpu_.maxExtendedLeaf = 0x80000008u;
    TestSetCpu(&cpu_);
    log = Run();
    EXPECT_TRUE(Has(log, "ＣＰＵ名：Some Brand"));
    EXPECT_STREQ(gSystemInfo.cpuName, "Some Brand");
}

}  // namespace
